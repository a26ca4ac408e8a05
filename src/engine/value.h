// The value of one field as it crosses the engine's interface.
//
// A Value is empty (NULL), a text, an integer, a float, a boolean or a date-time. Reading a value
// as another kind converts where that is meaningful (an integer as float, a date-time as text in
// ISO form) and throws EngineError(kErrValueOutOfRange) where it is not.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "core/datetime.h"

namespace tikora::engine {

class Value {
 public:
  enum class Kind { Null, Text, Integer, Float, Boolean, DateTime };

  Value() = default;
  static Value Null() { return Value(); }
  static Value Text(std::string s) { return Value(Storage(std::move(s))); }
  static Value Integer(std::int64_t i) { return Value(Storage(i)); }
  static Value Float(double d) { return Value(Storage(d)); }
  static Value Boolean(bool b) { return Value(Storage(b)); }
  static Value Date(tikora::DateTime dt) { return Value(Storage(dt)); }

  Kind kind() const { return static_cast<Kind>(data_.index()); }
  bool IsNull() const { return kind() == Kind::Null; }

  // Conversions. Null reads as "" / 0 / false / 0.0 (the empty value of each kind).
  std::string AsText() const;
  std::int64_t AsInteger() const;
  double AsFloat() const;
  bool AsBoolean() const;
  tikora::DateTime AsDateTime() const;

  bool operator==(const Value& other) const = default;

 private:
  using Storage = std::variant<std::monostate, std::string, std::int64_t, double, bool,
                               tikora::DateTime>;
  explicit Value(Storage s) : data_(std::move(s)) {}
  Storage data_;
};

// A readable form for test failures and messages.
std::string DebugString(const Value& v);

}  // namespace tikora::engine
