#include "platform/data/Variant.h"

#include <charconv>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/Text.h"
#include "platform/data/DataErrors.h"

namespace ado {

static_assert(sizeof(Variant) == 16, "a variant is its type and eight bytes");

Variant::Variant(VariantArray v) : type_(VarType::Array) { p_.a = new VariantArray(std::move(v)); }

Variant Variant::Null() {
  Variant v;
  v.type_ = VarType::Null;
  return v;
}

void Variant::CopyHeap(const Variant& other) {
  switch (type_) {
    case VarType::Text: p_.s = new std::string(*other.p_.s); break;
    case VarType::Bytes: p_.bytes = new Bytes(*other.p_.bytes); break;
    case VarType::Array: p_.a = new VariantArray(*other.p_.a); break;
    default: break;
  }
}

void Variant::FreeHeap() {
  switch (type_) {
    case VarType::Text: delete p_.s; break;
    case VarType::Bytes: delete p_.bytes; break;
    case VarType::Array: delete p_.a; break;
    default: break;
  }
}

namespace {

bool ParseInt(const std::string& s, int64_t& out) {
  const std::string t = text::Trim(s);
  if (t.empty()) return false;
  const char* b = t.data();
  const char* e = t.data() + t.size();
  if (*b == '+') ++b;
  auto [p, ec] = std::from_chars(b, e, out);
  return ec == std::errc() && p == e;
}

bool ParseFloat(const std::string& s, double& out) {
  const std::string t = text::Trim(s);
  if (t.empty()) return false;
  char* end = nullptr;
  out = std::strtod(t.c_str(), &end);
  return end == t.c_str() + t.size();
}

[[noreturn]] void CannotConvert(const Variant& v, const char* to) {
  throw EVariantError("Could not convert variant of value '" + v.AsString() + "' into type " + to);
}

}  // namespace

bool Variant::AsBool() const {
  switch (Type()) {
    case VarType::Empty:
    case VarType::Null: return false;
    case VarType::Bool: return p_.b;
    case VarType::Int: return p_.i != 0;
    case VarType::Float: return p_.d != 0;
    case VarType::Currency: return p_.c.scaled != 0;
    case VarType::Text: {
      const std::string& s = *p_.s;
      if (text::SameText(text::Trim(s), "true")) return true;
      if (text::SameText(text::Trim(s), "false")) return false;
      int64_t i = 0;
      if (ParseInt(s, i)) return i != 0;
      CannotConvert(*this, "Boolean");
    }
    default: CannotConvert(*this, "Boolean");
  }
}

int64_t Variant::AsInt() const {
  switch (Type()) {
    case VarType::Empty:
    case VarType::Null: return 0;
    case VarType::Bool: return p_.b ? -1 : 0;
    case VarType::Int: return p_.i;
    case VarType::Float: return static_cast<int64_t>(std::llround(p_.d));
    case VarType::Currency: return p_.c.scaled / 10000;
    case VarType::DateTime: return static_cast<int64_t>(p_.t.value);
    case VarType::Text: {
      int64_t i = 0;
      if (ParseInt(*p_.s, i)) return i;
      double d = 0;
      if (ParseFloat(*p_.s, d)) return static_cast<int64_t>(std::llround(d));
      CannotConvert(*this, "Integer");
    }
    default: CannotConvert(*this, "Integer");
  }
}

double Variant::AsFloat() const {
  switch (Type()) {
    case VarType::Empty:
    case VarType::Null: return 0;
    case VarType::Bool: return p_.b ? -1 : 0;
    case VarType::Int: return static_cast<double>(p_.i);
    case VarType::Float: return p_.d;
    case VarType::Currency: return static_cast<double>(p_.c.scaled) / 10000.0;
    case VarType::DateTime: return p_.t.value;
    case VarType::Text: {
      double d = 0;
      if (ParseFloat(*p_.s, d)) return d;
      CannotConvert(*this, "Double");
    }
    default: CannotConvert(*this, "Double");
  }
}

namespace {

std::string FormatFloat(double d) {
  if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", d);
    return buf;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", d);
  double back = std::strtod(buf, nullptr);
  if (back != d) std::snprintf(buf, sizeof buf, "%.17g", d);
  return buf;
}

std::string FormatCurrency(Currency c) {
  const bool neg = c.scaled < 0;
  const uint64_t mag = neg ? 0 - static_cast<uint64_t>(c.scaled) : static_cast<uint64_t>(c.scaled);
  std::string r = std::to_string(mag / 10000);
  uint64_t frac = mag % 10000;
  if (frac) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04u", static_cast<unsigned>(frac));
    std::string f = buf;
    while (!f.empty() && f.back() == '0') f.pop_back();
    r += "." + f;
  }
  return neg ? "-" + r : r;
}

}  // namespace

