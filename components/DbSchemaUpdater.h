// The updater component: makes sure the destination database exists, compares it with the schema
// files (check) and executes the resulting instruction list (update). Holds the updater's folders,
// its settings file, the events around the phases and the flag telling the engine that this run
// created the database.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/DbSchemaProducer.h"
#include "components/Schemion.h"

// An instruction event of a running update: Sender (the engine data module), the instruction about
// to run or just run, by reference, and the event's flag (a Before event: skip the instruction;
// an After event of a kind: AfterExecuteInstruction is not fired).
using TDbInstructionEvent = std::function<void(void* Sender, TInstruction& aInstr, bool& handled)>;
class TErrorManagerFrm;
class TErrorManagerLink;

// Asks the host before a missing database is created: the database name, then the data and log
// paths, user and password, which the handler may change, and whether to go on.
using TCreateDatabaseEvent =
    std::function<void(void* Sender, const std::string& aDbName, std::string& aDataPath,
                       std::string& aLogPath, std::string& aUser, std::string& aPassword,
                       bool& aCanContinue)>;

class TOrvDbSchemaUpdater : public TOrvSchemion {
 public:
  // Run modes of Run and RunPhases.
  static constexpr int kModeCheck = 0;
  static constexpr int kModeUpdate = 1;
  static constexpr int kModeCheckAndUpdate = 2;

  // After the base: both folders ".\schemas", the updater's default directives and delete
  // policy, DatabaseCreated and AutoCreateDatabase False.
  TOrvDbSchemaUpdater();
  // Runs this class's Finalize first (the base destructor does not reach it).
  ~TOrvDbSchemaUpdater() override;

  std::string DirSql = ".\\schemas";     // folder of instructions.xml and BlockUndoDelete.xml
  std::string DirBackup = ".\\schemas";  // folder of the database backups
  std::string FileSetting;               // settings file loaded or created by Initialize
  bool AutoCreateDatabase = false;

  TNotifyEvent BeforeCheckDb;
  TNotifyEvent AfterCheckDb;
  TNotifyEvent BeforeUpdate;
  TNotifyEvent AfterUpdate;
  TCreateDatabaseEvent BeforeCreateDatabase;

  // True when the current run created the database; read by the engine. Every run starts with
  // it False, so a database created once does not count as new in later runs.
  bool DatabaseCreated = false;

  // ---- Instruction events, fired by the engine around every executed instruction ----
  TDbInstructionEvent BeforeCreateDbSpace, AfterCreateDbSpace, BeforeDropDbSpace, AfterDropDbSpace;
  TDbInstructionEvent BeforeCreateUser, AfterCreateUser, BeforeDropUser, AfterDropUser;
  TDbInstructionEvent BeforeCreateTable, AfterCreateTable, BeforeDropTable, AfterDropTable;
  TDbInstructionEvent BeforeAlterTable, AfterAlterTable;
  TDbInstructionEvent BeforeCreateConstraint, AfterCreateConstraint, BeforeDropConstraint,
      AfterDropConstraint;
  TDbInstructionEvent BeforeCreateIndex, AfterCreateIndex, BeforeDropIndex, AfterDropIndex;
  TDbInstructionEvent BeforeCreateForeignKey, AfterCreateForeignKey;
  TDbInstructionEvent BeforeCreatePrimaryKey, AfterCreatePrimaryKey;
  TDbInstructionEvent BeforeCreateDefaultValue, AfterCreateDefaultValue;
  TDbInstructionEvent BeforeUnknownInstruction, AfterUnknownInstruction;
  TDbInstructionEvent BeforeExecuteInstruction, AfterExecuteInstruction;
  TDbInstructionEvent BeforeDropField, AfterDropField;

  // The base's Initialize, then registration as the engine's updater; then, with a FileSetting,
  // the settings file (expanded) is written with the current settings when missing, else loaded.
  // Settings-file failures raise to the caller.
  bool Initialize() override;
  // Closes an error-manager window that still shows this updater's errors, then the base's.
  void Finalize() override;

  // Run with mode 0 (check) / mode 2 (check and update).
  bool CheckDb(const std::string& aConnectionString);
  bool CheckAndUpdate(const std::string& aConnectionString);
  // One run on the database of aConnectionString (the ConnectionString property is left as it
  // is): existence test, creation when asked, connection, then RunPhases. False on failure, the
  // reason in the error list. Raises EComponentError when the component is not initialised.
  bool Run(const std::string& aConnectionString, int aMode);
  // The check phase (modes 0, 2) and the update phase (modes 1, 2) on the open connection.
  bool RunPhases(int aMode);

  // Asked by the update before deletions: shows the delete-confirmation window on
  // DirSql + "\BlockUndoDelete.xml"; False only when the user aborted. A missing file raises
  // EComponentError with the message set's MsgNoFile text naming it. Virtual: the engine, which
  // sits below the window library, reaches it through the updater.
  virtual bool ConfirmDelete();
  // The last run's delete confirmation ended in an abort (by the user, or because no one could
  // answer it): its update ran nothing.
  bool DeleteConfirmationAborted() const { return deleteConfirmationAborted_; }
  // Opens an error-manager window modelessly on this updater's errors; the window frees itself.
  // Every window still open is closed when the updater is finalized or destroyed.
  void ShowErrorManager();
  // The dialect's database creation; DatabaseCreated := (result = 2). 0 means failure.
  int CreateDatabase(const std::string& aDbName, const std::string& aDataPath,
                     const std::string& aLogPath, const std::string& aUser,
                     const std::string& aPassword, const std::string& aServer);
  // A path beginning with ".." or ".\" (or "./") and longer than two characters, prefixed with
  // the executable's folder and its separator; any other path unchanged.
  static std::string ExpandAppPath(const std::string& aPath);

  // The updater's settings file ("Root": DirSchema, ConnectionString, SqlCommand, DirSql,
  // DirBackup, the directives). The name is expanded with ExpandAppPath. Saving raises "Empty file
  // name!", "File <name> already exists!" (without aOverwrite) or "Unable to overwrite file
  // <name>", and replaces an existing file only with a whole new one. Loading raises "File name
  // not specified!" or "Unable to load Settings: file <name> does not exists"; a malformed file
  // raises the XML reader's error and changes nothing.
  void SaveSettings(const std::string& aFileName, bool aOverwrite);
  void LoadSettings(const std::string& aFileName);

 private:
  friend class TErrorManagerLink;
  bool RunCheckPhase();
  bool RunUpdatePhase();
  // Runs one step of a phase; an exception adds one error (aContext, aDescription, its message)
  // and answers False.
  bool RunStep(TDbContext aContext, const std::string& aDescription,
               const std::function<bool()>& aStep);

  // Tells every open error-manager window that this updater is going, and forgets them.
  void CloseErrorManagers();

  std::unique_ptr<TErrorManagerLink> errorManagerLink_;
  std::vector<TErrorManagerFrm*> errorManagers_;  // the open error-manager windows, not owned
  bool deleteConfirmationAborted_ = false;
};
