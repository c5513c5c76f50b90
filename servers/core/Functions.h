// The functions every embedded server registers on its SQLite connections: "+" that adds or
// concatenates (tsql_add), number and text conversions, text helpers, and date conversion in the
// session's date order. A function that refuses its argument raises an SQLite error whose text is
// "<number>|<message>" in SQL Server's numbering; each server maps it to its own error.
#pragma once

#include <sqlite3.h>

#include <string>
#include <utility>

namespace servers {

// What the date functions ask of the session.
class IDateOrderHost {
 public:
  virtual ~IDateOrderHost() = default;
  // The session's date order for "a/b/c" dates: "mdy", "dmy", "ymd", "ydm", "myd" or "dym".
  virtual std::string DateFormat() const = 0;
};

// Registers the shared functions; `host` must outlive the connection's use.
void RegisterCoreFunctions(sqlite3* db, IDateOrderHost& host);

// Helpers of functions written in C++: an argument as text, a text result, a refusal in the
// "<number>|<message>" form, and "[owner].[name]" split into owner (empty when not written) and
// name (a trailing dot, "T.", names T).
std::string ArgText(sqlite3_value* v);
void ResultText(sqlite3_context* ctx, const std::string& s);
void ResultError(sqlite3_context* ctx, int number, const std::string& message);
std::pair<std::string, std::string> SplitOwner(const std::string& s);

// Converts a date text to the stored form "yyyy-mm-dd hh:nn:ss.zzz" as the server reads it:
// "yyyymmdd" and "yymmdd", ISO "yyyy-mm-ddThh:nn:ss", a time alone, and "a/b/c" ("-" and "."
// too) in `order`, the session's date order, except that a four-digit year written first is
// always followed by month and day. Returns 0, 241 when the text is not a
// date, 242 when it names a date that does not exist.
int ConvertDateTime(const std::string& text, const std::string& order, std::string& out);
// The server's message for error 241 or 242.
std::string DateTimeErrorText(int number);
// True for the date orders SET DATEFORMAT accepts.
bool IsDateOrder(const std::string& order);
// ConvertDateTime in the mdy order; false when the text is not a date.
bool NormaliseDateTime(const std::string& text, std::string& out);
// The current local time in the stored form.
std::string NowText();

}  // namespace servers
