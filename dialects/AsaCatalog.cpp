// Adaptive Server Anywhere dialect: the catalogue readers (queries over the SYS tables and
// views, the corrected INDEXES rowset) and the connection values read from the server.
#include <memory>
#include <vector>

#include "common/Text.h"
#include "dialects/AsaIndexRows.h"
#include "dialects/AsaQueries.h"
#include "dialects/DataSetAccess.h"
#include "dialects/SchemaCriteria.h"
#include "dialects/uDbSpecific.h"
#include "platform/data/DataSet.h"

using namespace asa_queries;
using dialect_data::FieldText;
using dialect_data::FieldValue;

namespace {

constexpr const char* kSystemOwnersOnly =
    "AND (creator = 'SYS' or creator = 'dbo' or creator = 'rs_sys_tabgroup' or creator = "
    "'rs_systabgroup') ";
constexpr const char* kNonSystemOwnersOnly =
    "AND (creator <> 'SYS' and creator <> 'dbo' and creator <> 'rs_sys_tabgroup' and creator "
    "<> 'rs_systabgroup') ";

// The clause of a table-type restriction: system or other owners, then the catalogue's type;
// nothing for a type the catalogue does not have.
std::string TableTypeClause(const std::string& tableType) {
  static constexpr struct {
    const char* type;
    bool system;
    const char* clause;
  } kTypes[] = {{"SYSTEM TABLE", true, " and tabletype = 'TABLE' "},
                {"SYSTEM VIEW", true, " and tabletype = 'VIEW' "},
                {"SYSTEM GBL TEMP", true, " and tabletype = 'GBL TEMP' "},
                {"TABLE", false, " and tabletype = 'TABLE' "},
                {"VIEW", false, " and tabletype = 'VIEW' "},
                {"GBL TEMP", false, " and tabletype = 'GBL TEMP' "}};
  for (const auto& t : kTypes) {
    if (tableType == t.type) {
      return std::string(t.system ? kSystemOwnersOnly : kNonSystemOwnersOnly) + t.clause;
    }
  }
  return {};
}

// The procedures-and-triggers query for the criteria: a type restriction keeps one part.
std::string ProceduresQuery(const ado::Variant& criteria) {
  std::string procedures = kProcedurePart + CriteriaClauses(criteria, {"",
                                                                       " and sup.user_name = ",
                                                                       " and proc_name = "});
  std::string triggers =
      kTriggerPart + CriteriaClauses(criteria, {"", " and owner = ", " and trigName = "});
  if (!HasCriteriaElement(criteria, 3)) return procedures + " UNION " + triggers;
  const std::string type = CriteriaElement(criteria, 3).AsString();
  if (type == "TR") return triggers;
  if (type == "P") return procedures + " and substr(proc_defn, 1, 15) <> 'create function' ";
  return procedures + " and substr(proc_defn, 1, 15) = 'create function' ";
}

// The catalogue's answers for the index correction, read on the rowset's connection.
class CatalogIndexFacts : public IAsaIndexFacts {
 public:
  explicit CatalogIndexFacts(ado::TDataSet& like) : query_(dialect_data::NewDataSetLike(like)) {}
  ~CatalogIndexFacts() override { dialect_data::Close(*query_); }
  CatalogIndexFacts(const CatalogIndexFacts&) = delete;
  CatalogIndexFacts& operator=(const CatalogIndexFacts&) = delete;

  bool PrimaryKeyClustered(const std::string& table) override {
    return HasRow(std::string(kClusterIndexSecondSelect) + " and tab.table_name = " +
                  SqlLiteral(table));
  }
  bool IndexClustered(const std::string& table, const std::string& index) override {
    return HasRow(std::string(kClusterIndexFirstSelect) + " and tab.table_name = " +
                  SqlLiteral(table) + " and idx.index_name = " + SqlLiteral(index));
  }
  std::string IndexColumnNames(const std::string& table, const std::string& index) override {
    dialect_data::OpenQuery(*query_, "select colNames from sys.sysIndexes where  iName = " +
                                         SqlLiteral(index) + " and tName = " + SqlLiteral(table));
    return dialect_data::Eof(*query_) ? std::string() : FieldText(*query_, "colNames");
  }

