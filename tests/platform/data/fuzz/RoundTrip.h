// The check the persisted-recordset fuzz target makes of every input, shared with the test that
// replays its finds: a document that loads must save, and its saved form must load back to the
// same fields and rows and save again unchanged.
#pragma once

#include <string>
#include <vector>

#include "platform/data/DataErrors.h"
#include "platform/data/PersistXml.h"

namespace persistfuzz {

// What went wrong with `document`; empty when it is refused cleanly or survives the round trip.
inline std::string RoundTripFault(const std::string& document) {
  auto pointers = [](const ado::RowSet& set) {
    std::vector<const ado::Row*> out;
    for (const ado::Row& row : set.Rows) out.push_back(&row);
    return out;
  };
  ado::RowSet first;
  try {
    first = ado::ParsePersistedXml(document, "input");
  } catch (const ado::EDatabaseError&) {
    return {};
  }
  // The first save may normalise what the document said; from then on nothing may change.
  const std::string saved = ado::WritePersistedXml(first.Fields, pointers(first));
  ado::RowSet second;
  try {
    second = ado::ParsePersistedXml(saved, "saved");
  } catch (const ado::EDatabaseError& e) {
    return std::string("the saved form does not load: ") + e.what();
  }
  if (first.Fields.size() != second.Fields.size()) return "the saved form has other fields";
  for (size_t i = 0; i < first.Fields.size(); ++i) {
    if (first.Fields[i].Name != second.Fields[i].Name || first.Fields[i].Type != second.Fields[i].Type) {
      return "field '" + first.Fields[i].Name + "' comes back changed";
    }
  }
  if (first.Rows.size() != second.Rows.size()) return "the saved form has another number of rows";
  if (ado::WritePersistedXml(second.Fields, pointers(second)) != saved) return "a second save differs";
  return {};
}

}  // namespace persistfuzz
