// Users, options, db spaces and the server's database statements: CREATE, START and STOP
// DATABASE. The server keeps the databases it has started, by name, in its folder.
#include <filesystem>
#include <fstream>

#include "common/Text.h"
#include "servers/asa/Errors.h"
#include "servers/asa/Session.h"
#include "servers/core/Files.h"

namespace servers::asa {

namespace fs = std::filesystem;

namespace {

std::string RegistryFile(const std::string& folder) { return (fs::path(folder) / "asa_databases.txt").string(); }

// The started databases: name and file, one per line, tab between.
std::vector<std::pair<std::string, std::string>> Started(const std::string& folder) {
  std::vector<std::pair<std::string, std::string>> out;
  std::ifstream in(RegistryFile(folder));
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab != std::string::npos) out.emplace_back(line.substr(0, tab), line.substr(tab + 1));
  }
  return out;
}

void SaveStarted(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& list) {
  std::string temp = RegistryFile(folder) + ".new";
  {
    std::ofstream out(temp, std::ios::trunc);
    for (const auto& [name, file] : list) out << name << '\t' << file << '\n';
  }
  fs::rename(temp, RegistryFile(folder));
}

}  // namespace

std::string StartedDatabaseFile(const std::string& folder, const std::string& name) {
  for (const auto& [n, file] : Started(folder))
    if (text::Lower(n) == text::Lower(name)) return file;
  return {};
}

void Session::SetOption(const SetOptionStmt& s) {
  int user = uid_;
  if (!s.user.empty()) {
    user = UserId(Db(), s.user);
    if (user < 0) Fail(-140, "User ID '" + s.user + "' does not exist");
  }
  std::string option = text::Lower(s.option);
  if (s.value.empty()) {
    if (user == kPublicUser) Fail(-201, "Invalid setting for option '" + s.option + "'");
    Stmt d(Db(), "DELETE FROM SYSOPTION WHERE user_id = ? AND \"option\" = ?");
    d.Bind(1, int64_t{user}).Bind(2, option);
    d.Step();
    return;
  }
  Stmt q(Db(), "INSERT OR REPLACE INTO SYSOPTION VALUES (?, ?, ?)");
  q.Bind(1, int64_t{user}).Bind(2, option).Bind(3, s.value);
  q.Step();
}

void Session::RunNamed(const NamedStmt& s) {
  switch (s.kind) {
    case Statement::kCreateDbSpace: {
      Stmt dup(Db(), "SELECT 1 FROM SYSFILE WHERE dbspace_name = ?");
      dup.Bind(1, s.name);
      if (dup.Step()) Fail(-110, "Item '" + s.name + "' already exists");
      Stmt q(Db(), "INSERT INTO SYSFILE VALUES ((SELECT max(file_id) + 1 FROM SYSFILE WHERE file_id < 15), ?, ?, 'SA')");
      q.Bind(1, s.value).Bind(2, s.name);
      q.Step();
      return;
    }
    case Statement::kDropDbSpace: {
      int id = DbSpaceId(s.name);
      if (id == 0) Fail(-121, "Permission denied: the SYSTEM dbspace cannot be dropped");
      ExecSql(Db(), "DELETE FROM SYSFILE WHERE file_id = " + std::to_string(id));
      return;
    }
    case Statement::kGrantConnect: {
      int id = UserId(Db(), s.name);
      if (id >= 0) {
        Stmt q(Db(), "UPDATE SYSUSERPERM SET password = ? WHERE user_id = ?");
        q.Bind(1, s.value).Bind(2, int64_t{id});
        q.Step();
        return;
      }
      int64_t newId = std::max<int64_t>(QueryInt(Db(), "SELECT max(user_id) FROM SYSUSERPERM", 0) + 1, 100);
      Stmt q(Db(), "INSERT INTO SYSUSERPERM (user_id, user_name, password) VALUES (?, ?, ?)");
      q.Bind(1, newId).Bind(2, s.name);
      if (s.value.empty()) q.BindNull(3);
      else q.Bind(3, s.value);
      q.Step();
      ExecSql(Db(), "INSERT INTO SYSGROUP VALUES (2, " + std::to_string(newId) + ")");
      return;
    }
    case Statement::kRevokeConnect: {
      int id = UserId(Db(), s.name);
      if (id < 0) Fail(-140, "User ID '" + s.name + "' does not exist");
      if (id <= 3) Fail(-121, "Permission denied: " + s.name + " cannot be dropped");
      if (QueryInt(Db(), "SELECT count(*) FROM SYSTABLE WHERE creator = " + std::to_string(id)))
        Fail(-128, "Cannot drop a user that owns tables in runtime system");
      ExecSql(Db(), "DELETE FROM SYSUSERPERM WHERE user_id = " + std::to_string(id) +
                        ";DELETE FROM SYSGROUP WHERE group_member = " + std::to_string(id) +
                        ";DELETE FROM SYSOPTION WHERE user_id = " + std::to_string(id));
      return;
    }
    case Statement::kCreateDatabase: {
      std::string path = LocalPath(folder_, s.name);
      std::error_code ec;
      if (fs::exists(path, ec)) Fail(-82, "Unable to start specified database: the file '" + s.name + "' already exists");
      fs::create_directories(fs::path(path).parent_path(), ec);
      auto db = OpenDatabaseFile(path, true);
      ExecSql(db.get(), "BEGIN");
      CreateCatalog(db.get());
      Stmt f(db.get(), "UPDATE SYSFILE SET file_name = ? WHERE file_id = 0");
      f.Bind(1, s.name);
      f.Step();
      ExecSql(db.get(), "COMMIT");
      return;
    }
    case Statement::kStartDatabase: {
      std::string path = LocalPath(folder_, s.name);
      std::error_code ec;
      if (!fs::exists(path, ec)) Fail(-82, "Unable to start specified database: '" + s.name + "' not found");
      std::string name = s.as.empty() ? fs::path(path).stem().string() : s.as;
      auto list = Started(folder_);
      for (const auto& [n, file] : list) {
        if (text::Lower(n) == text::Lower(name)) Fail(-77, "Database name not unique");
        if (file == path) Fail(-816, "Specified database file already in use");
      }
      list.emplace_back(name, path);
      SaveStarted(folder_, list);
      return;
    }
    case Statement::kStopDatabase: {
      auto list = Started(folder_);
      size_t before = list.size();
      std::erase_if(list, [&](const auto& e) { return text::Lower(e.first) == text::Lower(s.name); });
      if (list.size() == before) Fail(-83, "Specified database not found");
      SaveStarted(folder_, list);
      return;
    }
    default:
      Fail(-130, "Invalid statement");
  }
}

}  // namespace servers::asa