 private:
  bool HasRow(const std::string& sql) {
    dialect_data::OpenQuery(*query_, sql);
    return !dialect_data::Eof(*query_);
  }
  std::unique_ptr<ado::TDataSet> query_;
};

bool IsSystemIndexOwner(const std::string& owner) {
  return text::SameText(owner, "SYS") || text::SameText(owner, "DBO") ||
         text::SameText(owner, "rs_sysTabGroup");
}

}  // namespace

// ---- Index correction ----

int AsaIndexCollation(const std::string& colNames, const std::string& column) {
  for (const std::string& entry : text::Split(colNames, ',')) {
    const std::string trimmed = text::Trim(entry);
    const size_t blank = trimmed.rfind(' ');
    if (blank == std::string::npos) continue;
    if (!text::SameText(text::TrimRight(std::string_view(trimmed).substr(0, blank)), column))
      continue;
    return text::SameText(std::string_view(trimmed).substr(blank + 1, 3), "ASC") ? 1 : 2;
  }
  return 1;
}

void CorrectAsaIndexRows(ado::TDataSet& source, ado::TDataSet& result, IAsaIndexFacts& facts) {
  const ado::FieldDefs fields = source.FieldDefs();
  dialect_data::CreateEmpty(result, fields);
  const auto at = [&](const char* name) {
    return static_cast<size_t>(result.FieldByName(name).Index());
  };
  const size_t indexName = at("INDEX_NAME");
  const size_t primaryKey = at("PRIMARY_KEY");
  const size_t clusteredField = at("CLUSTERED");
  const size_t collation = at("COLLATION");
  static constexpr std::string_view kPrimaryKeyMark = "(primary key)";

  bool havePrevious = false;
  std::string previousIndex;
  std::string previousTable;
  bool clustered = false;
  std::string colNames;
  for (dialect_data::First(source); !dialect_data::Eof(source); dialect_data::Next(source)) {
    if (IsSystemIndexOwner(FieldText(source, "TABLE_SCHEMA"))) continue;
    ado::Row row;
    for (int i = 0; i < static_cast<int>(fields.size()); ++i)
      row.push_back(dialect_data::FieldValueAt(source, i));
    const std::string table = FieldText(source, "TABLE_NAME");
    const std::string sourceIndex = FieldText(source, "INDEX_NAME");
    const bool newIndex = !havePrevious || sourceIndex != previousIndex || table != previousTable;
    havePrevious = true;
    previousIndex = sourceIndex;
    previousTable = table;

    const size_t mark = sourceIndex.find(kPrimaryKeyMark);
    const bool isKey = mark != std::string::npos;
    const std::string index = isKey ? text::Trim(sourceIndex.substr(0, mark)) : sourceIndex;
    row[indexName] = index;
    row[primaryKey] = isKey;
    if (newIndex) {
      clustered = isKey ? facts.PrimaryKeyClustered(table) : facts.IndexClustered(table, index);
      colNames = facts.IndexColumnNames(table, index);
    }
    row[collation] = AsaIndexCollation(colNames, FieldText(source, "COLUMN_NAME"));
    row[clusteredField] = clustered;
    dialect_data::AppendRow(result, row);
  }
  dialect_data::First(result);
}

// ---- Catalogue readers ----

void TAsaSpecific::OpenCatalogs(const ado::Variant& criteria, const ado::Variant&,
                                ado::TDataSet& dataSet) {
  CheckedCriteria(criteria);
  dialect_data::OpenQuery(dataSet, kCatalogsQuery);
}

void TAsaSpecific::OpenTableConstraints(const ado::Variant& criteria, const ado::Variant&,
                                        ado::TDataSet& dataSet) {
  CheckedCriteria(criteria);  // read whole: the system passes no restrictions
  dialect_data::OpenQuery(dataSet, std::string(kUniqueConstraintsPart) + " UNION " +
                                       kPrimaryKeyConstraintsPart + " UNION " +
                                       kForeignKeyConstraintsPart);
}

void TAsaSpecific::OpenColumns(const ado::Variant& criteria, const ado::Variant&,
                               ado::TDataSet& dataSet) {
  dialect_data::OpenQuery(dataSet, kColumnsQuery + CriteriaClauses(criteria,
                                                                   {" and '' = ",
                                                                    " and user_name(tab.creator) = ",
                                                                    " and tab.table_name = ",
                                                                    " and col.column_name = "}));
}

