#include "web/input.h"

#include <charconv>
#include <cmath>

#include "core/text_helpers.h"

namespace tikora::web {
namespace {

[[noreturn]] void Refuse(std::string_view field, std::string_view text, std::string_view expected) {
  throw BadInput(std::string(field), "The field " + std::string(field) + " holds '" +
                                         std::string(text) + "', which is not " +
                                         std::string(expected) + ".");
}

}  // namespace

DateTime RequiredDate(const Request& request, std::string_view field) {
  const std::string text = request.RequestValue(field);
  if (text.empty())
    throw BadInput(std::string(field), "The field " + std::string(field) + " needs a date.");
  try {
    return ParseIsoDate(text);
  } catch (const ConversionError&) {
    Refuse(field, text, "a date of the form yyyy-mm-dd");
  }
}

DateTime TimeOfDayValue(const Request& request, std::string_view field) {
  const std::string text = request.RequestValue(field);
  try {
    return ParseHourMinute(text);
  } catch (const ConversionError&) {
    Refuse(field, text, "a time of the form hh:mm");
  }
}

std::optional<std::int64_t> WholeNumber(const Request& request, std::string_view field,
                                        std::int64_t min, std::int64_t max) {
  const std::string text = request.RequestValue(field);
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    Refuse(field, text,
           "a whole number from " + std::to_string(min) + " to " + std::to_string(max));
  }
  return value;
}

std::optional<double> Hours(const Request& request, std::string_view field) {
  const std::string text = request.RequestValue(field);
  if (text.empty()) return std::nullopt;
  double hours = 0;
  try {
    hours = ParseLocaleFloat(text);
  } catch (const ConversionError&) {
    Refuse(field, text, "a number of hours");
  }
  if (!std::isfinite(hours) || hours < 0 || hours > 24) Refuse(field, text, "a number of hours from 0 to 24");
  return hours;
}

}  // namespace tikora::web
