// The connection of the data-access layer: a connection string in OLE DB form, a session
// opened through the provider registry, transactions, statements, schema
// rowsets and queries into data sets. Failures raise EOleException with the server's message;
// the connection string's password never appears in one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/data/Provider.h"
#include "platform/data/SchemaRowsets.h"
#include "platform/data/Variant.h"

namespace ado {

class TDataSet;

class TConnection {
 public:
  TConnection() = default;
  explicit TConnection(std::string connectionString)
      : connectionString_(std::move(connectionString)) {}
  ~TConnection();
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  const std::string& ConnectionString() const { return connectionString_; }
  // Raises EOleException while the connection is open.
  void SetConnectionString(const std::string& connectionString);

  // Opens a session with the provider named by the connection string.
  void Open();
  // Rolls back an open transaction and ends the session.
  void Close();
  bool Connected() const { return session_ != nullptr; }
  void SetConnected(bool value);

  void BeginTrans();
  void CommitTrans();
  void RollbackTrans();
  bool InTransaction() const;

  // Runs a batch; returns the rows affected by its statements, -1 when none counts rows.
  int64_t Execute(const std::string& sql);
  // Runs a batch and opens `dataSet` on the first result that has rows; raises EDatabaseError
  // when the batch returns no rows.
  void Query(const std::string& sql, TDataSet& dataSet);
  // Opens `dataSet` on the schema rowset. `criteria` is empty (no restriction), a VariantArray
  // of restriction values (null or empty elements do not restrict) or a single value.
  void OpenSchema(TSchemaInfo kind, const Variant& criteria, TDataSet& dataSet);
  // The database the session is connected to.
  std::string CurrentDatabase() const;

  // The open session, or nullptr when closed; for callers that need the provider directly.
  IProviderSession* Session() const { return session_.get(); }

 private:
  IProviderSession& CheckOpen() const;
  // Inside a catch block: raises the caught failure again as EOleException without the password
  // (EDatabaseError passes unchanged).
  [[noreturn]] void Rethrow() const;
  // Returns what aCall returns; a failure in it leaves through Rethrow.
  template <typename F>
  decltype(auto) Guarded(F&& aCall) const;

  std::string connectionString_;
  std::unique_ptr<IProviderSession> session_;
};

}  // namespace ado
