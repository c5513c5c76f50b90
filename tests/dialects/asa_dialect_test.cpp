// The Adaptive Server Anywhere dialect without its server: field values, the statements it
// spells and recognises, the catalogue texts it sends, and the correction of the INDEXES rowset
// on rows built in memory. The catalogue read back from a database comes with the server.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "DialectTestSupport.h"
#include "StatementRecorder.h"
#include "dialects/AsaIndexRows.h"
#include "dialects/DataSetAccess.h"
#include "platform/data/Connection.h"
#include "platform/data/DataSet.h"
#include "platform/data/SchemaRowsets.h"

namespace {

using dialect_test::FreshRecording;
using dialect_test::kRecorderConnection;

TEST(AsaDialect, ConstructorSetsTheServersValues) {
  TAsaSpecific d;
  EXPECT_EQ(d.QuoteOpen, "\"");
  EXPECT_EQ(d.QuoteClose, "\"");
  EXPECT_FALSE(d.DefaultAsConstraint);
  EXPECT_FALSE(d.IdentityOptions->IdentityAddPlain);
  EXPECT_TRUE(d.IdentityOptions->IdentityNullClause);
  EXPECT_FALSE(d.IdentityOptions->WriteIdentitySeed);
  EXPECT_FALSE(d.IdentityOptions->WriteIdentityIncrement);
  EXPECT_FALSE(d.FillNullsOnAlter);
  EXPECT_FALSE(d.CreateKeepsNullable);
  EXPECT_EQ(d.LongTypes.Count(), 0);
  EXPECT_TRUE(d.UseDbSpaces);
  EXPECT_TRUE(d.UseOwners);
  EXPECT_TRUE(d.AutoPrimaryKeyName);
  EXPECT_TRUE(d.GlobalTempTables);
  EXPECT_EQ(d.AlterColumnKeyword, " MODIFY ");
  EXPECT_EQ(d.DropConstraintFormat, " DROP PRIMARY KEY ");
  // Its reserved words; "_", "@", "#" and "$" count as letters, a digit does not begin a name.
  EXPECT_EQ(d.QuoteName("dbspace"), "\"dbspace\"");
  EXPECT_EQ(d.QuoteName("1st"), "\"1st\"");
  EXPECT_EQ(d.QuoteName("$a#b@"), "$a#b@");
  EXPECT_EQ(d.QuoteName("Key"), "\"Key\"");
  EXPECT_EQ(d.QuoteName("order"), "\"order\"");
  EXPECT_EQ(d.QuoteName("my table"), "\"my table\"");
  EXPECT_EQ(d.QuoteName("orders"), "orders");
  EXPECT_EQ(d.ServerKey, "Eng=");
  EXPECT_EQ(d.DatabaseKey, "dbn=");
  EXPECT_EQ(d.GetServerFromConnection("Provider=ASAProv.90;Eng=srv;dbn=shop"), "srv");
  EXPECT_EQ(d.GetDatabaseFromConnection("Provider=ASAProv.90;Eng=srv;dbn=shop"), "shop");
  ASSERT_NE(d.FindDataType("integer", kFindByNativeName), nullptr);
  EXPECT_EQ(d.GetCurrentDateDefault(), "(date)");
  // No identity-insert text and no encryption clause.
  EXPECT_EQ(d.GetIdentityInsertOnSql("dba.T"), "");
  EXPECT_EQ(d.GetIdentityInsertOffSql("dba.T"), "");
  EXPECT_EQ(d.AddEncryption("create procedure p AS begin end"), "create procedure p AS begin end");
  ado::TConnection closed;
  EXPECT_TRUE(d.LoginExists(closed, "x"));
}

TEST(AsaDialect, StatementBuilders) {
  TAsaSpecific d;
  ado::TDataSet unusedRow;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {d.GetRenameTableSql("dba", "T", "T2"), "ALTER TABLE dba.T RENAME T2"},
      {d.GetRenameTableSql("", "order", "my t"), "ALTER TABLE \"order\" RENAME \"my t\""},
      {d.GetRenameColumnSql("dba", "T", "a", "b"), "ALTER TABLE dba.T RENAME a TO b"},
      {d.GetRenameColumnSql("", "T", "my a", "b"), "ALTER TABLE T RENAME \"my a\" TO b"},
      {d.GetRenumberSql("dba", "T", "n"), "update dba.T set n = number(*)"},
      {d.GetRenumberSql("", "T", "n"), "update T set n = number(*)"},
      {d.GetClusterPrimaryKeySql("dba.", "T", true), "ALTER INDEX PRIMARY KEY ON dba.T CLUSTERED"},
      {d.GetClusterPrimaryKeySql("", "my t", false),
       "ALTER INDEX PRIMARY KEY ON \"my t\" NONCLUSTERED"},
      {d.GetConditionalSql(true, "*", "dba.T", "id = 1", "UPDATE dba.T SET a = 'x' WHERE id = 1",
                           "INSERT INTO dba.T (id, a) VALUES (1, 'x')"),
       "IF EXISTS (SELECT * FROM dba.T WHERE id = 1)UPDATE dba.T SET a = 'x' WHERE id = 1"
       " ELSE INSERT INTO dba.T (id, a) VALUES (1, 'x')"},
      {d.GetConditionalSql(false, "id", "T", "id = 1", "INSERT INTO T VALUES (1)", ""),
       "IF NOT EXISTS (SELECT id FROM T WHERE id = 1)INSERT INTO T VALUES (1)"},
      {d.GetObjectExistsSql("p", "P"),
       "IF EXISTS (select proc_name from sys.sysProcedure where proc_name = 'p') "},
      {d.GetObjectExistsSql("f'x", "FN"),
       "IF EXISTS (select proc_name from sys.sysProcedure where proc_name = 'f''x') "},
      {d.GetObjectExistsSql("tr", "TR"),
       "IF EXISTS (select trigName from sys.sysTriggers where trigName = 'tr') "},
      // Regression: the drop-column keyword "DROP " gave "ALTER TABLE dba.TDROP c".
      {"ALTER TABLE dba.T" + d.DropColumnKeyword + "c", "ALTER TABLE dba.T DROP c"},
      {d.GetAddKeyConstraintSql("dba.", "T", "k", true, true, "id"),
       "ALTER TABLE dba.T ADD CONSTRAINT k PRIMARY KEY  CLUSTERED  (id)"},
      {d.GetAddKeyConstraintSql("dba.", "T", "u", false, false, "a"),
       "ALTER TABLE dba.T ADD CONSTRAINT u UNIQUE  NONCLUSTERED  (a)"},
      {d.GetCreateIndexSql("dba.", "T", "ix", true, true, "a, b DESC"),
       "CREATE  UNIQUE  CLUSTERED  INDEX ix ON dba.T (a, b DESC)"},
      {d.GetCreateIndexSql("dba.", "T", "ix", false, true, "a"), "CREATE  CLUSTERED  INDEX ix ON dba.T (a)"},
      {d.GetCreateIndexSql("dba.", "T", "ix", false, false, "a"), "CREATE  INDEX ix ON dba.T (a)"},
      {d.GetDropIndexSql("dba.", "T", "ix"), "DROP INDEX dba.T.ix"},
      {d.GetAlterColumnNullSql(unusedRow, nullptr, "dba.", "T", "v"),
       "ALTER TABLE dba.T MODIFY  v NULL"},
  };
  for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
}

