// The functions every embedded server registers on its SQLite connections: "+" that adds or
// concatenates, conversions, text and number helpers, and dates read in the session's order.
#include "servers/core/Functions.h"

#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "common/Text.h"
#include "servers/core/Tokenizer.h"

namespace servers {

std::string ArgText(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(v)))
           : std::string();
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

std::pair<std::string, std::string> SplitOwner(const std::string& s) {
  std::vector<std::string> parts = SplitNameParts(s);
  std::string owner = parts.size() >= 2 ? parts[parts.size() - 2] : std::string();
  if (parts.back().empty()) return {std::string(), owner};
  return {owner, parts.back()};
}

void ResultError(sqlite3_context* ctx, int number, const std::string& message) {
  std::string coded = std::to_string(number) + "|" + message;
  sqlite3_result_error(ctx, coded.c_str(), static_cast<int>(coded.size()));
}


namespace {






// Parses a number from text as the server converts text in arithmetic.
bool TextToNumber(const std::string& s, double& out, bool& isInt) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) {
    out = 0;
    isInt = true;
    return true;
  }
  size_t e = s.find_last_not_of(" \t");
  std::string t = s.substr(b, e - b + 1);
  char* end = nullptr;
  out = std::strtod(t.c_str(), &end);
  if (!end || *end != '\0') return false;
  isInt = t.find_first_of(".eE") == std::string::npos;
  return true;
}

// A value while a chain of + is added from the left: NULL, text (or bytes), a whole number or a
// real.
struct AddValue {
  enum Kind { Null, Text, Integer, Real } kind = Null;
  std::string text;
  int64_t integer = 0;
  double real = 0;
};

AddValue ValueOf(sqlite3_value* v) {
  AddValue out;
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      break;
    case SQLITE_INTEGER:
      out.kind = AddValue::Integer;
      out.integer = sqlite3_value_int64(v);
      break;
    case SQLITE_FLOAT:
      out.kind = AddValue::Real;
      out.real = sqlite3_value_double(v);
      break;
    default:
      out.kind = AddValue::Text;
      out.text = ArgText(v);
  }
  return out;
}

// One operand of + as a number: text converted as the server converts it (error 245 raised when
// it is no number), anything else as it stands. False once the error is raised.
bool AddOperand(sqlite3_context* ctx, const AddValue& v, double& out, bool& isInt) {
  if (v.kind != AddValue::Text) {
    out = v.kind == AddValue::Integer ? static_cast<double>(v.integer) : v.real;
    isInt = v.kind == AddValue::Integer;
    return true;
  }
  if (TextToNumber(v.text, out, isInt)) return true;
  ResultError(ctx, 245, "Syntax error converting the varchar value '" + v.text + "' to a column of data type int.");
  return false;
}

// a + b into `a`: text joins text, anything else adds as numbers. False once an error is raised.
bool AddTo(sqlite3_context* ctx, AddValue& a, const AddValue& b) {
  if (a.kind == AddValue::Null || b.kind == AddValue::Null) {
    a = AddValue();
    return true;
  }
  if (a.kind == AddValue::Text && b.kind == AddValue::Text) {
    a.text += b.text;
    return true;
  }
  double x = 0, y = 0;
  bool xi = true, yi = true;
  if (!AddOperand(ctx, a, x, xi) || !AddOperand(ctx, b, y, yi)) return false;
  // Whole numbers add as bigint; a sum past its range is the server's overflow error.
  const bool aText = a.kind == AddValue::Text, bText = b.kind == AddValue::Text;
  const bool inRange = std::fabs(x) < 9.2e18 && std::fabs(y) < 9.2e18;
  if (xi && yi && (inRange || (!aText && !bText))) {
    const int64_t l = aText ? static_cast<int64_t>(x) : a.integer;
    const int64_t r = bText ? static_cast<int64_t>(y) : b.integer;
    int64_t sum = 0;
    if (__builtin_add_overflow(l, r, &sum)) {
      ResultError(ctx, 8115, "Arithmetic overflow error converting expression to data type bigint.");
      return false;
    }
    a = AddValue();
    a.kind = AddValue::Integer;
    a.integer = sum;
    return true;
  }
  a = AddValue();
  a.kind = AddValue::Real;
  a.real = x + y;
  return true;
}

