// libFuzzer target for the text helpers that read untrusted text: CSV lines (imports,
// the clipboard, time sheet rows from the web), SQL statements and typed times.
//
// Besides "no crash, no sanitizer report" it checks properties that hold for every input:
//   CsvField          the value is no longer than the line and has no blank or control character
//                     at either end;
//   CsvReplaceField   the replaced field reads back (split without quote handling) as the value;
//   AddSqlCondition   the condition is in the result, which keeps all of the statement;
//   NormalizeTimeText the result is "dd:dd:dd" (plus a designator) and normalising it again
//                     changes nothing;
//   ReplaceFirstNoCase valid UTF-8 in gives valid UTF-8 out;
//   readers           a failure is a ConversionError, nothing else.
// The locale comes from the environment (LC_ALL=de_DE.UTF-8 ./fuzz_text_helpers runs it German).
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <fuzzer/FuzzedDataProvider.h>

#include "core/regional.h"
#include "core/text_helpers.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    unsigned cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    }
    if (c >= 0xC2 && c <= 0xDF) {
      n = 2, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 3, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 4, cp = c & 0x07;
    } else {
      return false;
    }
    if (i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n;
  }
  return true;
}

// Field `index` of a line split at every separator, quotes ignored; nullopt-like "" past the end.
std::string RawField(std::string_view line, char separator, int index) {
  std::size_t from = 0;
  for (int i = 0; i < index; ++i) {
    const std::size_t p = line.find(separator, from);
    if (p == std::string_view::npos) return {};
    from = p + 1;
  }
  const std::size_t to = line.find(separator, from);
  return std::string(line.substr(from, to == std::string_view::npos ? line.npos : to - from));
}

template <typename F>
void ExpectOnlyConversionErrors(F&& f) {
  try {
    f();
  } catch (const tikora::ConversionError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_ALL, "");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const char separator = in.PickValueInArray({',', ';', '\t', '"', ' ', '|'});
  const int index = in.ConsumeIntegralInRange<int>(-1, 12);
  const bool flag = in.ConsumeBool();
  const std::string a = in.ConsumeRandomLengthString(512);
  const std::string b = in.ConsumeRandomLengthString(64);
  const std::string line = in.ConsumeRemainingBytesAsString();

  // CsvField
  const std::string field = tikora::CsvField(line, separator, index);
  Check(field.size() <= line.size());
  Check(field.empty() || (!IsBlankOrControl(field.front()) && !IsBlankOrControl(field.back())));

  // CsvReplaceField
  const std::string replaced = tikora::CsvReplaceField(line, b, separator, index);
  if (b.find(separator) == std::string::npos && index >= 0) {
    std::size_t separators = 0;
    for (char c : line) separators += c == separator;
    if (separators >= static_cast<std::size_t>(index)) {
      Check(RawField(replaced, separator, index) == b);
      Check(replaced.size() + RawField(line, separator, index).size() == line.size() + b.size());
    }
  }

  // AddSqlCondition
  const std::string sql = tikora::AddSqlCondition(line, b);
  if (b.empty()) {
    Check(sql == line);
  } else {
    Check(sql.find(b) != std::string::npos);
    Check(sql.size() >= line.size() + b.size());
  }
  (void)tikora::AndJoin(a, b);

  // NormalizeTimeText
  const tikora::RegionalSettings r = tikora::CurrentRegionalSettings();
  const std::string time = tikora::NormalizeTimeText(a, flag);
  const std::size_t sep = r.time_separator.size();
  Check(time.size() >= 6 + 2 * sep);
  for (std::size_t p : {std::size_t{0}, std::size_t{1}, 2 + sep, 3 + sep, 4 + 2 * sep, 5 + 2 * sep})
    Check(time[p] >= '0' && time[p] <= '9');
  Check(flag ? time.size() > 6 + 2 * sep : time.size() == 6 + 2 * sep);
  Check(tikora::NormalizeTimeText(time, flag) == time);

  // ReplaceFirstNoCase, PosFrom, RightStr
  const std::size_t start = static_cast<std::size_t>(index < 0 ? 0 : index);
  const std::string swapped = tikora::ReplaceFirstNoCase(line, a, b, start);
  if (IsValidUtf8(line) && IsValidUtf8(a) && IsValidUtf8(b)) Check(IsValidUtf8(swapped));
  const std::size_t pos = tikora::PosFrom(a, line, start);
  Check(pos == 0 || line.compare(pos - 1, a.size(), a) == 0);
  const std::string right = tikora::RightStr(line, index);
  Check(right.size() <= line.size());
  if (IsValidUtf8(line)) Check(IsValidUtf8(right));

  // Readers: a failure is a ConversionError, nothing else.
  ExpectOnlyConversionErrors([&] { (void)tikora::FirstNumber(a); });
  ExpectOnlyConversionErrors([&] { (void)tikora::ParseHourMinute(a); });
  ExpectOnlyConversionErrors([&] { (void)tikora::ParseIsoDate(a); });
  ExpectOnlyConversionErrors([&] { (void)tikora::ParseShortDate(a); });
  ExpectOnlyConversionErrors([&] { (void)tikora::ParseLocaleTime(a); });
  ExpectOnlyConversionErrors([&] { (void)tikora::ParseLocaleDateTime(a); });
  ExpectOnlyConversionErrors([&] {
    const double v = tikora::ParseLocaleFloat(a);
    const double back = tikora::ParseLocaleFloat(tikora::FormatLocaleFloat(v));
    Check(back == v || (v != v && back != back));
  });
  return 0;
}
