// The package operations of TdmMain: a package built from a source database (the schema folder
// zipped into the packages folder), tested against a database (unpacked and compared), and run
// (unpacked, compared and updated). Every failure ends in the application log; while one of them
// runs it holds the working folders, so that a second run never mixes its package with ours.
#include <unistd.h>

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

bool WritableFolder(const std::string& aFolder) {
  std::error_code ec;
  return fs::is_directory(aFolder, ec) && ::access(aFolder.c_str(), W_OK) == 0;
}

// The working folders held for one operation, unless the module holds them already (the window
// holds them while it is open); let go when the operation ends.
class TOperationHold {
 public:
  explicit TOperationHold(TdmMain& aDm) : dm_(aDm), taken_(!aDm.HoldsFolders()), refusal_(aDm.HoldFolders()) {
    if (refusal_.reason.empty()) refusal_.reason = UnwritableFolder(dm_);
  }
  ~TOperationHold() {
    if (taken_) dm_.ReleaseFolders();
  }
  TOperationHold(const TOperationHold&) = delete;
  TOperationHold& operator=(const TOperationHold&) = delete;
  // Why the operation cannot have the folders; empty when it can.
  const TFoldersRefusal& Refusal() const { return refusal_; }

 private:
  // The first working folder that cannot be written, as "Cannot write " + folder; empty when none.
  static std::string UnwritableFolder(const TdmMain& dm) {
    for (const std::string& folder :
         {dm.SchemaFolder(), dm.PackagesFolder(), dm.SettingsFolder(), dm.BackupFolder(), dm.SqlFolder()}) {
      if (!WritableFolder(folder)) return "Cannot write " + folder;
    }
    return {};
  }

  TdmMain& dm_;
  bool taken_;  // not held before: let go at the end (nothing to let go when refused)
  TFoldersRefusal refusal_;
};

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
  const TOperationHold hold(*this);
  if (!hold.Refusal().reason.empty()) {
    Log("Error: " + hold.Refusal().reason);
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
  const TOperationHold hold(*this);
  if (!hold.Refusal().reason.empty()) {
    Log("Error: " + hold.Refusal().reason);
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
  // The folders first: a run refused for another's folders (a run or the window) leaves that
  // one's log alone, and an unattended one tells its caller why on the error stream.
  const TOperationHold hold(*this);
  if (!hold.Refusal().reason.empty()) {
    if (mode_ == 0) return NotStarted(hold.Refusal());
    Log("Error: " + hold.Refusal().reason);
    return rsNotStarted;
  }
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
