// Module core of the engine data module: creation and destruction, the connection and the choice
// of dialect.
#include "engine/uDm.h"

#include <exception>

#include "common/Text.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "components/uDbLanguage.h"

namespace {

// The text of the connection string after `key` (found ignoring case) up to the next ";", trimmed
// and in the case it was written; empty when the key is missing.
std::string ConnectionValue(const std::string& connectionString, std::string_view key) {
  const size_t p = text::FindText(connectionString, key);
  if (p == std::string::npos) return {};
  const std::string rest = text::Trim(std::string_view(connectionString).substr(p + key.size()));
  return text::Trim(std::string_view(rest).substr(0, rest.find(';')));
}

}  // namespace

Tdm::Tdm() { DataModuleCreate(); }

Tdm::~Tdm() { DataModuleDestroy(); }

void Tdm::DataModuleCreate() {
  // The connection's provider until a connection string is set.
  ac.SetConnectionString("Provider=SQLOLEDB.1");
  for (ado::TDataSet* dataSet :
       {&aq, &aq2, &qDestTables, &qDestColumns, &qDestIndexes, &qDestConstraints,
        &qDestPrimaryKeys, &qDestForeignKeys, &qDestProcedures, &qDestUsers, &qDestClusterIdx,
        &qExec}) {
    dataSet->SetConnection(&ac);
  }
  qInstructions.FieldDefs() = {{"id", ado::FieldType::ftInteger},
                               {"instruction", ado::FieldType::ftMemo},
                               {"IdBlockUndoDelete", ado::FieldType::ftInteger}};
  qBlockUndoDelete.FieldDefs() = {{"id", ado::FieldType::ftInteger},
                                  {"ObjectName", ado::FieldType::ftString, 40},
                                  {"Kind", ado::FieldType::ftString, 20},
                                  {"undoDelete", ado::FieldType::ftBoolean}};
  cmdExec.Connection = &ac;
  cmdExec.ExecuteOptions = ado::eoExecuteNoRecords;
  cmdExec.ParamCheck = false;

  sqlServerSpecific_ = std::make_unique<TSqlServerSpecific>(this);
  accessSpecific_ = std::make_unique<TAccessSpecific>(this);
  asaSpecific_ = std::make_unique<TAsaSpecific>(this);
  oneTransaction_ = true;
  startInstruction_ = 1;
  sostCanc_ = std::make_unique<TSostCanc>(*this);
  instruction_ = std::make_unique<TInstruction>(this);
  sqlCommands_ = std::make_unique<pugi::xml_document>();
  updateTables_ = updateViews_ = updateProcedures_ = true;
  updateIndexes_ = updateConstraints_ = updateTriggers_ = true;
}

void Tdm::DataModuleDestroy() {
  aq.Close();
  aq2.Close();
  qExec.Close();
  try {
    ac.Close();
  } catch (const std::exception&) {
    // A session that fails to end is gone all the same; a destructor raises nothing.
  }
  currentDialect_ = nullptr;
  pkTablesChange_.Clear();
  sqlServerSpecific_.reset();
  accessSpecific_.reset();
  asaSpecific_.reset();
  sostCanc_.reset();
  instruction_.reset();
  sqlCommands_.reset();
}

bool Tdm::SetConnectionString(const std::string& aConnectionString, bool aOpen) {
  connectError_.clear();
  ac.Close();
  ac.SetConnectionString(aConnectionString);
  if (!aOpen) return true;
  try {
    ac.Open();
  } catch (const std::exception& e) {
    connectError_ = e.what();
    ac.Close();
    return false;
  }
  return true;
}

TDbType Tdm::GetDbType() const {
  const std::string& connectionString = ac.ConnectionString();
  if (text::FindText(connectionString, "SQLOLEDB") != std::string::npos) return dbtSqlServer;
  if (text::FindText(connectionString, "MICROSOFT.JET") != std::string::npos) return dbtAccess;
  if (text::FindText(connectionString, "ASAPROV") != std::string::npos) return dbtAsa;
  return dbtNone;
}

TDatabaseSpecific* Tdm::DbSpecific(TDbType kind) const {
  switch (kind) {
    case dbtSqlServer: return sqlServerSpecific_.get();
    case dbtAccess: return accessSpecific_.get();
    case dbtAsa: return asaSpecific_.get();
    default: return nullptr;
  }
}

void Tdm::SelectDbSpecific() {
  const TDbType kind = GetDbType();
  currentDialect_ = DbSpecific(kind);
  if (currentDialect_ != nullptr) currentDialect_->SetDbType(kind);
}

void Tdm::SetConnected(bool aValue) {
  ac.SetConnected(aValue);
  if (!aValue) return;
  SelectDbSpecific();
  if (currentDialect_ == nullptr) return;
  currentDialect_->GetDatabaseName(ac);
  currentDialect_->GetDateFormat(ac);
}

std::string Tdm::GetDatabaseName() const {
  return currentDialect_ != nullptr ? currentDialect_->GetDatabaseFromConnection(ac.ConnectionString())
                                    : std::string();
}

std::string Tdm::GetServerName() const {
  return currentDialect_ != nullptr ? currentDialect_->GetServerFromConnection(ac.ConnectionString())
                                    : std::string();
}

void Tdm::GetUserAndPassword(std::string& aUser, std::string& aPassword) const {
  aUser = ConnectionValue(ac.ConnectionString(), "USER ID=");
  aPassword = ConnectionValue(ac.ConnectionString(), "PASSWORD=");
}

bool Tdm::LocateRecord(ado::TDataSet& aDataSet, const std::string& aKeyFields,
                       const ado::Variant& aKeyValues, ado::TLocateOptions aOptions) {
  if (!aDataSet.Active() || aDataSet.IsEmpty()) return false;
  return aDataSet.Locate(aKeyFields, aKeyValues, aOptions);
}

bool Tdm::GetDatabaseCreated() const { return Updater != nullptr && Updater->DatabaseCreated; }

TOrvSchemion* Tdm::Component() const {
  if (Updater != nullptr) return Updater;
  return Producer;
}

void Tdm::ReportError(TDbContext context, const std::string& description,
                      const std::string& exceptionMessage) {
  if (TOrvSchemion* component = Component()) {
    component->ReportError(context, description, exceptionMessage, 0, std::string(), false);
  }
}

std::string Tdm::BackupErrorText() const {
  const TOrvSchemion* component = Component();
  return component != nullptr ? component->LanguageOptions().ErrBackup
                              : TDbLanguageOptions().ErrBackup;
}

void Tdm::ReplaceDialect(TDbType kind, std::unique_ptr<TDatabaseSpecific> dialect) {
  std::unique_ptr<TDatabaseSpecific>* slot = kind == dbtSqlServer ? &sqlServerSpecific_
                                             : kind == dbtAccess  ? &accessSpecific_
                                             : kind == dbtAsa     ? &asaSpecific_
                                                                  : nullptr;
  if (slot == nullptr) return;
  if (currentDialect_ == slot->get()) currentDialect_ = nullptr;
  *slot = std::move(dialect);
}
