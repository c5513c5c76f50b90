// The server functions that queries call, registered on each SQLite connection: "+" that adds
// or concatenates, date conversion in the server's date order, getdate, newid and the like.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

namespace servers::sqlserver {

// What the session-dependent functions ask of the session.
class IFunctionHost {
 public:
  virtual ~IFunctionHost() = default;
  virtual std::string ServerName() const = 0;
  virtual std::string LoginName() const = 0;
  virtual int TranCount() const = 0;
  // The identity value of the session's last insert into a table with one; false when none.
  virtual bool LastIdentity(int64_t& value) const = 0;
  // The session's date order for "a/b/c" dates: "mdy", "dmy", "ymd", "ydm", "myd" or "dym".
  virtual std::string DateFormat() const = 0;
  // The uid of the connected user in the current database (dbo is 1).
  virtual int CurrentUid() const = 0;
  // The session's language (@@LANGUAGE): the login's default until SET LANGUAGE.
  virtual std::string Language() const = 0;
};

// The prepared catalogue lookups behind the functions of one connection; must be released
// before the connection closes.
struct CatalogLookup;
struct CatalogLookupDeleter {
  void operator()(CatalogLookup* lookup) const;
};
using FunctionState = std::unique_ptr<CatalogLookup, CatalogLookupDeleter>;

// Registers every server function on the connection; `host` and the returned state must
// outlive the connection's use, and the state must go before the connection closes.
FunctionState RegisterFunctions(sqlite3* db, IFunctionHost& host);

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

}  // namespace servers::sqlserver