// tsql_add(a, b, c ...): ((a + b) + c) ..., a chain of + written as one call so that a long chain
// nests no deeper than a short one.
void AddFunc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  AddValue sum = ValueOf(argv[0]);
  for (int i = 1; i < argc && sum.kind != AddValue::Null; ++i)
    if (!AddTo(ctx, sum, ValueOf(argv[i]))) return;
  switch (sum.kind) {
    case AddValue::Null:
      return sqlite3_result_null(ctx);
    case AddValue::Text:
      return ResultText(ctx, sum.text);
    case AddValue::Integer:
      return sqlite3_result_int64(ctx, sum.integer);
    case AddValue::Real:
      return sqlite3_result_double(ctx, sum.real);
  }
}

// jet_concat(a, b, c ...): the texts joined, a NULL among them as an empty text; NULL when all
// are NULL.
void ConcatFunc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string out;
  bool any = false;
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) continue;
    any = true;
    out += ArgText(argv[i]);
  }
  if (!any) return sqlite3_result_null(ctx);
  ResultText(ctx, out);
}

IDateOrderHost& Host(sqlite3_context* ctx) { return *static_cast<IDateOrderHost*>(sqlite3_user_data(ctx)); }

// Converts one value to the stored datetime form in the date order given, or raises 241/242.
void DateTimeIn(sqlite3_context* ctx, sqlite3_value* v, const std::string& order) {
  int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    // days since 1900-01-01
    double days = sqlite3_value_double(v);
    // datetime holds 1753-01-01 (day -53690) to the end of 9999-12-31 (day 2958463).
    if (!(days >= -53690.0 && days < 2958464.0)) {
      ResultError(ctx, 8115, "Arithmetic overflow error converting expression to data type datetime.");
      return;
    }
    time_t base = 0;
    std::tm tm{};
    tm.tm_year = 0;
    tm.tm_mon = 0;
    tm.tm_mday = 1;
    base = timegm(&tm);
    double secs = static_cast<double>(base) + days * 86400.0;
    time_t whole = static_cast<time_t>(std::floor(secs));
    int ms = static_cast<int>(std::lround((secs - std::floor(secs)) * 1000.0));
    if (ms >= 1000) {
      ms -= 1000;
      ++whole;
    }
    std::tm out{};
    gmtime_r(&whole, &out);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", out.tm_year + 1900,
                  out.tm_mon + 1, out.tm_mday, out.tm_hour, out.tm_min, out.tm_sec, ms);
    ResultText(ctx, buf);
    return;
  }
  std::string out;
  if (int error = ConvertDateTime(ArgText(v), order, out)) {
    ResultError(ctx, error, DateTimeErrorText(error));
    return;
  }
  ResultText(ctx, out);
}

void DateTimeFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  DateTimeIn(ctx, argv[0], Host(ctx).DateFormat());
}

// CONVERT(datetime, text, style): the style fixes the order of the text's date parts.
void DateTimeStyleFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int style = sqlite3_value_int(argv[1]) % 100;
  std::string order = Host(ctx).DateFormat();
  if (style == 1 || style == 10 || style == 22) order = "mdy";
  else if ((style >= 3 && style <= 5) || style == 13) order = "dmy";
  else if (style == 2 || style == 11 || style == 12 || style == 20 || style == 21 || style == 26) order = "ymd";
  DateTimeIn(ctx, argv[0], order);
}

// isdate(x): 1 when the text converts to datetime in the session's date order.
void IsDateFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_int(ctx, 0);
  std::string out;
  sqlite3_result_int(ctx, ConvertDateTime(ArgText(argv[0]), Host(ctx).DateFormat(), out) == 0 ? 1 : 0);
}

// The right side of a comparison with a date-shaped literal: the literal converted to the stored
// datetime form when the other side holds a datetime, as the server converts it; else the literal.
void CompareDateFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::string other = ArgText(argv[0]);
  bool stored = other.size() == 23 && other[4] == '-' && other[7] == '-' && other[10] == ' ' &&
                other[13] == ':' && other[16] == ':' && other[19] == '.';
  if (!stored) return sqlite3_result_value(ctx, argv[1]);
  DateTimeIn(ctx, argv[1], Host(ctx).DateFormat());
}

void BitFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* v = argv[0];
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      sqlite3_result_null(ctx);
      return;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      sqlite3_result_int(ctx, sqlite3_value_double(v) != 0 ? 1 : 0);
      return;
    default: {
      std::string s = ArgText(v);
      if (strcasecmp(s.c_str(), "true") == 0) {
        sqlite3_result_int(ctx, 1);
        return;
      }
      if (strcasecmp(s.c_str(), "false") == 0) {
        sqlite3_result_int(ctx, 0);
        return;
      }
      double d = 0;
      bool isInt = false;
      if (!TextToNumber(s, d, isInt)) {
        ResultError(ctx, 245, "Syntax error converting the varchar value '" + s +
                                  "' to a column of data type bit.");
        return;
      }
      sqlite3_result_int(ctx, d != 0 ? 1 : 0);
    }
  }
}

void StrFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* v = argv[0];
  int t = sqlite3_value_type(v);
  if (t == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  if (t == SQLITE_FLOAT) {
    double d = sqlite3_value_double(v);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    ResultText(ctx, buf);
    return;
  }
  ResultText(ctx, ArgText(v));
}

void ObjNameFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  // "[dbo].[T]" or "dbo.T" -> "T"
  ResultText(ctx, SplitOwner(ArgText(argv[0])).second);
}

void GetDateFunc(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, NowText()); }

void GetUtcDateFunc(sqlite3_context* ctx, int, sqlite3_value**) {
  time_t now = time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.000", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  ResultText(ctx, buf);
}

void NewIdFunc(sqlite3_context* ctx, int, sqlite3_value**) {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  uint64_t a = rng(), b = rng();
  char buf[96];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(a >> 32),
                static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFFF),
                static_cast<unsigned>(b >> 48),
                static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFULL));
  ResultText(ctx, buf);
}

void RightFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  std::string s = ArgText(argv[0]);
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n <= 0) {
    ResultText(ctx, "");
    return;
  }
  if (static_cast<size_t>(n) >= s.size()) ResultText(ctx, s);
  else ResultText(ctx, s.substr(s.size() - static_cast<size_t>(n)));
}

void CharIndexFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::string needle = ArgText(argv[0]);
  std::string hay = ArgText(argv[1]);
  int64_t start = sqlite3_value_int64(argv[2]);
  if (start < 1) start = 1;
  size_t p = hay.find(needle, static_cast<size_t>(start - 1));
  sqlite3_result_int64(ctx, p == std::string::npos ? 0 : static_cast<int64_t>(p + 1));
}

void CeilingFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  sqlite3_result_double(ctx, std::ceil(sqlite3_value_double(argv[0])));
}

void FloorFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  sqlite3_result_double(ctx, std::floor(sqlite3_value_double(argv[0])));
}

void DatePartFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::string part = ArgText(argv[0]);
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string norm;
  if (int error = ConvertDateTime(ArgText(argv[1]), Host(ctx).DateFormat(), norm)) {
    ResultError(ctx, error, DateTimeErrorText(error));
    return;
  }
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  std::sscanf(norm.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
  int v = 0;
  if (part == "year" || part == "yy" || part == "yyyy") v = y;
  else if (part == "month" || part == "mm" || part == "m") v = mo;
  else if (part == "day" || part == "dd" || part == "d") v = d;
  else if (part == "hour" || part == "hh") v = h;
  else if (part == "minute" || part == "mi" || part == "n") v = mi;
  else if (part == "second" || part == "ss" || part == "s") v = s;
  else {
    ResultError(ctx, 155, "'" + part + "' is not a recognized datepart option.");
    return;
  }
  sqlite3_result_int(ctx, v);
}

void ReplicateFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string s = ArgText(argv[0]);
  int64_t n = sqlite3_value_int64(argv[1]);
  std::string out;
  if (!s.empty()) {
    for (int64_t i = 0; i < n && out.size() < 8000; ++i) out += s;
  }
  ResultText(ctx, out);
}

