// Indexes and the unique keys behind primary keys and unique constraints: CREATE and DROP
// INDEX, duplicate checks.
#include <strings.h>

#include <algorithm>

#include "servers/core/Statements.h"
#include "servers/sqlserver/Session.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Translator.h"
#include "servers/sqlserver/Types.h"

namespace servers::sqlserver {

void Session::CheckDuplicates(const TableInfo& t, const std::vector<std::string>& cols, int indid) {
  if (auto key = FirstDuplicateKey(Db(), t.physical, cols))
    Fail(1505, "CREATE UNIQUE INDEX terminated because a duplicate key was found for index ID " +
                   std::to_string(indid) + ". Most significant primary key is '" + *key + "'.");
}

void Session::CreateIndexEntry(const TableInfo& t, const std::string& name, const std::vector<std::string>& cols,
                               const std::vector<bool>& descending, bool unique, bool clustered, int status,
                               int groupid) {
  std::vector<int> colids;
  for (const auto& c : cols) {
    const ColumnInfo* ci = t.Column(c);
    if (!ci) Fail(1911, "Column name '" + c + "' does not exist in the target table.");
    if (IsLongType(ci->xtype))
      Fail(1919, "Column '" + ci->name + "' in table '" + t.name + "' is of a type that is invalid for use as a key column in an index.");
    colids.push_back(ci->colid);
  }
  std::string tid = std::to_string(t.id);
  int indid;
  if (clustered) {
    Stmt q(Db(), "SELECT name FROM sysindexes WHERE id = ? AND indid = 1");
    q.Bind(1, t.id);
    if (q.Step())
      Fail(1902, "Cannot create more than one clustered index on table '" + t.name +
                     "'. Drop the existing clustered index '" + q.Text(0) + "' before creating another.");
    indid = 1;
  } else {
    indid = static_cast<int>(QueryInt(Db(), "SELECT max(indid) FROM sysindexes WHERE id = " + tid + " AND indid BETWEEN 2 AND 250", 1)) + 1;
  }
  bool physical = sqlite3_table_column_metadata(Db(), "main", t.physical.c_str(), nullptr, nullptr, nullptr,
                                               nullptr, nullptr, nullptr) == SQLITE_OK;
  if (unique && physical) CheckDuplicates(t, cols, indid);
  if (clustered) {
    if (groupid <= 0) groupid = static_cast<int>(QueryInt(Db(), "SELECT groupid FROM sysindexes WHERE id = " + tid + " AND indid = 0", 1));
    ExecSql(Db(), "DELETE FROM sysindexes WHERE id = " + tid + " AND indid = 0");
  } else if (groupid <= 0) {
    groupid = static_cast<int>(QueryInt(Db(), "SELECT groupid FROM sysindexes WHERE id = " + tid + " AND indid IN (0, 1)", 1));
  }
  status |= (unique ? 2 : 0) | (clustered ? 0x10 : 0);
  std::string keys(cols.size(), '\0');
  for (size_t i = 0; i < keys.size() && i < descending.size(); ++i) keys[i] = descending[i] ? 1 : 0;
  Stmt ins(Db(), "INSERT INTO sysindexes (id, status, indid, groupid, name, keycnt, OrigFillFactor, keys) VALUES (?,?,?,?,?,?,0,?)");
  ins.Bind(1, t.id).Bind(2, int64_t{status}).Bind(3, int64_t{indid}).Bind(4, int64_t{groupid}).Bind(5, name).Bind(6, static_cast<int64_t>(cols.size()));
  sqlite3_bind_blob(ins.Get(), 7, keys.data(), static_cast<int>(keys.size()), SQLITE_TRANSIENT);
  ins.Step();
  Stmt key(Db(), "INSERT INTO sysindexkeys (id, indid, colid, keyno) VALUES (?,?,?,?)");
  for (size_t i = 0; i < colids.size(); ++i) {
    key.Reset();
    key.Bind(1, t.id).Bind(2, int64_t{indid}).Bind(3, int64_t{colids[i]}).Bind(4, static_cast<int64_t>(i + 1));
    key.Step();
  }
  // The SQLite index exists once the table does.
  if (physical) CreatePhysicalIndex(Db(), t.id, t.physical, indid, unique);
}

void Session::CreateIndex(const CreateIndexStmt& s) {
  TableInfo t = RequireTable(s.table);
  Stmt q(Db(), "SELECT 1 FROM sysindexes WHERE id = ? AND name = ?");
  q.Bind(1, t.id).Bind(2, s.name);
  if (q.Step()) Fail(1913, "There is already an index on table '" + t.name + "' named '" + s.name + "'.");
  int group = s.fileGroup.empty() ? 0 : PlacementGroupId(Db(), s.fileGroup);
  CreateIndexEntry(t, s.name, s.columns, s.descending, s.unique, s.clustered.value_or(false), 0, group);
  TouchObject(t.id);
}

void Session::DropIndex(const ObjectName& table, const std::string& index) {
  auto id = Resolve(table);
  auto t = id ? LoadTable(Db(), *id) : std::nullopt;
  std::string full = table.name + "." + index;
  if (!t) Fail(3701, "Cannot drop the index '" + full + "', because it does not exist in the system catalog.");
  Stmt q(Db(), "SELECT indid, status, groupid FROM sysindexes WHERE id = ? AND name = ? AND indid BETWEEN 1 AND 254");
  q.Bind(1, t->id).Bind(2, index);
  if (!q.Step()) Fail(3703, "Cannot drop the index '" + full + "', because it does not exist in the system catalog.");
  int64_t indid = q.Int(0), status = q.Int(1), group = q.Int(2);
  if (status & 0x800)
    Fail(3723, "An explicit DROP INDEX is not allowed on index '" + full + "'. It is being used for PRIMARY KEY constraint enforcement.");
  if (status & 0x1000)
    Fail(3723, "An explicit DROP INDEX is not allowed on index '" + full + "'. It is being used for UNIQUE KEY constraint enforcement.");
  std::string tid = std::to_string(t->id);
  ExecSql(Db(), "DELETE FROM sysindexes WHERE id = " + tid + " AND indid = " + std::to_string(indid) +
                    "; DELETE FROM sysindexkeys WHERE id = " + tid + " AND indid = " + std::to_string(indid));
  DropPhysicalIndex(Db(), database_, t->id, t->physical, indid);
  if (indid == 1) {
    Stmt heap(Db(), "INSERT INTO sysindexes (id, status, indid, groupid, name, keycnt) VALUES (?, 0, 0, ?, ?, 0)");
    heap.Bind(1, t->id).Bind(2, group).Bind(3, t->name);
    heap.Step();
  }
  TouchObject(t->id);
}

}  // namespace servers::sqlserver
