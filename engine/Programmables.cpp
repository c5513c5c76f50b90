// Views, procedures, functions and triggers carried from a master of the same server kind by
// their definition text: new and changed objects are created from the master's text, surplus
// client objects are dropped inside undo-delete blocks when the delete policy allows.
#include <map>
#include <string>
#include <vector>

#include "common/Text.h"
#include "components/DbSchemaUpdater.h"
#include "engine/SchemaFiles.h"
#include "engine/uDm.h"

namespace {

// One view, procedure, function or trigger as read from a schema rowset.
struct Programmable {
  std::string name;
  std::string schema;
  std::string type;  // the object's own type code (SQL Server: FN, IF or TF for functions)
  std::string definition;
  bool hasEncrypted = false;
  long long encrypted = 0;
  // The QUOTED_IDENTIFIER setting the object was created under: 1 (its "text" is a name), 0 (a
  // string), -1 where the rowset has no such setting.
  int quotedIdentifier = -1;
};

std::string FieldText(ado::TDataSet& set, const char* name) {
  const ado::TField* field = set.FindField(name);
  return field != nullptr && !field->IsNull() ? field->AsString() : std::string();
}

int QuotedIdentifier(ado::TDataSet& set) {
  const ado::TField* field = set.FindField("quoted_identifier");
  if (field == nullptr || field->IsNull()) return -1;
  return field->AsInteger() != 0 ? 1 : 0;
}

// The setting is part of an object's definition where both rows carry it.
bool SettingDiffers(int aMaster, int aClient) { return aMaster >= 0 && aClient >= 0 && aMaster != aClient; }

// The object types a kind covers: SQL Server keeps inline and table-valued functions under types
// of their own.
bool KindCovers(const std::string& aKind, const std::string& aType) {
  if (aKind == "FN") return aType == "FN" || aType == "IF" || aType == "TF";
  return aType == aKind;
}

// The rows of `set` of one kind, in the set's order.
std::vector<Programmable> ReadProgrammables(ado::TDataSet& set, const std::string& aKind) {
  std::vector<Programmable> rows;
  if (!set.Active()) return rows;
  set.SetFiltered(false);
  for (set.First(); !set.Eof(); set.Next()) {
    Programmable row;
    row.type = text::Trim(FieldText(set, "procedure_type"));
    if (!KindCovers(aKind, row.type)) continue;
    row.name = FieldText(set, "procedure_name");
    row.schema = FieldText(set, "procedure_schema");
    row.definition = FieldText(set, "procedure_definition");
    const ado::TField* encrypted = set.FindField("encrypted");
    row.hasEncrypted = encrypted != nullptr;
    row.encrypted = encrypted != nullptr && !encrypted->IsNull() ? encrypted->AsInteger() : 0;
    row.quotedIdentifier = QuotedIdentifier(set);
    rows.push_back(row);
  }
  return rows;
}

// A view row takes part when its is_updatable is "1" or true.
bool Updatable(ado::TDataSet& set) {
  const ado::TField* field = set.FindField("is_updatable");
  if (field == nullptr || field->IsNull()) return false;
  if (field->DataType() == ado::FieldType::ftBoolean) return field->AsBoolean();
  return text::Trim(field->AsString()) == "1";
}

std::vector<Programmable> ReadViews(ado::TDataSet& set) {
  std::vector<Programmable> rows;
  if (!set.Active()) return rows;
  for (set.First(); !set.Eof(); set.Next()) {
    if (!Updatable(set)) continue;
    Programmable row;
    row.name = FieldText(set, "table_name");
    row.schema = FieldText(set, "table_schema");
    row.definition = FieldText(set, "view_definition");
    row.quotedIdentifier = QuotedIdentifier(set);
    rows.push_back(row);
  }
  return rows;
}

// Index of the rows by name, case ignored; the first row of a name wins.
std::map<std::string, size_t> ByName(const std::vector<Programmable>& rows) {
  std::map<std::string, size_t> index;
  for (size_t i = 0; i < rows.size(); ++i) index.emplace(text::Upper(rows[i].name), i);
  return index;
}

const Programmable* Find(const std::vector<Programmable>& rows,
                         const std::map<std::string, size_t>& index, const std::string& name) {
  const auto it = index.find(text::Upper(name));
  return it != index.end() ? &rows[it->second] : nullptr;
}

std::string ReplaceDoubleQuotes(std::string aText) {
  for (char& c : aText) {
    if (c == '"') c = '\'';
  }
  return aText;
}

// Double quotes made single outside single-quoted literals; a literal stays as written.
std::string ReplaceDoubleQuotesOutsideLiterals(std::string aText) {
  bool inLiteral = false;
  for (char& c : aText) {
    if (c == '\'') {
      inLiteral = !inLiteral;  // a doubled quote inside a literal toggles twice
    } else if (c == '"' && !inLiteral) {
      c = '\'';
    }
  }
  return aText;
}

// The word after "DROP " of a kind: procedure, function or trigger.
const char* DropWord(const std::string& aKind) {
  if (aKind == "P") return " PROCEDURE ";
  if (aKind == "FN") return " FUNCTION ";
  return " TRIGGER ";
}

const char* ProgressCaption(const std::string& aKind) {
  if (aKind == "P") return "Store procedures";
  if (aKind == "FN") return "Store functions";
  return "Triggers";
}

}  // namespace