void TAsaSpecific::OpenTables(const ado::Variant& criteria, const ado::Variant&,
                              ado::TDataSet& dataSet) {
  std::string sql = kTablesQuery + CriteriaClauses(criteria, {" and dbSpaceName = ",
                                                              " and creator = ", " and tName = "});
  if (HasCriteriaElement(criteria, 3)) sql += TableTypeClause(CriteriaElement(criteria, 3).AsString());
  dialect_data::OpenQuery(dataSet, sql);
}

void TAsaSpecific::OpenIndexes(const ado::Variant& criteria, const ado::Variant&,
                               ado::TDataSet& dataSet) {
  std::unique_ptr<ado::TDataSet> source = dialect_data::NewDataSetLike(dataSet);
  dialect_data::OpenOleDbSchema(*source, ado::siIndexes, CheckedCriteria(criteria));
  {
    CatalogIndexFacts facts(dataSet);
    CorrectAsaIndexRows(*source, dataSet, facts);
  }
  dialect_data::Close(*source);
}

void TAsaSpecific::OpenProcedures(const ado::Variant& criteria, const ado::Variant&,
                                  ado::TDataSet& dataSet) {
  dialect_data::OpenQuery(dataSet, ProceduresQuery(CheckedCriteria(criteria)));
}

void TAsaSpecific::OpenDefaultValues(const ado::Variant& criteria, const ado::Variant&,
                                     ado::TDataSet& dataSet) {
  // The server's defaults have no name, so only an empty name matches element 0.
  dialect_data::OpenQuery(dataSet, kDefaultValuesQuery +
                                       CriteriaClauses(criteria, {" and '' = ",
                                                                  " and c1.creator = ",
                                                                  " and c1.tName = ",
                                                                  " and c1.cName = "}));
}

void TAsaSpecific::OpenUsers(const ado::Variant& criteria, const ado::Variant&,
                             ado::TDataSet& dataSet) {
  CheckedCriteria(criteria);
  dialect_data::OpenQuery(dataSet, kUsersQuery);
}

void TAsaSpecific::OpenDbSpaceIndexes(const ado::Variant& criteria, const ado::Variant&,
                                      ado::TDataSet& dataSet) {
  CheckedCriteria(criteria);
  dialect_data::OpenQuery(dataSet, kDbSpaceIndexesQuery);
}

void TAsaSpecific::OpenDbSpaceText(const ado::Variant& criteria, const ado::Variant&,
                                   ado::TDataSet& dataSet) {
  CheckedCriteria(criteria);
  dialect_data::OpenQuery(dataSet, kDbSpaceTextQuery);
}

void TAsaSpecific::OpenDbSpaces(const ado::Variant& criteria, const ado::Variant&,
                                ado::TDataSet& dataSet) {
  CheckedCriteria(criteria);
  dialect_data::OpenQuery(dataSet, kDbSpacesQuery);
}

void TAsaSpecific::OpenClusterIndexes(const ado::Variant& criteria, const ado::Variant&,
                                      ado::TDataSet& dataSet) {
  CheckedCriteria(criteria);
  dialect_data::OpenQuery(dataSet, std::string(kClusterIndexFirstSelect) + " UNION " +
                                       kClusterIndexSecondSelect);
}

// ---- Connection values ----

void TAsaSpecific::GetDatabaseName(ado::TConnection& connection) {
  DatabaseName.clear();
  std::unique_ptr<ado::TDataSet> query = dialect_data::NewDataSetOn(connection);
  dialect_data::OpenQuery(*query, kDatabaseNameQuery);
  if (!dialect_data::Eof(*query)) DatabaseName = FieldText(*query, "database_name");
}

void TAsaSpecific::GetDateFormat(ado::TConnection& connection) {
  DateFormat = "yyyy-mm-dd";
  std::unique_ptr<ado::TDataSet> query = dialect_data::NewDataSetOn(connection);
  dialect_data::OpenQuery(*query, kDateFormatQuery);
  if (!dialect_data::Eof(*query)) DateFormat = FieldText(*query, "dateFormat");
}
