// The seam between the data-access layer and the servers behind it: a provider opens sessions
// from a connection string; a session executes SQL batches, runs transactions and answers schema
// rowsets. The registry picks the provider named by the connection string's "Provider" key.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/data/ConnectionString.h"
#include "platform/data/FieldDef.h"
#include "platform/data/SchemaRowsets.h"
#include "platform/data/Variant.h"

namespace ado {

// What one statement of a batch gave back: rows (HasRows) or a count of rows affected
// (-1 when the statement affects no rows, as DDL).
struct StatementResult {
  bool HasRows = false;
  RowSet Rows;
  int64_t RowsAffected = -1;
  // False when the server sent the rows without their count (SET NOCOUNT ON).
  bool Counted = true;
  // An informational message of the server (PRINT, a low-severity RAISERROR); such a result has
  // neither rows nor a count.
  std::string Message;
};

// One open session with a server. Every failure raises EOleException with the server's message;
// a failed statement changes nothing, and the session stays usable.
class IProviderSession {
 public:
  virtual ~IProviderSession() = default;

  // Runs a batch of one or more statements; returns one result per statement that produced rows
  // or affected rows, in order.
  virtual std::vector<StatementResult> Execute(const std::string& sql) = 0;

  virtual void BeginTrans() = 0;
  virtual void CommitTrans() = 0;
  virtual void RollbackTrans() = 0;
  virtual bool InTransaction() const = 0;

  // The schema rowset `kind`, shaped as SchemaRowsetColumns(kind); element k of `restrictions`,
  // when neither empty nor null, keeps the rows whose k-th restriction column equals it.
  virtual RowSet OpenSchema(TSchemaInfo kind, const std::vector<Variant>& restrictions) = 0;

  // The database the session is connected to.
  virtual std::string CurrentDatabase() const = 0;
};

class IProvider {
 public:
  virtual ~IProvider() = default;
  // True when this provider serves the "Provider=" value (e.g. "SQLOLEDB.1").
  virtual bool Accepts(const std::string& providerName) const = 0;
  // Opens a session; raises EOleException when the server, database or login is refused.
  virtual std::unique_ptr<IProviderSession> Open(const ConnectionString& cs) = 0;
  // Makes the new, empty database the connection string names (a catalogue's creation); raises
  // EOleException when it exists already or when the provider makes none this way.
  virtual void CreateDatabase(const ConnectionString& cs);
  // Makes the new server the connection string names, with no database of its own yet beyond
  // what the server starts with; raises EOleException when it exists already or when the provider
  // has no servers. A connection to a server never made is refused.
  virtual void CreateServer(const ConnectionString& cs);
};

// The providers known to this process. Programs and tests register the embedded servers once at
// start; a connection looks its provider up here.
class ProviderRegistry {
 public:
  static ProviderRegistry& Instance();

  void Register(std::unique_ptr<IProvider> provider);
  // The provider that accepts `providerName`, or nullptr.
  IProvider* Find(const std::string& providerName) const;
  // Opens a session for the connection string; raises EOleException naming the provider when no
  // registered provider accepts it.
  std::unique_ptr<IProviderSession> Open(const std::string& connectionString) const;
  // Makes the new database through the provider the connection string names.
  void CreateDatabase(const std::string& connectionString) const;
  // Makes the new server through the provider the connection string names.
  void CreateServer(const std::string& connectionString) const;

 private:
  std::vector<std::unique_ptr<IProvider>> providers_;
};

}  // namespace ado
