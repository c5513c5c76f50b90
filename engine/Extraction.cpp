// Schema extraction, the producer side of the engine: the directives file
// DirectivesFromProducer.xml and its reader, one schema file per schema kind, and one data file per
// table of the producer's copy list, ordered by the foreign keys just read.
#include <ctime>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/Paths.h"
#include "common/Text.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/EngineError.h"
#include "engine/EngineRun.h"
#include "engine/uDm.h"
#include "platform/xml/XmlDocument.h"

namespace {

using engine_run::RequireDialect;
using engine_run::RequireProducer;

namespace fs = std::filesystem;

constexpr std::string_view kDirectivesFile = "DirectivesFromProducer.xml";
constexpr std::string_view kDataFilePrefix = "CPFP_";
constexpr std::string_view kDefaultDirSchemas = ".\\schemas";
constexpr int kExtractionSteps = 16;

// The date of the extraction in the machine's short date form.
std::string ShortDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[64] = {};
  const size_t size = std::strftime(buffer, sizeof buffer, "%x", &local);
  return std::string(buffer, size);
}

// A kind the dialect leaves closed (Access has no default-value or clustered-index rowset) is
// written empty with the kind's columns, so that every schema file exists and loads.
ado::FieldDefs ClosedKindFields(TOrvSchemaInfo kind) {
  using ado::FieldType;
  if (kind == vsiDefaultValues) {
    return {{"CONSTRAINT_NAME", FieldType::ftString, 128}, {"ID", FieldType::ftInteger},
            {"TABLE_SCHEMA", FieldType::ftString, 128},    {"TABLE_NAME", FieldType::ftString, 128},
            {"COLUMN_NAME", FieldType::ftString, 128},     {"COLUMN_TYPE_NAME", FieldType::ftString, 128},
            {"TEXT", FieldType::ftMemo}};
  }
  if (kind == vsiClusterIndexes) {
    ado::FieldDefs fields;
    for (const char* name : {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "INDEX_CATALOG",
                             "INDEX_SCHEMA", "INDEX_NAME"}) {
      fields.push_back({name, FieldType::ftString, 50});
    }
    return fields;
  }
  throw EEngineError("No schema information of kind " + EnumName(kind));
}

void OpenClosedKindEmpty(TOrvSchemaInfo kind, ado::TDataSet& dataSet) {
  dataSet.Close();
  dataSet.SetConnection(nullptr);
  dataSet.FieldDefs() = ClosedKindFields(kind);
  dataSet.CreateDataSet();
}

// Writes the document to a temporary file beside `nativeName` that replaces it once whole.
void SaveDocument(const pugi::xml_document& doc, const std::string& nativeName,
                  const std::string& fileName) {
  const std::string temporary = nativeName + ".tmp";
  std::error_code ec;
  if (!doc.save_file(temporary.c_str(), "  ")) {
    fs::remove(temporary, ec);
    throw EEngineError("Unable to write file " + fileName);
  }
  fs::rename(temporary, nativeName, ec);
  if (ec) {
    fs::remove(temporary, ec);
    throw EEngineError("Unable to write file " + fileName);
  }
}

// A table name that would lead the data file out of the schema folder.
bool LeavesFolder(const std::string& table) {
  return table.find('/') != std::string::npos || table.find('\\') != std::string::npos ||
         table.find("..") != std::string::npos;
}

const TCopyDataElem* FindCopyItem(const TCopyData& copyData, const std::string& table) {
  for (int i = 0; i < copyData.Count(); ++i) {
    if (copyData.Items(i).TableName == table) return &copyData.Items(i);
  }
  return nullptr;
}

struct LessText {
  bool operator()(const std::string& a, const std::string& b) const {
    return text::CompareText(a, b) < 0;
  }
};

// Each table's related tables (its parents, or its children) by the rows of the foreign-key set.
std::map<std::string, std::set<std::string, LessText>, LessText> RelatedTables(
    ado::TDataSet& foreignKeys, Tdm::TFkOrder direction) {
  std::map<std::string, std::set<std::string, LessText>, LessText> related;
  if (!foreignKeys.Active()) return related;
  const bool parentsFirst = direction == Tdm::fkoParentsFirst;
  const std::string filterColumn = parentsFirst ? "FK_TABLE_NAME" : "PK_TABLE_NAME";
  const std::string relatedColumn = parentsFirst ? "PK_TABLE_NAME" : "FK_TABLE_NAME";
  const ado::TField& filterField = foreignKeys.FieldByName(filterColumn);
  const ado::TField& relatedField = foreignKeys.FieldByName(relatedColumn);
  for (foreignKeys.First(); !foreignKeys.Eof(); foreignKeys.Next()) {
    related[filterField.AsString()].insert(relatedField.AsString());
  }
  return related;
}

}  // namespace

