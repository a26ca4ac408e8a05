// Date and time texts written in SQL, read as the type of the field they meet.
//
// Accepted forms (surrounding blanks ignored):
//   yyyy-MM-dd                         a date (month and day may have one digit)
//   yyyy-MM-dd hh:mm[:ss[.zzz]]        a date and time ('T' may stand for the blank)
//   hh:mm[:ss[.zzz]]                   a time of day; the hour may have one digit ("0:00")
// The fraction after the seconds has one to three digits and counts in tenths, hundredths or
// thousandths (".5" is 500 ms).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/field_types.h"

namespace tikora::engine::sql {

struct DateTimeLiteral {
  bool has_date = false;
  bool has_time = false;
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;

  bool IsMidnight() const { return hour == 0 && minute == 0 && second == 0 && millisecond == 0; }
};

// Reads a text in one of the forms above; nullopt when it is none of them or a field is out of
// range (month 13, 30 February, hour 24, ...).
std::optional<DateTimeLiteral> ParseDateTimeLiteral(std::string_view text);

// The storage form of the text for a field of type `type` (Date, Time or Timestamp): a date
// 'YYYY-MM-DD' (a time part must be midnight), a time 'HH:MM:SS.mmm' (no date part), a timestamp
// 'YYYY-MM-DD HH:MM:SS.mmm' (a date alone means its midnight). nullopt when the text does not
// fit the type.
std::optional<std::string> StorageFormOf(std::string_view text, FieldType type);

}  // namespace tikora::engine::sql
