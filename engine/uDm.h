// The schema engine's data module Tdm: owns the connection to one database, every data set the
// engine works on, one object of each dialect, the duplicate-key resolver and the instruction
// classifier; picks the dialect from the provider named in the connection string.
#pragma once

#include <pugixml.hpp>

#include <memory>
#include <string>
#include <vector>

#include "common/SchemionTypes.h"
#include "components/Schemion.h"
#include "dialects/DialectOwner.h"
#include "dialects/uDbSpecific.h"
#include "engine/uDbSostCanc.h"
#include "platform/data/Command.h"
#include "platform/data/Connection.h"
#include "platform/data/DataSet.h"

class TOrvDbSchemaUpdater;
class TOrvDbSchemaProducer;
class TOrvSchemion;

// A table whose primary key changes in this check (filled by the CheckDb driver).
struct TPkTablesChange {};

class Tdm : public IDialectOwner {
 public:
  // DataModuleCreate: the lists, the three dialects (owned, with this module as their owner),
  // the resolver, the classifier and the SQL-commands document; switches and numbers as new.
  Tdm();
  // DataModuleDestroy: closes aq, aq2 and qExec, disconnects ac, then frees what it owns.
  ~Tdm() override;
  Tdm(const Tdm&) = delete;
  Tdm& operator=(const Tdm&) = delete;

  // ---- Components of the module ----
  ado::TConnection ac;
  ado::TDataSet aq, aq2;  // on ac: catalogue reads and extraction
  // Master schema, loaded from the schema files (no connection).
  ado::TDataSet qTables, qColumns, qIndexes, qConstraints, qPrimaryKeys, qForeignKeys,
      qProcedures, qDbSpaces, qUsers, qClusterIdxSrc;
  // Client schema, read through the dialect on ac.
  ado::TDataSet qDestTables, qDestColumns, qDestIndexes, qDestConstraints, qDestPrimaryKeys,
      qDestForeignKeys, qDestProcedures, qDestUsers, qDestClusterIdx;
  ado::TDataSet qInstructions;     // in memory: id, instruction, IdBlockUndoDelete
  ado::TDataSet qBlockUndoDelete;  // in memory: id, ObjectName, Kind, undoDelete
  ado::TCommand cmdExec;           // on ac: runs one instruction as written
  ado::TDataSet qExec;             // on ac: runs the user's SQL commands

  TOrvDbSchemaUpdater* Updater = nullptr;    // the registered updater, not owned
  TOrvDbSchemaProducer* Producer = nullptr;  // the registered producer, not owned

  // ---- Connection and dialect ----

  // Disconnects ac and sets its connection string; with aOpen connects. False when connecting
  // fails: ac stays disconnected and ConnectError() holds the reason (never the password).
  bool SetConnectionString(const std::string& aConnectionString, bool aOpen);
  // The reason the last connection of SetConnectionString failed; empty after a success.
  const std::string& ConnectError() const { return connectError_; }
  // The kind of database the connection string names (the whole string searched, case ignored).
  TDbType GetDbType() const;
  // Makes the dialect of GetDbType current (none for dbtNone) and sets its DbType.
  void SelectDbSpecific();
  // Connects or disconnects ac; after connecting selects the dialect, then reads the database
  // name and the date order through it. Connection failures raise the data layer's error.
  void SetConnected(bool aValue);
  // The current dialect's database and server of the connection string; empty without one.
  std::string GetDatabaseName() const;
  std::string GetServerName() const;
  // "User ID=" and "Password=" of the connection string, trimmed, cut at the next ";", in the
  // case they were written; a missing key gives an empty result.
  void GetUserAndPassword(std::string& aUser, std::string& aPassword) const;
  // False at once on a closed or empty data set, else the data set's Locate.
  static bool LocateRecord(ado::TDataSet& aDataSet, const std::string& aKeyFields,
                           const ado::Variant& aKeyValues, ado::TLocateOptions aOptions);
  // The updater's DatabaseCreated; False when no updater is registered.
  bool GetDatabaseCreated() const;
  // The component the engine reports to: the updater when one is registered, else the producer,
  // else nullptr.
  TOrvSchemion* Component() const;

  // ---- Instruction list and undo-delete blocks (InstructionList.cpp) ----

  // CheckDb's start: both sets recreated empty from their field definitions, instruction ids 1
  // and 0, outside any block. The last block id is kept, so block ids stay unique.
  void RestartInstructionList();
  // Appends the SQL text with the next prepended id (0, -1, ...) or the next id (1, 2, ...) and
  // the current block, echoing "NEW INSTRUCTION: (%d) %s" in the component's texts.
  void AddInstruction(const std::string& aSql, bool aPrepend);
  // Appends a block (next block id, object name, the kind's value name, undoDelete False); it
  // does not open the block.
  void AddBlockUndoDelete(const std::string& aObjectName, TInstructionKind aKind);
  // Instructions appended from now on carry the last block id, until EndUndoDeleteBlock.
  void BeginUndoDeleteBlock();
  void EndUndoDeleteBlock();
  // The block's undoDelete flag; False for block 0 and for a block the list lacks.
  bool IsUndoDelete(int aBlockId);
  // The files in the updater's DirSql ("\"-composed, doubled backslashes folded); the updater's
  // default folder when none is registered.
  std::string InstructionFileName() const;
  std::string BlockUndoDeleteFileName() const;
  // Save the sets in the persisted XML form, replacing an existing file only once the new one is
  // whole; a failure raises the data layer's EDatabaseError naming the file.
  void SaveInstructionFile();
  void SaveBlockUndoDeleteFile();
  // Load the files into the sets. A file that is missing, unreadable, or lacks a field of the
  // list raises EDatabaseError naming the file; the set is then closed.
  void LoadInstructionFile();
  void LoadBlockUndoDeleteFile();

