// TdmMain: creation with the program's stored configuration of both components, the start-up
// decision, the application log, the command line of console mode and the settings operations.
#include "app/dmMain.h"

#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/Paths.h"
#include "common/Text.h"
#include "platform/data/ConnectionString.h"
#include "platform/ui/DialogService.h"

namespace {

namespace fs = std::filesystem;

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// The producer's and the updater's shared window options.
void ConfigureWindows(TOrvSchemion& c) {
  TConsoleOptions console;
  console.width = 600;
  console.height = 350;
  console.left = 10;
  console.top = 100;
  console.font.Name = "courier New";
  console.font.Height = -13;
  console.font.Color = clYellow;
  console.color = clBlack;
  console.prompt = "Console:>";
  console.scrollBars = ssBoth;
  console.leaveOpenedOnErrors = true;
  console.LeaveOpenedOnFinish = false;
  console.StayOnTop = true;
  c.SetConsoleOptions(console);
  TProgressInfoOptions progress;
  progress.SetWidth(470);
  progress.SetHeight(180);
  progress.SetLeft(550);
  progress.SetTop(10);
  progress.leaveOpenedOnErrors = true;
  progress.LeaveOpenedOnFinish = false;
  progress.StayOnTop = true;
  c.SetProgressInfoOptions(progress);
  c.LanguageOptions().SetLanguage(dlkEnglish);
}

// The directives both components carry; the delete policy differs where the caller says.
void ConfigureDirectives(TUpdaterDirectives& d, TBooleanExtended aEnabled, TBooleanExtended aProceduresAndViews) {
  d.PKChangedTreatment = pctAll;
  d.DefaultValueFromDataType = beYes;
  d.AutoRecoverUniqueIndexes = beYes;
  d.AutoRecoverPrimaryKeys = beYes;
  d.UseDefaultOwner = beYes;
  d.UseDefaultDbSpace = beYes;
  d.FkPendingData = fpdDelete;
  d.ProgressInfoKind = pikBoth;
  d.ErrorManager = demEnqueueInstructionError;
  d.UpdateComments = beNo;
  d.BackupBeforeUpdate = beYes;
  d.DeletePolicy.Enabled = aEnabled;
  d.DeletePolicy.DeleteTables = beYes;
  d.DeletePolicy.DeleteFields = beYes;
  d.DeletePolicy.DeleteIndexes = beYes;
  d.DeletePolicy.DeleteProcedures = aProceduresAndViews;
  d.DeletePolicy.DeleteViews = aProceduresAndViews;
  d.DeletePolicy.ConfirmOnDelete = beNo;
}

}  // namespace

std::string TdmMain::Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[64] = {};
  const size_t size = std::strftime(buffer, sizeof buffer, "%x %X", &local);
  return std::string(buffer, size);
}

TdmMain::TdmMain(const std::string& aAppFolder)
    : appFolder_(WithSeparator(aAppFolder.empty() ? paths::ExecutableFolder() : aAppFolder)),
      filesUtils_(std::make_unique<TdmFilesUtils>()) {
  logFileName_ = appFolder_ + "SchemionAppLog.txt";
  schemaFolder_ = appFolder_ + "SchmSchemas/";
  packagesFolder_ = appFolder_ + "SchmPackages/";
  settingsFolder_ = appFolder_ + "SchmSettings/";
  backupFolder_ = appFolder_ + "SchmBackUp/";
  sqlFolder_ = appFolder_ + "SchmSQL/";
  mode_ = 0;
  for (const std::string* folder : {&schemaFolder_, &packagesFolder_, &settingsFolder_, &backupFolder_, &sqlFolder_}) {
    std::error_code ec;  // a folder that cannot be made fails later, where it is used
    fs::create_directories(*folder, ec);
  }
  ConfigureComponents();
  ResetProducer();
  ResetUpdater();
  Producer.Initialize();
  Updater.Initialize();
}

TdmMain::~TdmMain() {
  if (!saveLog_) return;
  bool saved = false;
  try {
    saved = SaveLog("");
  } catch (const std::exception&) {
  }
  if (saved) return;
  // A script that finds no log still learns what the run did: the lines go to the error stream.
  std::fprintf(stderr, "Cannot write the log file %s\n", logFileName_.c_str());
  for (const std::string& line : log_) std::fprintf(stderr, "%s\n", line.c_str());
}

