// The server functions that queries call, registered on each SQLite connection: "+" that adds
// or concatenates, date conversion in the server's date order, getdate, newid and the like.
#pragma once

#include <sqlite3.h>

#include <string>

namespace servers::sqlserver {

// What the session-dependent functions ask of the session.
class IFunctionHost {
 public:
  virtual ~IFunctionHost() = default;
  virtual std::string ServerName() const = 0;
  virtual std::string LoginName() const = 0;
  virtual int TranCount() const = 0;
};

// Registers every server function on the connection; `host` must outlive it.
void RegisterFunctions(sqlite3* db, IFunctionHost& host);

// Normalises a date text ("mm/dd/yyyy[ hh:nn:ss]", "yyyy-mm-dd...", "yyyymmdd") to the stored
// form "yyyy-mm-dd hh:nn:ss.zzz"; false when the text is not a date.
bool NormaliseDateTime(const std::string& text, std::string& out);
// The current local time in the stored form.
std::string NowText();

}  // namespace servers::sqlserver