// The divisor of "/" and "%", passed through unchanged; zero is the server's error 8134, where
// SQLite would quietly give null.
void NonZeroFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* v = argv[0];
  double d = 1;
  bool isInt = false;
  const int t = sqlite3_value_type(v);
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
    d = sqlite3_value_double(v);
  } else if (t == SQLITE_TEXT && !TextToNumber(ArgText(v), d, isInt)) {
    d = 1;
  }
  if (t != SQLITE_NULL && t != SQLITE_BLOB && d == 0) {
    ResultError(ctx, 8134, "Divide by zero error encountered.");
    return;
  }
  sqlite3_result_value(ctx, v);
}

void SpaceFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int64_t n = sqlite3_value_int64(argv[0]);
  ResultText(ctx, std::string(static_cast<size_t>(n > 0 && n < 8000 ? n : 0), ' '));
}

void IsNumericFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int t = sqlite3_value_type(argv[0]);
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) return sqlite3_result_int(ctx, 1);
  double d = 0;
  bool isInt = false;
  std::string s = ArgText(argv[0]);
  sqlite3_result_int(ctx, t == SQLITE_TEXT && !s.empty() && TextToNumber(s, d, isInt) ? 1 : 0);
}

// char(n) values are padded with blanks to their length, as the server stores them.
void PadFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string s = ArgText(argv[0]);
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n > 0 && static_cast<int64_t>(s.size()) < n) s.append(static_cast<size_t>(n) - s.size(), ' ');
  ResultText(ctx, s);
}

// A value bound for a numeric column: text converts or fails as the server's conversion does,
// and integers must fit their type. Given a precision and a scale (decimal and numeric), the
// value rounded to the scale must have no more whole digits than the precision leaves.
void ToNumberFunc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  sqlite3_value* v = argv[0];
  std::string type = ArgText(argv[1]);
  int t = sqlite3_value_type(v);
  if (t == SQLITE_NULL) return sqlite3_result_null(ctx);
  bool integral = type == "int" || type == "smallint" || type == "tinyint" || type == "bigint";
  double d = 0;
  bool isInt = false;
  if (t == SQLITE_TEXT) {
    std::string text = ArgText(v);
    if (!TextToNumber(text, d, isInt) || (integral && !isInt)) {
      ResultError(ctx, 245, "Syntax error converting the varchar value '" + text + "' to a column of data type " + type + ".");
      return;
    }
  } else if (t == SQLITE_BLOB && integral) {
    // Binary converts to an integer from its last bytes, most significant first (0x10 is 16).
    const size_t size = type == "tinyint" ? 1 : type == "smallint" ? 2 : type == "int" ? 4 : 8;
    auto* bytes = static_cast<const unsigned char*>(sqlite3_value_blob(v));
    size_t n = static_cast<size_t>(sqlite3_value_bytes(v));
    uint64_t value = 0;
    for (size_t i = n > size ? n - size : 0; i < n; ++i) value = (value << 8) | bytes[i];
    int64_t result = static_cast<int64_t>(value);
    if (size == 2) result = static_cast<int16_t>(value);
    if (size == 4) result = static_cast<int32_t>(value);
    return sqlite3_result_int64(ctx, result);
  } else if (t == SQLITE_BLOB) {
    ResultError(ctx, 257, "Implicit conversion from data type varbinary to " + type +
                              " is not allowed. Use the CONVERT function to run this query.");
    return;
  } else {
    d = sqlite3_value_double(v);
  }
  if (type == "money" || type == "smallmoney") {
    const double limit = type == "money" ? 922337203685477.5807 : 214748.3647;
    if (!(std::fabs(d) <= limit)) {
      ResultError(ctx, 8115, "Arithmetic overflow error converting expression to data type " + type + ".");
      return;
    }
  }
  if (!integral && argc == 4) {
    const int scale = sqlite3_value_int(argv[3]);
    const double unit = std::pow(10.0, scale);
    if (!(std::round(std::fabs(d) * unit) / unit < std::pow(10.0, sqlite3_value_int(argv[2]) - scale))) {
      const char* source = t == SQLITE_INTEGER ? "int" : t == SQLITE_TEXT ? "varchar" : "numeric";
      ResultError(ctx, 8115, std::string("Arithmetic overflow error converting ") + source + " to data type numeric.");
      return;
    }
  }
  if (!integral) {
    if (t == SQLITE_INTEGER) return sqlite3_result_value(ctx, v);
    return sqlite3_result_double(ctx, d);
  }
  double lo = type == "tinyint" ? 0 : type == "smallint" ? -32768 : type == "int" ? -2147483648.0 : -9223372036854775808.0;
  double hi = type == "tinyint" ? 255 : type == "smallint" ? 32767 : type == "int" ? 2147483647.0 : 9223372036854775807.0;
  if (t == SQLITE_INTEGER && type == "bigint") return sqlite3_result_value(ctx, v);
  double whole = std::trunc(d);
  // 2^63 itself is past bigint's range (and past what a cast to int64_t may take).
  if (!(whole >= lo && whole <= hi) || whole >= 9223372036854775808.0) {
    ResultError(ctx, 8115, "Arithmetic overflow error converting expression to data type " + type + ".");
    return;
  }
  if (t == SQLITE_INTEGER) return sqlite3_result_int64(ctx, sqlite3_value_int64(v));
  sqlite3_result_int64(ctx, static_cast<int64_t>(whole));
}