TEST(AsaDialect, RecognisesItsDbSpaceAndUserStatements) {
  struct Case {
    std::string sql;
    bool recognised;
    TInstructionKind kind;
    std::string name;
    std::string second;
  };
  TAsaSpecific d;
  d.SetDbType(dbtAsa);
  d.SetMasterDbType(dbtAsa);
  ado::TConnection closed;
  const std::vector<Case> cases = {
      // Regression: the file of the dialect's own " AS " form was not found (only " AT ").
      {d.GetCreateDbSpaceSql("ds2", ""), true, ikCreateDbSpace, "ds2", "ds2.DB"},
      {"create dbspace ds3 at 'c:\\db\\ds3.db'", true, ikCreateDbSpace, "ds3", "'c:\\db\\ds3.db'"},
      {"CREATE DBSPACE \"my space\" AS \"my space.DB\"", true, ikCreateDbSpace, "\"my space\"",
       "\"my space.DB\""},
      {"CREATE DBSPACE ds4", true, ikCreateDbSpace, "ds4", ""},
      {"DROP DBSPACE ds2 ", true, ikDropDbSpace, "ds2", ""},
      // The password literal, quotes included, in second.
      {d.GetCreateUserSql(closed, "u", "", "p w"), true,
       ikCreateUser, "u", "'p w'"},
      {"GRANT CONNECT TO u2", true, ikCreateUser, "u2", ""},
      {"revoke connect from u2", true, ikDropUser, "u2", ""},
      {"ALTER TABLE dba.T ADD c int", false, ikUnknown, "", ""},
  };
  for (const Case& c : cases) {
    TInstructionKind kind = ikUnknown;
    std::string name;
    std::string second;
    const bool dbSpace = d.IsDbSpaceStatement(c.sql, kind, name, second);
    const bool user = !dbSpace && d.IsUserStatement(c.sql, kind, name, second);
    EXPECT_EQ(dbSpace || user, c.recognised) << c.sql;
    if (!c.recognised) continue;
    EXPECT_EQ(kind, c.kind) << c.sql;
    EXPECT_EQ(name, c.name) << c.sql;
    EXPECT_EQ(second, c.second) << c.sql;
  }
}

