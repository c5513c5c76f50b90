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

void TDeletePolicy::SaveToXml(pugi::xml_node aNode) const {
  WriteEnum(aNode, "Enabled", Enabled);
  WriteEnum(aNode, "ConfirmOnDelete", ConfirmOnDelete);
  WriteEnum(aNode, "DeleteTables", DeleteTables);
  WriteEnum(aNode, "DeleteViews", DeleteViews);
  WriteEnum(aNode, "DeleteProcedures", DeleteProcedures);
  WriteEnum(aNode, "DeleteIndexes", DeleteIndexes);
  WriteEnum(aNode, "DeleteFields", DeleteFields);
  xmlnodes::WriteList(aNode, "PrefixesList", "Prefix", PrefixesList);
}

void TDeletePolicy::LoadFromXml(pugi::xml_node aNode) {
  Enabled = ReadEnum(aNode, "Enabled", beUndefined);
  ConfirmOnDelete = ReadEnum(aNode, "ConfirmOnDelete", beUndefined);
  DeleteTables = ReadEnum(aNode, "DeleteTables", beUndefined);
  DeleteViews = ReadEnum(aNode, "DeleteViews", beUndefined);
  DeleteProcedures = ReadEnum(aNode, "DeleteProcedures", beUndefined);
  DeleteIndexes = ReadEnum(aNode, "DeleteIndexes", beUndefined);
  DeleteFields = ReadEnum(aNode, "DeleteFields", beUndefined);
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
  WriteEnum(aNode, "UseDefaultOwner", UseDefaultOwner);
  WriteEnum(aNode, "UpdateComments", UpdateComments);
  WriteEnum(aNode, "BackupBeforeUpdate", BackupBeforeUpdate);
  WriteEnum(aNode, "UseDefaultDbSpace", UseDefaultDbSpace);
  WriteEnum(aNode, "AutoRecoverUniqueIndexes", AutoRecoverUniqueIndexes);
  WriteEnum(aNode, "AutoRecoverPrimaryKeys", AutoRecoverPrimaryKeys);
  WriteEnum(aNode, "ErrorManager", ErrorManager);
  WriteEnum(aNode, "PKChangedTreatment", PKChangedTreatment);
  WriteEnum(aNode, "DefaultValueFromDataType", DefaultValueFromDataType);
  WriteEnum(aNode, "FkPendingData", FkPendingData);
  WriteEnum(aNode, "ProgressInfoKind", ProgressInfoKind);
  xmlnodes::WriteList(aNode, "Users", "User", Users);
  xmlnodes::WriteList(aNode, "PrimaryKeysChanged", "PrimaryKey", PrimaryKeysChanged);
  DeletePolicy.SaveToXml(aNode);
}

void TUpdaterDirectives::LoadFromXml(pugi::xml_node aNode) {
  UseDefaultOwner = ReadEnum(aNode, "UseDefaultOwner", beUndefined);
  UpdateComments = ReadEnum(aNode, "UpdateComments", beUndefined);
  BackupBeforeUpdate = ReadEnum(aNode, "BackupBeforeUpdate", beUndefined);
  UseDefaultDbSpace = ReadEnum(aNode, "UseDefaultDbSpace", beUndefined);
  AutoRecoverUniqueIndexes = ReadEnum(aNode, "AutoRecoverUniqueIndexes", beUndefined);
  AutoRecoverPrimaryKeys = ReadEnum(aNode, "AutoRecoverPrimaryKeys", beUndefined);
  ErrorManager = ReadEnum(aNode, "ErrorManager", demUpdaterSetting);
  PKChangedTreatment = ReadEnum(aNode, "PKChangedTreatment", pctUpdaterSetting);
  DefaultValueFromDataType = ReadEnum(aNode, "DefaultValueFromDataType", beUndefined);
  FkPendingData = ReadEnum(aNode, "FkPendingData", fpdUpdaterSetting);
  // A set without a progress kind shows no windows rather than deferring to the updater.
  ProgressInfoKind = ReadEnum(aNode, "ProgressInfoKind", pikSilent);
  Users = xmlnodes::ReadList(aNode, "Users");
  PrimaryKeysChanged = xmlnodes::ReadList(aNode, "PrimaryKeysChanged");
  DeletePolicy.LoadFromXml(aNode);
}
