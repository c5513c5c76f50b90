// The server functions that queries call, registered on each SQLite connection: the shared ones
// and SQL Server's own (catalogue lookups, the session's login, identity, language ...).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

#include "servers/core/Functions.h"

namespace servers::sqlserver {

// What the session-dependent functions ask of the session.
class IFunctionHost : public IDateOrderHost {
 public:
  virtual std::string ServerName() const = 0;
  virtual std::string LoginName() const = 0;
  virtual int TranCount() const = 0;
  // The identity value of the session's last insert into a table with one; false when none.
  virtual bool LastIdentity(int64_t& value) const = 0;
  // The uid of the connected user in the current database (dbo is 1).
  virtual int CurrentUid() const = 0;
  // The session's language (@@LANGUAGE): the login's default until SET LANGUAGE.
  virtual std::string Language() const = 0;
  // The error number of the statement just run (@@ERROR): 0 after success.
  virtual int LastError() const = 0;
  // The session's process id (@@SPID): another for each session.
  virtual int Spid() const = 0;
};

// The prepared catalogue lookups behind the functions of one connection; must be released
// before the connection closes.
struct CatalogLookup;
struct CatalogLookupDeleter {
  void operator()(CatalogLookup* lookup) const;
};
using FunctionState = std::unique_ptr<CatalogLookup, CatalogLookupDeleter>;

// Drops the answers the lookups keep: called whenever the catalogue may have changed.
void ForgetLookups(CatalogLookup& lookup);

// Registers every server function on the connection; `host` and the returned state must
// outlive the connection's use, and the state must go before the connection closes.
FunctionState RegisterFunctions(sqlite3* db, IFunctionHost& host);

using servers::ConvertDateTime;
using servers::DateTimeErrorText;
using servers::IsDateOrder;
using servers::NormaliseDateTime;
using servers::NowText;

}  // namespace servers::sqlserver
