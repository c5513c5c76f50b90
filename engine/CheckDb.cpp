// The CheckDb driver: loads the master schema files and the client's catalogue, runs the
// preparatory steps and the comparison phases in their order, and saves the instruction list and
// the undo-delete blocks. Nothing here changes the client.
#include <memory>
#include <string>

#include "common/Paths.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/EngineError.h"
#include "engine/uDm.h"

namespace {

constexpr int kCheckSteps = 16;
constexpr int kInitializeSteps = 22;

struct SchemaLoad {
  const char* caption;
  TOrvSchemaInfo kind;
  ado::TDataSet Tdm::*set;
};

// The master files, in the order the driver loads them.
constexpr SchemaLoad kMasterLoads[] = {
    {"Load Tables", vsiTables, &Tdm::qTables},
    {"Load Columns", vsiColumns, &Tdm::qColumns},
    {"Load Indexes", vsiIndexes, &Tdm::qIndexes},
    {"Load Table Constraints", vsiTableConstraints, &Tdm::qConstraints},
    {"Load Primary Keys", vsiPrimaryKeys, &Tdm::qPrimaryKeys},
    {"Load Foreign Keys", vsiForeignKeys, &Tdm::qForeignKeys},
    {"Load Store procedures", vsiProcedures, &Tdm::qProcedures},
    {"Load SERVER DbSpaces", vsiDbSpaces, &Tdm::qDbSpaces},
    {"Load Source user information", vsiUsers, &Tdm::qUsers},
    {"Load Source Cluster Indexes", vsiClusterIndexes, &Tdm::qClusterIdxSrc},
};

// The client's catalogue, read through the dialect in this order.
constexpr SchemaLoad kClientLoads[] = {
    {"Load Dest. Tables schema", vsiTables, &Tdm::qDestTables},
    {"Load Dest. Indexes Schema", vsiIndexes, &Tdm::qDestIndexes},
    {"Load Dest. Columns schema", vsiColumns, &Tdm::qDestColumns},
    {"Load Dest. Constraints schema", vsiTableConstraints, &Tdm::qDestConstraints},
    {"Load Dest. Primary Keys schema", vsiPrimaryKeys, &Tdm::qDestPrimaryKeys},
    {"Load Dest. Foreign Keys schema", vsiForeignKeys, &Tdm::qDestForeignKeys},
    {"Load Dest. Store Procedures schema", vsiProcedures, &Tdm::qDestProcedures},
    {"Load Dest. User schema", vsiUsers, &Tdm::qDestUsers},
    {"Load Dest. Cluster Indexes", vsiClusterIndexes, &Tdm::qDestClusterIdx},
};

TOrvDbSchemaUpdater& RequireUpdater(TOrvDbSchemaUpdater* updater) {
  if (updater == nullptr) throw EEngineError("No updater registered for the check");
  return *updater;
}

TDatabaseSpecific& RequireDialect(TDatabaseSpecific* dialect) {
  if (dialect == nullptr) throw EEngineError("No database connected for the check");
  return *dialect;
}

// The holder producer of one run: whatever way the run ends, it is freed and the engine's
// Producer cleared, so that its directives never answer a later run.
class HolderProducer {
 public:
  HolderProducer(Tdm& dm, bool aHolder) : dm_(dm) {
    if (!aHolder) return;
    holder_ = RequireUpdater(dm.Updater).NewHolderProducer();
    dm_.Producer = holder_.get();
  }
  ~HolderProducer() {
    if (holder_ && dm_.Producer == holder_.get()) dm_.Producer = nullptr;
  }
  HolderProducer(const HolderProducer&) = delete;
  HolderProducer& operator=(const HolderProducer&) = delete;

 private:
  Tdm& dm_;
  std::unique_ptr<TOrvDbSchemaProducer> holder_;
};

}  // namespace

std::string Tdm::SchemaFolderFile(const std::string& aFolder, const std::string& aName) {
  return paths::FoldBackslashes(aFolder + "\\" + aName);
}

void Tdm::SetPhaseSwitches(bool aTables, bool aViews, bool aProcedures, bool aIndexes,
                           bool aConstraints, bool aTriggers) {
  updateTables_ = aTables;
  updateViews_ = aViews;
  updateProcedures_ = aProcedures;
  updateIndexes_ = aIndexes;
  updateConstraints_ = aConstraints;
  updateTriggers_ = aTriggers;
}