// The text the dialect sends for one schema kind and criteria.
std::string SentQuery(TAsaSpecific& d, TOrvSchemaInfo kind, const ado::Variant& criteria) {
  dialect_test::Recording& log = FreshRecording();
  ado::TConnection connection(kRecorderConnection);
  connection.Open();
  ado::TDataSet data;
  data.SetConnection(&connection);
  d.OpenSchema(kind, criteria, ado::Variant(), data);
  return log.statements.empty() ? std::string() : log.statements.back();
}

ado::Variant Criteria(std::vector<ado::Variant> elements) {
  return ado::Variant(ado::VariantArray(std::move(elements)));
}

TEST(AsaDialect, RestrictionsOfTheCatalogueQueries) {
  TAsaSpecific d;
  const ado::Variant none = ado::Variant::Null();
  const std::string tables = SentQuery(d, vsiTables, ado::Variant());
  EXPECT_EQ(tables.rfind("select dbSpaceName as TABLE_DBSPACE", 0), 0u);
  EXPECT_EQ(SentQuery(d, vsiTables, Criteria({"ds", "dba", "T"})),
            tables + " and dbSpaceName = 'ds' and creator = 'dba' and tName = 'T'");
  EXPECT_EQ(SentQuery(d, vsiTables, Criteria({none, none, none, "GBL TEMP"})),
            tables + "AND (creator <> 'SYS' and creator <> 'dbo' and creator <> "
                     "'rs_sys_tabgroup' and creator <> 'rs_systabgroup')  and tabletype = "
                     "'GBL TEMP' ");
  EXPECT_EQ(SentQuery(d, vsiTables, Criteria({none, none, none, "SYSTEM TABLE"})),
            tables + "AND (creator = 'SYS' or creator = 'dbo' or creator = 'rs_sys_tabgroup' "
                     "or creator = 'rs_systabgroup')  and tabletype = 'TABLE' ");
  EXPECT_EQ(SentQuery(d, vsiTables, Criteria({none, none, none, "ALIAS"})), tables);

  // Procedures and triggers: an owner restricts both parts; a type keeps one part, no UNION.
  const std::string both = SentQuery(d, vsiProcedures, Criteria({none, "dba", "p"}));
  EXPECT_NE(both.find("(sup.user_name <> 'rs_systabgroup')  and sup.user_name = 'dba' and "
                      "proc_name = 'p' UNION select '' AS PROCEDURE_CATALOG,  owner AS"),
            std::string::npos);
  EXPECT_NE(both.find("(owner <> 'rs_systabgroup')  and owner = 'dba' and trigName = 'p'"),
            std::string::npos);
  const struct {
    const char* type;
    const char* start;
    const char* end;
  } types[] = {{"TR", "select '' AS PROCEDURE_CATALOG,  owner AS", "and (owner <> 'rs_systabgroup') "},
               {"P", "select '' AS PROCEDURE_CATALOG,  sup.user_name",
                " and substr(proc_defn, 1, 15) <> 'create function' "},
               {"FN", "select '' AS PROCEDURE_CATALOG,  sup.user_name",
                " and substr(proc_defn, 1, 15) = 'create function' "}};
  for (const auto& t : types) {
    const std::string sql = SentQuery(d, vsiProcedures, Criteria({none, none, none, t.type}));
    EXPECT_EQ(sql.find(" UNION "), std::string::npos) << t.type;
    EXPECT_EQ(sql.rfind(t.start, 0), 0u) << t.type;
    EXPECT_TRUE(text::EndsWithText(sql, t.end)) << t.type << ": " << sql;
  }

  EXPECT_TRUE(text::EndsWithText(SentQuery(d, vsiDefaultValues, Criteria({"", "dba", "T", "c"})),
                                 "is not null and '' = '' and c1.creator = 'dba' and c1.tName = "
                                 "'T' and c1.cName = 'c'"));
  EXPECT_TRUE(text::EndsWithText(SentQuery(d, vsiColumns, Criteria({none, "dba", "T"})),
                                 "col.column_type = 'R'  and user_name(tab.creator) = 'dba' and "
                                 "tab.table_name = 'T'"));
  EXPECT_EQ(SentQuery(d, vsiCatalogs, ado::Variant()),
            "SELECT  '' AS CATALOG_NAME,  '' AS DESCRIPTION ");
  EXPECT_EQ(SentQuery(d, vsiDbSpaceText, ado::Variant()),
            "SELECT  '' AS TEXT_DBSPACE,  '' as TABLE_SCHEMA,  ''  as TABLE_NAME ");
  const std::string constraints = SentQuery(d, vsiTableConstraints, ado::Variant());
  // "U" marks a unique constraint's index ("Y" a unique index, which is no constraint).
  EXPECT_NE(constraints.find("where idx.\"unique\" = 'U'  UNION  select distinct db_name()"),
            std::string::npos);
  EXPECT_NE(constraints.find("where col.pkey = 'Y'  UNION  select db_name()"), std::string::npos);
  EXPECT_NE(SentQuery(d, vsiClusterIndexes, ado::Variant())
                .find("where object_type = 'T'  UNION  select '' AS TABLE_CATALOG"),
            std::string::npos);
}

