// One connection to the SQL Server stand-in: the current database's SQLite file (master
// attached), transactions, and the execution of parsed batches statement by statement, each
// inside a savepoint so that a failed statement changes nothing.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/data/DataErrors.h"
#include "platform/data/Provider.h"
#include "servers/sqlserver/Ast.h"
#include "servers/sqlserver/Catalog.h"
#include "servers/sqlserver/Enforcement.h"
#include "servers/sqlserver/Functions.h"
#include "servers/core/CatalogueWatch.h"
#include "servers/core/Sqlite.h"
#include "servers/sqlserver/Translator.h"

namespace servers::sqlserver {

// The catalogue row of a view column that copies no table column: its type and nullability.
struct ViewColumn {
  int xtype = 98, xusertype = 98, length = 8016, prec = 0, scale = 0;
  bool nullable = true;
  std::string collation;
};

class Session : public ado::IProviderSession, public IFunctionHost {
 public:
  // Opens the session; raises EOleException for a refused login or database.
  explicit Session(const ado::ConnectionString& cs);
  ~Session() override;

  std::vector<ado::StatementResult> Execute(const std::string& sql) override;
  void BeginTrans() override;
  void CommitTrans() override;
  void RollbackTrans() override;
  bool InTransaction() const override { return inTransaction_; }
  ado::RowSet OpenSchema(ado::TSchemaInfo kind, const std::vector<ado::Variant>& restrictions) override;
  std::string CurrentDatabase() const override { return database_; }

  std::string ServerName() const override { return serverName_; }
  std::string LoginName() const override { return login_; }
  int TranCount() const override { return inTransaction_ ? 1 : 0; }
  bool LastIdentity(int64_t& value) const override {
    value = lastIdentity_;
    return hasIdentity_;
  }
  std::string DateFormat() const override { return dateFormat_; }
  int CurrentUid() const override { return uid_; }
  std::string Language() const override { return language_; }
  int LastError() const override { return lastError_; }
  int Spid() const override { return spid_; }

 private:
  void UseDatabase(const std::string& name);
  bool InMaster() const;
  sqlite3* Db() const { return db_.get(); }

  void Run(const Statement& s, std::vector<ado::StatementResult>& results);
  void RunGuarded(const Statement& s, std::vector<ado::StatementResult>& results);
  // Runs a statement of a batch or block; an error that ends only that statement (a duplicate
  // key, a NULL, a value too long, a broken constraint) is kept for the end of the batch, which
  // goes on with the next statement. Other errors end the batch.
  void RunContinuing(const Statement& s, std::vector<ado::StatementResult>& results);
  ado::RowSet Query(const std::string& sqliteSql);
  int64_t Changes() const;
  // While SET NOCOUNT is ON: drops the row counts among the results from `first` on and marks
  // their row sets as sent without a count.
  void DropRowCounts(std::vector<ado::StatementResult>& results, size_t first) const;
  bool Condition(const Expr& e);
  std::string EvalText(const Expr& e);

  // Data statements.
  void RunSelect(const SelectStmt& s, std::vector<ado::StatementResult>& results);
  void NameResultColumns(const Select& select, ado::RowSet& rows) const;
  void RunVariables(const VariableStmt& s);
  // The SQL literal of a value read from SQLite, converted for a variable of that type.
  std::string AssignValue(const TypeSpec& type, const std::string& expression);
  int64_t RunInsert(const InsertStmt& s);
  int64_t RunUpdate(const UpdateStmt& s);
  int64_t RunDelete(const DeleteStmt& s);
  // The triggers a change of rows needs, made before the statement's own transaction: a refused
  // change then leaves them in place and SQLite does not read the whole schema again.
  void PrepareEnforcement(const Statement& s);
  std::string ValueFor(const ColumnInfo& c, const Expr& e, const TableInfo& t);
  // Refusals from a statement's form: a text, ntext or image value compared (306); a value
  // other than NULL or DEFAULT for a timestamp column among `columns` (273).
  void RefuseLongComparisons(const Statement& s);
  void RefuseTimestampValues(const InsertStmt& s, const std::vector<const ColumnInfo*>& columns);