// A value bound for a text or binary column of at most n characters or bytes; char(n) is padded.
void FitFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* v = argv[0];
  if (sqlite3_value_type(v) == SQLITE_NULL) return sqlite3_result_null(ctx);
  int64_t n = sqlite3_value_int64(argv[1]);
  bool pad = sqlite3_value_int(argv[2]) != 0;
  if (sqlite3_value_type(v) == SQLITE_BLOB) {
    int64_t bytes = sqlite3_value_bytes(v);
    if (bytes > n) {
      ResultError(ctx, 8152, "String or binary data would be truncated.");
      return;
    }
    if (!pad || bytes >= n) return sqlite3_result_value(ctx, v);
    // binary(n) is padded with zero bytes.
    std::string b(static_cast<size_t>(n), '\0');
    if (bytes > 0) std::memcpy(b.data(), sqlite3_value_blob(v), static_cast<size_t>(bytes));
    return sqlite3_result_blob64(ctx, b.data(), b.size(), SQLITE_TRANSIENT);
  }
  std::string s = ArgText(v);
  // Characters, not bytes: count UTF-8 lead bytes.
  int64_t chars = 0;
  for (unsigned char c : s) chars += (c & 0xC0) != 0x80;
  if (chars > n) {
    size_t end = s.find_last_not_of(' ');
    int64_t trimmed = 0;
    for (size_t i = 0; end != std::string::npos && i <= end; ++i) trimmed += (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80;
    if (trimmed > n) {
      ResultError(ctx, 8152, "String or binary data would be truncated.");
      return;
    }
    s = s.substr(0, end == std::string::npos ? 0 : end + 1);
    chars = trimmed;
  }
  if (pad && chars < n) s.append(static_cast<size_t>(n - chars), ' ');
  if (sqlite3_value_type(v) == SQLITE_TEXT || pad) return ResultText(ctx, s);
  sqlite3_result_value(ctx, v);
}

}  // namespace

std::string NowText() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  localtime_r(&ts.tv_sec, &tm);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(ts.tv_nsec / 1000000));
  return buf;
}