void TdmMain::ConfigureComponents() {
  Producer.DirSchemas = ".\\schemas";
  Producer.ProgressInfoKind = pikBoth;
  ConfigureWindows(Producer);
  ConfigureDirectives(Producer.UpdaterDirectives(), beYes, beNo);
  Updater.DirSchemas = ".\\schemas";
  Updater.DirSql = ".\\schemas";
  Updater.DirBackup = ".\\schemas";
  Updater.AutoCreateDatabase = false;
  ConfigureWindows(Updater);
  ConfigureDirectives(Updater.UpdaterDirectives(), beUndefined, beYes);
  Updater.OnError = [this](void*, const std::exception& e, TDbContext, TInstruction*&, bool&, bool&) {
    UpdaterError(e);
  };
}

// ---- Log ----

void TdmMain::Log(const std::string& aText) {
  log_.push_back(aText);
  if (onLog_) onLog_(this);
}

bool TdmMain::SaveLog(const std::string& aFileName) {
  const std::string name = aFileName.empty() ? logFileName_ : aFileName;
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  for (const std::string& line : log_) out << line << "\r\n";
  out.close();
  return !out.fail();
}

// ---- Start-up and batch mode ----

namespace {

// The list's comma text: items holding blanks, commas or quotes are double-quoted, inner quotes
// doubled.
std::string CommaText(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += ",";
    if (item.find_first_of(" ,\"") == std::string::npos && !item.empty()) {
      out += item;
      continue;
    }
    out += '"';
    for (char c : item) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    out += '"';
  }
  return out;
}

// A parameter as logged: the value of a parameter named like a password, and a connection
// string's passwords, masked; the rest as written.
std::string MaskedParameter(const std::string& item) {
  return ado::ConnectionString(item).MaskPasswords(item);
}

}  // namespace

TRunStatus TdmMain::StartUp(const std::vector<std::string>& aParams) {
  Log(Now() + " ----- START ------ ");
  if (aParams.empty()) {
    mode_ = 1;
    Log("Mode: Form");
    return ShowMainWindow ? ShowMainWindow(*this) : rsSucceeded;
  }
  Log("Mode: Consolle");
  params_ = aParams;
  std::vector<std::string> shown;
  for (const std::string& p : params_) shown.push_back(MaskedParameter(p));
  Log("Parameters: " + CommaText(shown));
  try {
    return RunBatch();
  } catch (const std::exception& e) {
    Log(std::string("Error: ") + e.what());
    return rsFailed;
  }
}

TRunStatus TdmMain::NotStarted(const TFoldersRefusal& aRefusal) {
  Log("Error: " + aRefusal.reason);
  if (aRefusal.busy) saveLog_ = false;
  std::fprintf(stderr, "Error: %s\n", aRefusal.reason.c_str());
  return rsNotStarted;
}

TFoldersRefusal TdmMain::HoldFolders() {
  if (folderLock_) return {};
  const std::string lockFile = appFolder_ + "SchmWorking.lock";
  auto lock = std::make_unique<TFolderLock>(lockFile);
  if (lock->Busy()) return {"Working folders in use by another run: " + schemaFolder_, true};
  if (!lock->Held()) return {"Cannot write " + lockFile, false};
  folderLock_ = std::move(lock);
  return {};
}

void TdmMain::ReleaseFolders() { folderLock_.reset(); }

std::string TdmMain::ParamValue(const std::string& aName) const {
  for (const std::string& p : params_) {
    const size_t eq = p.find('=');
    if (eq != std::string::npos && text::SameText(p.substr(0, eq), aName)) return p.substr(eq + 1);
  }
  return {};
}

TRunStatus TdmMain::RunBatch() {
  std::string connection = ParamValue("connection");
  std::string package = ParamValue("upd");
  for (std::string* value : {&connection, &package}) {
    for (char& c : *value) {
      if (c == '|') c = ' ';
    }
  }
  return RunPackage(connection, package, false);
}

