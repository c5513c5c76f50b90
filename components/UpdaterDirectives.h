// The persistent directives that steer a comparison and an update, with their delete policy. The
// producer's set travels with the schema files; the updater's set is its own; the engine combines
// the two. Both read and write their elements under a given XML element.
#pragma once

#include <pugixml.hpp>
#include <string>
#include <vector>

#include "common/SchemionTypes.h"

// Which client objects the master lacks may be deleted, whether to ask first, and the name
// prefixes that protect an object from deletion.
class TDeletePolicy {
 public:
  // Holds the producer's defaults (SetDefaults).
  TDeletePolicy();

  TBooleanExtended Enabled = beUndefined;
  TBooleanExtended DeleteTables = beUndefined;
  TBooleanExtended DeleteFields = beUndefined;
  TBooleanExtended DeleteIndexes = beUndefined;
  TBooleanExtended DeleteProcedures = beUndefined;
  TBooleanExtended DeleteViews = beUndefined;
  std::vector<std::string> PrefixesList;
  TBooleanExtended ConfirmOnDelete = beUndefined;

  // The producer's defaults: everything undefined, so the updater decides.
  void SetDefaults();
  // The updater's own defaults: deletions allowed per kind, no confirmation.
  void SetUpdaterDefaults();

  // Writes Enabled, ConfirmOnDelete, the five kinds and "PrefixesList" directly under aNode.
  void SaveToXml(pugi::xml_node aNode) const;
  // Reads the same elements from aNode; a missing element or a text naming no value reads as
  // beUndefined, a missing "PrefixesList" as an empty list.
  void LoadFromXml(pugi::xml_node aNode);
};

// The directive set of a producer or an updater.
class TUpdaterDirectives {
 public:
  // Holds the producer's defaults (SetDefaults) with empty lists.
  TUpdaterDirectives();

  std::vector<std::string> PrimaryKeysChanged;
  TDbPKChangedTreatment PKChangedTreatment = pctAll;
  TBooleanExtended DefaultValueFromDataType = beYes;
  TDbFkPendingData FkPendingData = fpdDelete;
  TBooleanExtended AutoRecoverUniqueIndexes = beYes;
  TBooleanExtended AutoRecoverPrimaryKeys = beYes;
  TProgressInfoKind ProgressInfoKind = pikUpdaterSetting;
  TDbErrorManager ErrorManager = demEnqueueInstructionError;
  TBooleanExtended UseDefaultOwner = beYes;
  std::vector<std::string> Users;
  TBooleanExtended UseDefaultDbSpace = beYes;
  TBooleanExtended UpdateComments = beNo;
  TBooleanExtended BackupBeforeUpdate = beUndefined;
  TDeletePolicy DeletePolicy;

  // The producer's defaults (the constructor's). Lists and the delete policy are left as they are.
  void SetDefaults();
  // The updater's defaults: as the producer's, but a backup before every update and both windows.
  // The delete policy has its own SetUpdaterDefaults.
  void SetUpdaterDefaults();

  // Writes every directive and the delete policy as children of aNode. Scalar elements already
  // under aNode are reused; the list elements are written anew.
  void SaveToXml(pugi::xml_node aNode) const;
  // Reads every directive and the delete policy from the children of aNode. Each element is read
  // on its own, so a broken or missing element costs only its own value: it takes the reading
  // fallback (beUndefined, demUpdaterSetting, pctUpdaterSetting, fpdUpdaterSetting, pikSilent);
  // a missing list reads as empty.
  void LoadFromXml(pugi::xml_node aNode);
};
