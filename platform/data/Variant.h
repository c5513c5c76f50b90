// Variant: the value type of the data-access layer: empty, null, Boolean, integers, floating
// point, currency, text, date-time, bytes and arrays of variants (restriction criteria and key
// values of Locate).
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace ado {

enum class VarType { Empty, Null, Bool, Int, Float, Currency, Text, DateTime, Bytes, Array };

class Variant;
using VariantArray = std::vector<Variant>;
using Bytes = std::vector<uint8_t>;

// Date-times are days since 1899-12-30 with the time as the fraction (the OLE date form).
struct DateTime {
  double value = 0;
  bool operator==(const DateTime&) const = default;
};

// Currency is a fixed-point number scaled by 10,000.
struct Currency {
  int64_t scaled = 0;
  bool operator==(const Currency&) const = default;
};

class Variant {
 public:
  Variant() = default;  // empty
  Variant(bool v) : v_(v) {}
  Variant(int v) : v_(static_cast<int64_t>(v)) {}
  Variant(long v) : v_(static_cast<int64_t>(v)) {}
  Variant(long long v) : v_(static_cast<int64_t>(v)) {}
  Variant(unsigned v) : v_(static_cast<int64_t>(v)) {}
  Variant(double v) : v_(v) {}
  Variant(const char* v) : v_(std::string(v)) {}
  Variant(std::string v) : v_(std::move(v)) {}
  Variant(std::string_view v) : v_(std::string(v)) {}
  Variant(DateTime v) : v_(v) {}
  Variant(Currency v) : v_(v) {}
  Variant(Bytes v) : v_(std::move(v)) {}
  Variant(VariantArray v) : v_(std::move(v)) {}

  static Variant Null();

  // The alternatives of v_ stand in VarType order.
  VarType Type() const { return static_cast<VarType>(v_.index()); }
  bool IsEmpty() const { return Type() == VarType::Empty; }
  bool IsNull() const { return Type() == VarType::Null; }
  // True for empty and null: the "no value" of a field or a restriction element.
  bool IsNullOrEmpty() const { return IsEmpty() || IsNull(); }
  bool IsArray() const { return Type() == VarType::Array; }

  // Conversions. Null and empty give false, 0 or "". Text converts to numbers when it holds one;
  // a conversion that cannot be made raises ado::EVariantError.
  bool AsBool() const;
  int64_t AsInt() const;
  double AsFloat() const;
  std::string AsString() const;
  DateTime AsDateTime() const;
  Currency AsCurrency() const;
  const Bytes& AsBytes() const;
  const VariantArray& AsArray() const;
  // The text held, without copying it; nullptr when the value is not text.
  const std::string* IfText() const { return std::get_if<std::string>(&v_); }

  // Equality of type and value (text compared exactly); see SameValue for loose comparison.
  bool operator==(const Variant& other) const;

 private:
  struct NullTag {
    bool operator==(const NullTag&) const = default;
  };
  std::variant<std::monostate, NullTag, bool, int64_t, double, Currency, std::string, DateTime,
               Bytes, VariantArray>
      v_;
};

// Compares two values as a data set compares keys: numbers by value across integer, float and
// currency; text optionally ignoring case; null equals only null. Returns <0, 0, >0.
int CompareVariants(const Variant& a, const Variant& b, bool ignoreCase);

// Text form of a date-time, "yyyy-mm-ddThh:nn:ss" (as persisted), and its parse; the parse raises
// EVariantError on malformed text.
std::string DateTimeToIso(DateTime dt);
DateTime IsoToDateTime(const std::string& s);
DateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                        int millisecond = 0);
void DecodeDateTime(DateTime dt, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& millisecond);

}  // namespace ado