// ---- Components and settings ----

void TdmMain::ResetProducer() {
  currentSettingsFile_.clear();
  Producer.SetConnected(false);
  Producer.SetConnectionString("");
  Producer.RenamedTables.clear();
  Producer.RenamedFields.clear();
  Producer.ClearTables.clear();
  Producer.CommonSettings.clear();
  Producer.CopyData.Clear();
  Producer.DirSchemas = schemaFolder_;
}

void TdmMain::ResetUpdater() {
  currentSettingsFile_.clear();
  Updater.SetConnected(false);
  Updater.SetConnectionString("");
  SetUpdaterFolders();
}

void TdmMain::SetUpdaterFolders() {
  Updater.DirSchemas = schemaFolder_;
  Updater.DirSql = sqlFolder_;
  Updater.DirBackup = backupFolder_;
}

void TdmMain::LoadProducerSettings(const std::string& aFile) {
  LoadComponentSettings(aFile, Producer, [this] { ResetProducer(); },
                        [this](const std::string& file) { Producer.LoadSettings(file); });
}

void TdmMain::LoadUpdaterSettings(const std::string& aFile) {
  LoadComponentSettings(aFile, Updater, [this] { ResetUpdater(); },
                        [this](const std::string& file) { Updater.LoadSettings(file); });
}

void TdmMain::LoadComponentSettings(const std::string& aFile, TOrvSchemion& aComponent,
                                    const std::function<void()>& aReset,
                                    const std::function<void(const std::string&)>& aLoad) {
  aReset();
  std::error_code ec;
  if (!fs::is_regular_file(aFile, ec)) {
    Log("Unable to load \"" + aFile + "\"");
    return;
  }
  currentSettingsFile_ = aFile;
  Log("Load settings: \"" + aFile + "\"");
  aLoad(aFile);
  // The schema folder is always the program's own, whatever the file says.
  aComponent.DirSchemas = schemaFolder_;
}

std::string TdmMain::LoadSettings(const std::string& aFile) {
  Guarded([&] {
    LoadProducerSettings(aFile);
    LoadUpdaterSettings(aFile);
    Log("Loaded Settings: \"" + currentSettingsFile_ + "\"");
  });
  return currentSettingsFile_;
}

std::string TdmMain::NewSettings() {
  Guarded([&] {
    ResetProducer();
    currentSettingsFile_ = settingsFolder_ + "NewProject.xml";
    Producer.DirSchemas = schemaFolder_;
    Log("New Settings: \"" + currentSettingsFile_ + "\"");
  });
  return currentSettingsFile_;
}

std::string TdmMain::SaveSettings(const std::string& aFile) {
  Guarded([&] {
    currentSettingsFile_ = aFile;
    Producer.SaveSettings(aFile, true);
    Log("Saved Settings: \"" + currentSettingsFile_ + "\"");
  });
  return currentSettingsFile_;
}

void TdmMain::UpdaterError(const std::exception& e) { Log(Updater.ConnectionString().empty()
                                                              ? std::string(e.what())
                                                              : ado::ConnectionString(Updater.ConnectionString())
                                                                    .MaskPasswords(e.what())); }

std::string TdmMain::ChoosePackage() {
  const std::optional<std::string> file =
      ui::Dialogs().ChooseOpenFile(nullptr, "Open", packagesFolder_, "Packages (*.upd)");
  return file.value_or(std::string());
}

bool TdmMain::ShowProducerOptions() { return Producer.ShowOptions(); }

std::string TdmMain::GetAppFileVersion() {
  std::string version;
  std::error_code ec;
  filesUtils_->GetFileVersion(fs::read_symlink("/proc/self/exe", ec).string(), version);
  return version;
}

bool TdmMain::Guarded(const std::function<void()>& aWork, const std::string& aConnectionString) {
  try {
    aWork();
    return true;
  } catch (const std::exception& e) {
    const std::string message = aConnectionString.empty()
                                    ? std::string(e.what())
                                    : ado::ConnectionString(aConnectionString).MaskPasswords(e.what());
    Log("Error: " + message);
    return false;
  }
}