std::string Tdm::ProgrammableCreateText(const std::string& aDefinition) const {
  // Adaptive Server Anywhere always reads double quotes as quoted names.
  if (currentDialect_ != nullptr && currentDialect_->DbType == dbtAsa) return aDefinition;
  return ReplaceDoubleQuotesOutsideLiterals(aDefinition);
}

std::string Tdm::ProgrammableCompareText(const std::string& aDefinition) const {
  return StripTrailingCrLf(ReplaceDoubleQuotes(aDefinition));
}

std::string Tdm::ProgrammableCreateText(const std::string& aDefinition, int aQuotedIdentifier,
                                       int& aQueuedSetting) {
  if (aQuotedIdentifier < 0) return ProgrammableCreateText(aDefinition);
  // Whether its double quotes name objects or enclose strings, the text runs as written under
  // the setting it was created with.
  if (aQueuedSetting != aQuotedIdentifier) {
    AddInstruction(aQuotedIdentifier == 1 ? "SET QUOTED_IDENTIFIER ON" : "SET QUOTED_IDENTIFIER OFF", false);
  }
  aQueuedSetting = aQuotedIdentifier;
  return aDefinition;
}

void Tdm::RestoreQuotedIdentifier(int aQueuedSetting) {
  if (aQueuedSetting == 0) AddInstruction("SET QUOTED_IDENTIFIER ON", false);
}

std::string Tdm::OwnedObjectName(const std::string& aSchema, const std::string& aName) const {
  return (aSchema.empty() ? std::string() : QuoteName(aSchema) + ".") + QuoteName(aName);
}

std::map<std::string, std::string> Tdm::ClientTriggerTables() {
  std::map<std::string, std::string> tables;
  if (currentDialect_ == nullptr) return tables;
  std::string sql;
  if (currentDialect_->DbType == dbtSqlServer) {
    sql = "SELECT o.name AS trigger_name, p.name AS table_name FROM sysobjects o "
          "INNER JOIN sysobjects p ON p.id = o.parent_obj WHERE o.xtype = 'TR'";
  } else if (currentDialect_->DbType == dbtAsa) {
    sql = "SELECT g.trigger_name AS trigger_name, t.table_name AS table_name "
          "FROM SYS.SYSTRIGGER g INNER JOIN SYS.SYSTABLE t ON t.table_id = g.table_id "
          "WHERE g.trigger_name IS NOT NULL";
  } else {
    return tables;
  }
  ado::TDataSet query;
  query.SetConnection(&ac);
  query.SetCommandText(sql);
  query.Open();
  for (query.First(); !query.Eof(); query.Next()) {
    tables.emplace(text::Upper(FieldText(query, "trigger_name")), FieldText(query, "table_name"));
  }
  query.Close();
  return tables;
}

