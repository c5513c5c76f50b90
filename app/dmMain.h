// TdmMain: the application's one data module. Owns the producer and the updater, the five working
// folders beside the executable, the application log and the settings file in use; decides at
// start whether the program runs a package unattended (parameters given) or opens its window; and
// builds, tests and runs packages.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/FolderLock.h"
#include "app/dmFilesUtils.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"

// How an unattended run ended, as the program's exit status tells the calling script.
enum TRunStatus {
  rsSucceeded = 0,   // the package ran and the update succeeded
  rsFailed = 1,      // connection, unpack, check or update failed
  rsNotStarted = 2,  // a parameter missing, no package file, the folders in use or not writable
};

// Why the working folders could not be taken.
struct TFoldersRefusal {
  std::string reason;  // empty: taken
  bool busy = false;   // another run holds them
};

class TdmMain {
 public:
  using TNotifyEvent = std::function<void(TdmMain* Sender)>;

  // DataModuleCreate without the start-up: the lists, the log file name, the five folders
  // (created with their parents when missing), both components reset, given the program's stored
  // configuration and initialised. `aAppFolder` empty: the executable's folder.
  explicit TdmMain(const std::string& aAppFolder = {});
  // DataModuleDestroy: writes the log file (not when an unattended run was refused because
  // another run holds the working folders: the file is that run's).
  ~TdmMain();
  TdmMain(const TdmMain&) = delete;
  TdmMain& operator=(const TdmMain&) = delete;

  TOrvDbSchemaProducer Producer;
  TOrvDbSchemaUpdater Updater;

  // ---- Log ----
  void Log(const std::string& aText);
  void SetOnLog(TNotifyEvent aHandler) { onLog_ = std::move(aHandler); }
  // Writes the whole log (this run's lines) to aFileName, or to the log file when empty; false
  // when the file could not be written whole.
  bool SaveLog(const std::string& aFileName);
  const std::vector<std::string>& LogLines() const { return log_; }

  // ---- Start-up and batch mode ----
  // With parameters (the program's own path excluded): console mode, the package run of
  // RunBatch; without: form mode. Returns the run's status (form mode: rsSucceeded).
  TRunStatus StartUp(const std::vector<std::string>& aParams);
  TRunStatus RunBatch();
  // Form mode's window, shown by StartUp, which returns when it closes; none until the main window
  // is built. Its status: rsNotStarted when it could not open.
  std::function<TRunStatus(TdmMain&)> ShowMainWindow;
  // Ends a run or a window that could not start: logs "Error: " + the reason and writes it to the
  // error stream; when another run holds the working folders the log file is that run's, and this
  // one leaves it alone. Returns rsNotStarted.
  TRunStatus NotStarted(const TFoldersRefusal& aRefusal);

  // ---- Working folders ----
  // Takes the working folders for this module until ReleaseFolders, so that no other run uses
  // them meanwhile (nothing to do when it holds them already); the refusal says why not.
  TFoldersRefusal HoldFolders();
  void ReleaseFolders();
  bool HoldsFolders() const { return folderLock_ != nullptr; }

  // ---- Components and settings ----
  void ResetProducer();
  void ResetUpdater();
  void SetUpdaterFolders();
  void LoadProducerSettings(const std::string& aFile);
  void LoadUpdaterSettings(const std::string& aFile);
  std::string LoadSettings(const std::string& aFile);
  std::string NewSettings();
  std::string SaveSettings(const std::string& aFile);
  // The updater's error handler: logs the message alone.
  void UpdaterError(const std::exception& e);
  // The package chosen in the open dialog; empty when cancelled.
  std::string ChoosePackage();
  bool ShowProducerOptions();
  std::string GetAppFileVersion();

  // ---- Packages ----
  // Builds a package of the source database into the packages folder; the package's name, empty
  // when none was made.
  std::string BuildPackage(const std::string& aConnectionString);
  std::string ExtractAndPack(const std::string& aConnectionString);
  std::string PackSchemas();
  void TestPackage(const std::string& aConnectionString, const std::string& aPackage);
  void UnpackAndCheck(const std::string& aConnectionString, const std::string& aPackage);
  TRunStatus RunPackage(const std::string& aConnectionString, const std::string& aPackage, bool aTestOnly);
  // The instruction file of the last check, shown to the user; none until the main window is built.
  std::function<void(TdmMain&)> ShowInstructions;

  // The current date and time as the log writes them (the locale's date, then time).
  static std::string Now();

  // ---- State ----
  const std::string& AppFolder() const { return appFolder_; }
  const std::string& SchemaFolder() const { return schemaFolder_; }
  const std::string& PackagesFolder() const { return packagesFolder_; }
  const std::string& SettingsFolder() const { return settingsFolder_; }
  const std::string& BackupFolder() const { return backupFolder_; }
  const std::string& SqlFolder() const { return sqlFolder_; }
  const std::string& LogFileName() const { return logFileName_; }
  const std::string& CurrentSettingsFile() const { return currentSettingsFile_; }
  const std::vector<std::string>& Parameters() const { return params_; }
  int Mode() const { return mode_; }
  TdmFilesUtils& FilesUtils() { return *filesUtils_; }

 private:
  void ConfigureComponents();
  // The value of parameter `aName` (case ignored) after its first "="; empty when absent.
  std::string ParamValue(const std::string& aName) const;
  // Runs `aWork`, logging "Error: " + message (passwords masked) for anything it raises; false
  // then.
  bool Guarded(const std::function<void()>& aWork, const std::string& aConnectionString = {});
  void UnpackPackage(const std::string& aPackage);
  // A settings file into one component: reset, then loaded when the file exists (logged either
  // way), its schema folder the program's own.
  void LoadComponentSettings(const std::string& aFile, TOrvSchemion& aComponent, const std::function<void()>& aReset,
                             const std::function<void(const std::string&)>& aLoad);

  std::vector<std::string> log_;
  std::vector<std::string> params_;
  std::string appFolder_;
  std::string logFileName_;
  std::string currentSettingsFile_;
  int mode_ = 0;
  std::unique_ptr<TdmFilesUtils> filesUtils_;
  std::string schemaFolder_, packagesFolder_, settingsFolder_, backupFolder_, sqlFolder_;
  TNotifyEvent onLog_;
  bool saveLog_ = true;  // false: the log file is another run's, and this one leaves it alone
  std::unique_ptr<TFolderLock> folderLock_;  // while this module holds the working folders
};
