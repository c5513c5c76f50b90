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

// Normalises a date text ("mm/dd/yyyy[ hh:nn:ss]", "yyyy-mm-dd...", "yyyymmdd") to the stored
// form "yyyy-mm-dd hh:nn:ss.zzz"; false when the text is not a date.
bool NormaliseDateTime(const std::string& text, std::string& out);
// The current local time in the stored form.
std::string NowText();

}  // namespace servers::sqlserver
