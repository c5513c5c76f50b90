// The schema engine's data module Tdm: owns the connection to one database, every data set the
// engine works on, one object of each dialect, the duplicate-key resolver and the instruction
// classifier; picks the dialect from the provider named in the connection string.
#pragma once

#include <pugixml.hpp>

#include <exception>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/SchemionTypes.h"
#include "components/Schemion.h"
#include "dialects/DialectOwner.h"
#include "dialects/uDbSpecific.h"
#include "engine/EngineError.h"
#include "engine/uDbSostCanc.h"
#include "platform/data/Command.h"
#include "platform/data/Connection.h"
#include "platform/data/DataSet.h"

class TOrvDbSchemaUpdater;
class TOrvDbSchemaProducer;
class TOrvSchemion;
class TCopyDataElem;
struct TCopyTable;

struct TDeletePhaseCache;

// A table whose primary key changes in this check (filled by the CheckDb driver).
struct TPkTablesChange {
  std::vector<std::string> MasterKeyColumns;   // the master key's columns, in index order
  std::vector<std::string> RemovedKeyColumns;  // client key columns (new names) the master lacks
  std::vector<std::string> ClientKeyColumns;   // every client key column (new names), in order
  std::string ClientTable;
  std::string ClientSchema;
  std::string MasterTable;
  std::string MasterSchema;
  std::string ClientPkName;
  std::string MasterPkName;
  std::string TempName;  // "PKC_TMP_" + master table name, fitted to the server (FitName)
};

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

  // ---- Effective directives and delete permission (Directives.cpp) ----

  // Each answers the producer's value when defined there, else the updater's, else the default;
  // beUndefined and the ...UpdaterSetting values count as undefined.
  TDbErrorManager GetErrorManager() const;
  TDbFkPendingData GetFkPendingData() const;
  TProgressInfoKind GetProgressInfoKind() const;
  TDbPKChangedTreatment GetPKChangedTreatment() const;
  bool GetUseDefaultOwner() const;
  bool GetUseDefaultDbSpace() const;
  bool GetDefaultValueFromDataType() const;
  bool GetBackupBeforeUpdate() const;
  bool GetAutoRecoverPrimaryKeys() const;
  bool GetAutoRecoverUniqueIndexes() const;
  bool GetConfirmOnDelete() const;
  bool GetDeleteTables() const;
  bool GetDeleteFields() const;
  bool GetDeleteIndexes() const;
  bool GetDeleteViews() const;
  bool GetDeleteProcedures() const;
  // May deletions of this kind ("tables", "fields", "indexes", "views", "procedures", case
  // ignored) be generated; False for any other text.
  bool DeleteAllowed(const std::string& aKind) const;
  // The name starts with a prefix of the producer's or the updater's protection list.
  bool HasProtectedPrefix(const std::string& aName) const;

  // ---- SQL text routines (SqlText.cpp) ----

  // The SQL literal of a value held in a field of the given type: "null" for no value. Raises
  // EEngineError naming `aFieldName` for a type without a literal on the connected server.
  std::string VariantToSql(const ado::Variant& aValue, ado::FieldType aType,
                           const std::string& aFieldName = {}) const;
  std::string FieldToSql(const ado::TField& aField) const;
  bool SameDefault(const std::string& a, const std::string& b) const;
  // A master's default in the client server's own words when the master is of another kind:
  // "now" and "today" ("(getdate())" from SQL Server is "now()" on Access), and Access's Yes/No
  // words and double-quoted strings; any other text unchanged.
  std::string ClientDefaultText(const std::string& aMasterText) const;
  std::string StripTrailingCrLf(const std::string& aText) const;
  // The default a column's type implies, when DefaultValueFromDataType is in force; else empty.
  std::string GetTypeDefaultText(ado::TDataSet& aRow);

  // Rename lookups in the producer's RenamedTables and RenamedFields; a name without an entry
  // stays as it is.
  std::string OldTableName(const std::string& aMasterName) const;
  std::string NewTableName(const std::string& aClientName) const;
  void OldFieldName(const std::string& aTable, const std::string& aField, std::string& aOldField,
                    std::string& aOldTable) const;
  void NewFieldName(const std::string& aTable, const std::string& aField, std::string& aNewField,
                    std::string& aNewTable) const;
  std::string QuoteName(const std::string& aName) const;
  // `aPrefix` + `aName`, a name the engine makes up, as it stands when the client's server takes
  // a name that long; else `aName` is cut and ends in "_" and eight hex digits of a hash of all of
  // it, so that two long names that start alike still differ.
  std::string FitName(const std::string& aPrefix, const std::string& aName) const;
  // The schema prefix ("" or quoted schema + ".") of a client table; restores the position and
  // filter of qDestTables.
  std::string GetDestTableSchemaPrefix(const std::string& aSchema, const std::string& aTable);
  // The owner prefix for a master schema; may prepend the creation of the user.
  std::string GetOwnerName(const std::string& aSchema);
  // " ON " and " TEXTIMAGE_ON '...' " clauses; may prepend the creation of the db space.
  std::string GetDbSpaceClause(const std::string& aDbSpace);
  std::string GetTextImageClause(const std::string& aTable);
  void LoadDefaultDbSpace();

  void AddRenameTable(const std::string& aSchema, const std::string& aOldName,
                      const std::string& aNewName);
  void AddRenameColumn(const std::string& aSchema, const std::string& aTable,
                       const std::string& aOldName, const std::string& aNewName);
  void AddRenumberColumn(const std::string& aSchema, const std::string& aTable,
                         const std::string& aColumn);
  void AddIdentityInsertOn(const std::string& aTable);
  void AddIdentityInsertOff(const std::string& aTable);
  // Rebuilds a client table through "_ORV_TMP_TABLE_" + its master name. `aRows` holds the
  // client's column rows of that one table (all visible rows, in column order).
  void RebuildTable(ado::TDataSet& aRows);
  // Copies every row of the client table into `aTarget`, under the names table and columns
  // have when the statement runs (after the renames queued before it).
  void AddCopyTableRows(const std::string& aSchema, const std::string& aTable, ado::TDataSet& aRows,
                        const std::string& aTarget);

  // The type entry of the row's column_type_name in the master kind's type table; with
  // aClientRow in the connected dialect's. nullptr when the table lacks it.
  TOrvDataType* FindMasterDataType(ado::TDataSet& aRow, bool aClientRow = false) const;
  std::string GetColumnDefinition(ado::TDataSet& aRow, bool aWithNullClause, bool aWithIdentity,
                                  const std::string& aName = {}, bool aClientRow = false);
  std::string GetAddColumnSql(ado::TDataSet& aRow, const std::string& aSchema,
                              bool aWithNullClause, bool aWithIdentity);
  std::string GetAlterColumnSql(ado::TDataSet& aRow, const std::string& aSchema,
                                bool aWithNullClause);

  void OpenSchemaOf(TOrvSchemaInfo aKind, const ado::Variant& aCriteria, ado::TDataSet& aDataSet);
  bool IsPkTableChanged(const std::string& aTable) const;
  bool IsTableDropped(const std::string& aTable) const;
  void ClearPkTablesChange();
  bool IsLongDataType(ado::TDataSet& aRow) const;
  bool IsSystemTable(ado::TDataSet& aTables, const std::string& aName) const;
  bool IsViewUpdatable(ado::TDataSet& aRow) const;
  static bool sameValue(const ado::Variant& a, const ado::Variant& b);
  bool LocateClusterIndex(const std::string& aTable, const std::string& aIndex, bool aMaster);
  bool LocateIndex(ado::TDataSet& aIndexes, const std::string& aTable, const std::string& aName,
                   int aPosition, bool aByPosition, bool aPrimary, std::string& aIndexName);
  void ForeignKeyRuleText(const std::string& aUpdateRule, const std::string& aDeleteRule,
                          std::string& aUpdateText, std::string& aDeleteText) const;
  // Raises the server's error when the count fails.
  bool IsTableEmpty(const std::string& aSchema, const std::string& aTable);

  // ---- CheckDb driver (CheckDb.cpp) ----

  // Compares the connected client with the master schema files of the updater's DirSchemas and
  // writes instructions.xml and BlockUndoDelete.xml; never changes the client. With aHolder the
  // run gets a producer of its own, filled from DirectivesFromProducer.xml and freed at the end.
  // A missing or unreadable master file raises (neither list file is then saved); a damaged one is
  // refused by ValidateMasterSchema before the client is read (False, both lists saved empty); a
  // phase that answers False stops the later phases and makes the result False.
  bool CheckDb(bool aHolder);
  // The master files into qTables ... qClusterIdxSrc, and the client's catalogue through the
  // dialect into qDestTables ... qDestClusterIdx, with their progress steps.
  void LoadMasterSchema();
  // Refuses a damaged package before anything is compared: a row of a master file without its
  // names or type, a size, scale, ordinal or identity value that is no whole number or negative, a
  // name the connected server cannot take, or a row (or copy item) naming a table the table list
  // lacks or a column the columns file lacks. The first fault is reported (dbcCheckDb) naming the
  // file, the row and the field, and the answer is False. Views and default values are read from
  // their files here; a field longer than 1 MB raises while a file is read.
  bool ValidateMasterSchema();
  // The master's column defaults in qColumns, each in the client server's words.
  void TranslateMasterDefaults();
  void LoadClientSchema();
  // The end of every check: the master sets closed, both list files saved and closed.
  void SaveCheckResults();
  void CloseMasterSets();
  // Preparatory steps: the producer's table and field renames and table clears.
  void RenameTables();
  void RenameFields();
  void ClearTables();
  bool PreparePkChanges();
  bool BuildPkTablesChanges();
  // The tables phase: tables and columns, primary-key children, then deletions of tables and
  // fields.
  bool UpdateTables();
  // The phase switches (all on after creation).
  void SetPhaseSwitches(bool aTables, bool aViews, bool aProcedures, bool aIndexes, bool aConstraints,
                        bool aTriggers);
  // A file of a schema folder: "\"-composed, doubled backslashes folded.
  static std::string SchemaFolderFile(const std::string& aFolder, const std::string& aName);

  // ---- Primary-key change detection (PkChanges.cpp) ----

  void ApplyPkChangedTreatment();
  void DetectPkChanges();
  // Compares master index aMasterName of aMasterTable with client index aClientName of
  // aClientTable (empty: the master name).
  bool SameIndexDefinition(ado::TDataSet& aMasterSet, ado::TDataSet& aClientSet,
                           const std::string& aClientName, const std::string& aMasterName,
                           const std::string& aMasterTable, const std::string& aClientTable,
                           const std::string& aSchema);

  // ---- Removal of dependent constraints (DependentConstraints.cpp) ----

  // Queue the drops of what depends on a client table (or one of its columns) before it is
  // dropped or altered; aKind empty: every kind. Each drop is recorded in the registry.
  void DropDependentConstraints(const std::string& aSchema, const std::string& aClientTable,
                                const std::string& aKind, const std::string& aMasterTable);
  void DropDependentConstraintsOf(const std::string& aSchema, const std::string& aClientTable,
                                  const std::string& aKind, const std::string& aColumn,
                                  const std::string& aMasterTable);
  void DropPrimaryKeyOf(const std::string& aSchema, const std::string& aClientTable,
                        const std::string& aColumn, const std::string& aMasterTable);
  // aDirection 0 both, 1 the table's own foreign keys, 2 those of other tables referencing it.
  void DropForeignKeysOf(const std::string& aSchema, const std::string& aClientTable, int aDirection,
                         const std::string& aColumn, const std::string& aMasterTable);
  void DropUniqueConstraintsOf(const std::string& aSchema, const std::string& aClientTable,
                               const std::string& aColumn, const std::string& aMasterTable);
  void DropDefaultsOf(const std::string& aSchema, const std::string& aClientTable,
                      const std::string& aColumn, const std::string& aMasterTable);
  // The registry of constraints whose drop is queued in this check, by master table and name.
  bool IsConstraintDropped(const std::string& aMasterTable, const std::string& aName) const;
  void ForgetDroppedConstraint(const std::string& aMasterTable, const std::string& aName);

  // ---- Tables and columns phase (TablesPhase.cpp) ----

  // The table loop: every master table compared column by column with the client's, or created.
  // False when a table of the primary-key change list is missing on either side, or when a master
  // column's type has no counterpart on the client's server (each reported as an error).
  bool UpdateTablesAndColumns();
  // Re-points the client foreign keys of tables whose primary key changes; always true.
  bool UpdatePkChildren();
  // The per-table steps; the master columns are qColumns, the client's qDestColumns, both
  // filtered to the table.
  void CheckIdentityChanges(const std::string& aSchema, const std::string& aClientTable,
                            const std::string& aMasterTable);
  void UpdateColumns(const std::string& aSchema, const std::string& aClientTable,
                     const std::string& aMasterTable);
  void UpdateIdentityColumns(const std::string& aSchema, const std::string& aClientTable,
                             const std::string& aMasterTable);
  // Adds a master column the client lacks (added nullable, filled, then made NOT NULL where the
  // server needs it). With aDeferNotNull the final NOT NULL alteration is left to the caller.
  void AddMissingColumn(ado::TDataSet& aMasterRow, const std::string& aSchema,
                        const std::string& aTable, const std::string& aColumn,
                        bool aDeferNotNull = false);
  void AlterChangedColumn(ado::TDataSet& aMasterRow, ado::TDataSet& aClientRow,
                          const std::string& aClientSchema, const std::string& aClientTable,
                          const std::string& aMasterTable, const std::string& aClientColumn,
                          const std::string& aMasterColumn);
  void CreateTable(const std::string& aDbSpace, const std::string& aSchema, ado::TDataSet& aColumns,
                   bool aGlobalTemporary, const std::string& aTable);
  // A master column the client's server cannot hold (a type it lacks, a default calling a
  // function it lacks) is reported, naming it, and fails the check: true when refused.
  bool RefuseColumn(ado::TDataSet& aMasterRow, const std::string& aTable, const std::string& aColumn);
  // On a server whose unique constraints take no column that allows NULL, each unique constraint
  // of a master of another kind, of the tables qTables holds, over such a column is reported and
  // fails the check.
  void RefuseNullableUniqueKeys();
  // Finds the client table by name (case ignored) whatever qDestTables' filter; the data set
  // stays on the row found.
  bool LocateDestTable(const std::string& aName);
  // The column comparison rules: the master row's type against the client row's, and the whole
  // column (type, default, nullability).
  bool ColumnTypeChanged(ado::TDataSet& aMasterRow, ado::TDataSet& aClientRow) const;
  bool ColumnUnchanged(ado::TDataSet& aMasterRow, ado::TDataSet& aClientRow) const;
  // Queues the drop of the client's plain indexes on a column (not keys, not unique constraints)
  // and records each, so that the index phase creates them again as the master has them.
  void DropPlainIndexesOf(const std::string& aSchema, const std::string& aClientTable,
                          const std::string& aColumn, const std::string& aMasterTable);
  // Plain indexes whose drop this check queued (so that the index phase creates them again), by
  // master table and index name.
  bool IsIndexDropped(const std::string& aMasterTable, const std::string& aName) const;

  // ---- Copy-data phase (CopyDataPhase.cpp) ----

  // Queues the rows of the copy list's data files, each item by its treatment, the identity
  // insert switched on around an item with CopyAutoInc whose table has an identity column. An
  // item whose rows cannot be written soundly is refused: reported (dbcCheckDb) naming the table
  // and the reason, nothing queued for it, the result False; the other items are queued. A
  // missing data file or vsiPrimaryKeys.xml raises the load error naming the file.
  bool UpdateCopyData();
  // One loaded item: its data file and key columns, written out for the connected dialect.
  // Raises the refusal of the item.
  // Access: the move's work table, when an earlier update broke off and left it in the client, is
  // dropped before anything is copied, so that the next move can make it again.
  void DropLeftoverWorkTable();
  bool IsLeftoverWorkTable(const std::string& aClientTable) const;
  void LoadCopyTable(const TCopyDataElem& aItem, ado::TDataSet& aPrimaryKeys, TCopyTable& aTable);
  // cdtMove: each client row with a copied key is renumbered in its key group, then the row is
  // inserted. The other treatments: AddCopyDataInstructions. Both consume the table's rows.
  void AddMoveDataInstructions(TCopyTable& aTable, const std::string& aFieldToIncrement);
  void AddCopyDataInstructions(TCopyTable& aTable, TCopyDataTreatment aTreatment);

  // ---- Keys, unique constraints and indexes (KeysPhase.cpp) ----

  bool UpdateIndexes();
  // aKind "UNIQUE" or "PRIMARY KEY".
  bool UpdateKeyConstraints(const std::string& aKind);
  // Unique constraints, primary keys, then foreign keys and default values.
  bool UpdateConstraints();
  // Queues index aIndexName of aMasterTable as aIndexSet holds it (its ordering and cursor are
  // restored); before a key, the duplicate-key resolver's statements when the directives ask.
  void CreateTableIndexes(ado::TDataSet& aIndexSet, const std::string& aSchema,
                          const std::string& aClientTable, const std::string& aMasterTable,
                          const std::string& aIndexName);
  // Appends the statement creating the key or index over aColumnText (quoted names, " DESC").
  void AddIndexSql(const std::string& aColumnText, const std::string& aSchema, bool aUnique,
                   bool aPrimaryKey, const std::string& aIndexName, const std::string& aMasterTable);
  // Records a plain index whose drop an earlier phase queued (before dropping a column), by
  // master table and index name, as DropPlainIndexesOf does: the indexes phase creates it again
  // as the master has it.
  void RecordDroppedIndex(const std::string& aMasterTable, const std::string& aName);
  // True when the client table no longer stands once the statements queued so far have run: it
  // was dropped or rebuilt in this check (a table only renamed still stands).
  bool IsClientTableGone(const std::string& aClientTable) const;
  // Surplus steps of the indexes phase and of the key steps; a key drop (primary: the dialect's
  // clause; unique: DROP CONSTRAINT, or DROP INDEX when the client has a plain unique index).
  void DeleteSurplusIndexes();
  void DeleteSurplusKeys(bool aPrimaryKey);
  void DropClientKey(bool aPrimaryKey, const std::string& aSchema, const std::string& aClientTable,
                     const std::string& aMasterTable, const std::string& aClientName);
  // Some column (client names of aClientTable, taken under their new names) is protected.
  bool HasProtectedColumn(const std::string& aClientTable, const std::vector<std::string>& aColumns) const;

  // ---- Foreign keys and default values (ForeignKeysPhase.cpp) ----

  // Adds the master's missing foreign keys, re-creates changed ones and drops the client's
  // surplus ones (whatever the delete policy, outside undo-delete blocks).
  bool UpdateForeignKeys();
  // Queues the creation of key aFkName of master table aMasterTable (client name aClientTable)
  // from aFkSet, after the deletion of its orphan rows when FkPendingData asks for it. The set's
  // order and cursor are kept.
  void AddForeignKey(ado::TDataSet& aFkSet, const std::string& aSchema, const std::string& aFkName,
                     const std::string& aMasterTable, const std::string& aClientTable);
  // Queues the deletion of the rows of the referencing table whose key (no column null) matches
  // no row of the referenced table when the statement runs. Both lists hold schema prefix +
  // quoted table + "." + quoted column, one entry per key column in key order; nothing is queued
  // unless they have the same non-zero count. aRounds repeats the statement, so that the
  // children of deleted rows of a self-referencing key go too.
  void DeleteOrphanRows(const std::vector<std::string>& aFkColumns,
                        const std::vector<std::string>& aPkColumns, int aRounds = 1);
  // Both sets positioned on the key to compare (the master's under master names).
  bool SameForeignKeyDefinition(ado::TDataSet& aMasterSet, ado::TDataSet& aClientSet);
  // Default constraints, only where the connected server keeps them as constraints: by the
  // master's constraint names when the master did so too, else by column.
  bool UpdateDefaultValues();
  bool UpdateDefaultValuesNamed();

  // ---- Views, procedures, functions and triggers (Programmables.cpp) ----

  bool UpdateViews();
  bool UpdateProcedures();
  bool UpdateFunctions();
  bool UpdateTriggers();
  // aKind "P", "FN" (SQL Server's FN, IF and TF) or "TR": creates new and changed objects from
  // the master's text and drops surplus ones in undo-delete blocks. Always True.
  bool UpdateProgrammables(const std::string& aKind);
  // The text a master definition is created from: on Adaptive Server Anywhere as it stands,
  // elsewhere with double quotes outside single-quoted literals made single.
  std::string ProgrammableCreateText(const std::string& aDefinition) const;
  // The same for an object created under QUOTED_IDENTIFIER setting aQuotedIdentifier (1 or 0;
  // -1 where the master has no such setting, giving the text above): the text as written, after
  // a SET of that setting queued when aQueuedSetting (the setting queued so far, -1 none)
  // differs.
  std::string ProgrammableCreateText(const std::string& aDefinition, int aQuotedIdentifier, int& aQueuedSetting);
  // Queues SET QUOTED_IDENTIFIER ON, the connection's default, when a phase left it off.
  void RestoreQuotedIdentifier(int aQueuedSetting);
  // The text definitions are compared by: double quotes made single, trailing CR LF removed.
  std::string ProgrammableCompareText(const std::string& aDefinition) const;
  // [Q(owner) + "."] + Q(name).
  std::string OwnedObjectName(const std::string& aSchema, const std::string& aName) const;

  // ---- Update executor and user SQL commands (UpdateDb.cpp) ----

  // Runs the saved instruction list against the client (with aHolder: a holder producer filled
  // from DirectivesFromProducer.xml for the run): backup, delete confirmation, the prepended
  // instructions each in its own transaction, the rest in one transaction with the user commands
  // "beforeupdate" and "afterupdate", retries, then commit or rollback. True when every
  // instruction succeeded. A list file that cannot be read raises an error naming it; nothing
  // has run then and no transaction stays open.
  bool UpdateDb(bool aHolder);
  // Runs one instruction with its events (in a transaction of its own when none is open).
  bool ExecuteInstruction(int aNumber, const std::string& aSql);
  // The Before events of the current instruction; aSkip tells whether it must not run. False
  // (reported) when an event raised.
  bool BeforeInstructionEvents(bool& aSkip);
  bool AfterInstructionEvents();
  // Backs the client up as aFolder + "\" + aFileName (defaults: the database name, else the
  // database file's name; the updater's DirBackup), replacing an earlier backup file.
  // The backup file the last UpdateDb wrote; empty when it wrote none.
  const std::string& LastBackupFile() const { return lastBackupFile_; }
  bool BackupDatabase(const std::string& aDatabaseName, const std::string& aFileName,
                      const std::string& aFolder);
  // Loads DirSchemas' SqlCommands.xml (none: no command will run) and asks the host for the
  // database release. A file that is not XML raises an error naming it.
  void LoadSqlCommands();
  // Runs the user SQL commands of one event of SqlCommands.xml; False when one failed.
  bool RunUserEvent(const std::string& aEventName);
  // "3.2" gives 3 and 2, "3" gives 3 and -1; an empty text or a part that is not a number -1.
  static void ParseRelease(const std::string& aText, int& aMajor, int& aMinor);

  // ---- Delete phase (DeletePhase.cpp) ----

  bool DeleteTables();
  // Queues the drop of client table aClientTable, reached as aMasterTable when the list runs.
  void DropTable(const std::string& aSchema, const std::string& aClientTable,
                 const std::string& aMasterTable);
  // Queues the drops of the client columns of aClientTable the master's aMasterTable lacks (the
  // visible rows of qColumns), each in its own undo-delete block. Always True.
  bool DeleteFields(const std::string& aSchema, const std::string& aClientTable,
                    const std::string& aMasterTable);
  // Queues the drops of the plain indexes (DropPlainIndexesOf) and CHECK constraints of a client
  // column, which the server would otherwise refuse the column's drop for.
  void DropIndexesAndChecksOf(const std::string& aSchema, const std::string& aPrefix,
                              const std::string& aClientTable, const std::string& aColumn,
                              const std::string& aMasterTable);
  // A CHECK constraint of a master table whose drop this check queued with a field's.
  bool IsCheckDropped(const std::string& aMasterTable, const std::string& aName) const;
  // Instructions appended from now on go to the undo-delete block that dropped constraint or
  // index aName of aMasterTable in this check (outside any block when none did), so that
  // cancelling that deletion also cancels the re-creation. Inside a block already, nothing
  // changes. Answers the block to go back to with EndRecreateBlock.
  int BeginRecreateBlock(const std::string& aMasterTable, const std::string& aName);
  void EndRecreateBlock(int aPrevious) { currentBlockUndoDeleteId_ = aPrevious; }

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
  std::vector<std::pair<std::string, std::string>> droppedConstraints_;  // master table, constraint
  bool oneTransaction_ = true;
  TDatabaseSpecific* currentDialect_ = nullptr;

  std::string connectError_;
  std::string lastBackupFile_;

  // Update executor (UpdateDb.cpp).
  bool RunInstructions(std::vector<std::string>& aFailed);
  void RetryFailedInstructions(std::vector<std::string>& aFailed, bool& aOk);
  // Runs instruction aId of the list once more; true when it succeeds. aFound is false (and so
  // is the answer) when the list holds no such id.
  bool RetryInstruction(int aId, bool& aFound);
  void StepInstruction(const std::string& aLevel1, const std::string& aConsole,
                       const std::string& aInfo, int aId, const std::string& aSql);
  void ReportInstructionError(const std::exception& e, int aNumber, const std::string& aSql,
                              bool aHandled);
  // Tables phase: a master column the client's server cannot hold was met in this check.
  bool columnTypeRefused_ = false;
  // Preparatory steps: a rename the client's server cannot carry out was met in this check.
  bool renameRefused_ = false;
  // Views, procedures, functions and triggers (Programmables.cpp).
  bool UpdateProgrammablesPhase(const std::string& aKind);
  // Client trigger name (upper case) -> client table name, from the server's own catalogue.
  std::map<std::string, std::string> ClientTriggerTables();

  // Delete phase (DeletePhase.cpp).
  // The block that dropped a constraint or index in this check, by upper-case master table + "."
  // + name; emptied with the instruction list.
  std::map<std::string, int> dropBlocks_;
  // Upper-case master table + "." + name of the CHECK constraints dropped with fields.
  std::vector<std::string> droppedChecks_;
  std::vector<int> announcedLinkedBlocks_;
  // The client's keys and foreign keys by table, read once per check (DeletePhase.cpp).
  std::unique_ptr<TDeletePhaseCache, void (*)(TDeletePhaseCache*)> deletePhaseCache_{nullptr, nullptr};
  TDeletePhaseCache& DeletePhaseCache();
  // (master table, name) of the constraints the deletion of a client table, or of its column
  // aColumn when given, needs dropped.
  std::vector<std::pair<std::string, std::string>> DependentConstraintNames(const std::string& aClientTable,
                                                                            const std::string& aColumn);
  // Notes which of aNames the current block dropped, and links it with the block that dropped
  // one of them before; aDroppedBefore holds IsConstraintDropped of each before the drops.
  void NoteBlockDrops(const std::vector<std::pair<std::string, std::string>>& aNames,
                      const std::vector<bool>& aDroppedBefore);
  void NoteDropInBlock(const std::string& aMasterTable, const std::string& aName);
  // The console line saying that block aBlockId is skipped for the cancelled block aCause.
  void AnnounceLinkedUndoDelete(int aBlockId, int aCause);
  // Foreign keys and default values: the phase's work, which records its drops in the registry.
  friend class ForeignKeysWork;

  friend class TdmStateProbe;  // tests read the private state after creation
};
