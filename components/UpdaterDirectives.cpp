#include "components/UpdaterDirectives.h"

#include "components/XmlNodes.h"

using xmlnodes::ReadEnum;
using xmlnodes::WriteEnum;

TDeletePolicy::TDeletePolicy() { SetDefaults(); }

void TDeletePolicy::SetDefaults() {
  Enabled = beUndefined;
  DeleteTables = beUndefined;
  DeleteFields = beUndefined;
  DeleteIndexes = beUndefined;
  DeleteProcedures = beUndefined;
  DeleteViews = beUndefined;
  ConfirmOnDelete = beUndefined;
}

void TDeletePolicy::SetUpdaterDefaults() {
  Enabled = beUndefined;
  DeleteTables = beYes;
  DeleteFields = beYes;
  DeleteIndexes = beYes;
  DeleteProcedures = beYes;
  DeleteViews = beYes;
  ConfirmOnDelete = beNo;
}

namespace {

// Each scalar directive once: its element name, its field and the value a reading falls back to.
// Saving and loading both walk these lists, so the element names and their order cannot drift
// apart; the order is the order of the written elements.
template <typename Policy, typename Visit>
void ForEachScalar(Policy& p, Visit&& visit) {
  visit("Enabled", p.Enabled, beUndefined);
  visit("ConfirmOnDelete", p.ConfirmOnDelete, beUndefined);
  visit("DeleteTables", p.DeleteTables, beUndefined);
  visit("DeleteViews", p.DeleteViews, beUndefined);
  visit("DeleteProcedures", p.DeleteProcedures, beUndefined);
  visit("DeleteIndexes", p.DeleteIndexes, beUndefined);
  visit("DeleteFields", p.DeleteFields, beUndefined);
}

template <typename Directives, typename Visit>
void ForEachDirective(Directives& d, Visit&& visit) {
  visit("UseDefaultOwner", d.UseDefaultOwner, beUndefined);
  visit("UpdateComments", d.UpdateComments, beUndefined);
  visit("BackupBeforeUpdate", d.BackupBeforeUpdate, beUndefined);
  visit("UseDefaultDbSpace", d.UseDefaultDbSpace, beUndefined);
  visit("AutoRecoverUniqueIndexes", d.AutoRecoverUniqueIndexes, beUndefined);
  visit("AutoRecoverPrimaryKeys", d.AutoRecoverPrimaryKeys, beUndefined);
  visit("ErrorManager", d.ErrorManager, demUpdaterSetting);
  visit("PKChangedTreatment", d.PKChangedTreatment, pctUpdaterSetting);
  visit("DefaultValueFromDataType", d.DefaultValueFromDataType, beUndefined);
  visit("FkPendingData", d.FkPendingData, fpdUpdaterSetting);
  // A set without a progress kind shows no windows rather than deferring to the updater.
  visit("ProgressInfoKind", d.ProgressInfoKind, pikSilent);
}

// Visitors for the lists above: one writes each field's value, the other reads it back.
struct Writer {
  pugi::xml_node node;
  template <typename E>
  void operator()(const char* aName, E aValue, E) const {
    WriteEnum(node, aName, aValue);
  }
};

struct Reader {
  pugi::xml_node node;
  template <typename E>
  void operator()(const char* aName, E& aValue, E aFallback) const {
    aValue = ReadEnum(node, aName, aFallback);
  }
};

}  // namespace

void TDeletePolicy::SaveToXml(pugi::xml_node aNode) const {
  ForEachScalar(*this, Writer{aNode});
  xmlnodes::WriteList(aNode, "PrefixesList", "Prefix", PrefixesList);
}

void TDeletePolicy::LoadFromXml(pugi::xml_node aNode) {
  ForEachScalar(*this, Reader{aNode});
  PrefixesList = xmlnodes::ReadList(aNode, "PrefixesList");
}

TUpdaterDirectives::TUpdaterDirectives() { SetDefaults(); }

void TUpdaterDirectives::SetDefaults() {
  UseDefaultDbSpace = beYes;
  UpdateComments = beNo;
  BackupBeforeUpdate = beUndefined;
  DefaultValueFromDataType = beYes;
  AutoRecoverPrimaryKeys = beYes;
  UseDefaultOwner = beYes;
  AutoRecoverUniqueIndexes = beYes;
  ErrorManager = demEnqueueInstructionError;
  FkPendingData = fpdDelete;
  PKChangedTreatment = pctAll;
  ProgressInfoKind = pikUpdaterSetting;
}

void TUpdaterDirectives::SetUpdaterDefaults() {
  SetDefaults();
  BackupBeforeUpdate = beYes;
  ProgressInfoKind = pikBoth;
}

void TUpdaterDirectives::SaveToXml(pugi::xml_node aNode) const {
  ForEachDirective(*this, Writer{aNode});
  xmlnodes::WriteList(aNode, "Users", "User", Users);
  xmlnodes::WriteList(aNode, "PrimaryKeysChanged", "PrimaryKey", PrimaryKeysChanged);
  DeletePolicy.SaveToXml(aNode);
}

void TUpdaterDirectives::LoadFromXml(pugi::xml_node aNode) {
  ForEachDirective(*this, Reader{aNode});
  Users = xmlnodes::ReadList(aNode, "Users");
  PrimaryKeysChanged = xmlnodes::ReadList(aNode, "PrimaryKeysChanged");
  DeletePolicy.LoadFromXml(aNode);
}
