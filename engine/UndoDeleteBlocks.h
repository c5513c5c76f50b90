// Undo-delete blocks that share a drop: two deletions that need the same constraint or index
// dropped (a key over two surplus fields, a foreign key between two surplus tables) are linked,
// so that cancelling either keeps both. The link is the block row's LinkedBlock field: the id of
// the first block of the group, 0 for a block linked to none.
#pragma once

#include "platform/data/DataSet.h"

namespace undo_delete {

constexpr const char* kLinkedBlockField = "LinkedBlock";

// Whether the instructions of block aBlockId are to be skipped: its own undoDelete, or that of a
// block of its group. aCause receives the id of the cancelled block that keeps it (itself when
// cancelled on its own; 0 when it runs). False for block 0 and a block the set lacks. Moves the
// set's cursor.
bool IsBlockCancelled(ado::TDataSet& aBlocks, int aBlockId, int& aCause);

// Puts blocks aFirst and aSecond (ids, not 0) in one group, merging the groups they are in.
void LinkBlocks(ado::TDataSet& aBlocks, int aFirst, int aSecond);

}  // namespace undo_delete
