// Access dialect: the database operations. An Access database is a file the user provides: it
// always exists, is never created, is backed up by copying its file, and is not restored by the
// system, since its connection holds the very file a restore would replace.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "common/Paths.h"
#include "dialects/DatabaseOperations.h"
#include "dialects/uDbSpecific.h"
#include "platform/data/Connection.h"
#include "platform/data/ConnectionString.h"

using dialect_databases::FoldPath;

namespace {

namespace fs = std::filesystem;

constexpr const char* kRestoreTitle = "Restore Database";
// Enough leading bytes to tell a database file's kind by its signature.
constexpr std::streamsize kSignatureSize = 16;

// The file name after the last "\" or "/".
std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The first bytes of a file; empty when it cannot be read.
std::string FileSignature(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<size_t>(kSignatureSize), '\0');
  in.read(bytes.data(), kSignatureSize);
  bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

// A new, empty file beside `target`, removed again unless Keep() is called.
class TemporaryFile {
 public:
  explicit TemporaryFile(const fs::path& target) {
    std::string pattern = target.string() + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) throw EDbSpecificError("Cannot create a file in the backup folder");
    ::close(fd);
    path_ = buffer.data();
  }
  ~TemporaryFile() {
    std::error_code ec;
    if (!path_.empty()) fs::remove(path_, ec);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const fs::path& Path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  fs::path path_;
};

// Refuses a target that is not a file, that is the database file itself, or that is a file of
// another kind than the database (only an earlier backup may be replaced).
void CheckBackupTarget(const fs::path& source, const fs::path& target) {
  std::error_code ec;
  const fs::file_status status = fs::status(target, ec);
  if (!fs::exists(status)) return;
  if (!fs::is_regular_file(status)) throw EDbSpecificError("The backup target is not a file");
  if (fs::equivalent(source, target, ec)) {
    throw EDbSpecificError("The backup target is the database file itself");
  }
  if (FileSignature(target) != FileSignature(source)) {
    throw EDbSpecificError("The backup target is a file of another kind");
  }
}

// Copies the database file to `target` through a temporary file beside it, so that a failed
// copy leaves an earlier backup as it was.
void CopyDatabaseFile(const fs::path& source, const fs::path& target) {
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) {
    throw EDbSpecificError("The database file cannot be found");
  }
  CheckBackupTarget(source, target);
  TemporaryFile temporary(target);
  fs::copy_file(source, temporary.Path(), fs::copy_options::overwrite_existing, ec);
  if (ec) throw EDbSpecificError("Cannot copy the database file: " + ec.message());
  fs::rename(temporary.Path(), target, ec);
  if (ec) throw EDbSpecificError("Cannot write the backup file: " + ec.message());
  temporary.Keep();
}

}  // namespace

bool TAccessSpecific::BackupDatabase(ado::TConnection& connection, const std::string&,
                                     const std::string& folder) {
  // The engine hands over the connection's database name, which Access does not have: the
  // backup takes the database file's own name.
  const std::string source =
      ado::ConnectionString(connection.ConnectionString()).Get("Data Source");
  const std::string path = FoldPath(folder + "\\" + FileNameOf(source));
  try {
    if (source.empty()) throw EDbSpecificError("The connection names no database file");
    // Inside a transaction the file may hold changes that are not committed.
    if (connection.InTransaction()) {
      throw EDbSpecificError("The database cannot be backed up inside a transaction");
    }
    CopyDatabaseFile(paths::ResolveFolder(source), paths::ResolveFolder(path));
    return true;
  } catch (const EDbSpecificError& e) {
    ReportBackupError(path, e.what());
    return false;
  }
}

bool TAccessSpecific::RestoreDatabase(ado::TConnection&, const std::string&, const std::string&,
                                      const std::string&) {
  if (Owner != nullptr) {
    Owner->ReportError(dbcUnknown, kRestoreTitle,
                       "An Access database cannot be restored over the file its connection holds");
  }
  return false;
}

bool TAccessSpecific::RestoreAsNewDatabase(const std::string&, const std::string&,
                                           const std::string&, const std::string&,
                                           const std::string&, const std::string&,
                                           const std::string&, std::string& message) {
  message = "An Access database cannot be restored as a new database";
  if (Owner != nullptr) Owner->ReportError(dbcCheckDb, kRestoreTitle, message);
  return false;
}

int TAccessSpecific::CreateDatabase(const std::string&, const std::string&, const std::string&,
                                    const std::string&, const std::string&, const std::string&) {
  return 1;
}

bool TAccessSpecific::DatabaseExists(const std::string&, const std::string&, const std::string&,
                                     const std::string&) {
  return true;
}