bool Tdm::UpdateProgrammables(const std::string& aKind) {
  TOrvDbSchemaUpdater* updater = Updater;
  const std::vector<Programmable> master = ReadProgrammables(qProcedures, aKind);
  const std::vector<Programmable> client = ReadProgrammables(qDestProcedures, aKind);
  const std::map<std::string, size_t> masterIndex = ByName(master);
  const std::map<std::string, size_t> clientIndex = ByName(client);
  const bool created = GetDatabaseCreated();
  std::map<std::string, std::string> triggerTables;
  if (aKind == "TR") triggerTables = ClientTriggerTables();
  const std::string dropWord = std::string("DROP ") + DropWord(aKind);
  int queuedSetting = -1;  // the QUOTED_IDENTIFIER setting queued so far; -1 none

  if (updater != nullptr) {
    updater->ProgressResetLevel1(2);
    updater->ProgressStepLevel1(updater->LanguageOptions().msgUpdating);
    updater->ProgressResetLevel2(static_cast<int>(master.size()));
  }
  for (const Programmable& object : master) {
    if (updater != nullptr) updater->ProgressStepLevel2("Store proc name: " + object.name);
    const std::string definition = currentDialect_->AdaptProcedureDefinition(object.definition);
    const Programmable* existing = created ? nullptr : Find(client, clientIndex, object.name);
    if (existing != nullptr && aKind == "TR") {
      // A trigger of a table dropped or rebuilt in this run went with the table.
      const auto table = triggerTables.find(text::Upper(existing->name));
      if (table != triggerTables.end() && IsTableDropped(table->second)) existing = nullptr;
    }
    if (object.hasEncrypted && object.encrypted != 0) {
      // The master's text cannot be read: nothing can be created from it.
      const bool same = existing != nullptr && existing->hasEncrypted && existing->encrypted != 0;
      if (!same) {
        ReportError(dbcCheckDb, "Encrypted object not carried over: " + object.name,
                    "The master stores the object's text encrypted");
      }
      continue;
    }
    bool changed = false;
    if (existing != nullptr) {
      const bool encryptionDiffers =
          object.hasEncrypted != existing->hasEncrypted ||
          (object.hasEncrypted && object.encrypted != existing->encrypted);
      // An object created with QUOTED_IDENTIFIER on compares as written: a client text whose
      // quoted names were made strings differs.
      const bool textDiffers =
          object.quotedIdentifier == 1
              ? StripTrailingCrLf(definition) != StripTrailingCrLf(existing->definition)
              : ProgrammableCompareText(definition) != ProgrammableCompareText(existing->definition);
      changed = encryptionDiffers || textDiffers ||
                SettingDiffers(object.quotedIdentifier, existing->quotedIdentifier);
      if (!changed) continue;
      AddInstruction(dropWord + OwnedObjectName(existing->schema, existing->name), false);
    }
    AddInstruction(ProgrammableCreateText(definition, object.quotedIdentifier, queuedSetting), false);
  }
  RestoreQuotedIdentifier(queuedSetting);

  if (updater != nullptr) updater->ProgressStepLevel1(updater->LanguageOptions().msgDeleting);
  if (created || !DeleteAllowed("procedures")) return true;
  const bool tablesMayGo = DeleteAllowed("tables");
  for (const Programmable& object : client) {
    if (HasProtectedPrefix(object.name) || Find(master, masterIndex, object.name) != nullptr) continue;
    if (aKind == "TR" && tablesMayGo) {
      const auto table = triggerTables.find(text::Upper(object.name));
      if (table != triggerTables.end() && HasProtectedPrefix(NewTableName(table->second))) continue;
    }
    AddBlockUndoDelete(object.name, ikDropProcedure);
    BeginUndoDeleteBlock();
    AddInstruction(currentDialect_->GetObjectExistsSql(object.name, object.type) + dropWord +
                       OwnedObjectName(object.schema, object.name),
                   false);
    EndUndoDeleteBlock();
  }
  return true;
}

