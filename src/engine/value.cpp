#include "engine/value.h"

#include <charconv>
#include <cmath>

#include <fmt/format.h>

#include "engine/errors.h"

namespace tikora::engine {
namespace {

[[noreturn]] void BadConversion(const Value& v, const char* to) {
  throw EngineError(kErrValueOutOfRange,
                    fmt::format("The value {} cannot be read as {}", DebugString(v), to));
}

// Locale-independent text of a double: the shortest form that reads back exactly.
std::string FloatText(double d) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, res.ptr);
}

}  // namespace

std::string Value::AsText() const {
  switch (kind()) {
    case Kind::Null: return {};
    case Kind::Text: return std::get<std::string>(data_);
    case Kind::Integer: return std::to_string(std::get<std::int64_t>(data_));
    case Kind::Float: return FloatText(std::get<double>(data_));
    case Kind::Boolean: return std::get<bool>(data_) ? "True" : "False";
    case Kind::DateTime: {
      tikora::DateTime dt = std::get<tikora::DateTime>(data_);
      if (TimePart(dt).days == 0) return FormatIsoDate(dt);
      if (DatePart(dt).days == 0) return FormatIsoTime(dt);
      return FormatIsoTimestamp(dt);
    }
  }
  return {};
}

std::int64_t Value::AsInteger() const {
  switch (kind()) {
    case Kind::Null: return 0;
    case Kind::Integer: return std::get<std::int64_t>(data_);
    case Kind::Boolean: return std::get<bool>(data_) ? 1 : 0;
    case Kind::Float: {
      double d = std::get<double>(data_);
      if (!std::isfinite(d) || std::fabs(d) > 9.2e18) BadConversion(*this, "an integer");
      return static_cast<std::int64_t>(std::llround(d));
    }
    case Kind::Text: {
      const std::string& s = std::get<std::string>(data_);
      std::int64_t v = 0;
      auto res = std::from_chars(s.data(), s.data() + s.size(), v);
      if (res.ec != std::errc() || res.ptr != s.data() + s.size()) BadConversion(*this, "an integer");
      return v;
    }
    case Kind::DateTime: BadConversion(*this, "an integer");
  }
  return 0;
}

double Value::AsFloat() const {
  switch (kind()) {
    case Kind::Null: return 0;
    case Kind::Integer: return static_cast<double>(std::get<std::int64_t>(data_));
    case Kind::Float: return std::get<double>(data_);
    case Kind::Boolean: return std::get<bool>(data_) ? 1 : 0;
    case Kind::DateTime: return std::get<tikora::DateTime>(data_).days;
    case Kind::Text: {
      const std::string& s = std::get<std::string>(data_);
      double v = 0;
      auto res = std::from_chars(s.data(), s.data() + s.size(), v);
      if (res.ec != std::errc() || res.ptr != s.data() + s.size()) BadConversion(*this, "a number");
      return v;
    }
  }
  return 0;
}

bool Value::AsBoolean() const {
  switch (kind()) {
    case Kind::Null: return false;
    case Kind::Boolean: return std::get<bool>(data_);
    case Kind::Integer: return std::get<std::int64_t>(data_) != 0;
    case Kind::Float: return std::get<double>(data_) != 0;
    case Kind::Text: {
      const std::string& s = std::get<std::string>(data_);
      if (s == "True" || s == "true" || s == "TRUE" || s == "1") return true;
      if (s == "False" || s == "false" || s == "FALSE" || s == "0" || s.empty()) return false;
      BadConversion(*this, "a boolean");
    }
    case Kind::DateTime: BadConversion(*this, "a boolean");
  }
  return false;
}

tikora::DateTime Value::AsDateTime() const {
  switch (kind()) {
    case Kind::Null: return tikora::DateTime(0);
    case Kind::DateTime: return std::get<tikora::DateTime>(data_);
    case Kind::Float: return tikora::DateTime(std::get<double>(data_));
    case Kind::Integer: return tikora::DateTime(static_cast<double>(std::get<std::int64_t>(data_)));
    case Kind::Text: {
      const std::string& s = std::get<std::string>(data_);
      if (auto ts = ParseIsoTimestampText(s)) return *ts;
      if (auto t = ParseIsoTimeText(s)) return *t;
      BadConversion(*this, "a date or time");
    }
    case Kind::Boolean: BadConversion(*this, "a date or time");
  }
  return tikora::DateTime(0);
}

std::string DebugString(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Null: return "NULL";
    case Value::Kind::Text: return "\"" + v.AsText() + "\"";
    case Value::Kind::DateTime: return "#" + v.AsText() + "#";
    default: return v.AsText();
  }
}

}  // namespace tikora::engine
