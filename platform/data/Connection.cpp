#include "platform/data/Connection.h"

#include "platform/data/ConnectionString.h"
#include "platform/data/DataErrors.h"
#include "platform/data/DataSet.h"

namespace ado {

namespace {

// The message with every password of the connection string masked.
std::string WithoutPassword(const std::string& message, const std::string& connectionString) {
  return ConnectionString(connectionString).MaskPasswords(message);
}

}  // namespace

TConnection::~TConnection() {
  try {
    Close();
  } catch (...) {
    // A failing rollback while the connection goes away has no one left to tell.
  }
}

void TConnection::Rethrow() const {
  try {
    throw;
  } catch (const EOleException& e) {
    EOleException clean(WithoutPassword(e.what(), connectionString_), e.NativeError(), e.Source());
    clean.SetGrade(e.Severity(), e.State());
    clean.SetLine(e.Line());
    throw clean;
  } catch (const EDatabaseError&) {
    throw;
  } catch (const std::exception& e) {
    throw EOleException(WithoutPassword(e.what(), connectionString_));
  }
}

template <typename F>
decltype(auto) TConnection::Guarded(F&& aCall) const {
  try {
    return aCall();
  } catch (...) {
    Rethrow();
  }
}

void TConnection::SetConnectionString(const std::string& connectionString) {
  if (session_) throw EOleException("Operation is not allowed when the object is open.");
  connectionString_ = connectionString;
}

void TConnection::Open() {
  if (session_) return;
  try {
    session_ = ProviderRegistry::Instance().Open(connectionString_);
  } catch (...) {
    session_.reset();
    Rethrow();
  }
  if (!session_) throw EOleException("The provider opened no session");
}

void TConnection::Close() {
  if (!session_) return;
  std::unique_ptr<IProviderSession> session = std::move(session_);
  if (session->InTransaction()) {
    Guarded([&] { session->RollbackTrans(); });
  }
}

void TConnection::SetConnected(bool value) {
  if (value) {
    Open();
  } else {
    Close();
  }
}

IProviderSession& TConnection::CheckOpen() const {
  if (!session_) throw EOleException("Operation is not allowed when the object is closed.");
  return *session_;
}

void TConnection::BeginTrans() {
  IProviderSession& s = CheckOpen();
  Guarded([&] { s.BeginTrans(); });
}

void TConnection::CommitTrans() {
  IProviderSession& s = CheckOpen();
  Guarded([&] { s.CommitTrans(); });
}

void TConnection::RollbackTrans() {
  IProviderSession& s = CheckOpen();
  Guarded([&] { s.RollbackTrans(); });
}

bool TConnection::InTransaction() const { return session_ && session_->InTransaction(); }

int64_t TConnection::Execute(const std::string& sql) {
  IProviderSession& s = CheckOpen();
  const std::vector<StatementResult> results = Guarded([&] { return s.Execute(sql); });
  int64_t affected = -1;
  for (const StatementResult& r : results) {
    if (r.RowsAffected >= 0) affected = (affected < 0 ? 0 : affected) + r.RowsAffected;
  }
  return affected;
}

void TConnection::Query(const std::string& sql, TDataSet& dataSet) {
  IProviderSession& s = CheckOpen();
  dataSet.Close();
  std::vector<StatementResult> results = Guarded([&] { return s.Execute(sql); });
  for (StatementResult& r : results) {
    if (r.HasRows) {
      dataSet.Assign(std::move(r.Rows));
      return;
    }
  }
  throw EDatabaseError("CommandText does not return a result set");
}

void TConnection::OpenSchema(TSchemaInfo kind, const Variant& criteria, TDataSet& dataSet) {
  IProviderSession& s = CheckOpen();
  dataSet.Close();
  std::vector<Variant> restrictions;
  if (criteria.IsArray()) {
    restrictions = criteria.AsArray();
  } else if (!criteria.IsNullOrEmpty()) {
    restrictions.push_back(criteria);
  }
  dataSet.Assign(Guarded([&] { return s.OpenSchema(kind, restrictions); }));
}

std::string TConnection::CurrentDatabase() const {
  const IProviderSession& s = CheckOpen();
  return Guarded([&] { return s.CurrentDatabase(); });
}

}  // namespace ado