bool Tdm::UpdateProgrammablesPhase(const std::string& aKind) {
  TOrvDbSchemaUpdater* updater = Updater;
  std::string message;
  if (updater != nullptr) {
    const TDbLanguageOptions& texts = updater->LanguageOptions();
    message = aKind == "P" ? texts.msgUpdateStoreProcedures
              : aKind == "FN" ? texts.msgUpdateStoreFunctions
                              : texts.msgUpdateTriggers;
    updater->WriteMessage(message);
    updater->ProgressStepLevel0(ProgressCaption(aKind));
  }
  const bool ok = UpdateProgrammables(aKind);
  if (ok && updater != nullptr) updater->WriteMessage(message + " " + updater->LanguageOptions().msgDone);
  return ok;
}

bool Tdm::UpdateProcedures() { return UpdateProgrammablesPhase("P"); }

bool Tdm::UpdateFunctions() { return UpdateProgrammablesPhase("FN"); }

bool Tdm::UpdateTriggers() { return UpdateProgrammablesPhase("TR"); }

bool Tdm::UpdateViews() {
  TOrvDbSchemaUpdater* updater = Updater;
  if (updater == nullptr) return true;
  const TDbLanguageOptions& texts = updater->LanguageOptions();
  updater->WriteMessage(texts.msgUpdateViews);
  updater->ProgressStepLevel0("VIEWS");

  ado::TDataSet masterSet;
  schema_files::Load(masterSet, vsiViews, updater->DirSchemas);
  ado::TDataSet clientSet;
  clientSet.SetConnection(&ac);
  OpenSchemaOf(vsiViews, ado::Variant(), clientSet);
  const std::vector<Programmable> master = ReadViews(masterSet);
  const std::vector<Programmable> client = ReadViews(clientSet);
  const std::map<std::string, size_t> masterIndex = ByName(master);
  const std::map<std::string, size_t> clientIndex = ByName(client);
  const bool created = GetDatabaseCreated();
  int queuedSetting = -1;

  updater->ProgressResetLevel1(2);
  updater->ProgressStepLevel1(texts.msgUpdating);
  updater->ProgressResetLevel2(static_cast<int>(master.size()));
  for (const Programmable& view : master) {
    updater->ProgressStepLevel2("View name: " + view.name);
    const std::string definition = currentDialect_->AdaptViewDefinition(view.definition);
    const Programmable* existing = created ? nullptr : Find(client, clientIndex, OldTableName(view.name));
    if (existing != nullptr) {
      if (definition == existing->definition &&
          !SettingDiffers(view.quotedIdentifier, existing->quotedIdentifier)) {
        continue;
      }
      AddInstruction("drop view " + OwnedObjectName(existing->schema, existing->name), false);
    }
    AddInstruction(ProgrammableCreateText(definition, view.quotedIdentifier, queuedSetting), false);
  }
  RestoreQuotedIdentifier(queuedSetting);

  updater->ProgressStepLevel1(texts.msgDeleting);
  if (!created && DeleteAllowed("views")) {
    for (const Programmable& view : client) {
      const std::string masterName = NewTableName(view.name);
      if (HasProtectedPrefix(view.name) || Find(master, masterIndex, masterName) != nullptr) continue;
      AddBlockUndoDelete(masterName, ikDropView);
      BeginUndoDeleteBlock();
      AddInstruction("drop view " + OwnedObjectName(view.schema, view.name), false);
      EndUndoDeleteBlock();
    }
  }
  updater->WriteMessage(texts.msgUpdateViews + " " + texts.msgDone);
  return true;
}
