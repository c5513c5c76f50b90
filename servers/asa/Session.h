// One connection to the Adaptive Server Anywhere stand-in: a started database of the server
// named by "Eng=" ("dbn="), or the server itself (no "dbn=") for its database statements.
// Statements run one by one, each all or nothing; definitions and rows roll back together.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/data/Provider.h"
#include "servers/asa/Ast.h"
#include "servers/asa/Catalog.h"
#include "servers/asa/StatementCache.h"
#include "servers/asa/Translator.h"
#include "servers/core/CatalogueWatch.h"
#include "servers/core/Functions.h"
#include "servers/core/Sqlite.h"
#include "servers/core/Statements.h"

namespace servers::asa {

class Session : public ado::IProviderSession, public IDateOrderHost {
 public:
  explicit Session(const ado::ConnectionString& cs);
  ~Session() override;

  std::vector<ado::StatementResult> Execute(const std::string& sql) override;
  void BeginTrans() override;
  void CommitTrans() override;
  void RollbackTrans() override;
  bool InTransaction() const override { return inTransaction_; }
  ado::RowSet OpenSchema(ado::TSchemaInfo kind, const std::vector<ado::Variant>& restrictions) override;
  std::string CurrentDatabase() const override { return database_; }
  std::string DateFormat() const override { return "ymd"; }

 private:
  sqlite3* Db() const;
  // The connection's prepared statements; -101 when it reaches the server only.
  StatementCache& Cache();
  void RunGuarded(const Statement& s, std::vector<ado::StatementResult>& results);
  void Run(const Statement& s, std::vector<ado::StatementResult>& results);
  [[noreturn]] void Rethrow(const std::exception& e, const Statement& s);
  // -210 when SQLite's failure is another connection's lock that outlasted the wait.
  void FailIfLocked(const ESqliteError& e) const;
  // -193 for the primary key, -196 for a unique index or constraint.
  [[noreturn]] void FailUnique(const SqliteFailure& f);
  // -209 for a table check, naming the first column the condition uses.
  [[noreturn]] void FailTableCheck(int64_t tableId, int64_t constraintId);
  bool Condition(const Expr& e);
  Translator Tr();
  // The SQLite name of a table a query names, remembered until the catalogue may have changed.
  std::string TableSql(const ObjectName& name);
  std::string LookUpTableSql(const ObjectName& name);
  // At the start of a statement, its snapshot held: forgets the names remembered and brings the
  // temporary tables in step when this connection changed anything, rolled back, or another one
  // committed since.
  void CatalogSeen();
  // The table or view a name means: the owner written, else the user's own, the system's, then
  // its groups'; -141 when there is none.
  int64_t ResolveTable(const ObjectName& name);
  // The table a statement names (-141 when there is none); `baseOnly` refuses a view.
  AsaTable RequireTable(const ObjectName& name);
  int OwnerFor(const ObjectName& name);
  // UserId and FindTable through the connection's prepared statements.
  int CachedUserId(const std::string& name);
  std::optional<int64_t> CachedFindTable(int creator, const std::string& name);
  std::string Property(const std::string& name);

  // Global temporary tables (Temporary.cpp). The SQLite table holding a table's rows for this
  // connection: its own copy for a temporary table.
  std::string DataTable(const AsaTable& t) const;
  void RefuseValuesPastPrecision(const AsaTable& t, const AsaColumn& c, const TypeSpec& spec);
  // Makes this connection's copies of the temporary tables match their definitions (rows kept in
  // the columns that stay); nothing when no definition changed since the last time.
  void SyncTemporaryTables();
  void MakeTemporaryCopy(int64_t id, const std::string& tableSql,
                         const std::vector<std::pair<std::string, std::string>>& parts, bool exists);
  // After a commit: empties the copies of the tables created ON COMMIT DELETE ROWS.
  void DeleteCommittedRows();

  // Data statements (Dml.cpp).
  int64_t RunInsert(const InsertStmt& s);
  int64_t RunUpdate(const UpdateStmt& s);
  int64_t RunDelete(const DeleteStmt& s);