  // ---- Schema extraction (Extraction.cpp) ----

  // The direction of OrderByForeignKeys: referenced tables before the tables referencing them,
  // or the other way round.
  enum TFkOrder { fkoParentsFirst, fkoChildrenFirst };
  // The whole extraction into the producer's DirSchemas: the directives file, the 15 schema
  // files, then the data files of the copy list. False when the copy failed (reported to the
  // producer); a failure before the copy raises. Needs a registered producer and a connection.
  bool ExtractSchema();
  // Writes DirectivesFromProducer.xml; raises EEngineError "Unable to overwrite file " + name
  // when an existing file cannot be deleted.
  void SaveParameters();
  // Reads the updater's DirectivesFromProducer.xml into the engine and into Producer (when one
  // is set). Raises EEngineError for a missing file, and names the file when it is not XML,
  // lacks "Root" or names an unknown "DbType".
  void LoadParameters();
  // Writes one "CPFP_" + table + ".xml" per copy item; False when a table failed (reported).
  bool CopyData();
  // aResult := aSource ordered by the foreign keys of qForeignKeys. A table is placed once every
  // table it references is placed, is itself, or is not in aSource; what a pass cannot place
  // (cycles) follows in list order. Names compare ignoring case.
  void OrderByForeignKeys(const std::vector<std::string>& aSource, TFkOrder aDirection,
                          std::vector<std::string>& aResult);
  // The source dialect's flags, as read back by LoadParameters.
  bool AutoPrimaryKeyName() const { return autoPrimaryKeyName_; }
  bool DefaultAsConstraint() const { return defaultAsConstraint_; }

  // ---- IDialectOwner ----
  TDatabaseSpecific* CurrentDialect() const override { return currentDialect_; }
  // Adds the error, with its console block, to the updater when one is registered, else to the
  // producer; with neither the report goes nowhere.
  void ReportError(TDbContext context, const std::string& description,
                   const std::string& exceptionMessage) override;
  // The reporting component's backup error text; the English one without a component.
  std::string BackupErrorText() const override;

  // The dialect object serving `kind`, or nullptr for dbtNone.
  TDatabaseSpecific* DbSpecific(TDbType kind) const;
  TInstruction& Instruction() { return *instruction_; }

 protected:
  // Puts `dialect` in place of the module's dialect object of `kind` (for tests that watch the
  // dialect operations); the current dialect is reselected by the next SelectDbSpecific.
  void ReplaceDialect(TDbType kind, std::unique_ptr<TDatabaseSpecific> dialect);

 private:
  void DataModuleCreate();
  void DataModuleDestroy();

  // Private state, in the module's order.
  int nextInstructionId_ = 1;
  int nextPrependedId_ = 0;
  int lastBlockUndoDeleteId_ = 0;
  std::vector<std::string> droppedTables_;
  std::vector<std::string> droppedFields_;  // table + "." + field
  std::vector<std::string> identityChanged_;
  std::vector<std::string> identityType_;
  std::string defaultDbSpace_;
  bool autoPrimaryKeyName_ = false;
  bool defaultAsConstraint_ = false;
  std::unique_ptr<TSostCanc> sostCanc_;
  std::unique_ptr<TInstruction> instruction_;
  std::unique_ptr<pugi::xml_document> sqlCommands_;
  int releaseMajor_ = -1;
  int releaseMinor_ = -1;
  int currentBlockUndoDeleteId_ = 0;
  TOwnedStringList<TPkTablesChange> pkTablesChange_;
  std::unique_ptr<TDatabaseSpecific> sqlServerSpecific_;
  std::unique_ptr<TDatabaseSpecific> accessSpecific_;
  std::unique_ptr<TDatabaseSpecific> asaSpecific_;
  int startInstruction_ = 1;
  bool updateTables_ = true;
  bool updateViews_ = true;
  bool updateProcedures_ = true;
  bool updateIndexes_ = true;
  bool updateConstraints_ = true;
  bool updateTriggers_ = true;
  std::vector<std::string> droppedIndexes_;
  std::vector<std::string> droppedConstraints_;
  bool oneTransaction_ = true;
  TDatabaseSpecific* currentDialect_ = nullptr;

  std::string connectError_;

  friend class TdmStateProbe;  // tests read the private state after creation
};