bool Tdm::ExtractSchema() {
  TOrvDbSchemaProducer& producer = RequireProducer(Producer, "extraction");
  TDatabaseSpecific& dialect = RequireDialect(currentDialect_, "extraction");
  const TDbLanguageOptions& texts = producer.LanguageOptions();
  aq.DisableControls();
  struct ControlsEnabler {
    ado::TDataSet& dataSet;
    ~ControlsEnabler() { dataSet.EnableControls(); }
  } enabler{aq};

  producer.ProgressBeginExtractSchemas(kExtractionSteps);
  producer.ProgressStepExtractTable("Parameters");
  SaveParameters();
  for (int k = 0; k < EnumCount<TOrvSchemaInfo>(); ++k) {
    const auto kind = static_cast<TOrvSchemaInfo>(k);
    const std::string name = EnumName(kind);
    producer.WriteMessage(DbFormat(texts.msgBeforeExtractSchema, {name}));
    aq.SetConnection(&ac);
    dialect.OpenSchema(kind, ado::Variant(), ado::Variant(), aq);
    if (!aq.Active()) OpenClosedKindEmpty(kind, aq);
    aq.SaveToFile(paths::ResolveFolder(Tdm::SchemaFolderFile(producer.DirSchemas, name + ".xml")),
                  ado::pfXML);
    // The copy list is ordered by the foreign keys of this very source.
    if (kind == vsiForeignKeys) qForeignKeys.Clone(aq);
    producer.WriteMessage(DbFormat(texts.msgAfterExtractSchema, {name}));
    producer.ProgressStepExtractTable(name);
  }
  aq.Close();
  aq.SetConnection(&ac);
  producer.ProgressStepExtractTable("Copy data");
  const bool result = CopyData();
  if (result) producer.WriteMessage("ExtractSchema " + texts.msgDone);
  return result;
}

void Tdm::SaveParameters() {
  TOrvDbSchemaProducer& producer = RequireProducer(Producer, "extraction");
  TDatabaseSpecific& dialect = RequireDialect(currentDialect_, "extraction");
  const std::string fileName = Tdm::SchemaFolderFile(producer.DirSchemas, std::string(kDirectivesFile));
  const std::string nativeName = paths::ResolveFolder(fileName);
  std::error_code ec;
  if (fs::exists(fs::symlink_status(nativeName, ec))) {
    if (!fs::remove(nativeName, ec) || ec) throw EEngineError("Unable to overwrite file " + fileName);
  }
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("Root");
  root.append_child("Date").text().set(ShortDate().c_str());
  root.append_child("DbType").text().set(EnumName(dialect.DbType).c_str());
  root.append_child("DefaultAsConstraint").text().set(dialect.DefaultAsConstraint ? "YES" : "NO");
  root.append_child("AutoPrimaryKeyName").text().set(dialect.AutoPrimaryKeyName ? "YES" : "NO");
  producer.WriteProducerSettings(root);
  producer.UpdaterDirectives().SaveToXml(root);
  SaveDocument(doc, nativeName, fileName);
  producer.WriteMessage(producer.LanguageOptions().msgAfterExtractParameters);
}

void Tdm::LoadParameters() {
  const std::string folder = Updater != nullptr ? Updater->DirSchemas : std::string(kDefaultDirSchemas);
  const std::string fileName = Tdm::SchemaFolderFile(folder, std::string(kDirectivesFile));
  const std::string nativeName = paths::ResolveFolder(fileName);
  std::error_code ec;
  if (!fs::is_regular_file(nativeName, ec)) {
    throw EEngineError("Unable to load Settings: file " + fileName + " does not exists");
  }
  pugi::xml_document doc;
  try {
    xmldoc::LoadFile(doc, nativeName);
  } catch (const xmldoc::EXmlError& e) {
    throw EEngineError(std::string(e.what()) + " (" + fileName + ")");
  }
  const pugi::xml_node root = doc.child("Root");
  if (!root) throw EEngineError("Unable to load Settings: file " + fileName + " has no Root element");
  const std::string dbTypeText = text::Trim(root.child("DbType").text().as_string());
  std::optional<TDbType> masterDbType;
  if (!dbTypeText.empty()) {
    masterDbType = EnumFromName<TDbType>(dbTypeText);
    if (!masterDbType) {
      throw EEngineError("Unable to load Settings: file " + fileName + " names an unknown DbType " +
                         dbTypeText);
    }
  }
  if (masterDbType && currentDialect_ != nullptr) currentDialect_->SetMasterDbType(*masterDbType);
  defaultAsConstraint_ = text::SameText(text::Trim(root.child("DefaultAsConstraint").text().as_string()), "YES");
  autoPrimaryKeyName_ = text::SameText(text::Trim(root.child("AutoPrimaryKeyName").text().as_string()), "YES");
  if (Producer != nullptr) {
    Producer->ReadProducerSettings(root);
    Producer->UpdaterDirectives().LoadFromXml(root);
  }
}