TEST(AsaDialect, ConnectionValues) {
  TAsaSpecific d;
  dialect_test::Recording& log = FreshRecording();
  ado::TConnection connection(kRecorderConnection);
  connection.Open();
  d.DateFormat = "mdy";
  d.GetDateFormat(connection);  // no row: the server's default order
  EXPECT_EQ(d.DateFormat, "yyyy-mm-dd");
  EXPECT_EQ(log.statements.back(), "select CONNECTION_PROPERTY ('date_format') as dateFormat");
  log.answer = {{{"dateFormat", ado::FieldType::ftString, 30}}, {{ado::Variant("DD/MM/YYYY")}}};
  d.GetDateFormat(connection);
  EXPECT_EQ(d.DateFormat, "DD/MM/YYYY");

  d.DatabaseName = "old";
  log.answer = {{{"database_name", ado::FieldType::ftString, 30}}, {}};
  d.GetDatabaseName(connection);  // no row: the name is emptied
  EXPECT_EQ(d.DatabaseName, "");
  log.answer.Rows = {{ado::Variant("shop")}};
  d.GetDatabaseName(connection);
  EXPECT_EQ(d.DatabaseName, "shop");
  EXPECT_EQ(log.statements.back(), "select db_name() as database_name");
}

// ---- The INDEXES rowset corrected row by row ----

