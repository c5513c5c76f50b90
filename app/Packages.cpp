// The package operations of TdmMain: a package built from a source database (the schema folder
// zipped into the packages folder), tested against a database (unpacked and compared), and run
// (unpacked, compared and updated). Every failure ends in the application log; while one of them
// runs it holds the working folders, so that a second run never mixes its package with ours.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/dmMain.h"
#include "common/Text.h"
#include "engine/uDm.h"
#include "platform/data/Connection.h"
#include "platform/data/ConnectionString.h"

namespace {

namespace fs = std::filesystem;

// An exclusive hold on the working folders for one operation, released when it ends (also when
// the process dies: the system drops the lock with the file handle).
class TFolderLock {
 public:
  explicit TFolderLock(const std::string& aLockFile) {
    fd_ = ::open(aLockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    held_ = ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    busy_ = !held_ && errno == EWOULDBLOCK;
  }
  ~TFolderLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFolderLock(const TFolderLock&) = delete;
  TFolderLock& operator=(const TFolderLock&) = delete;
  bool Held() const { return held_; }
  // Another run holds the folders (rather than the lock file being out of reach).
  bool Busy() const { return busy_; }

 private:
  int fd_ = -1;
  bool held_ = false;
  bool busy_ = false;
};

bool WritableFolder(const std::string& aFolder) {
  std::error_code ec;
  return fs::is_directory(aFolder, ec) && ::access(aFolder.c_str(), W_OK) == 0;
}

// Why the working folders cannot be taken for an operation: another run holds them, or one of them
// (or the lock file beside them) cannot be written; empty when they are taken.
std::string FoldersRefused(const TdmMain& dm, const TFolderLock& lock) {
  if (lock.Busy()) return "Working folders in use by another run: " + dm.SchemaFolder();
  if (!lock.Held()) return "Cannot write " + dm.AppFolder() + "SchmWorking.lock";
  for (const std::string& folder :
       {dm.SchemaFolder(), dm.PackagesFolder(), dm.SettingsFolder(), dm.BackupFolder(), dm.SqlFolder()}) {
    if (!WritableFolder(folder)) return "Cannot write " + folder;
  }
  return {};
}

// A file moved away for a while, moved back to where it was when this ends.
struct TSetAside {
  std::string home, now;
  TSetAside() = default;
  TSetAside(const TSetAside&) = delete;
  TSetAside& operator=(const TSetAside&) = delete;
  ~TSetAside() {
    std::error_code ec;
    if (!now.empty()) fs::rename(now, home, ec);
  }
};

// The package of a settings file: its file name with the extension replaced by ".upd".
std::string PackageName(const std::string& packagesFolder, const std::string& settingsFile) {
  fs::path name = fs::path(settingsFile).filename();
  name.replace_extension(".upd");
  return packagesFolder + name.string();
}

bool FileExists(const std::string& file) {
  std::error_code ec;
  return !file.empty() && fs::is_regular_file(file, ec);
}

// The updater's errors of a failed run that its error handler never saw (connection, unpacked
// schema, backup, ...), each as its description and message: an unattended run has nobody to open
// the error manager, so its log must say what failed. An instruction's error reached the log
// through the handler already.
void LogRunErrors(TdmMain& dm, const std::string& connectionString) {
  const ado::ConnectionString connection(connectionString);
  for (const std::unique_ptr<TDbErrorElem>& error : dm.Updater.Errors().Items()) {
    if (error->InstrNumber != 0) continue;
    std::string line = text::Trim(error->Description);
    if (!error->EMessage.empty()) line += ": " + error->EMessage;
    dm.Log(connection.MaskPasswords(line));
  }
}

}  // namespace

std::string TdmMain::BuildPackage(const std::string& aConnectionString) {
  TFolderLock lock(appFolder_ + "SchmWorking.lock");
  if (const std::string refused = FoldersRefused(*this, lock); !refused.empty()) {
    Log("Error: " + refused);
    return {};
  }
  if (currentSettingsFile_.empty()) {
    Guarded(
        [&] {
          ado::TConnection connection(aConnectionString);
          connection.Open();
          currentSettingsFile_ = connection.CurrentDatabase();
          connection.Close();
        },
        aConnectionString);
  }
  if (currentSettingsFile_.empty()) {
    Log("Error: Package has not a valid file name.");
    return {};
  }
  std::string package;
  Guarded(
      [&] {
        Log(Now() + " ----- Start Build Package ------");
        package = ExtractAndPack(aConnectionString);
        Log(Now() + " ----- Finish Build Package ------");
        Log("Built \"" + package + "\"");
      },
      aConnectionString);
  return package;
}

std::string TdmMain::ExtractAndPack(const std::string& aConnectionString) {
  Producer.SetConnectionString(aConnectionString);
  Producer.SetConnected(true);
  std::string package;
  try {
    filesUtils_->DeleteFiles(schemaFolder_, "*.*");
    if (Producer.ExtractSchema()) package = PackSchemas();
  } catch (...) {
    Producer.SetConnected(false);
    throw;
  }
  Producer.SetConnected(false);
  return package;
}

std::string TdmMain::PackSchemas() {
  const std::string archive = PackageName(packagesFolder_, currentSettingsFile_);
  std::string written;
  filesUtils_->ZipFiles(archive, schemaFolder_ + "*.*", written, false);
  return !written.empty() && FileExists(archive) ? archive : std::string();
}

void TdmMain::UnpackPackage(const std::string& aPackage) {
  // A package kept in the schema folder would be cleared away with the folder's files before it
  // is read: it is set aside beside the folders while the folder is refilled, then put back.
  TSetAside aside;
  std::error_code ec;
  if (fs::equivalent(fs::path(aPackage).parent_path(), schemaFolder_, ec)) {
    const std::string setAside = appFolder_ + "SchmWorking.upd";
    fs::rename(aPackage, setAside, ec);
    if (ec) throw EFilesUtils("Cannot create file " + setAside);
    aside.home = aPackage;
    aside.now = setAside;
  }
  filesUtils_->DeleteFiles(schemaFolder_, "*.*");
  std::string first;
  filesUtils_->UnzipPackage(aside.now.empty() ? aPackage : aside.now, schemaFolder_, first, false);
}

void TdmMain::TestPackage(const std::string& aConnectionString, const std::string& aPackage) {
  TFolderLock lock(appFolder_ + "SchmWorking.lock");
  if (const std::string refused = FoldersRefused(*this, lock); !refused.empty()) {
    Log("Error: " + refused);
    return;
  }
  Guarded(
      [&] {
        ResetUpdater();
        if (!FileExists(aPackage)) throw std::runtime_error("Package file not found: \r\n" + aPackage);
        if (aConnectionString.empty()) throw std::runtime_error("Empty connection string.");
        Log(Now() + " ----- Start Testing Package ------");
        UnpackAndCheck(aConnectionString, aPackage);
        Log(Now() + " ----- Finish Testing Package ------");
        Log("Tested \"" + aPackage + "\"");
      },
      aConnectionString);
}

void TdmMain::UnpackAndCheck(const std::string& aConnectionString, const std::string& aPackage) {
  UnpackPackage(aPackage);
  if (!Updater.CheckDb(aConnectionString)) {
    Updater.ShowWindows(pikConsole);
    Updater.ShowErrorManager();
    throw std::runtime_error("Error Testing Package, please check Error Manager.");
  }
}

TRunStatus TdmMain::RunPackage(const std::string& aConnectionString, const std::string& aPackage, bool aTestOnly) {
  const std::string kind = aTestOnly ? "Testing" : "Updating";
  ResetUpdater();
  std::string package = aPackage;
  if (!package.empty() && !fs::path(package).is_absolute()) package = packagesFolder_ + package;
  if (aConnectionString.empty()) {
    Log("Unable to continue, Updater need Connection String.");
    return rsNotStarted;
  }
  if (!FileExists(package)) {
    Log("Unable to continue, Package File not found: \r\n" + package);
    return rsNotStarted;
  }
  TFolderLock lock(appFolder_ + "SchmWorking.lock");
  if (const std::string refused = FoldersRefused(*this, lock); !refused.empty()) {
    Log("Error: " + refused);
    if (lock.Busy() && mode_ == 0) {
      // The log file is the other run's: an unattended run refused for it leaves the file alone
      // and tells its caller why on the error stream.
      saveLog_ = false;
      std::fprintf(stderr, "Error: %s\n", refused.c_str());
    }
    return rsNotStarted;
  }
  Updater.SetConnectionString(aConnectionString);
  SetUpdaterFolders();
  const bool ok = Guarded(
      [&] {
        Log(Now() + " ----- Start " + kind + " Package ------");
        UnpackPackage(package);
        bool result = false;
        if (aTestOnly) {
          result = Updater.CheckDb(aConnectionString);
          if (result && ShowInstructions) ShowInstructions(*this);
        } else {
          result = Updater.CheckAndUpdate(aConnectionString);
          if (result && Updater.DeleteConfirmationAborted()) {
            throw std::runtime_error("Delete confirmation needs a user: update not run.");
          }
        }
        if (!result) {
          LogRunErrors(*this, aConnectionString);
          Updater.ShowWindows(pikConsole);
          Updater.ShowErrorManager();
          throw std::runtime_error("Error " + kind + " Package, please check Error Manager.");
        }
        if (!aTestOnly && Updater.dm() != nullptr && !Updater.dm()->LastBackupFile().empty()) Log("BackUp of database in \"" + backupFolder_ + "\"");
        Log(Now() + " ----- Finish " + kind + " Package ------");
        Log("Runned \"" + package + "\"");
      },
      aConnectionString);
  return ok ? rsSucceeded : rsFailed;
}