namespace {

bool AllDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// "hh:mi[:ss[.mmm]][ ]AM|PM"; false when it is no time.
bool ParseTime(std::string t, int& h, int& mi, double& sec) {
  bool pm = false, am = false;
  while (!t.empty() && t.back() == ' ') t.pop_back();
  if (t.size() >= 2) {
    std::string suffix = t.substr(t.size() - 2);
    for (auto& c : suffix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (suffix == "AM" || suffix == "PM") {
      (suffix == "PM" ? pm : am) = true;
      t.resize(t.size() - 2);
      while (!t.empty() && t.back() == ' ') t.pop_back();
    }
  }
  if (t.empty() || t.find_first_not_of("0123456789:.") != std::string::npos) return false;
  int used = 0;
  h = mi = 0;
  sec = 0;
  if (std::sscanf(t.c_str(), "%2d:%2d%n", &h, &mi, &used) != 2) return false;
  if (static_cast<size_t>(used) < t.size()) {
    int more = 0;
    if (t[static_cast<size_t>(used)] != ':' || std::sscanf(t.c_str() + used, ":%lf%n", &sec, &more) != 1 ||
        static_cast<size_t>(used + more) != t.size())
      return false;
  }
  if ((am || pm) && (h < 1 || h > 12)) return false;
  if (pm && h < 12) h += 12;
  if (am && h == 12) h = 0;
  return h <= 23 && mi <= 59 && sec < 60;
}

int FullYear(int y, size_t digits) { return digits <= 2 ? (y < 50 ? 2000 + y : 1900 + y) : y; }

// The month a name or its first three letters stand for ("Mar", "march"); 0 for none.
int MonthNamed(const std::string& word) {
  static const char* const kMonths[] = {"january", "february", "march",     "april",   "may",      "june",
                                        "july",    "august",   "september", "october", "november", "december"};
  const std::string w = text::Lower(word);
  for (int m = 0; m < 12; ++m)
    if (w.size() >= 3 && std::string_view(kMonths[m]).starts_with(w)) return m + 1;
  return 0;
}

// A date with its month by name ("Mar 15 2004 9:30AM", "15 March 2004", "March 15, 2004"): the
// month among the first three words, the day and year the other two (a four-digit one the year),
// the rest the time. 0 when converted, 241 when it is no such date, -1 when it names no month.
int AlphaDate(const std::string& s, int& y, int& mo, int& d, std::string& time) {
  std::vector<std::string> words;
  std::string word;
  for (char c : s + " ") {
    if (c == ' ' || c == ',') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  std::vector<std::string> numbers;
  int month = 0;
  for (size_t i = 0; i < words.size() && i < 3; ++i) {
    if (!month && (month = MonthNamed(words[i])) != 0) continue;
    if (!AllDigits(words[i]) || words[i].size() > 4) return month ? 241 : -1;
    numbers.push_back(words[i]);
  }
  if (!month) return -1;
  if (numbers.size() != 2) return 241;
  mo = month;
  const bool yearFirst = numbers[0].size() == 4;
  d = std::atoi(numbers[yearFirst ? 1 : 0].c_str());
  const std::string& year = numbers[yearFirst ? 0 : 1];
  y = FullYear(std::atoi(year.c_str()), year.size());
  time.clear();
  for (size_t i = 3; i < words.size(); ++i) time += words[i];
  return 0;
}

}  // namespace

bool IsDateOrder(const std::string& order) {
  return order == "mdy" || order == "dmy" || order == "ymd" || order == "ydm" || order == "myd" ||
         order == "dym";
}

std::string DateTimeErrorText(int number) {
  return number == 242 ? "The conversion of a char data type to a datetime data type resulted in an "
                         "out-of-range datetime value."
                       : "Syntax error converting datetime from character string.";
}

int ConvertDateTime(const std::string& raw, const std::string& order, std::string& out) {
  size_t b = raw.find_first_not_of(" \t");
  if (b == std::string::npos) return 241;
  std::string s = raw.substr(b, raw.find_last_not_of(" \t") - b + 1);
  int y = 1900, mo = 1, d = 1, h = 0, mi = 0;
  double sec = 0;
  size_t dateEnd = s.find_first_of(" T");
  bool iso = dateEnd != std::string::npos && s[dateEnd] == 'T';
  std::string date = s.substr(0, dateEnd);
  std::string time = dateEnd == std::string::npos ? "" : s.substr(dateEnd + 1);
  size_t t1 = time.find_first_not_of(' ');
  time = t1 == std::string::npos ? "" : time.substr(t1);
  // A month written by name is read whole, its time with it; any other date is of digits.
  const int named = AlphaDate(s, y, mo, d, time);
  if (named > 0) return named;
  const bool digits = named < 0;
  if (digits && AllDigits(date) && (date.size() == 8 || date.size() == 6)) {
    size_t yl = date.size() - 4;
    y = FullYear(std::atoi(date.substr(0, yl).c_str()), yl);
    mo = std::atoi(date.substr(yl, 2).c_str());
    d = std::atoi(date.substr(yl + 2, 2).c_str());
  } else if (digits && date.find(':') != std::string::npos && !iso) {
    time = s;  // a time alone is on 1900-01-01
  } else if (digits) {
    char sep = 0;
    std::vector<std::string> parts(1);
    for (char c : date) {
      if (c == '/' || c == '-' || c == '.') {
        if (sep && c != sep) return 241;
        sep = c;
        parts.emplace_back();
      } else {
        parts.back() += c;
      }
    }
    if (parts.size() != 3) return 241;
    for (const auto& p : parts)
      if (!AllDigits(p) || p.size() > 4) return 241;
    std::string seq = IsDateOrder(order) ? order : "mdy";
    // A four-digit year written first reads year, month, day whatever the order: the stored
    // form itself is read back through here.
    if (parts[0].size() > 2 || iso) seq = "ymd";
    for (size_t i = 0; i < 3; ++i) {
      int v = std::atoi(parts[i].c_str());
      if (seq[i] == 'y') y = FullYear(v, parts[i].size());
      else if (seq[i] == 'm') mo = v;
      else d = v;
    }
  }
  if (!time.empty() && !ParseTime(time, h, mi, sec)) return 241;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || y < 1753 || y > 9999) return 242;
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > kDays[mo - 1] || (mo == 2 && d == 29 && !leap)) return 242;
  int whole = static_cast<int>(sec);
  int ms = static_cast<int>(std::lround((sec - whole) * 1000));
  if (ms > 999) ms = 999;
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, whole, ms);
  out = buf;
  return 0;
}

