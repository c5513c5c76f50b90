#include "components/InstructionSearch.h"

#include <optional>

#include "platform/data/DataSet.h"
#include "platform/ui/DialogService.h"

namespace {

bool Matches(const ado::TDataSet& aDataSet, const std::string& aField, const std::string& aText) {
  return aDataSet.FieldByName(aField).AsString().find(aText) != std::string::npos;
}

// Walks forward from the current row; stops on a match (True), at the end, or on the row whose
// id is aStopId.
bool SearchForward(ado::TDataSet& aDataSet, const TInstructionSearch& aSearch,
                   std::optional<int> aStopId = std::nullopt) {
  for (; !aDataSet.Eof(); aDataSet.Next()) {
    if (aStopId && aDataSet.FieldByName("id").AsInteger() == *aStopId) return false;
    if (Matches(aDataSet, aSearch.TextField, aSearch.Text)) return true;
  }
  return false;
}

}  // namespace

FrozenControls::FrozenControls(ado::TDataSet& aDataSet) : dataSet_(aDataSet) {
  dataSet_.DisableControls();
}

FrozenControls::~FrozenControls() { dataSet_.EnableControls(); }

bool LocateInstructionId(ado::TDataSet& aDataSet, int aId) {
  if (!aDataSet.Active()) return false;
  return aDataSet.Locate("id", ado::Variant(static_cast<long long>(aId)), 0);
}

bool FindInstruction(ado::TDataSet& aDataSet, const TInstructionSearch& aSearch, QWidget* aParent) {
  if (!aDataSet.Active() || aDataSet.IsEmpty()) return false;
  if (aSearch.Number != 0) return LocateInstructionId(aDataSet, aSearch.Number);
  if (aSearch.Text.empty()) {
    ui::Dialogs().MessageDlg(aParent, "Error", "No condition!", ui::mtError, ui::mbOK);
    return false;
  }
  const int startId = static_cast<int>(aDataSet.FieldByName("id").AsInteger());
  bool found = false;
  {
    FrozenControls frozen(aDataSet);
    if (aSearch.SearchType == stFromBeginning) aDataSet.First();
    found = SearchForward(aDataSet, aSearch);
    if (!found && aSearch.SearchType == stFromCursor) {
      if (ui::Dialogs().Confirm(
              aParent, "Confirm",
              "Reaching end of file.\r\nDo you wish to search from the beginning?")) {
        aDataSet.First();
        found = SearchForward(aDataSet, aSearch, startId);
      }
    }
    if (!found) LocateInstructionId(aDataSet, startId);
  }
  if (!found && aSearch.SearchType == stFromBeginning) {
    ui::Dialogs().MessageDlg(aParent, "Information", "No record found with the current condition!",
                             ui::mtInformation, ui::mbOK);
  }
  return found;
}