std::string Variant::AsString() const {
  switch (Type()) {
    case VarType::Empty:
    case VarType::Null: return {};
    case VarType::Bool: return p_.b ? "True" : "False";
    case VarType::Int: return std::to_string(p_.i);
    case VarType::Float: return FormatFloat(p_.d);
    case VarType::Currency: return FormatCurrency(p_.c);
    case VarType::Text: return *p_.s;
    case VarType::DateTime: return DateTimeToIso(p_.t);
    case VarType::Bytes: {
      const Bytes& b = *p_.bytes;
      return std::string(b.begin(), b.end());
    }
    case VarType::Array: {
      std::string r;
      for (const Variant& e : *p_.a) {
        if (!r.empty()) r += ";";
        r += e.AsString();
      }
      return r;
    }
  }
  return {};
}

DateTime Variant::AsDateTime() const {
  switch (Type()) {
    case VarType::Empty:
    case VarType::Null: return {};
    case VarType::DateTime: return p_.t;
    case VarType::Int:
    case VarType::Float:
    case VarType::Currency: {
      // Dates run from the year 100 to the end of 9999.
      const double days = AsFloat();
      if (!(days >= -657434.0 && days < 2958466.0)) CannotConvert(*this, "Date");
      return DateTime{days};
    }
    case VarType::Text: return IsoToDateTime(*p_.s);
    default: CannotConvert(*this, "Date");
  }
}

Currency Variant::AsCurrency() const {
  switch (Type()) {
    case VarType::Currency: return p_.c;
    case VarType::Int: {
      int64_t scaled = 0;
      if (__builtin_mul_overflow(p_.i, int64_t{10000}, &scaled))
        CannotConvert(*this, "Currency");
      return Currency{scaled};
    }
    default: {
      const double scaled = AsFloat() * 10000.0;
      if (!(std::fabs(scaled) < 9223372036854775807.0)) CannotConvert(*this, "Currency");
      return Currency{static_cast<int64_t>(std::llround(scaled))};
    }
  }
}

const Bytes& Variant::AsBytes() const {
  if (Type() != VarType::Bytes) CannotConvert(*this, "Bytes");
  return *p_.bytes;
}

const VariantArray& Variant::AsArray() const {
  if (Type() != VarType::Array) CannotConvert(*this, "Array");
  return *p_.a;
}

bool Variant::operator==(const Variant& other) const {
  if (type_ != other.type_) return false;
  switch (type_) {
    case VarType::Empty:
    case VarType::Null: return true;
    case VarType::Bool: return p_.b == other.p_.b;
    case VarType::Int: return p_.i == other.p_.i;
    case VarType::Float: return p_.d == other.p_.d;
    case VarType::Currency: return p_.c == other.p_.c;
    case VarType::Text: return *p_.s == *other.p_.s;
    case VarType::DateTime: return p_.t == other.p_.t;
    case VarType::Bytes: return *p_.bytes == *other.p_.bytes;
    case VarType::Array: return *p_.a == *other.p_.a;
  }
  return false;
}

namespace {

bool IsNumeric(VarType t) {
  return t == VarType::Bool || t == VarType::Int || t == VarType::Float ||
         t == VarType::Currency || t == VarType::DateTime;
}

}  // namespace

