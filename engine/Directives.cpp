// Effective directives and delete permission: every directive the engine reads is resolved here,
// the producer's set first, then the updater's, then the engine's default.
#include <string>
#include <vector>

#include "common/Text.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/uDm.h"

namespace {

bool Defined(TBooleanExtended v) { return v != beUndefined; }
bool Defined(TDbErrorManager v) { return v != demUpdaterSetting; }
bool Defined(TDbFkPendingData v) { return v != fpdUpdaterSetting; }
bool Defined(TProgressInfoKind v) { return v != pikUpdaterSetting; }
bool Defined(TDbPKChangedTreatment v) { return v != pctUpdaterSetting; }

// The directive set of a component, or nullptr without one.
const TUpdaterDirectives* DirectivesOf(const TOrvSchemion* component) {
  return component != nullptr ? &component->UpdaterDirectives() : nullptr;
}

// The producer's value when defined there, else the updater's, else the default.
template <typename T, typename Read>
T Resolve(const TOrvSchemion* producer, const TOrvSchemion* updater, T fallback, Read read) {
  for (const TUpdaterDirectives* set : {DirectivesOf(producer), DirectivesOf(updater)}) {
    if (set == nullptr) continue;
    const T value = read(*set);
    if (Defined(value)) return value;
  }
  return fallback;
}

bool StartsWithAny(const std::string& name, const std::vector<std::string>& prefixes) {
  for (const std::string& prefix : prefixes) {
    if (!prefix.empty() && text::StartsWithText(name, prefix)) return true;
  }
  return false;
}

}  // namespace

// Each Boolean directive: resolved, then True exactly when the chosen value is beYes.
#define SCHEMION_BOOLEAN_DIRECTIVE(getter, member, fallback)                              \
  bool Tdm::getter() const {                                                               \
    return Resolve<TBooleanExtended>(Producer, Updater, (fallback) ? beYes : beNo,         \
                                     [](const TUpdaterDirectives& d) { return member; }) == \
           beYes;                                                                          \
  }

SCHEMION_BOOLEAN_DIRECTIVE(GetUseDefaultOwner, d.UseDefaultOwner, true)
SCHEMION_BOOLEAN_DIRECTIVE(GetUseDefaultDbSpace, d.UseDefaultDbSpace, true)
SCHEMION_BOOLEAN_DIRECTIVE(GetDefaultValueFromDataType, d.DefaultValueFromDataType, true)
SCHEMION_BOOLEAN_DIRECTIVE(GetBackupBeforeUpdate, d.BackupBeforeUpdate, true)
SCHEMION_BOOLEAN_DIRECTIVE(GetAutoRecoverPrimaryKeys, d.AutoRecoverPrimaryKeys, true)
SCHEMION_BOOLEAN_DIRECTIVE(GetAutoRecoverUniqueIndexes, d.AutoRecoverUniqueIndexes, true)
SCHEMION_BOOLEAN_DIRECTIVE(GetConfirmOnDelete, d.DeletePolicy.ConfirmOnDelete, false)
SCHEMION_BOOLEAN_DIRECTIVE(GetDeleteTables, d.DeletePolicy.DeleteTables, false)
SCHEMION_BOOLEAN_DIRECTIVE(GetDeleteFields, d.DeletePolicy.DeleteFields, false)
SCHEMION_BOOLEAN_DIRECTIVE(GetDeleteIndexes, d.DeletePolicy.DeleteIndexes, false)
SCHEMION_BOOLEAN_DIRECTIVE(GetDeleteViews, d.DeletePolicy.DeleteViews, false)
SCHEMION_BOOLEAN_DIRECTIVE(GetDeleteProcedures, d.DeletePolicy.DeleteProcedures, false)

#undef SCHEMION_BOOLEAN_DIRECTIVE

TDbErrorManager Tdm::GetErrorManager() const {
  return Resolve(Producer, Updater, demEnqueueInstructionError,
                 [](const TUpdaterDirectives& d) { return d.ErrorManager; });
}

TDbFkPendingData Tdm::GetFkPendingData() const {
  return Resolve(Producer, Updater, fpdDelete,
                 [](const TUpdaterDirectives& d) { return d.FkPendingData; });
}

TProgressInfoKind Tdm::GetProgressInfoKind() const {
  return Resolve(Producer, Updater, pikSilent,
                 [](const TUpdaterDirectives& d) { return d.ProgressInfoKind; });
}

TDbPKChangedTreatment Tdm::GetPKChangedTreatment() const {
  return Resolve(Producer, Updater, pctNone,
                 [](const TUpdaterDirectives& d) { return d.PKChangedTreatment; });
}

bool Tdm::DeleteAllowed(const std::string& aKind) const {
  // A defined Enabled decides alone, the producer's before the updater's.
  for (const TUpdaterDirectives* set : {DirectivesOf(Producer), DirectivesOf(Updater)}) {
    if (set != nullptr && set->DeletePolicy.Enabled != beUndefined) {
      return set->DeletePolicy.Enabled == beYes;
    }
  }
  if (text::SameText(aKind, "tables")) return GetDeleteTables();
  if (text::SameText(aKind, "fields")) return GetDeleteFields();
  if (text::SameText(aKind, "indexes")) return GetDeleteIndexes();
  if (text::SameText(aKind, "views")) return GetDeleteViews();
  if (text::SameText(aKind, "procedures")) return GetDeleteProcedures();
  return false;
}

bool Tdm::HasProtectedPrefix(const std::string& aName) const {
  // Both lists protect: their prefixes add up.
  for (const TUpdaterDirectives* set : {DirectivesOf(Producer), DirectivesOf(Updater)}) {
    if (set != nullptr && StartsWithAny(aName, set->DeletePolicy.PrefixesList)) return true;
  }
  return false;
}
