// Reading the typed values of a request: dates, times of day, whole numbers and hours.
//
// A value that cannot be read is bad input: BadInput names the field, and the request answers
// with status 400 and a message above the page, having written nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/datetime.h"
#include "web/request.h"

namespace tikora::web {

class BadInput : public std::runtime_error {
 public:
  BadInput(std::string field, const std::string& message)
      : std::runtime_error(message), field_(std::move(field)) {}
  const std::string& field() const { return field_; }

 private:
  std::string field_;
};

// "yyyy-MM-dd"; empty or unreadable text is bad input.
DateTime RequiredDate(const Request& request, std::string_view field);

// "hh:nn" (also "hh:nn:ss", "h:nn AM"); empty text is midnight, unreadable text bad input.
DateTime TimeOfDayValue(const Request& request, std::string_view field);

// A whole number from `min` to `max`; nullopt when empty.
std::optional<std::int64_t> WholeNumber(const Request& request, std::string_view field,
                                        std::int64_t min, std::int64_t max);

// Hours of one day, a decimal number from 0 to 24 with "." or the locale's decimal separator;
// nullopt when empty.
std::optional<double> Hours(const Request& request, std::string_view field);

}  // namespace tikora::web