class ScriptedFacts : public IAsaIndexFacts {
 public:
  std::map<std::string, bool> clustered;          // table or table.index
  std::map<std::string, std::string> columnNames;  // table.index
  int reads = 0;
  bool PrimaryKeyClustered(const std::string& table) override { return clustered[table]; }
  bool IndexClustered(const std::string& table, const std::string& index) override {
    return clustered[table + "." + index];
  }
  std::string IndexColumnNames(const std::string& table, const std::string& index) override {
    ++reads;
    return columnNames[table + "." + index];
  }
};

TEST(AsaDialect, CollationReadsTheWholeEntryOfTheColumn) {
  const struct {
    const char* colNames;
    const char* column;
    int collation;
  } cases[] = {
      // Regression: id was found inside "order_id ASC" and read ASC.
      {"order_id ASC,id DESC", "id", 2},
      {"order_id DESC,id ASC", "id", 1},
      {"a ASC,b DESC", "B", 2},
      {"a ASC,b DESC", "a", 1},
      {"my col DESC", "my col", 2},
      {"a DESC", "zz", 1},
      {"", "a", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AsaIndexCollation(c.colNames, c.column), c.collation) << c.colNames << " " << c.column;
  }
}

TEST(AsaDialect, IndexRowsSkipSystemOwnersAndTakeKeyClusterAndOrderFromTheCatalogue) {
  ado::TDataSet source;
  dialect_data::CreateEmpty(source, ado::SchemaRowsetColumns(ado::siIndexes));
  const auto add = [&](const char* owner, const char* table, const char* index,
                       const char* column) {
    source.Append();
    source.FieldByName("TABLE_SCHEMA").SetValue(owner);
    source.FieldByName("TABLE_NAME").SetValue(table);
    source.FieldByName("INDEX_NAME").SetValue(index);
    source.FieldByName("COLUMN_NAME").SetValue(column);
    source.FieldByName("UNIQUE").SetValue(true);
    source.Post();
  };
  add("SYS", "SYSTABLE", "SYSTABLE (primary key)", "table_id");
  add("dbo", "x", "ix", "a");
  add("RS_SYSTABGROUP", "y", "ix", "a");
  add("dba", "orders", "orders (primary key)", "id");
  add("dba", "orders", "ix_a", "order_id");
  add("dba", "orders", "ix_a", "id");
  add("dba", "orders", "ix_b", "id");

  ScriptedFacts facts;
  facts.clustered = {{"orders", true}, {"orders.ix_b", true}};
  facts.columnNames = {{"orders.ix_a", "order_id ASC,id DESC"}, {"orders.ix_b", "id ASC"}};
  ado::TDataSet result;
  CorrectAsaIndexRows(source, result, facts);

  ASSERT_EQ(result.FieldCount(), source.FieldCount());
  const struct {
    const char* index;
    const char* column;
    bool primaryKey;
    bool clustered;
    int collation;
  } expected[] = {{"orders", "id", true, true, 1},
                  {"ix_a", "order_id", false, false, 1},
                  {"ix_a", "id", false, false, 2},
                  {"ix_b", "id", false, true, 1}};
  ASSERT_EQ(result.RecordCount(), 4);
  result.First();
  for (const auto& e : expected) {
    EXPECT_EQ(result.FieldByName("INDEX_NAME").AsString(), e.index);
    EXPECT_EQ(result.FieldByName("COLUMN_NAME").AsString(), e.column);
    EXPECT_EQ(result.FieldByName("PRIMARY_KEY").AsBoolean(), e.primaryKey) << e.index;
    EXPECT_EQ(result.FieldByName("CLUSTERED").AsBoolean(), e.clustered) << e.index;
    EXPECT_EQ(result.FieldByName("COLLATION").AsInteger(), e.collation) << e.index << e.column;
    EXPECT_TRUE(result.FieldByName("UNIQUE").AsBoolean());
    result.Next();
  }
  EXPECT_EQ(facts.reads, 3);  // once per index
}

}  // namespace