  // Definition statements.
  void CreateTable(const CreateTableStmt& s);
  void AddColumn(TableInfo& t, const ColumnDef& c, int colid);
  void AddConstraint(const TableInfo& t, const ConstraintDef& c, const std::string& column,
                     int64_t& nextId, bool creating, bool check);
  void AlterTable(const AlterTableStmt& s);
  // ALTER TABLE ... [WITH CHECK] CHECK | NOCHECK CONSTRAINT: enables or disables the table's
  // foreign keys and CHECK constraints; WITH CHECK first proves the rows already there.
  void CheckConstraints(const TableInfo& t, const AlterTableStmt& s);
  void DropTable(const ObjectName& name);
  void DropObject(int64_t id);
  void CreateIndex(const CreateIndexStmt& s);
  // `descending` (shorter lists: the rest ascending) is kept in sysindexes.keys, one byte
  // per key, 1 for DESC.
  void CreateIndexEntry(const TableInfo& t, const std::string& name, const std::vector<std::string>& cols,
                        const std::vector<bool>& descending, bool unique, bool clustered, int status, int groupid);
  void DropIndex(const ObjectName& table, const std::string& index);
  void CreateModule(const CreateModuleStmt& s);
  // A view: refuses one over a missing table (208), makes it queryable and records its columns.
  void CreateView(const CreateModuleStmt& s, int64_t id, const std::string& physical);
  void CheckViewSources(const Select& s);
  void RecordViewColumns(int64_t id, const std::string& physical, const Select* select);
  void RecordUntranslatedViewColumns(int64_t id, const CreateModuleStmt& s);
  void InsertViewColumn(int64_t id, int colid, const std::string& name, const ViewColumn& c);
  // The SQLite query of an inline table-valued function for these arguments; empty when none.
  std::string InlineFunctionQuery(const ObjectName& name, const std::vector<std::string>& args);
  void DropModule(const DropStmt& s);
  void Rename(const std::vector<std::string>& args);
  void Rebuild(const TableInfo& before, const std::vector<std::string>& sources);
  // Refuses (5074) when a key, foreign key, default, check or index holds the column; with
  // `widening`, only keys, foreign keys and defaults count.
  void CheckNoDependents(const TableInfo& t, const ColumnInfo& c, const char* action, bool widening = false);
  void CheckDuplicates(const TableInfo& t, const std::vector<std::string>& cols, int indid);
  TableInfo RequireTable(const ObjectName& name);
  // The table's description, kept until the catalogue changes (tables_).
  std::optional<TableInfo> CachedTable(int64_t id);
  // The object of the name and owner, kept as the descriptions are.
  std::optional<int64_t> CachedObject(const std::string& name, int uid);
  // Drops what is kept of the catalogue.
  void ForgetCatalogue();
  void RefreshTextImageEntry(const TableInfo& t, int groupid);
  void TouchObject(int64_t id);

  // Procedures, databases, security.
  void RunProc(const ExecProcStmt& s, std::vector<ado::StatementResult>& results);
  // The rows of a procedure's first result set, as values an INSERT takes.
  std::vector<std::vector<ExprPtr>> ProcedureRows(const ExecProcStmt& s);
  // sp_helpindex: the indexes of a table or view, their descriptions and keys.
  void HelpIndex(const std::string& object, std::vector<ado::StatementResult>& results);
  // Checks the login and its password (error 18456 for either wrong) and takes its default
  // database and language.
  void LogIn(const std::string& user, const std::string& password, std::string& defaultDb);
  // True when the connected login is a member of the fixed server role `role` (a syslogins
  // column) or of sysadmin.
  bool ServerRole(const char* role);
  // sp_addlogin, sp_droplogin and sp_password; false for another procedure.
  bool RunLoginProc(const std::string& name, const std::vector<std::string>& args, const std::vector<bool>& isNull);
  // sp_addrolemember / sp_droprolemember: the membership in sysmembers.
  void RoleMember(const std::string& role, const std::string& member, bool add);
  void CreateDatabase(const DatabaseStmt& s);
  void AlterDatabase(const DatabaseStmt& s);
  void DropDatabase(const DatabaseStmt& s);
  void Backup(const DatabaseStmt& s);
  void RestoreFileList(const DatabaseStmt& s, std::vector<ado::StatementResult>& results);
  void Restore(const DatabaseStmt& s);

  // Owners: the connected login's user in the current database; the uid of a user (-1 when
  // none); the owner a created object gets (error 2760 for an unknown one); and the object a
  // name means: the owner written, else the connected user's before dbo's.
  int UserOfLogin();
  int UserUid(const std::string& user);
  int OwnerForCreate(const ObjectName& name);
  std::optional<int64_t> Resolve(const ObjectName& name);
  // A translator that finds tables and views by the owner rules, over the batch's variables or
  // the given values (not owned).
  Translator Tr(const std::map<std::string, std::string>* variables = nullptr);