bool NormaliseDateTime(const std::string& raw, std::string& out) { return ConvertDateTime(raw, "mdy", out) == 0; }

void RegisterCoreFunctions(sqlite3* db, IDateOrderHost& host) {
  struct Def {
    const char* name;
    int args;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
    bool deterministic;
  };
  static const Def defs[] = {
      {"tsql_add", -1, AddFunc, true},
      {"tsql_bit", 1, BitFunc, true},
      {"tsql_str", 1, StrFunc, true},
      {"tsql_objname", 1, ObjNameFunc, true},
      {"tsql_getdate", 0, GetDateFunc, false},
      {"tsql_getutcdate", 0, GetUtcDateFunc, false},
      {"tsql_newid", 0, NewIdFunc, false},
      {"tsql_right", 2, RightFunc, true},
      {"tsql_charindex", 3, CharIndexFunc, true},
      {"tsql_ceiling", 1, CeilingFunc, true},
      {"tsql_floor", 1, FloorFunc, true},
      {"tsql_replicate", 2, ReplicateFunc, true},
      {"tsql_nonzero", 1, NonZeroFunc, true},
      {"tsql_space", 1, SpaceFunc, true},
      {"tsql_isnumeric", 1, IsNumericFunc, true},
      {"tsql_pad", 2, PadFunc, true},
      {"tsql_tonum", 2, ToNumberFunc, true},
      {"tsql_tonum", 4, ToNumberFunc, true},
      {"tsql_fit", 3, FitFunc, true},
      {"jet_concat", -1, ConcatFunc, true},
  };
  for (const auto& d : defs) {
    int flags = SQLITE_UTF8 | (d.deterministic ? SQLITE_DETERMINISTIC : 0);
    sqlite3_create_function_v2(db, d.name, d.args, flags, nullptr, d.fn, nullptr, nullptr, nullptr);
  }
  // Date conversions read the session's date order; within one statement they are deterministic.
  static const Def dates[] = {{"tsql_datetime", 1, DateTimeFunc, true},
                              {"tsql_datetime_style", 2, DateTimeStyleFunc, true},
                              {"tsql_datepart", 2, DatePartFunc, true},
                              {"tsql_comparedate", 2, CompareDateFunc, true},
                              {"tsql_isdate", 1, IsDateFunc, true}};
  for (const auto& d : dates)
    sqlite3_create_function_v2(db, d.name, d.args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, &host, d.fn, nullptr,
                               nullptr, nullptr);
}

}  // namespace servers
