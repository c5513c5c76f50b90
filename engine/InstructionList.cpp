// The instruction list and the undo-delete blocks of the engine data module: the ids of appended
// and prepended instructions, the blocks that let the user cancel a deletion, and their files
// instructions.xml and BlockUndoDelete.xml in the updater's SQL folder.
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "common/Paths.h"
#include "components/DbSchemaUpdater.h"
#include "engine/UndoDeleteBlocks.h"
#include "engine/uDm.h"
#include "platform/data/DataErrors.h"

namespace {

constexpr std::string_view kInstructionFile = "instructions.xml";
constexpr std::string_view kBlockUndoDeleteFile = "BlockUndoDelete.xml";
constexpr std::string_view kDefaultDirSql = ".\\schemas";

ado::FieldDefs InstructionFields() {
  return {{"id", ado::FieldType::ftInteger},
          {"instruction", ado::FieldType::ftMemo},
          {"IdBlockUndoDelete", ado::FieldType::ftInteger}};
}

ado::FieldDefs BlockUndoDeleteFields() {
  return {{"id", ado::FieldType::ftInteger},
          {"ObjectName", ado::FieldType::ftString, 40},
          {"Kind", ado::FieldType::ftString, 20},
          {"undoDelete", ado::FieldType::ftBoolean},
          {undo_delete::kLinkedBlockField, ado::FieldType::ftInteger}};
}

// The data set recreated empty with the list's fields (a loaded file may have brought others).
void Recreate(ado::TDataSet& dataSet, ado::FieldDefs fields) {
  dataSet.Close();
  dataSet.FieldDefs() = std::move(fields);
  dataSet.CreateDataSet();
}

void OpenWhenClosed(ado::TDataSet& dataSet, ado::FieldDefs fields) {
  if (!dataSet.Active()) Recreate(dataSet, std::move(fields));
}

// Loads the persisted recordset and makes sure it carries the list's fields; the message of a
// failure names the file.
void LoadList(ado::TDataSet& dataSet, const std::string& fileName,
              std::initializer_list<std::string_view> fields) {
  dataSet.LoadFromFile(paths::ResolveFolder(fileName));
  for (std::string_view field : fields) {
    if (dataSet.FindField(std::string(field)) == nullptr) {
      dataSet.Close();
      throw ado::EDatabaseError("Field '" + std::string(field) + "' not found in file " +
                                fileName);
    }
  }
}

}  // namespace

void Tdm::RestartInstructionList() {
  Recreate(qInstructions, InstructionFields());
  Recreate(qBlockUndoDelete, BlockUndoDeleteFields());
  nextInstructionId_ = 1;
  nextPrependedId_ = 0;
  currentBlockUndoDeleteId_ = 0;
  dropBlocks_.clear();
  droppedChecks_.clear();
  deletePhaseCache_.reset();
}

void Tdm::AddInstruction(const std::string& aSql, bool aPrepend) {
  const int id = aPrepend ? nextPrependedId_ : nextInstructionId_;
  if (TOrvSchemion* component = Component()) {
    component->WriteMessage(
        DbFormat(component->LanguageOptions().msgAddInstruction, {static_cast<long long>(id), aSql}));
  }
  OpenWhenClosed(qInstructions, InstructionFields());
  qInstructions.Append();
  qInstructions.FieldByName("id").SetAsInteger(id);
  qInstructions.FieldByName("instruction").SetAsString(aSql);
  qInstructions.FieldByName("IdBlockUndoDelete").SetAsInteger(currentBlockUndoDeleteId_);
  qInstructions.Post();
  if (aPrepend) {
    --nextPrependedId_;
  } else {
    ++nextInstructionId_;
  }
}

void Tdm::AddBlockUndoDelete(const std::string& aObjectName, TInstructionKind aKind) {
  ++lastBlockUndoDeleteId_;
  OpenWhenClosed(qBlockUndoDelete, BlockUndoDeleteFields());
  qBlockUndoDelete.Append();
  qBlockUndoDelete.FieldByName("id").SetAsInteger(lastBlockUndoDeleteId_);
  qBlockUndoDelete.FieldByName("ObjectName").SetAsString(aObjectName);
  qBlockUndoDelete.FieldByName("Kind").SetAsString(EnumName(aKind));
  qBlockUndoDelete.FieldByName("undoDelete").SetAsBoolean(false);
  qBlockUndoDelete.FieldByName(undo_delete::kLinkedBlockField).SetAsInteger(0);
  qBlockUndoDelete.Post();
}

void Tdm::BeginUndoDeleteBlock() { currentBlockUndoDeleteId_ = lastBlockUndoDeleteId_; }

void Tdm::EndUndoDeleteBlock() { currentBlockUndoDeleteId_ = 0; }

bool Tdm::IsUndoDelete(int aBlockId) {
  int cause = 0;
  if (!undo_delete::IsBlockCancelled(qBlockUndoDelete, aBlockId, cause)) return false;
  if (cause != aBlockId) AnnounceLinkedUndoDelete(aBlockId, cause);
  return true;
}

std::string Tdm::InstructionFileName() const {
  const std::string dirSql = Updater != nullptr ? Updater->DirSql : std::string(kDefaultDirSql);
  return paths::FoldBackslashes(dirSql + "\\" + std::string(kInstructionFile));
}

std::string Tdm::BlockUndoDeleteFileName() const {
  const std::string dirSql = Updater != nullptr ? Updater->DirSql : std::string(kDefaultDirSql);
  return paths::FoldBackslashes(dirSql + "\\" + std::string(kBlockUndoDeleteFile));
}

void Tdm::SaveInstructionFile() {
  const std::string fileName = InstructionFileName();
  OpenWhenClosed(qInstructions, InstructionFields());
  qInstructions.SaveToFile(paths::ResolveFolder(fileName), ado::pfXML);
  if (TOrvSchemion* component = Component()) {
    component->SetProgressInfoText("Saving instruction file " + fileName);
  }
}

void Tdm::SaveBlockUndoDeleteFile() {
  const std::string fileName = BlockUndoDeleteFileName();
  OpenWhenClosed(qBlockUndoDelete, BlockUndoDeleteFields());
  qBlockUndoDelete.SaveToFile(paths::ResolveFolder(fileName), ado::pfXML);
  if (TOrvSchemion* component = Component()) {
    component->SetProgressInfoText("Saving Block Undo Delete file " + fileName);
  }
}

void Tdm::LoadInstructionFile() {
  LoadList(qInstructions, InstructionFileName(), {"id", "instruction", "IdBlockUndoDelete"});
}

void Tdm::LoadBlockUndoDeleteFile() {
  LoadList(qBlockUndoDelete, BlockUndoDeleteFileName(), {"id", "ObjectName", "Kind", "undoDelete"});
}