  // Definition statements (Tables.cpp).
  void CreateTable(const CreateTableStmt& s);
  void AddColumn(const AsaTable& t, const ColumnDef& c, int columnId);
  // Numbers the rows of a new autoincrement column from 1 in the rows' order.
  void NumberRows(const AsaTable& t, const AsaColumn& c);
  void AddKey(const AsaTable& t, const KeyDef& k, bool creating);
  void AlterTable(const AlterTableStmt& s);
  void Modify(const AsaTable& t, const AlterClause& a);
  // Column and table checks of the table follow a column's new name.
  void RenameInChecks(const AsaTable& t, const std::string& from, const std::string& to);
  void CreateIndex(const CreateIndexStmt& s);
  int64_t AddIndex(const AsaTable& t, const std::string& name, const std::vector<std::string>& cols,
                   const std::vector<bool>& desc, const char* unique, int fileId);
  void Drop(const DropStmt& s);
  // The remarks of a table or view, or of a column.
  void Comment(const CommentStmt& s);
  void CreateModule(const CreateModuleStmt& s);
  // Views read tables through their stored names: after a table takes another's name each view
  // is made again from its text, so that it reads the table that now holds the name. A view whose
  // text no longer translates is left as it was.
  void RebindViews();
  void Cluster(const AsaTable& t, int64_t indexId);
  int DbSpaceId(const std::string& name);
  void Rebuild(const AsaTable& before, const std::vector<std::string>& sources);
  void RefuseDuplicateKeys(const AsaTable& t, const std::vector<std::string>& cols, const std::string& index);

  // Users, options, databases (Admin.cpp).
  void LogIn(const std::string& user, const std::string& password);
  void SetOption(const SetOptionStmt& s);
  void RunNamed(const NamedStmt& s);
  // The server's database statements (Databases.cpp).
  void CreateDatabase(const NamedStmt& s);
  void StartDatabase(const NamedStmt& s);
  void StopDatabase(const NamedStmt& s);
  void Backup(const NamedStmt& s);
  void Restore(const NamedStmt& s);
  void AlterDatabase(const NamedStmt& s);
  // sa_db_info: one row per started database.
  void Call(const NamedStmt& s, std::vector<ado::StatementResult>& results);

  std::string folder_;
  std::string engine_;
  std::string database_;
  std::string user_ = "DBA";
  int uid_ = kDbaUser;
  SqliteDbPtr db_;
  std::unique_ptr<StatementCache> cache_;  // its statements go before the connection closes
  bool inTransaction_ = false;
  int depth_ = 0;
  const std::string* batch_ = nullptr;
  // The schema version the temporary copies were last made for (-1: to be checked again).
  int64_t syncedSchema_ = -1;
  // Set while a view is defined: a temporary table is named by its shared table.
  bool sharedNames_ = false;
  // Whether the catalogue may have changed since the names were remembered: this connection's
  // statements, a rollback or another connection's commit.
  bool catalogChanged_ = true;
  std::map<std::string, std::string> tableSql_;
  // Whether a table of that name is one of the catalogue's.
  static bool IsCatalogue(const char* table);
  // Descriptions of tables read from the catalogue, by id: cleared by any change of a catalogue
  // row (update hook), a rollback, a failed statement, and a commit by another connection
  // (data_version).
  std::map<int64_t, AsaTable> tables_;
  CatalogueWatch watch_{&IsCatalogue, [this] {
                          tables_.clear();
                          catalogChanged_ = true;
                        }};
  // The log this connection last pointed a stopped database file at, with the file's stamp
  // then: START takes it from here while the file is unchanged, without opening the file.
  struct KnownLog {
    std::string log, stamp;
  };
  std::map<std::string, KnownLog> knownLogs_;
};

// The server a connection string names: "Eng=" ("EngineName", "ServerName", "Data Source").
std::string EngineOf(const ado::ConnectionString& cs);
// The folder of the server named by "Eng=" (not created).
std::string EngineFolder(const std::string& engine);
// True when the server in `folder` was made: its list of started databases is there.
bool EngineExists(const std::string& folder);
// Makes the new server named by "Eng=", with no database started; raises ado::EOleException when
// it exists already.
void CreateEngine(const std::string& engine);

}  // namespace servers::asa
