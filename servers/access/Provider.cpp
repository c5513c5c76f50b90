#include "servers/access/Provider.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "servers/access/Catalog.h"
#include "servers/access/JetError.h"
#include "servers/access/Session.h"
#include "servers/core/Files.h"

namespace servers::access {

namespace fs = std::filesystem;

bool JetProvider::Accepts(const std::string& providerName) const {
  std::string name = providerName;
  while (!name.empty() && name.back() == ' ') name.pop_back();
  while (!name.empty() && name.front() == ' ') name.erase(0, 1);
  return name.size() >= 13 && strncasecmp(name.c_str(), "Microsoft.Jet", 13) == 0;
}

std::string DatabasePath(const ado::ConnectionString& cs) {
  std::string path = cs.Get("Data Source");
  for (auto& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::unique_ptr<ado::IProviderSession> JetProvider::Open(const ado::ConnectionString& cs) {
  return std::make_unique<Session>(DatabasePath(cs));
}

void JetProvider::CreateDatabase(const ado::ConnectionString& cs) {
  const std::string path = DatabasePath(cs);
  std::error_code ec;
  if (path.empty() || fs::exists(path, ec)) JetFail(3204, "Database already exists.");
  const fs::path folder = fs::path(path).parent_path();
  if (!folder.empty() && !fs::is_directory(folder, ec))
    JetFail(3044, "'" + folder.string() +
                      "' is not a valid path. Make sure that the path name is spelled correctly "
                      "and that you are connected to the server on which the file resides.");
  // Made whole beside the target, under a name of its own, and linked into place only while the
  // name is free: no half-made database is ever seen, and a database made meanwhile by another
  // process is never replaced.
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd >= 0) {
    ::fchmod(fd, 0644);  // as a database file SQLite makes
    ::close(fd);
  }
  try {
    if (fd < 0) throw ESqliteError("cannot create file", SQLITE_CANTOPEN);
    auto db = OpenSqlite(temp, true);
    ExecSql(db.get(), "BEGIN");
    CreateCatalog(db.get());
    ExecSql(db.get(), "COMMIT");
  } catch (const ESqliteError&) {
    fs::remove(temp, ec);
    JetFail(3044, "'" + path +
                      "' is not a valid path. Make sure that the path name is spelled correctly and that "
                      "you are connected to the server on which the file resides.");
  }
  bool placed = ::link(temp.c_str(), path.c_str()) == 0;
  // A file system without links: moved instead, when the name is still free.
  if (!placed && errno != EEXIST && !fs::exists(path, ec)) {
    fs::rename(temp, path, ec);
    placed = !ec;
  }
  fs::remove(temp, ec);
  if (!placed) JetFail(3204, "Database already exists.");
}

}  // namespace servers::access