int CompareVariants(const Variant& a, const Variant& b, bool ignoreCase) {
  const bool an = a.IsNullOrEmpty();
  const bool bn = b.IsNullOrEmpty();
  if (an || bn) return an == bn ? 0 : (an ? -1 : 1);
  // Text against text, the usual case of names: compared where they stand, without copies.
  if (const std::string *x = a.IfText(), *y = b.IfText(); x && y) {
    if (ignoreCase) return text::CompareText(*x, *y);
    const int c = x->compare(*y);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  const VarType ta = a.Type();
  const VarType tb = b.Type();
  if (ta == VarType::Int && tb == VarType::Int) {
    const int64_t x = a.AsInt(), y = b.AsInt();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  if (IsNumeric(ta) && IsNumeric(tb)) {
    const double x = a.AsFloat(), y = b.AsFloat();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  if (IsNumeric(ta) != IsNumeric(tb)) {
    // Text against a number: compare as numbers when the text holds one.
    double x = 0, y = 0;
    try {
      x = a.AsFloat();
      y = b.AsFloat();
      return x < y ? -1 : (x > y ? 1 : 0);
    } catch (const EVariantError&) {
    }
  }
  const std::string x = a.AsString();
  const std::string y = b.AsString();
  if (ignoreCase) return text::CompareText(x, y);
  const int c = x.compare(y);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

namespace {

// Days from 0001-01-01 (proleptic Gregorian) to the given date; used to build OLE dates.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;  // days since 1970-01-01
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

const int64_t kOleEpochFromUnix = DaysFromCivil(1899, 12, 30);

}  // namespace

DateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                        int millisecond) {
  const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                       kOleEpochFromUnix;
  const double frac =
      (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0;
  // OLE dates before the epoch keep the time as a positive fraction of a negative day.
  return DateTime{days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac};
}

void DecodeDateTime(DateTime dt, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& millisecond) {
  // Kept within the years 100 to 9999, the range a date can hold.
  const double v = std::isnan(dt.value) ? 0.0 : std::clamp(dt.value, -657434.0, 2958465.99999999);
  const double dayPart = std::trunc(v);
  const double frac = std::fabs(v - dayPart);
  int64_t ms = static_cast<int64_t>(std::llround(frac * 86400000.0));
  int64_t days = static_cast<int64_t>(dayPart);
  if (ms >= 86400000) {
    ms -= 86400000;
    days += v >= 0 ? 1 : -1;
  }
  CivilFromDays(days + kOleEpochFromUnix, year, month, day);
  hour = static_cast<int>(ms / 3600000);
  minute = static_cast<int>(ms / 60000 % 60);
  second = static_cast<int>(ms / 1000 % 60);
  millisecond = static_cast<int>(ms % 1000);
}

std::string DateTimeToIso(DateTime dt) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(dt, y, mo, d, h, mi, s, ms);
  char buf[48];
  if (ms) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", y, mo, d, h, mi, s, ms);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, s);
  }
  return buf;
}

DateTime IsoToDateTime(const std::string& str) {
  const std::string s = text::Trim(str);
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  double fracSec = 0;
  int consumed = 0;
  if (std::sscanf(s.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &consumed) != 3) {
    throw EVariantError("Invalid date-time text '" + str + "'");
  }
  size_t pos = static_cast<size_t>(consumed);
  if (pos < s.size() && (s[pos] == 'T' || s[pos] == ' ')) {
    int c2 = 0;
    if (std::sscanf(s.c_str() + pos + 1, "%2d:%2d%n", &h, &mi, &c2) != 2) {
      throw EVariantError("Invalid date-time text '" + str + "'");
    }
    pos += 1 + static_cast<size_t>(c2);
    if (pos < s.size() && s[pos] == ':') {
      char* end = nullptr;
      const double secs = std::strtod(s.c_str() + pos + 1, &end);
      sec = static_cast<int>(secs);
      fracSec = secs - sec;
      pos = static_cast<size_t>(end - s.c_str());
    }
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 60) {
    throw EVariantError("Invalid date-time text '" + str + "'");
  }
  return EncodeDateTime(y, mo, d, h, mi, sec, static_cast<int>(std::llround(fracSec * 1000)));
}

}  // namespace ado