void Tdm::LoadMasterSchema() {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater);
  for (const SchemaLoad& load : kMasterLoads) {
    updater.ProgressStepLevel1(load.caption);
    ado::TDataSet& set = this->*load.set;
    set.Close();
    set.LoadFromFile(paths::ResolveFolder(SchemaFolderFile(updater.DirSchemas, EnumName(load.kind) + ".xml")));
  }
}

void Tdm::LoadClientSchema() {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater);
  TDatabaseSpecific& dialect = RequireDialect(currentDialect_);
  for (const SchemaLoad& load : kClientLoads) {
    updater.ProgressStepLevel1(load.caption);
    ado::TDataSet& set = this->*load.set;
    set.Close();
    set.SetConnection(&ac);
    OpenSchemaOf(load.kind, ado::Variant(), set);
  }
  updater.ProgressStepLevel1("Load CLIENT DbSpaces");
  dialect.LoadDbSpaces(ac);
  updater.ProgressStepLevel1("Load SERVER Users");
}

bool Tdm::CheckDb(bool aHolder) {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater);
  TDatabaseSpecific& dialect = RequireDialect(currentDialect_);
  const TDbLanguageOptions& texts = updater.LanguageOptions();

  droppedTables_.clear();
  droppedFields_.clear();
  updater.ProgressBeginCheckDb(kCheckSteps);
  updater.WriteMessage(texts.msgStartCheckDb);
  droppedConstraints_.clear();
  droppedIndexes_.clear();
  dialect.SetMasterDbType(dbtNone);
  updater.WriteMessage(texts.msgInitializeCheckDb);

  updater.ProgressStepLevel0("INITIALIZE");
  updater.ProgressResetLevel1(kInitializeSteps);
  updater.ProgressStepLevel1("Load Parameters");
  HolderProducer holder(*this, aHolder);
  if (aHolder) LoadParameters();

  RestartInstructionList();
  LoadMasterSchema();
  LoadDefaultDbSpace();
  LoadClientSchema();

  bool ok = false;
  try {
    RenameTables();
    RenameFields();
    ClearTables();
    ok = PreparePkChanges();
    if (ok && updateTables_) ok = UpdateTables();
    if (ok) {
      UpdateCopyData();
      if (ok && updateIndexes_) ok = UpdateIndexes();
      if (ok && updateConstraints_) ok = UpdateConstraints();
      if (ok && updateViews_ && dialect.CanUpdateViews()) ok = UpdateViews();
      if (ok && updateProcedures_ && dialect.CanUpdateProcedures()) ok = UpdateProcedures() && UpdateFunctions();
      if (ok && updateTriggers_ && dialect.CanUpdateTriggers()) ok = UpdateTriggers();
    }
  } catch (...) {
    // The lists found so far are saved all the same; the failure still reaches the caller.
    SaveCheckResults();
    throw;
  }
  SaveCheckResults();
  if (ok) updater.WriteMessage("CheckDb " + texts.msgDone);
  return ok;
}

void Tdm::SaveCheckResults() {
  for (ado::TDataSet* set : {&qTables, &qColumns, &qIndexes, &qConstraints, &qForeignKeys}) set->Close();
  SaveInstructionFile();
  qInstructions.Close();
  SaveBlockUndoDeleteFile();
  qBlockUndoDelete.Close();
}

bool Tdm::UpdateTables() {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater);
  const TDbLanguageOptions& texts = updater.LanguageOptions();
  updater.WriteMessage(texts.msgUpdateTables);
  updater.ProgressStepLevel0("Tables");
  updater.ProgressResetLevel1(3);
  bool ok = UpdateTablesAndColumns();
  if (ok) ok = UpdatePkChildren();
  if (ok) ok = DeleteTables();
  if (ok) updater.WriteMessage(texts.msgUpdateTables + " " + texts.msgDone);
  return ok;
}

// ---- Preparatory steps (the renames, clears and key-change detection come next) ----

void Tdm::RenameTables() {}
void Tdm::RenameFields() {}
void Tdm::ClearTables() {}
bool Tdm::PreparePkChanges() { return true; }
bool Tdm::BuildPkTablesChanges() { return true; }
