// The updater component: compares a destination database with the schema files and updates it.
// Holds the updater's folders and the flag telling the engine that this run created the database.
#pragma once

#include <functional>
#include <string>

#include "components/Schemion.h"

// An instruction event of a running update: Sender (the engine data module), the instruction about
// to run or just run, by reference, and the event's flag (a Before event: skip the instruction;
// an After event of a kind: AfterExecuteInstruction is not fired).
using TDbInstructionEvent = std::function<void(void* Sender, TInstruction& aInstr, bool& handled)>;

class TOrvDbSchemaUpdater : public TOrvSchemion {
 public:
  // After the base: both folders ".\schemas", the updater's default directives and delete
  // policy, DatabaseCreated and AutoCreateDatabase False.
  TOrvDbSchemaUpdater();
  // Runs this class's Finalize first (the base destructor does not reach it).
  ~TOrvDbSchemaUpdater() override;

  std::string DirSql = ".\\schemas";     // folder of instructions.xml and BlockUndoDelete.xml
  std::string DirBackup = ".\\schemas";  // folder of the database backups
  std::string FileSetting;
  bool AutoCreateDatabase = false;

  // True when this run created the database; read by the engine.
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

  // Asked by the engine before an update with deletions to confirm: shows the delete
  // confirmation window on DirSql's BlockUndoDelete.xml; False only when the user aborted the
  // update. Raises EComponentError (MsgNoFile with the path) when the file is missing.
  virtual bool ConfirmDelete();

  // The base's Initialize, then registration as the engine's updater.
  bool Initialize() override;
  void Finalize() override;
};