  // SET DATEFORMAT, SET LANGUAGE, and SET NOCOUNT, QUOTED_IDENTIFIER and ANSI_NULLS, alone or
  // with other options; other SET options are accepted and ignored.
  void SetOption(const SetStmt& s);
  // The date order of a language of syslanguages (name or alias); empty when unknown.
  std::string LanguageDateFormat(const std::string& language);
  // The syslanguages name of a language written by name or alias; empty when unknown.
  std::string LanguageName(const std::string& language);

  // The failure of a statement as the server's error: SQLite's refusals in the server's words.
  [[noreturn]] void Rethrow(const std::exception& e, const Statement& s);
  [[noreturn]] void FailNotNull(std::string what, const Statement& s);
  // Returns when the SQLite index is none of the catalogue's.
  void FailUniqueIndex(const std::string& index);
  [[noreturn]] void FailUnique(std::string what);

  // Statements of users' own scripts (UserStatements.cpp): savepoints, RAISERROR, CHECKPOINT
  // and UPDATE STATISTICS, DBCC CHECKIDENT, permissions, SELECT ... INTO, user data types.
  void RunTransaction(const TranStmt& s);
  void RunUserStatement(const Statement& s, std::vector<ado::StatementResult>& results);
  void Raiserror(const RaiserrorStmt& s, std::vector<ado::StatementResult>& results);
  void CheckIdent(const CheckIdentStmt& s, std::vector<ado::StatementResult>& results);
  void ChangePermissions(const PermissionStmt& s);
  void RunSelectInto(const SelectStmt& s, std::vector<ado::StatementResult>& results);
  // sp_addtype and sp_droptype; false for any other procedure.
  bool RunTypeProc(const std::string& name, const std::vector<std::string>& args,
                   const std::vector<bool>& isNull);

  std::string folder_;
  std::string serverName_;
  std::string login_ = "sa";
  std::string database_;
  std::string dateFormat_ = "mdy";
  std::string language_ = "us_english";
  bool noCount_ = false;  // SET NOCOUNT ON: no row counts
  // SET QUOTED_IDENTIFIER: "text" is a name while on (the default of the server's clients), a
  // string while off. Views, procedures, functions and triggers keep the setting they were
  // created under.
  bool quotedIdentifier_ = true;
  // SET ANSI_NULLS: while off, "= NULL" and "<> NULL" test for NULL.
  bool ansiNulls_ = true;
  int lastError_ = 0;
  int spid_ = 0;
  int uid_ = 1;
  SqliteDbPtr db_;
  FunctionState functions_;  // after db_: released before the connection closes
  Enforcement enforcement_;  // the connection's identity and foreign-key triggers
  bool inTransaction_ = false;
  int depth_ = 0;
  std::set<int64_t> identityInsert_;
  // The batch's variables: their values as SQL literals, and their declared types.
  std::map<std::string, std::string> variables_;
  std::map<std::string, TypeSpec> variableTypes_;
  int64_t lastIdentity_ = 0;
  bool hasIdentity_ = false;
  const std::string* batch_ = nullptr;
  int functionDepth_ = 0;  // inline functions being expanded
  // The open transaction's name and its savepoints, oldest first.
  std::string tranName_;
  std::vector<std::string> savepoints_;
  int line_ = 0;  // line in the batch where the running statement starts
  // The batch's first error that ended only its statement: reported when the batch ends.
  std::optional<ado::EOleException> terminated_;
  // Descriptions of tables read from the catalogue, by id, the objects that names found (by name as
  // written and owner) and the users' ids: cleared by any change of a catalogue row (update hook), a
  // rollback, a failed statement, a change of database, and a commit by another connection
  // (data_version).
  struct CatalogueCache {
    std::map<int64_t, TableInfo> byId;
    std::map<std::pair<std::string, int>, std::optional<int64_t>> objects;
    std::map<std::string, int> users;
    void clear() {
      byId.clear();
      objects.clear();
      users.clear();
    }
  } tables_;
  CatalogueWatch watch_{&IsCatalogueTable, [this] { ForgetCatalogue(); }};
};

}  // namespace servers::sqlserver
