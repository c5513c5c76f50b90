// Finding a row of an instruction data set (rows sorted by `id`) by its number or by a piece of
// its SQL text, from the first row or from the current one. The windows that show an instruction
// file share it; questions and messages go through the dialog service.
#pragma once

#include <string>

class QWidget;

namespace ado {
class TDataSet;
}

enum TSearchType { stFromBeginning, stFromCursor };

struct TInstructionSearch {
  int Number = 0;    // not 0: go to the row with this `id`, nothing else
  std::string Text;  // otherwise: an exact, case-sensitive piece of the TextField text
  std::string TextField = "instruction";
  TSearchType SearchType = stFromBeginning;
};

// Runs the search on the open data set. Returns True when the cursor stopped on a found row;
// otherwise the cursor is back on the row it was on. "From cursor" starts at the current row
// itself and, at the end, offers to go on from the first row up to where it started.
bool FindInstruction(ado::TDataSet& aDataSet, const TInstructionSearch& aSearch, QWidget* aParent);

// Keeps the controls bound to a data set still while code walks it.
class FrozenControls {
 public:
  explicit FrozenControls(ado::TDataSet& aDataSet);
  ~FrozenControls();
  FrozenControls(const FrozenControls&) = delete;
  FrozenControls& operator=(const FrozenControls&) = delete;

 private:
  ado::TDataSet& dataSet_;
};

// Moves to the row whose `id` is aId; False, not moving, when there is none or the data set is
// closed.
bool LocateInstructionId(ado::TDataSet& aDataSet, int aId);
