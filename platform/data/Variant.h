// Variant: the value type of the data-access layer: empty, null, Boolean, integers, floating
// point, currency, text, date-time, bytes and arrays of variants (restriction criteria and key
// values of Locate).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ado {

enum class VarType : uint8_t { Empty, Null, Bool, Int, Float, Currency, Text, DateTime, Bytes, Array };

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

// A variant takes 16 bytes: the type and a payload of eight. Text, bytes and arrays live on the
// heap, so that a row of mostly null fields costs little.
class Variant {
 public:
  Variant() = default;  // empty
  Variant(bool v) : type_(VarType::Bool) { p_.b = v; }
  Variant(int v) : Variant(static_cast<long long>(v)) {}
  Variant(long v) : Variant(static_cast<long long>(v)) {}
  Variant(long long v) : type_(VarType::Int) { p_.i = static_cast<int64_t>(v); }
  Variant(unsigned v) : Variant(static_cast<long long>(v)) {}
  Variant(double v) : type_(VarType::Float) { p_.d = v; }
  Variant(const char* v) : Variant(std::string(v)) {}
  Variant(std::string v) : type_(VarType::Text) { p_.s = new std::string(std::move(v)); }
  Variant(std::string_view v) : Variant(std::string(v)) {}
  Variant(DateTime v) : type_(VarType::DateTime) { p_.t = v; }
  Variant(Currency v) : type_(VarType::Currency) { p_.c = v; }
  Variant(Bytes v) : type_(VarType::Bytes) { p_.bytes = new Bytes(std::move(v)); }
  Variant(VariantArray v);

  Variant(const Variant& other) : type_(other.type_), p_(other.p_) {
    if (OnHeap()) CopyHeap(other);
  }
  Variant(Variant&& other) noexcept : type_(other.type_), p_(other.p_) { other.type_ = VarType::Empty; }
  Variant& operator=(const Variant& other) {
    if (this != &other) {
      Variant copy(other);
      Swap(copy);
    }
    return *this;
  }
  Variant& operator=(Variant&& other) noexcept {
    Swap(other);
    return *this;
  }
  ~Variant() {
    if (OnHeap()) FreeHeap();
  }

  static Variant Null();

  VarType Type() const { return type_; }
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
  const std::string* IfText() const { return type_ == VarType::Text ? p_.s : nullptr; }

  // Equality of type and value (text compared exactly); see SameValue for loose comparison.
  bool operator==(const Variant& other) const;

 private:
  union Payload {
    bool b;
    int64_t i;
    double d;
    Currency c;
    DateTime t;
    std::string* s;
    Bytes* bytes;
    VariantArray* a;
  };

  bool OnHeap() const { return type_ >= VarType::Text && type_ != VarType::DateTime; }
  void CopyHeap(const Variant& other);
  void FreeHeap();
  void Swap(Variant& other) noexcept {
    std::swap(type_, other.type_);
    std::swap(p_, other.p_);
  }

  VarType type_ = VarType::Empty;
  Payload p_{.i = 0};
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