bool Tdm::CopyData() {
  TOrvDbSchemaProducer& producer = RequireProducer(Producer, "extraction");
  TDatabaseSpecific& dialect = RequireDialect(currentDialect_, "extraction");
  const TDbLanguageOptions& texts = producer.LanguageOptions();
  std::vector<std::string> tables;
  for (int i = 0; i < producer.CopyData.Count(); ++i) tables.push_back(producer.CopyData.Items(i).TableName);
  std::vector<std::string> ordered;
  OrderByForeignKeys(tables, fkoParentsFirst, ordered);
  producer.ProgressSetLevel1Max(producer.CopyData.Count());
  auto scratch = std::make_unique<ado::TDataSet>();
  scratch->SetConnection(&ac);

  // A failed table is reported and stops the copy; the files written before it stay.
  const auto fail = [&](const std::string& table, const std::string& message,
                        const std::string& statement) {
    producer.ReportError(dbcExtractSchema, DbFormat(texts.ErrDataExtraction, {table}), message, 0,
                         statement, false);
    return false;
  };
  for (const std::string& table : ordered) {
    producer.ProgressStepExtractDetail("Table name: " + table);
    producer.WriteMessage(DbFormat(texts.msgBeforeExtractData, {table}));
    const TCopyDataElem* item = FindCopyItem(producer.CopyData, table);
    if (item == nullptr) {
      producer.ReportError(dbcExtractSchema, "Unable to find table " + table + " in the copy table list",
                           "", 0, "", false);
      continue;
    }
    if (LeavesFolder(table)) {
      return fail(table, "Table name " + table + " cannot name a data file in the schema folder", "");
    }
    std::string statement;
    try {
      dialect.OpenSchema(vsiTables,
                         ado::Variant(ado::VariantArray{ado::Variant::Null(), ado::Variant::Null(),
                                                        ado::Variant(table), ado::Variant::Null()}),
                         ado::Variant(), *scratch);
      if (!scratch->Active() || scratch->IsEmpty()) {
        scratch->Close();
        return fail(table, "Table " + table + " does not exists!", "");
      }
      const std::string schema = text::Trim(scratch->FieldByName("table_schema").AsString());
      statement = "select * from " + (schema.empty() ? std::string() : dialect.QuoteName(schema) + ".") +
                  dialect.QuoteName(table) +
                  (item->condition.empty() ? std::string() : " where " + item->condition);
      scratch->Close();
      scratch->SetCommandText(statement);
      scratch->Open();
      scratch->SaveToFile(paths::ResolveFolder(Tdm::SchemaFolderFile(
                              producer.DirSchemas, std::string(kDataFilePrefix) + table + ".xml")),
                          ado::pfXML);
      scratch->Close();
    } catch (const std::exception& e) {
      scratch->Close();
      return fail(table, e.what(), statement);
    }
    producer.WriteMessage(DbFormat(texts.msgAfterExtractData, {table}));
  }
  return true;
}

void Tdm::OrderByForeignKeys(const std::vector<std::string>& aSource, TFkOrder aDirection,
                             std::vector<std::string>& aResult) {
  if (aSource.empty()) return;
  aResult.clear();
  const auto related = RelatedTables(qForeignKeys, aDirection);
  const std::set<std::string, LessText> listed(aSource.begin(), aSource.end());
  std::set<std::string, LessText> placed;
  std::vector<bool> done(aSource.size(), false);
  const auto met = [&](const std::string& table) {
    const auto found = related.find(table);
    if (found == related.end()) return true;
    for (const std::string& other : found->second) {
      if (text::SameText(other, table) || !listed.contains(other) || placed.contains(other)) continue;
      return false;
    }
    return true;
  };
  size_t remaining = aSource.size();
  while (remaining > 0) {
    bool progressed = false;
    for (size_t i = 0; i < aSource.size(); ++i) {
      if (done[i]) continue;
      // A name listed twice is placed once.
      if (placed.contains(aSource[i]) || met(aSource[i])) {
        if (!placed.contains(aSource[i])) aResult.push_back(aSource[i]);
        placed.insert(aSource[i]);
        done[i] = true;
        --remaining;
        progressed = true;
      }
    }
    if (progressed) continue;
    // A cycle among the listed tables: what is left follows in list order.
    for (size_t i = 0; i < aSource.size(); ++i) {
      if (done[i]) continue;
      if (!placed.contains(aSource[i])) aResult.push_back(aSource[i]);
      placed.insert(aSource[i]);
      done[i] = true;
    }
    remaining = 0;
  }
}
