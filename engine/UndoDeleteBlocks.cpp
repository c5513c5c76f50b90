// Groups of undo-delete blocks that share a drop.
#include "engine/UndoDeleteBlocks.h"

#include <vector>

namespace undo_delete {

namespace {

bool Flag(const ado::TDataSet& aBlocks) {
  const ado::TField* flag = aBlocks.FindField("undoDelete");
  return flag != nullptr && !flag->IsNull() && flag->AsBoolean();
}

int Group(const ado::TDataSet& aBlocks) {
  const ado::TField* group = aBlocks.FindField(kLinkedBlockField);
  return group != nullptr && !group->IsNull() ? static_cast<int>(group->AsInteger()) : 0;
}

int Id(const ado::TDataSet& aBlocks) { return static_cast<int>(aBlocks.FieldByName("id").AsInteger()); }

bool LocateBlock(ado::TDataSet& aBlocks, int aBlockId) {
  if (!aBlocks.Active()) return false;
  for (aBlocks.First(); !aBlocks.Eof(); aBlocks.Next()) {
    if (Id(aBlocks) == aBlockId) return true;
  }
  return false;
}

void SetGroup(ado::TDataSet& aBlocks, int aGroup) {
  aBlocks.Edit();
  aBlocks.FieldByName(kLinkedBlockField).SetAsInteger(aGroup);
  aBlocks.Post();
}

}  // namespace

bool IsBlockCancelled(ado::TDataSet& aBlocks, int aBlockId, int& aCause) {
  aCause = 0;
  if (aBlockId == 0 || !LocateBlock(aBlocks, aBlockId)) return false;
  if (Flag(aBlocks)) {
    aCause = aBlockId;
    return true;
  }
  const int group = Group(aBlocks);
  if (group == 0) return false;
  for (aBlocks.First(); !aBlocks.Eof(); aBlocks.Next()) {
    if (Group(aBlocks) == group && Flag(aBlocks)) {
      aCause = Id(aBlocks);
      return true;
    }
  }
  return false;
}

void LinkBlocks(ado::TDataSet& aBlocks, int aFirst, int aSecond) {
  if (aFirst == 0 || aSecond == 0 || aFirst == aSecond || aBlocks.FindField(kLinkedBlockField) == nullptr) return;
  int firstGroup = 0, secondGroup = 0;
  if (LocateBlock(aBlocks, aFirst)) firstGroup = Group(aBlocks);
  if (LocateBlock(aBlocks, aSecond)) secondGroup = Group(aBlocks);
  if (firstGroup == 0) firstGroup = aFirst;
  if (secondGroup == 0) secondGroup = aSecond;
  const int group = firstGroup < secondGroup ? firstGroup : secondGroup;
  // Every member of either group, and the two blocks themselves, join the group.
  std::vector<int> members;
  for (aBlocks.First(); !aBlocks.Eof(); aBlocks.Next()) {
    const int id = Id(aBlocks);
    const int own = Group(aBlocks);
    if (id == aFirst || id == aSecond || (own != 0 && (own == firstGroup || own == secondGroup))) {
      members.push_back(id);
    }
  }
  for (int id : members) {
    if (LocateBlock(aBlocks, id)) SetGroup(aBlocks, group);
  }
}

}  // namespace undo_delete
