// One connection to an Access database file: one statement per Execute, run atomically (in its
// own transaction when none is open, so that definitions and rows roll back together), the
// schema rowsets from the server's catalogue, and Jet's refusals.
#pragma once

#include <strings.h>

#include <map>
#include <string>
#include <vector>

#include "platform/data/Provider.h"
#include "servers/access/Catalog.h"
#include "servers/access/Parser.h"
#include "servers/core/CatalogueWatch.h"
#include "servers/core/Functions.h"
#include "servers/core/Sqlite.h"

namespace servers::access {

class Session : public ado::IProviderSession, public IDateOrderHost {
 public:
  // Opens the database file `path` (as the client wrote it, resolved); raises Jet's 3024 when
  // it does not exist, 3044 for a folder, 3343 for a file that is not a database.
  explicit Session(const std::string& path);
  ~Session() override;

  std::vector<ado::StatementResult> Execute(const std::string& sql) override;
  void BeginTrans() override;
  void CommitTrans() override;
  void RollbackTrans() override;
  bool InTransaction() const override { return inTransaction_; }
  ado::RowSet OpenSchema(ado::TSchemaInfo kind, const std::vector<ado::Variant>& restrictions) override;
  std::string CurrentDatabase() const override { return path_; }
  // Jet reads "a/b/c" dates month first.
  std::string DateFormat() const override { return "mdy"; }

 private:
  sqlite3* Db() const { return db_.get(); }
  void Run(const JetStatement& s, std::vector<ado::StatementResult>& results);
  [[noreturn]] void Rethrow(const std::exception& e, const JetStatement& s);

  // Rows.
  int64_t Insert(const JetStatement& s);
  int64_t Update(const JetStatement& s);
  int64_t Delete(const JetStatement& s);
  JetTable RequireTable(const std::string& name);

  // Definitions (Ddl.cpp).
  void CreateTable(const JetStatement& s);
  // SELECT ... INTO: a new table typed from the query's columns, holding its rows.
  int64_t SelectInto(const JetStatement& s);
  void AddColumn(const JetStatement& s);
  void AlterColumn(const JetStatement& s);
  void DropColumn(const JetStatement& s);
  void AddConstraint(JetTable& t, const JetConstraint& k, bool creating);
  void DropConstraint(const JetStatement& s);
  void CreateIndex(const JetStatement& s);
  void DropIndex(const JetStatement& s);
  void DropTable(const JetStatement& s);
  void CreateModule(const JetStatement& s);
  void DropModule(const JetStatement& s);
  JetColumn ColumnOf(const JetColumnDef& d);
  void CheckNewName(const std::string& name);
  void CheckUnique(const JetTable& t, const JetIndex& ix);
  // Remakes the SQLite table from the catalogue, copying the rows: `sources` as BuildPhysical.
  void Rebuild(const JetTable& t, const std::vector<std::string>& sources);

  std::string path_;
  SqliteDbPtr db_;
  bool inTransaction_ = false;
  int depth_ = 0;
  // Descriptions of tables read from the catalogue, by name as written: cleared by any change of a
  // catalogue row (update hook), a rollback, a failed statement, and a commit by another
  // connection (data_version).
  std::map<std::string, JetTable> tables_;
  CatalogueWatch watch_{[](const char* table) { return strncasecmp(table, "msys", 4) == 0; }, [this] { tables_.clear(); }};
};

}  // namespace servers::access
