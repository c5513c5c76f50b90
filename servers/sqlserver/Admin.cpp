// System procedures, logins and users, and the database statements of the session: CREATE,
// ALTER and DROP DATABASE, BACKUP, RESTORE FILELISTONLY and RESTORE DATABASE.
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "common/Text.h"
#include "servers/core/Files.h"
#include "servers/core/Functions.h"
#include "servers/sqlserver/Catalog.h"
#include "servers/sqlserver/Server.h"
#include "servers/sqlserver/Session.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Translator.h"

namespace servers::sqlserver {

namespace fs = std::filesystem;

namespace {

using text::Lower;

int64_t Pages(const std::string& size, int64_t fallback) {
  if (size.empty()) return fallback;
  // Sizes beyond any disk are held at a petabyte's worth of pages.
  double v = std::atof(size.c_str());
  if (!(v >= 0)) v = 0;
  v = std::min(v, 1e12);
  std::string u = Lower(size);
  if (u.find("kb") != std::string::npos) return static_cast<int64_t>(v / 8);
  if (u.find("gb") != std::string::npos) return static_cast<int64_t>(v * 128 * 1024);
  return static_cast<int64_t>(v * 128);
}

// The catalogue every new database starts from, made once: writing it table by table cost more
// than all the rest of CREATE DATABASE. Raises ESqliteError on failure.
const std::string& NewCatalogImage() {
  static const std::string image = [] {
    auto db = OpenSqlite(":memory:", true);
    ExecSql(db.get(), "BEGIN");
    CreateCatalog(db.get(), false);
    ExecSql(db.get(), "COMMIT");
    sqlite3_int64 size = 0;
    unsigned char* bytes = sqlite3_serialize(db.get(), "main", &size, 0);
    if (bytes == nullptr) throw ESqliteError("out of memory", SQLITE_NOMEM);
    std::string copy(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
    sqlite3_free(bytes);
    return copy;
  }();
  return image;
}

// Writes the catalogue of a new database named `name` with its data and log files into the new
// file `path`, its system objects and users dated now. Raises ESqliteError on failure.
void WriteNewDatabase(const std::string& path, const std::string& name, const std::vector<FileSpec>& data,
                    const std::vector<FileSpec>& log) {
  WriteFileBytes(path, NewCatalogImage());
  auto db = OpenSqlite(path, false);
  // The new file is thrown away on any failure: it needs no journal until it is sealed.
  ExecSql(db.get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN");
  const std::string now = SqlLiteral(NowText());
  ExecSql(db.get(), "UPDATE sysobjects SET crdate = " + now + ", refdate = " + now +
                        "; UPDATE sysusers SET createdate = " + now + ", updatedate = " + now);
  Stmt ins(db.get(), "INSERT INTO sysfiles (fileid, groupid, size, maxsize, growth, status, name, filename) VALUES (?,?,?,?,?,?,?,?)");
  int64_t fileid = 1;
  auto add = [&](const FileSpec& f, bool isLog) {
    bool percent = f.growth.find('%') != std::string::npos;
    int64_t growth = percent ? std::atoi(f.growth.c_str()) : Pages(f.growth, 10);
    ins.Reset();
    ins.Bind(1, fileid++).Bind(2, int64_t{isLog ? 0 : 1}).Bind(3, Pages(f.size, isLog ? 128 : 80));
    ins.Bind(4, f.maxSize.empty() || Lower(f.maxSize) == "unlimited" ? int64_t{-1} : Pages(f.maxSize, -1));
    ins.Bind(5, growth).Bind(6, int64_t{(isLog ? 0x42 : 0x2) | (percent ? 0x100000 : 0)});
    ins.Bind(7, f.name.empty() ? name + (isLog ? "_log" : "") : f.name).Bind(8, f.fileName);
    ins.Step();
  };
  for (const auto& f : data) add(f, false);
  for (const auto& f : log) add(f, true);
  ExecSql(db.get(), "COMMIT");
}

}  // namespace

void Session::RoleMember(const std::string& role, const std::string& member, bool add) {
  Stmt r(Db(), "SELECT uid, issqlrole FROM sysusers WHERE name = ?");
  r.Bind(1, role);
  if (!r.Step()) Fail(15014, "The role '" + role + "' does not exist in the current database.");
  if (!r.Int(1)) Fail(15409, "'" + role + "' is not a role.");
  int64_t roleUid = r.Int(0);
  Stmt m(Db(), "SELECT uid FROM sysusers WHERE name = ?");
  m.Bind(1, member);
  if (!m.Step()) Fail(15410, "User or role '" + member + "' does not exist in this database.");
  int64_t memberUid = m.Int(0);
  if (add && memberUid == roleUid) Fail(15413, "Cannot make a role a member of itself.");
  Stmt d(Db(), "DELETE FROM sysmembers WHERE memberuid = ? AND groupuid = ?");
  d.Bind(1, memberUid).Bind(2, roleUid);
  d.Step();
  if (!add) return;
  Stmt ins(Db(), "INSERT INTO sysmembers (memberuid, groupuid) VALUES (?, ?)");
  ins.Bind(1, memberUid).Bind(2, roleUid);
  ins.Step();
}

void Session::HelpIndex(const std::string& object, std::vector<ado::StatementResult>& results) {
  auto [owner, name] = SplitOwner(object);
  ObjectName n;
  n.owner = owner;
  n.name = name;
  auto id = Resolve(n);
  if (!id) Fail(15009, "The object '" + object + "' does not exist in database '" + database_ + "'.");
  // Each key named by its column, "(-)" after a descending one.
  const std::string keys =
      "(SELECT group_concat(key, ', ') FROM (SELECT c.name || CASE WHEN hex(substr(i.keys, k.keyno, 1)) = '01' "
      "THEN '(-)' ELSE '' END AS key FROM sysindexkeys k JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid "
      "WHERE k.id = i.id AND k.indid = i.indid ORDER BY k.keyno))";
  ado::StatementResult r;
  r.HasRows = true;
  r.Rows = Query("SELECT i.name AS index_name, CASE WHEN i.indid = 1 THEN 'clustered' ELSE 'nonclustered' END || "
                 "CASE WHEN (i.status & 1) <> 0 THEN ', ignore duplicate keys' ELSE '' END || "
                 "CASE WHEN (i.status & 2) <> 0 THEN ', unique' ELSE '' END || "
                 "CASE WHEN (i.status & 2048) <> 0 THEN ', primary key' WHEN (i.status & 4096) <> 0 THEN ', unique key' "
                 "ELSE '' END || ' located on ' || coalesce(g.groupname, 'PRIMARY') AS index_description, " + keys +
                 " AS index_keys FROM sysindexes i LEFT JOIN sysfilegroups g ON g.groupid = i.groupid WHERE i.id = " +
                 std::to_string(*id) + " AND i.indid BETWEEN 1 AND 254 ORDER BY i.name");
  // A table without indexes answers with a message only.
  if (!r.Rows.Rows.empty()) results.push_back(std::move(r));
}

void Session::RunProc(const ExecProcStmt& s, std::vector<ado::StatementResult>& results) {
  std::string name = Lower(s.proc.name);
  std::vector<std::string> args;
  std::vector<bool> isNull;
  for (const auto& a : s.args) {
    isNull.push_back(a->kind == Expr::Null);
    args.push_back(EvalText(*a));
  }
  auto arg = [&](size_t i) { return i < args.size() && !isNull[i] ? args[i] : std::string(); };
  std::string master = InMaster() ? "" : "master.";
  if (name == "sp_rename") {
    Rename(args);
    return;
  }
  if (RunLoginProc(name, args, isNull)) return;
  if (RunTypeProc(name, args, isNull)) return;
  if (name == "sp_grantdbaccess" || name == "sp_adduser") {
    std::string login = arg(0);
    std::string user = arg(1).empty() ? login : arg(1);
    Stmt q(Db(), "SELECT sid FROM " + master + "syslogins WHERE name = ?");
    q.Bind(1, login);
    if (!q.Step()) Fail(15007, "The login '" + login + "' does not exist.");
    std::string sid(reinterpret_cast<const char*>(sqlite3_column_blob(q.Get(), 0)), static_cast<size_t>(sqlite3_column_bytes(q.Get(), 0)));
    Stmt u(Db(), "SELECT 1 FROM sysusers WHERE name = ?");
    u.Bind(1, user);
    if (u.Step()) Fail(15023, "User or role '" + user + "' already exists in the current database.");
    int64_t uid = std::max<int64_t>(5, QueryInt(Db(), "SELECT max(uid) FROM sysusers WHERE uid < 16384", 4) + 1);
    std::string now = NowText();
    Stmt ins(Db(), "INSERT INTO sysusers (uid, status, name, sid, createdate, updatedate, gid, hasdbaccess, islogin, issqluser) "
                   "VALUES (?, 2, ?, ?, ?, ?, 0, 1, 1, 1)");
    ins.Bind(1, uid).Bind(2, user);
    sqlite3_bind_blob(ins.Get(), 3, sid.data(), static_cast<int>(sid.size()), SQLITE_TRANSIENT);
    ins.Bind(4, now).Bind(5, now);
    ins.Step();
    return;
  }
  if (name == "sp_revokedbaccess" || name == "sp_dropuser") {
    std::string user = arg(0);
    Stmt u(Db(), "SELECT uid FROM sysusers WHERE name = ? AND uid > 4 AND uid < 16384");
    u.Bind(1, user);
    if (!u.Step()) Fail(15008, "User '" + user + "' does not exist in the current database.");
    int64_t uid = u.Int(0);
    if (QueryInt(Db(), "SELECT count(*) FROM sysobjects WHERE uid = " + std::to_string(uid)))
      Fail(15183, "The user owns objects in the database and cannot be dropped.");
    ExecSql(Db(), "DELETE FROM sysusers WHERE uid = " + std::to_string(uid) + "; DELETE FROM sysmembers WHERE memberuid = " + std::to_string(uid));
    return;
  }
  if (name == "sp_helpindex") {
    HelpIndex(arg(0), results);
    return;
  }
  if (name == "sp_helplogins") {
    ado::StatementResult r;
    r.HasRows = true;
    r.Rows = Query("SELECT name AS LoginName, sid AS SID, dbname AS DefDBName, language AS DefLangName, "
                   "CASE WHEN EXISTS (SELECT 1 FROM sysusers u WHERE u.sid = l.sid) THEN 'yes' ELSE 'no' END AS AUser, "
                   "'no' AS ARemote FROM " + master + "syslogins l" +
                   (arg(0).empty() ? std::string() : " WHERE name LIKE " + SqlLiteral(arg(0))) + " ORDER BY name");
    results.push_back(std::move(r));
    ado::StatementResult r2;
    r2.HasRows = true;
    r2.Rows = Query("SELECT l.name AS LoginName, " + SqlLiteral(database_) + " AS DBName, u.name AS UserName, "
                    "'User' AS UserOrAlias FROM " + master + "syslogins l JOIN sysusers u ON u.sid = l.sid ORDER BY l.name");
    results.push_back(std::move(r2));
    return;
  }
  if (name == "sp_addextendedproperty" || name == "sp_updateextendedproperty" || name == "sp_dropextendedproperty") {
    bool drop = name == "sp_dropextendedproperty";
    size_t base = drop ? 1 : 2;
    std::string prop = arg(0), value = drop ? "" : arg(1);
    std::string table = arg(base + 3), column = Lower(arg(base + 4)) == "column" ? arg(base + 5) : "";
    ObjectName target;
    target.name = table;
    if (Lower(arg(base + 1)) == "user") target.owner = arg(base + 2);
    auto id = Resolve(target);
    auto t = id ? LoadTable(Db(), *id) : std::nullopt;
    if (!t) Fail(15135, "Object is invalid. Extended properties are not permitted on '" + table + "', or the object does not exist.");
    int64_t smallid = 0;
    if (!column.empty()) {
      const ColumnInfo* c = t->Column(column);
      if (!c) Fail(15135, "Object is invalid. Extended properties are not permitted on '" + table + "." + column + "', or the object does not exist.");
      smallid = c->colid;
    }
    Stmt q(Db(), "SELECT 1 FROM sysproperties WHERE id = ? AND smallid = ? AND name = ?");
    q.Bind(1, t->id).Bind(2, smallid).Bind(3, prop);
    bool exists = q.Step();
    if (name == "sp_addextendedproperty" && exists)
      Fail(15233, "Property cannot be added. Property '" + prop + "' already exists for '" + table + "'.");
    if (name != "sp_addextendedproperty" && !exists)
      Fail(15217, "Property cannot be updated or deleted. Property '" + prop + "' does not exist for '" + table + "'.");
    Stmt d(Db(), "DELETE FROM sysproperties WHERE id = ? AND smallid = ? AND name = ?");
    d.Bind(1, t->id).Bind(2, smallid).Bind(3, prop);
    d.Step();
    if (!drop) {
      Stmt ins(Db(), "INSERT INTO sysproperties (id, smallid, type, name, value) VALUES (?, ?, ?, ?, ?)");
      ins.Bind(1, t->id).Bind(2, smallid).Bind(3, int64_t{column.empty() ? 3 : 4}).Bind(4, prop).Bind(5, value);
      ins.Step();
    }
    return;
  }
  if (name == "sp_addrolemember" || name == "sp_droprolemember") {
    RoleMember(arg(0), arg(1), name == "sp_addrolemember");
    return;
  }
  if (name == "sp_defaultdb" || name == "sp_changedbowner")
    return;
  // A procedure of the database: its body is kept, not executed.
  if (auto id = Resolve(s.proc); id && ObjectType(Db(), *id) == "P") return;
  Fail(2812, "Could not find stored procedure '" + s.proc.name + "'.");
}

void Session::CreateDatabase(const DatabaseStmt& s) {
  if (inTransaction_) Fail(226, "CREATE DATABASE statement not allowed within multi-statement transaction.");
  std::string master = InMaster() ? "" : "master.";
  {
    Stmt q(Db(), "SELECT 1 FROM " + master + "sysdatabases WHERE name = ?");
    q.Bind(1, s.db);
    if (q.Step()) Fail(1801, "Database '" + s.db + "' already exists.");
  }
  std::string path = DatabaseFile(folder_, s.db);
  std::string temp = path + ".new";
  std::error_code ec;
  const FolderLock lock(folder_);
  // Another database's file under the same folded name is never overwritten.
  if (fs::exists(path))
    Fail(1802, "CREATE DATABASE failed. Some file names listed could not be created. Check previous errors.\n"
               "The file '" + path + "' already exists.");
  fs::remove(temp, ec);
  fs::remove(path + "-wal", ec);
  fs::remove(path + "-shm", ec);
  std::vector<FileSpec> data = s.dataFiles, log = s.logFiles;
  if (data.empty()) data.push_back({s.db, path + "_Data.MDF", "", "", "10%", ""});
  if (log.empty()) log.push_back({s.db + "_log", path + "_Log.LDF", "", "", "10%", ""});
  try {
    WriteNewDatabase(temp, s.db, data, log);
    SealDatabaseFile(temp, JournalKind::kWriteAhead);
  } catch (const ESqliteError&) {
    fs::remove(temp, ec);
    Fail(1802, "CREATE DATABASE failed. Some file names listed could not be created. Check previous errors.");
  }
  fs::rename(temp, path, ec);
  if (ec) Fail(5123, "CREATE FILE encountered operating system error while attempting to open or create the physical file '" + path + "'.");
  std::string now = NowText();
  Stmt ins(Db(), "INSERT INTO " + master + "sysdatabases (name, dbid, sid, crdate, reserved, filename) VALUES "
                 "(?, (SELECT max(dbid) + 1 FROM " + master + "sysdatabases), X'01', ?, ?, ?)");
  ins.Bind(1, s.db).Bind(2, now).Bind(3, now).Bind(4, data[0].fileName);
  try {
    ins.Step();
  } catch (...) {
    fs::remove(path, ec);
    throw;
  }
}

void Session::AlterDatabase(const DatabaseStmt& s) {
  SqliteDbPtr other;
  sqlite3* db = Db();
  if (Lower(s.db) != Lower(database_)) {
    std::string master = InMaster() ? "" : "master.";
    Stmt q(Db(), "SELECT name FROM " + master + "sysdatabases WHERE name = ?");
    q.Bind(1, s.db);
    if (!q.Step()) Fail(911, "Could not locate entry in sysdatabases for database '" + s.db + "'. No entry found with that name. Make sure that the name is entered correctly.");
    other = OpenDatabaseFileForChange(DatabaseFile(folder_, q.Text(0)));
    db = other.get();
  }
  if (s.action == "ADD FILEGROUP") {
    Stmt q(db, "SELECT 1 FROM sysfilegroups WHERE groupname = ?");
    q.Bind(1, s.group);
    if (q.Step()) Fail(1828, "The filegroup name \"" + s.group + "\" already exists in this database.");
    Stmt ins(db, "INSERT INTO sysfilegroups (groupid, allocpolicy, status, groupname) VALUES ((SELECT max(groupid) + 1 FROM sysfilegroups), 0, 0, ?)");
    ins.Bind(1, s.group);
    ins.Step();
  } else if (s.action == "REMOVE FILEGROUP") {
    Stmt q(db, "SELECT groupid FROM sysfilegroups WHERE groupname = ?");
    q.Bind(1, s.group);
    if (!q.Step()) Fail(5043, "The filegroup '" + s.group + "' cannot be found in sysfilegroups.");
    int64_t g = q.Int(0);
    if (g == 1 || QueryInt(db, "SELECT count(*) FROM sysindexes WHERE groupid = " + std::to_string(g)) ||
        QueryInt(db, "SELECT count(*) FROM sysfiles WHERE groupid = " + std::to_string(g)))
      Fail(5042, "The filegroup '" + s.group + "' cannot be removed because it is not empty.");
    ExecSql(db, "DELETE FROM sysfilegroups WHERE groupid = " + std::to_string(g));
  } else if (s.action == "ADD FILE") {
    int g = FileGroupId(db, s.group);
    for (const auto& f : s.dataFiles) {
      Stmt ins(db, "INSERT INTO sysfiles (fileid, groupid, size, maxsize, growth, status, name, filename) VALUES "
                   "((SELECT max(fileid) + 1 FROM sysfiles), ?, ?, -1, 10, 1048578, ?, ?)");
      ins.Bind(1, int64_t{g}).Bind(2, Pages(f.size, 128)).Bind(3, f.name).Bind(4, f.fileName);
      ins.Step();
    }
  } else if (s.action == "REMOVE FILE") {
    Stmt d(db, "DELETE FROM sysfiles WHERE name = ? AND fileid > 2");
    d.Bind(1, s.group);
    d.Step();
    if (!sqlite3_changes(db)) Fail(5009, "ALTER DATABASE failed. The file '" + s.group + "' cannot be removed.");
  } else if (s.action == "MODIFY FILE") {
    const FileSpec& f = s.dataFiles.at(0);
    Stmt q(db, "SELECT fileid FROM sysfiles WHERE name = ?");
    q.Bind(1, f.name);
    if (!q.Step()) Fail(5041, "MODIFY FILE failed. File '" + f.name + "' does not exist.");
    int64_t id = q.Int(0);
    if (!f.newName.empty()) {
      Stmt u(db, "UPDATE sysfiles SET name = ? WHERE fileid = ?");
      u.Bind(1, f.newName).Bind(2, id);
      u.Step();
    }
    if (!f.fileName.empty()) {
      Stmt u(db, "UPDATE sysfiles SET filename = ? WHERE fileid = ?");
      u.Bind(1, f.fileName).Bind(2, id);
      u.Step();
    }
    if (!f.size.empty()) {
      Stmt u(db, "UPDATE sysfiles SET size = ? WHERE fileid = ?");
      u.Bind(1, Pages(f.size, 128)).Bind(2, id);
      u.Step();
    }
  } else if (s.action == "MODIFY FILEGROUP") {
    int g = FileGroupId(db, s.group);
    if (s.disk == "DEFAULT")
      ExecSql(db, "UPDATE sysfilegroups SET status = CASE WHEN groupid = " + std::to_string(g) + " THEN 16 ELSE 0 END");
  }
}

void Session::DropDatabase(const DatabaseStmt& s) {
  if (inTransaction_) Fail(226, "DROP DATABASE statement not allowed within multi-statement transaction.");
  if (Lower(s.db) == Lower(database_)) Fail(3702, "Cannot drop the database '" + s.db + "' because it is currently in use.");
  if (Lower(s.db) == "master") Fail(3708, "Cannot drop the database 'master' because it is a system database.");
  std::string master = InMaster() ? "" : "master.";
  const FolderLock lock(folder_);
  const std::string path = DatabaseFile(folder_, s.db);
  // The file is held until it is gone: a database another session works in is not dropped.
  SqliteDbPtr claim;
  std::error_code ec;
  try {
    if (fs::exists(path, ec)) claim = ClaimDatabaseFile(path);
  } catch (const ESqliteError& e) {
    if (e.Code() == SQLITE_BUSY || e.Code() == SQLITE_LOCKED)
      Fail(3702, "Cannot drop the database '" + s.db + "' because it is currently in use.");
  }
  Stmt d(Db(), "DELETE FROM " + master + "sysdatabases WHERE name = ?");
  d.Bind(1, s.db);
  d.Step();
  if (!Changes()) Fail(3701, "Cannot drop the database '" + s.db + "', because it does not exist in the system catalog.");
  RemoveDatabaseFile(path);
}

void Session::Backup(const DatabaseStmt& s) {
  if (inTransaction_) Fail(3021, "Cannot perform a backup or restore operation within a transaction.\nBACKUP DATABASE is terminating abnormally.");
  std::string master = InMaster() ? "" : "master.";
  Stmt q(Db(), "SELECT name FROM " + master + "sysdatabases WHERE name = ?");
  q.Bind(1, s.db);
  if (!q.Step()) Fail(911, "Could not locate entry in sysdatabases for database '" + s.db + "'. No entry found with that name. Make sure that the name is entered correctly.\nBACKUP DATABASE is terminating abnormally.");
  std::string source = DatabaseFile(folder_, q.Text(0));
  std::string target = LocalPath(folder_, s.disk);
  std::error_code ec;
  // Only an earlier backup is replaced: any other file on the device is not ours to overwrite.
  if (fs::exists(target, ec) && !IsBackupFile(target, "sysfiles"))
    Fail(3241, "The media family on device '" + s.disk + "' is incorrectly formed. SQL Server cannot process this media family.\nBACKUP DATABASE is terminating abnormally.");
  try {
    BackupDatabaseFile(source, target);
  } catch (const ESqliteError&) {
    Fail(3201, "Cannot open backup device '" + s.disk + "'. Device error or device off line. See the SQL Server error log for more details.\nBACKUP DATABASE is terminating abnormally.");
  }
}

void Session::RestoreFileList(const DatabaseStmt& s, std::vector<ado::StatementResult>& results) {
  std::string path = LocalPath(folder_, s.disk);
  if (!fs::exists(path))
    Fail(3201, "Cannot open backup device '" + s.disk + "'. Device error or device off line. See the SQL Server error log for more details.\nRESTORE FILELIST is terminating abnormally.");
  try {
    auto db = OpenSqlite(path, false);
    Stmt q(db.get(), "SELECT f.name AS LogicalName, f.filename AS PhysicalName, CASE WHEN (f.status & 64) <> 0 THEN 'L' ELSE 'D' END AS Type, "
                     "g.groupname AS FileGroupName, f.size * 8192 AS Size, CASE WHEN f.maxsize < 0 THEN 35184372080640 ELSE f.maxsize * 8192 END AS MaxSize "
                     "FROM sysfiles f LEFT JOIN sysfilegroups g ON g.groupid = f.groupid ORDER BY f.fileid");
    ado::StatementResult r;
    r.HasRows = true;
    const char* names[] = {"LogicalName", "PhysicalName", "Type", "FileGroupName", "Size", "MaxSize"};
    for (int i = 0; i < 6; ++i) {
      ado::FieldDef f;
      f.Name = names[i];
      f.Type = i >= 4 ? ado::FieldType::ftLargeint : ado::FieldType::ftString;
      f.Size = i == 2 ? 1 : i >= 4 ? 0 : 260;
      r.Rows.Fields.push_back(f);
    }
    while (q.Step()) {
      ado::Row row;
      for (int i = 0; i < 4; ++i) row.push_back(q.IsNull(i) ? ado::Variant::Null() : ado::Variant(q.Text(i)));
      row.emplace_back(static_cast<long long>(q.Int(4)));
      row.emplace_back(static_cast<long long>(q.Int(5)));
      r.Rows.Rows.push_back(std::move(row));
    }
    results.push_back(std::move(r));
  } catch (const ESqliteError&) {
    Fail(3241, "The media family on device '" + s.disk + "' is incorrectly formed. SQL Server cannot process this media family.\nRESTORE FILELIST is terminating abnormally.");
  }
}

void Session::Restore(const DatabaseStmt& s) {
  if (inTransaction_) Fail(3021, "Cannot perform a backup or restore operation within a transaction.\nRESTORE DATABASE is terminating abnormally.");
  if (Lower(s.db) == Lower(database_))
    Fail(3101, "Exclusive access could not be obtained because the database is in use.\nRESTORE DATABASE is terminating abnormally.");
  if (Lower(s.db) == "master") Fail(3108, "RESTORE DATABASE must be used in single user mode when trying to restore the master database.");
  std::string path = LocalPath(folder_, s.disk);
  if (!fs::exists(path))
    Fail(3201, "Cannot open backup device '" + s.disk + "'. Device error or device off line. See the SQL Server error log for more details.\nRESTORE DATABASE is terminating abnormally.");
  std::string master = InMaster() ? "" : "master.";
  std::string target = DatabaseFile(folder_, s.db);
  {
    // A file that belongs to another database (a name folding to the same file) is left alone.
    Stmt q(Db(), "SELECT 1 FROM " + master + "sysdatabases WHERE name = ?");
    q.Bind(1, s.db);
    if (!q.Step() && fs::exists(target))
      Fail(3156, "File '" + target + "' cannot be restored to '" + s.db +
                     "'. Use WITH MOVE to identify a valid location for the file.\nRESTORE DATABASE is terminating abnormally.");
  }
  if (!IsBackupFile(path, "sysfiles"))
    Fail(3241, "The media family on device '" + s.disk + "' is incorrectly formed. SQL Server cannot process this media family.\nRESTORE DATABASE is terminating abnormally.");
  // The files the backup names are moved on the copy, before it replaces the database.
  auto moveFiles = [&](sqlite3* copy) {
    for (const auto& [logical, physical] : s.moves) {
      Stmt u(copy, "UPDATE sysfiles SET filename = ? WHERE name = ?");
      u.Bind(1, physical).Bind(2, logical);
      u.Step();
      if (!sqlite3_changes(copy))
        Fail(3234, "Logical file '" + logical + "' is not part of database '" + s.db + "'. Use RESTORE FILELISTONLY to list the logical file names.\nRESTORE DATABASE is terminating abnormally.");
    }
  };
  try {
    RestoreDatabaseFile(path, target, moveFiles);
  } catch (const ESqliteError& e) {
    if (e.Code() == SQLITE_BUSY || e.Code() == SQLITE_LOCKED)
      Fail(3101, "Exclusive access could not be obtained because the database is in use.\nRESTORE DATABASE is terminating abnormally.");
    Fail(3241, "The media family on device '" + s.disk + "' is incorrectly formed. SQL Server cannot process this media family.\nRESTORE DATABASE is terminating abnormally.");
  }
  Stmt q(Db(), "SELECT 1 FROM " + master + "sysdatabases WHERE name = ?");
  q.Bind(1, s.db);
  if (!q.Step()) {
    std::string now = NowText();
    Stmt ins(Db(), "INSERT INTO " + master + "sysdatabases (name, dbid, sid, crdate, reserved, filename) VALUES "
                   "(?, (SELECT max(dbid) + 1 FROM " + master + "sysdatabases), X'01', ?, ?, ?)");
    ins.Bind(1, s.db).Bind(2, now).Bind(3, now).Bind(4, target);
    ins.Step();
  }
}

}  // namespace servers::sqlserver
