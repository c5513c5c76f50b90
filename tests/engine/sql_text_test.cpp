// The engine's SQL text routines: literals read back unchanged by the embedded SQL Server under
// every date order, default texts, rename lookups, owner and db-space clauses with the creations
// they prepend, column definitions, and the table rebuild that keeps every row.
#include <gtest/gtest.h>

#include <algorithm>
#include <locale>
#include <string>
#include <vector>

#include "../dialects/SqlServerTestDatabase.h"
#include "platform/data/Provider.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/uDm.h"

class TdmStateProbe {
 public:
  static std::vector<std::string>& IdentityChanged(Tdm& dm) { return dm.identityChanged_; }
  static std::vector<std::string>& DroppedTables(Tdm& dm) { return dm.droppedTables_; }
};

namespace {

using ado::FieldType;
using ado::Variant;

void BuildDatabase(const std::string& name, const std::vector<std::string>& script) {
  TSqlServerSpecific dialect;
  auto connection = dialect_test::CreateAndConnect(dialect, name);
  dialect_test::RunScript(*connection, script);
}

// An engine connected to a database of the embedded SQL Server, SQL Server also the master kind,
// with a producer for the rename lists and the directives.
struct Engine {
  TOrvDbSchemaProducer producer;
  Tdm dm;
  explicit Engine(const std::string& database, const std::string& login = {})
      : Engine(dialect_test::ConnectionStringFor(database) +
                   (login.empty() ? std::string() : ";User ID=" + login + ";Password=Geheim7"),
               dbtSqlServer) {}
  Engine(const std::string& connectionString, TDbType master) {
    EXPECT_TRUE(dm.SetConnectionString(connectionString, false));
    dm.SetConnected(true);
    dm.CurrentDialect()->SetMasterDbType(master);
    dm.Producer = &producer;
    dm.RestartInstructionList();
  }
  // Runs the instruction list in id order, as an update does.
  void RunList() {
    std::vector<std::pair<int64_t, std::string>> list;
    for (dm.qInstructions.First(); !dm.qInstructions.Eof(); dm.qInstructions.Next()) {
      list.emplace_back(dm.qInstructions.FieldByName("id").AsInteger(),
                        dm.qInstructions.FieldByName("instruction").AsString());
    }
    std::sort(list.begin(), list.end());
    for (const auto& [id, sql] : list) {
      try {
        dm.ac.Execute(sql);
      } catch (const std::exception& e) {
        ADD_FAILURE() << "instruction " << id << " failed: " << sql << "\n  " << e.what();
      }
    }
    dm.RestartInstructionList();
  }
  std::vector<std::string> Instructions() {
    return dialect_test::Column(dm.qInstructions, "instruction");
  }
  void Query(ado::TDataSet& ds, const std::string& sql) {
    ds.SetConnection(&dm.ac);
    ds.SetCommandText(sql);
    ds.Open();
  }
  // The client column rows of one table, in column order.
  void ClientColumns(ado::TDataSet& ds, const std::string& table) {
    dm.OpenSchemaOf(vsiColumns, Variant(ado::VariantArray{Variant(), Variant(), table}), ds);
  }
};

struct LiteralColumn {
  const char* definition;
  FieldType type;
  std::vector<Variant> values;  // one per row
};

std::vector<LiteralColumn> LiteralColumns() {
  using ado::Bytes;
  using ado::Currency;
  using ado::EncodeDateTime;
  const Variant null = Variant::Null();
  return {
      {"vc varchar(20)", FieldType::ftString, {"O'Brien", "", null}},
      {"ch char(3)", FieldType::ftString, {"abc", "d'e", null}},
      {"nvc nvarchar(20)", FieldType::ftString, {"\xC3\x9Cn'i", "", null}},
      {"nch nchar(2)", FieldType::ftString, {"\xC3\xA4" "b", null, "zz"}},
      {"tx text", FieldType::ftMemo, {"long 'text'", "", null}},
      {"ntx ntext", FieldType::ftMemo, {"n \xC3\xB6", null, ""}},
      {"ti tinyint", FieldType::ftByte, {255, 0, null}},
      {"si smallint", FieldType::ftSmallint, {-32768, 32767, null}},
      {"i int", FieldType::ftInteger, {-2147483647LL - 1, 0, null}},
      {"bi bigint", FieldType::ftLargeint, {9223372036854775807LL, -1, null}},
      {"bt bit", FieldType::ftBoolean, {true, false, null}},
      {"dc decimal(18,4)", FieldType::ftBCD, {3.5, -12345.6789, null}},
      {"nm numeric(10,2)", FieldType::ftBCD, {0.01, null, 99999999.99}},
      {"rl real", FieldType::ftFloat, {static_cast<double>(0.1f), -3.4e38f * 1.0, null}},
      {"fl float", FieldType::ftFloat, {1e-300, 0.1, null}},
      {"mn money", FieldType::ftCurrency, {Currency{-2147483648LL}, Currency{123456}, null}},
      {"sm smallmoney", FieldType::ftCurrency, {Currency{2147483647LL}, Currency{-15000}, null}},
      {"dt datetime", FieldType::ftDateTime,
       {EncodeDateTime(1850, 6, 15, 13, 45, 59, 997), EncodeDateTime(2024, 2, 29),
        EncodeDateTime(2000, 12, 31, 0, 0, 0, 3)}},
      {"sdt smalldatetime", FieldType::ftDateTime,
       {EncodeDateTime(1900, 1, 1), EncodeDateTime(2079, 6, 6, 23, 59), null}},
      {"uid uniqueidentifier", FieldType::ftGuid,
       {"{6F9619FF-8B86-D011-B42D-00C04FC964FF}", null, "{00000000-0000-0000-0000-000000000000}"}},
      {"bin binary(4)", FieldType::ftBytes, {Bytes{0, 1, 0, 255}, Bytes{0, 0, 0, 0}, null}},
      {"vb varbinary(10)", FieldType::ftBytes, {Bytes{0, 0}, Bytes{}, null}},
      {"img image", FieldType::ftBlob, {Bytes{0, 'a', 0}, null, Bytes{1}}},
      {"sv sql_variant", FieldType::ftString, {"v'ar", null, ""}},
  };
}

std::string ColumnName(const LiteralColumn& c) {
  const std::string d = c.definition;
  return d.substr(0, d.find(' '));
}

// The value as the test compares it: dates to the millisecond, GUIDs without braces in upper
// case, everything else by the data layer's loose comparison.
void ExpectStored(const Variant& expected, const ado::TField& stored, FieldType type) {
  SCOPED_TRACE(stored.FieldName());
  if (expected.IsNullOrEmpty()) {
    EXPECT_TRUE(stored.IsNull()) << stored.AsString();
    return;
  }
  ASSERT_FALSE(stored.IsNull());
  switch (type) {
    case FieldType::ftDateTime: {
      int y1, m1, d1, h1, n1, s1, z1, y2, m2, d2, h2, n2, s2, z2;
      ado::DecodeDateTime(expected.AsDateTime(), y1, m1, d1, h1, n1, s1, z1);
      ado::DecodeDateTime(stored.AsDateTime(), y2, m2, d2, h2, n2, s2, z2);
      EXPECT_EQ(std::vector<int>({y1, m1, d1, h1, n1, s1, z1}),
                std::vector<int>({y2, m2, d2, h2, n2, s2, z2}));
      break;
    }
    case FieldType::ftGuid: {
      std::string a = text::Upper(expected.AsString()), b = text::Upper(stored.AsString());
      for (std::string* s : {&a, &b}) {
        s->erase(std::remove_if(s->begin(), s->end(), [](char c) { return c == '{' || c == '}'; }),
                 s->end());
      }
      EXPECT_EQ(a, b);
      break;
    }
    case FieldType::ftBytes:
    case FieldType::ftBlob: EXPECT_EQ(expected.AsBytes(), stored.Value().AsBytes()); break;
    case FieldType::ftFloat: EXPECT_EQ(expected.AsFloat(), stored.AsFloat()); break;
    default: EXPECT_TRUE(Tdm::sameValue(expected, stored.Value())) << stored.AsString(); break;
  }
}

// A decimal comma in the program's global locale must not reach the literals.
struct CommaPunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

}  // namespace

TEST(SqlTextLiterals, EveryTypeReadsBackUnderEveryDateOrder) {
  const std::vector<LiteralColumn> columns = LiteralColumns();
  std::string create = "create table L (k int not null primary key";
  for (const LiteralColumn& c : columns) create += ", " + std::string(c.definition) + " null";
  BuildDatabase("literals", {create + ")", "exec sp_addlogin 'hans', 'Geheim7', 'literals', 'Deutsch'",
                             "exec sp_grantdbaccess 'hans'"});
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));

  // Login language mdy, login language dmy, SET DATEFORMAT ymd, and a pattern of our own.
  struct Order { const char* login; const char* set; const char* dateFormat; };
  int key = 0;
  for (const Order& order : {Order{"", "", "mdy"}, Order{"hans", "", "dmy"},
                             Order{"", "set dateformat ymd", "ymd"},
                             Order{"", "", "yyyymmdd"}}) {
    SCOPED_TRACE(order.dateFormat);
    Engine engine("literals", order.login);
    if (*order.set != '\0') engine.dm.ac.Execute(order.set);
    engine.dm.CurrentDialect()->DateFormat = order.dateFormat;
    ado::TDataSet source;
    source.FieldDefs() = {{"k", FieldType::ftInteger}};
    for (const LiteralColumn& c : columns) source.FieldDefs().push_back({ColumnName(c), c.type});
    source.CreateDataSet();
    for (size_t row = 0; row < 3; ++row) {
      source.Append();
      source.FieldByName("k").SetAsInteger(++key);
      for (const LiteralColumn& c : columns) source.FieldByName(ColumnName(c)).SetValue(c.values[row]);
      source.Post();
      std::vector<std::string> names, values;
      for (int f = 0; f < source.FieldCount(); ++f) {
        names.push_back(source.Fields(f).FieldName());
        values.push_back(engine.dm.FieldToSql(source.Fields(f)));
      }
      const std::string insert = "INSERT INTO L (" + text::Join(names, ", ") + ") VALUES (" +
                                 text::Join(values, ", ") + ")";
      ASSERT_NO_THROW(engine.dm.ac.Execute(insert)) << insert;
      ado::TDataSet stored;
      engine.Query(stored, "select * from L where k = " + std::to_string(key));
      ASSERT_EQ(stored.RecordCount(), 1);
      for (const LiteralColumn& c : columns) {
        ExpectStored(c.values[row], stored.FieldByName(ColumnName(c)), c.type);
      }
    }
  }
  std::locale::global(previous);
}

TEST(SqlTextLiterals, TextsOfEachType) {
  Tdm dm;
  EXPECT_EQ(dm.VariantToSql(Variant::Null(), FieldType::ftString), "null");
  EXPECT_EQ(dm.VariantToSql("O'Brien", FieldType::ftString), "'O''Brien'");
  EXPECT_EQ(dm.VariantToSql("3,5", FieldType::ftFloat), "3.5");
  EXPECT_EQ(dm.VariantToSql(0.1, FieldType::ftFloat), "0.1");
  EXPECT_EQ(dm.VariantToSql(ado::Currency{-15}, FieldType::ftCurrency), "-0.0015");
  // Regression: binary values gave an empty literal ("VALUES (1, , 2)") on every server.
  ASSERT_TRUE(dm.SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb", false));
  dm.SelectDbSpecific();
  try {
    dm.VariantToSql(ado::Bytes{1}, FieldType::ftBlob, "Photo");
    ADD_FAILURE() << "Access has no binary literal";
  } catch (const EEngineError& e) {
    EXPECT_NE(std::string(e.what()).find("Photo"), std::string::npos);
  }
  ASSERT_TRUE(dm.SetConnectionString("Provider=SQLOLEDB.1;Data Source=x", false));
  dm.SelectDbSpecific();
  EXPECT_EQ(dm.VariantToSql(ado::Bytes{0, 0xAB}, FieldType::ftBytes), "0x00AB");
  EXPECT_EQ(dm.VariantToSql(ado::EncodeDateTime(2024, 1, 2), FieldType::ftDateTime), "'2024/01/02'");
  dm.CurrentDialect()->DateFormat = "dmy";
  EXPECT_EQ(dm.VariantToSql(ado::EncodeDateTime(2024, 1, 2, 7, 8, 9, 50), FieldType::ftDateTime),
            "'02/01/2024 07:08:09.050'");
}

TEST(SqlText, DefaultsAndRenameLookups) {
  BuildDatabase("texts", {});
  Engine engine("texts");
  Tdm& dm = engine.dm;
  EXPECT_TRUE(dm.SameDefault(" (.5) ", "(0.5)"));
  EXPECT_TRUE(dm.SameDefault("AutoIncrement", ""));
  EXPECT_FALSE(dm.SameDefault("(1)", "(0.5)"));
  EXPECT_EQ(dm.StripTrailingCrLf("a\r\n\r\n"), "a");
  EXPECT_EQ(dm.StripTrailingCrLf("a\n\r"), "a\n\r");

  ado::TDataSet row;
  row.FieldDefs() = {{"column_type_name", FieldType::ftString, 40}};
  row.CreateDataSet();
  row.Append();
  row.Post();
  for (const auto& [type, expected] : std::vector<std::pair<const char*, std::string>>{
           {"int", "(0)"}, {"varbinary", "(0)"}, {"nvarchar", "('')"}, {"text", "('')"},
           {"datetime", "(getDate())"}, {"smalldatetime", "(getDate())"},
           {"uniqueidentifier", ""}, {"sql_variant", ""}, {"no such type", ""}}) {
    row.Edit();
    row.FieldByName("column_type_name").SetAsString(type);
    row.Post();
    EXPECT_EQ(dm.GetTypeDefaultText(row), expected) << type;
  }
  engine.producer.UpdaterDirectives().DefaultValueFromDataType = beNo;
  EXPECT_EQ(dm.GetTypeDefaultText(row), "");

  engine.producer.RenamedTables = {"Old = New", "old=Second", "A=B"};
  engine.producer.RenamedFields = {"T.a = T2.b", "t.A=X.y", "U.c=T2.b"};
  EXPECT_EQ(dm.NewTableName("OLD"), "New");
  EXPECT_EQ(dm.OldTableName("new"), "Old");
  EXPECT_EQ(dm.OldTableName("Z"), "Z");
  std::string field, table;
  dm.NewFieldName("T", "a", field, table);
  EXPECT_EQ(table + "." + field, "T2.b");
  dm.OldFieldName("T2", "b", field, table);
  EXPECT_EQ(table + "." + field, "T.a");
  dm.OldFieldName("T9", "q", field, table);
  EXPECT_EQ(table + "." + field, "T9.q");
}

TEST(SqlText, OwnersAndDbSpacesCreatedOnceByPrependedInstructions) {
  BuildDatabase("owners", {"create table T (id int not null)"});
  Engine engine("owners");
  Tdm& dm = engine.dm;
  TDatabaseSpecific& dialect = *dm.CurrentDialect();
  EXPECT_EQ(dm.GetOwnerName("dbo"), "dbo.");
  dialect.SetMasterDbType(dbtAsa);  // ASA's default owner maps to the client's
  EXPECT_EQ(dm.GetOwnerName("dba"), "dbo.");
  dialect.SetMasterDbType(dbtAccess);  // so does Access's empty one
  EXPECT_EQ(dm.GetOwnerName(""), "dbo.");
  dialect.SetMasterDbType(dbtSqlServer);
  EXPECT_EQ(dm.GetOwnerName("sales"), "dbo.");  // UseDefaultOwner yes

  engine.producer.UpdaterDirectives().UseDefaultOwner = beNo;
  engine.producer.UpdaterDirectives().Users = {"sales=Pw'1", "ghost=x"};
  dm.qUsers.FieldDefs() = {{"user_name", FieldType::ftString, 40},
                           {"login_name", FieldType::ftString, 40}};
  dm.qUsers.CreateDataSet();
  dm.qUsers.Append();
  dm.qUsers.FieldByName("user_name").SetAsString("SALES");
  dm.qUsers.FieldByName("login_name").SetAsString("saleslogin");
  dm.qUsers.Post();
  EXPECT_EQ(dm.GetOwnerName("sales"), "sales.");
  EXPECT_EQ(dm.GetOwnerName("sales"), "sales.");
  EXPECT_EQ(dm.GetOwnerName("ghost"), "dbo.");  // not among the master users
  auto known = std::make_unique<TUserElem>();
  known->UserName = "known";
  dialect.Users.Add("known", std::move(known));
  EXPECT_EQ(dm.GetOwnerName("known"), "known.");

  dialect.LoadDbSpaces(dm.ac);
  EXPECT_EQ(dm.GetDbSpaceClause("PRIMARY"), " ON [PRIMARY]");
  EXPECT_EQ(dm.GetDbSpaceClause("ARCHIVE"), "");  // UseDefaultDbSpace yes
  engine.producer.UpdaterDirectives().UseDefaultDbSpace = beNo;
  EXPECT_EQ(dm.GetDbSpaceClause("ARCHIVE"), " ON ARCHIVE");
  EXPECT_EQ(dm.GetDbSpaceClause("ARCHIVE"), " ON ARCHIVE");
  const std::vector<std::string> prepended = engine.Instructions();
  ASSERT_EQ(prepended.size(), 2u) << text::Join(prepended, "\n");
  EXPECT_NE(prepended[0].find("sp_grantDbAccess 'saleslogin', 'sales'"), std::string::npos);
  EXPECT_NE(prepended[1].find("ADD FILEGROUP ARCHIVE"), std::string::npos);

  // The text space of a table comes from the schema folder's vsiDbSpaceText.xml.
  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = std::string(getenv("SCHEMION_SERVERS"));
  ado::TDataSet texts;
  texts.FieldDefs() = {{"TEXT_DBSPACE", FieldType::ftString, 50},
                       {"TABLE_SCHEMA", FieldType::ftString, 50},
                       {"TABLE_NAME", FieldType::ftString, 50}};
  texts.CreateDataSet();
  for (const char* table : {"A", "B"}) {
    texts.Append();
    texts.FieldByName("TEXT_DBSPACE").SetAsString(*table == 'A' ? "TEXTS" : "PRIMARY");
    texts.FieldByName("TABLE_NAME").SetAsString(table);
    texts.Post();
  }
  texts.SaveToFile(updater.DirSchemas + "/vsiDbSpaceText.xml");
  dm.Updater = &updater;
  EXPECT_EQ(dm.GetTextImageClause("a"), " TEXTIMAGE_ON 'TEXTS' ");
  EXPECT_EQ(dm.GetTextImageClause("A"), " TEXTIMAGE_ON 'TEXTS' ");
  EXPECT_EQ(engine.Instructions().size(), 3u);
  // Regression: a reserved name was bracketed inside the literal, naming no file group.
  EXPECT_EQ(dm.GetTextImageClause("B"), " TEXTIMAGE_ON 'PRIMARY' ");
  EXPECT_EQ(dm.GetTextImageClause("Z"), "");
  updater.UpdaterDirectives().UseDefaultDbSpace = beYes;
  engine.producer.UpdaterDirectives().UseDefaultDbSpace = beUndefined;
  EXPECT_EQ(dm.GetTextImageClause("A"), "");  // known, but the default space is wanted
  EXPECT_EQ(dm.GetDbSpaceClause("ARCHIVE"), "");
  engine.producer.UpdaterDirectives().UseDefaultDbSpace = beNo;

  // Run on the server, the prepended statements create the user and the file groups, and a
  // table goes into the new groups under the new owner.
  dm.AddInstruction("CREATE TABLE sales.A (id int, t text)" + dm.GetDbSpaceClause("ARCHIVE") +
                        dm.GetTextImageClause("A"),
                    false);
  dm.AddInstruction("CREATE TABLE B (t text)" + dm.GetTextImageClause("B"), false);
  engine.RunList();
  ado::TDataSet check;
  engine.Query(check, "select user_name(o.uid) as u, fileGroup_Name(i.groupid) as g from sysobjects o "
                      "inner join sysindexes i on i.id = o.id where o.name = 'A' and i.indid < 2");
  ASSERT_EQ(check.RecordCount(), 1);
  EXPECT_EQ(check.FieldByName("u").AsString(), "sales");
  EXPECT_EQ(check.FieldByName("g").AsString(), "ARCHIVE");
  ado::TDataSet textSpace;
  dm.OpenSchemaOf(vsiDbSpaceText, Variant(ado::VariantArray{Variant(), Variant(), "A"}), textSpace);
  ASSERT_EQ(textSpace.RecordCount(), 1);
  EXPECT_EQ(textSpace.FieldByName("TEXT_DBSPACE").AsString(), "TEXTS");
}

TEST(SqlText, RebuildTableKeepsEveryRowAfterRenames) {
  BuildDatabase("rebuild", {
      "create table Orders (id int identity(1, 1) not null, qty int null default 7, "
      "note varchar(30) null, [group] int null)",
      "insert into Orders (qty, note, [group]) values (1, 'a', 1)",
      "insert into Orders (qty, note, [group]) values (null, null, null)",
      "insert into Orders (qty, note, [group]) values (3, 'O''Brien', 3)",
      "delete from Orders where id = 2",
      "insert into Orders (note) values ('d')",
  });
  Engine engine("rebuild");
  Tdm& dm = engine.dm;
  engine.producer.RenamedTables = {"Orders=Order Items"};
  engine.producer.RenamedFields = {"Orders.qty=Order Items.quantity"};
  ado::TDataSet client;
  engine.ClientColumns(client, "Orders");
  ASSERT_EQ(client.RecordCount(), 4);
  // The master: the same columns under the new names, the identity seeded 100 by 5.
  dm.qColumns.Clone(client);
  for (dm.qColumns.First(); !dm.qColumns.Eof(); dm.qColumns.Next()) {
    dm.qColumns.Edit();
    dm.qColumns.FieldByName("table_name").SetAsString("Order Items");
    if (dm.qColumns.FieldByName("column_name").AsString() == "qty") {
      dm.qColumns.FieldByName("column_name").SetAsString("quantity");
    }
    if (dm.qColumns.FieldByName("column_name").AsString() == "id") {
      dm.qColumns.FieldByName("identity_seed").SetAsInteger(100);
      dm.qColumns.FieldByName("identity_incr").SetAsInteger(5);
    }
    dm.qColumns.Post();
  }
  TdmStateProbe::IdentityChanged(dm) = {"id"};
  dm.AddRenameTable("dbo", "Orders", "Order Items");
  dm.AddRenameColumn("dbo", "Order Items", "qty", "quantity");
  dm.RebuildTable(client);
  // Regression: the copy named the table and columns as they were before the renames.
  const std::string list = text::Join(engine.Instructions(), "\n");
  EXPECT_NE(list.find("SELECT id, quantity, note, [group] FROM dbo.[Order Items]"),
            std::string::npos) << list;
  EXPECT_EQ(TdmStateProbe::DroppedTables(dm), std::vector<std::string>{"Orders"});
  engine.RunList();

  ado::TDataSet rows;
  engine.Query(rows, "select id, quantity, note, [group] from [Order Items] order by id");
  EXPECT_EQ(dialect_test::Column(rows, "id"), (std::vector<std::string>{"1", "3", "4"}));
  EXPECT_EQ(dialect_test::Column(rows, "quantity"), (std::vector<std::string>{"1", "3", "7"}));
  EXPECT_EQ(dialect_test::Column(rows, "note"), (std::vector<std::string>{"a", "O'Brien", "d"}));
  EXPECT_EQ(dialect_test::Column(rows, "group"), (std::vector<std::string>{"1", "3", ""}));
  ado::TDataSet identity;
  engine.Query(identity, "select IDENT_SEED('Order Items') as s, IDENT_INCR('Order Items') as i");
  EXPECT_EQ(identity.FieldByName("s").AsInteger(), 100);
  EXPECT_EQ(identity.FieldByName("i").AsInteger(), 5);
  dm.ac.Execute("insert into [Order Items] (note) values ('e')");
  ado::TDataSet next;
  engine.Query(next, "select max(id) as m from [Order Items]");
  EXPECT_GT(next.FieldByName("m").AsInteger(), 4);
  ado::TDataSet left;
  engine.Query(left, "select count(*) as n from sysobjects where name like '%ORV_TMP_TABLE%'");
  EXPECT_EQ(left.FieldByName("n").AsInteger(), 0);
}

TEST(SqlText, ClientRowsUseTheConnectedDialectsTypes) {
  BuildDatabase("clienttypes", {"create table C (n nchar(10) null)"});
  Engine engine("clienttypes");
  engine.dm.CurrentDialect()->SetMasterDbType(dbtAsa);  // ASA has no native nchar
  ado::TDataSet client;
  engine.ClientColumns(client, "C");
  ASSERT_FALSE(client.Eof());
  EXPECT_EQ(engine.dm.GetColumnDefinition(client, true, true), "");
  EXPECT_EQ(engine.dm.GetColumnDefinition(client, true, true, "", true).substr(0, 12), "n nchar (10)");
}

TEST(SqlText, EmptyTablesAndTheDestTablePrefix) {
  BuildDatabase("lookups", {"create table E (id int)", "create table [F x] (id int)",
                            "insert into [F x] values (1)"});
  Engine engine("lookups");
  Tdm& dm = engine.dm;
  EXPECT_TRUE(dm.IsTableEmpty("dbo", "E"));
  EXPECT_FALSE(dm.IsTableEmpty("", "F x"));
  EXPECT_THROW(dm.IsTableEmpty("dbo", "Missing"), std::exception);

  dm.OpenSchemaOf(vsiTables, Variant(), dm.qDestTables);
  dm.qDestTables.SetFilter("table_name = 'E'");
  dm.qDestTables.SetFiltered(true);
  const ado::TBookmark before = dm.qDestTables.GetBookmark();
  EXPECT_EQ(dm.GetDestTableSchemaPrefix("other", "F X"), "dbo.");
  EXPECT_EQ(dm.GetDestTableSchemaPrefix("dbo", "Nowhere"), "dbo.");
  EXPECT_TRUE(dm.qDestTables.Filtered());
  EXPECT_EQ(dm.qDestTables.GetBookmark(), before);
  EXPECT_EQ(dm.qDestTables.RecordCount(), 1);
}

namespace {

// A new Access database file in the servers' temporary folder; its connection string.
std::string NewAccessDatabase(const std::string& name) {
  dialect_test::UseFreshServers();
  const std::string path = std::string(getenv("SCHEMION_SERVERS")) + "/" + name + ".mdb";
  const std::string cs = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
  ado::ProviderRegistry::Instance().CreateDatabase(cs);
  return cs;
}

}  // namespace

TEST(SqlTextAccess, LiteralsReadBackAndBinaryIsRefused) {
  const std::string cs = NewAccessDatabase("literals");
  Engine engine(cs, dbtAccess);
  Tdm& dm = engine.dm;
  dm.ac.Execute("create table L (k int not null primary key, vc text(20) null, m memo null, "
                "si smallint null, i int null, ti tinyint null, b bit, rl real null, fl float null, "
                "mn money null, dc decimal(18,4) null, dt datetime null)");
  const Variant null = Variant::Null();
  const std::vector<std::pair<std::string, std::vector<Variant>>> rows = {
      {"k", {1, 2}},
      {"vc", {"O'Brien", ""}},
      {"m", {"memo 'x'", null}},
      {"si", {-32768, null}},
      {"i", {-2147483647LL - 1, 0}},
      {"ti", {255, null}},
      {"b", {true, false}},
      {"rl", {static_cast<double>(0.1f), null}},
      {"fl", {1e-300, 0.1}},
      {"mn", {ado::Currency{-15}, null}},
      {"dc", {3.5, null}},
      {"dt", {ado::EncodeDateTime(1850, 6, 15, 13, 45, 59), ado::EncodeDateTime(2024, 2, 29)}},
  };
  const std::vector<FieldType> types = {
      FieldType::ftInteger, FieldType::ftString,   FieldType::ftMemo,  FieldType::ftSmallint,
      FieldType::ftInteger, FieldType::ftByte,     FieldType::ftBoolean, FieldType::ftFloat,
      FieldType::ftFloat,   FieldType::ftCurrency, FieldType::ftBCD,   FieldType::ftDateTime};
  for (size_t row = 0; row < 2; ++row) {
    std::vector<std::string> names, values;
    for (size_t c = 0; c < rows.size(); ++c) {
      names.push_back(rows[c].first);
      values.push_back(dm.VariantToSql(rows[c].second[row], types[c], rows[c].first));
    }
    const std::string insert = "INSERT INTO L (" + text::Join(names, ", ") + ") VALUES (" +
                               text::Join(values, ", ") + ")";
    ASSERT_NO_THROW(dm.ac.Execute(insert)) << insert;
    ado::TDataSet stored;
    engine.Query(stored, "select * from L where k = " + std::to_string(row + 1));
    ASSERT_EQ(stored.RecordCount(), 1);
    for (size_t c = 0; c < rows.size(); ++c) {
      if (types[c] == FieldType::ftBoolean) {
        EXPECT_EQ(stored.FieldByName("b").AsBoolean(), rows[c].second[row].AsBool());
      } else {
        ExpectStored(rows[c].second[row], stored.FieldByName(rows[c].first), types[c]);
      }
    }
  }
  EXPECT_THROW(dm.VariantToSql(ado::Bytes{0}, FieldType::ftBytes, "b"), EEngineError);
}

TEST(SqlTextAccess, RebuildTableCopiesTheRowsBack) {
  const std::string cs = NewAccessDatabase("rebuild");
  Engine engine(cs, dbtAccess);
  Tdm& dm = engine.dm;
  for (const char* sql : {"create table Orders (id counter not null, qty int null, note text(30) null)",
                          "insert into Orders (qty, note) values (1, 'a')",
                          "insert into Orders (qty, note) values (2, null)",
                          "insert into Orders (qty, note) values (3, 'O''Brien')",
                          "delete from Orders where id = 2"}) {
    dm.ac.Execute(sql);
  }
  ado::TDataSet client;
  engine.ClientColumns(client, "Orders");
  ASSERT_EQ(client.RecordCount(), 3);
  dm.qColumns.Clone(client);
  EXPECT_EQ(dm.GetOwnerName("x"), "");  // Access has no owners
  EXPECT_FALSE(dm.IsTableEmpty("", "Orders"));
  EXPECT_THROW(dm.IsTableEmpty("", "Missing"), std::exception);
  dm.RebuildTable(client);
  engine.RunList();
  ado::TDataSet rows;
  engine.Query(rows, "select id, qty, note from Orders order by id");
  EXPECT_EQ(dialect_test::Column(rows, "id"), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(dialect_test::Column(rows, "note"), (std::vector<std::string>{"a", "O'Brien"}));
  dm.ac.Execute("insert into Orders (qty) values (9)");
  ado::TDataSet next;
  engine.Query(next, "select max(id) as m from Orders");
  EXPECT_GT(next.FieldByName("m").AsInteger(), 3);
  ado::TDataSet tables;
  dm.OpenSchemaOf(vsiTables, Variant(), tables);
  for (const std::string& name : dialect_test::Column(tables, "table_name")) {
    EXPECT_EQ(name.find("_ORV_TMP_TABLE_"), std::string::npos) << name;
  }
}

namespace {

// A new database of the embedded Adaptive Server Anywhere; its connection string.
std::string NewAsaDatabase(const std::string& name) {
  dialect_test::UseFreshServers();
  TAsaSpecific dialect;
  EXPECT_EQ(dialect.CreateDatabase(name, "C:\\data\\" + name + ".db", "", "", "", dialect_test::kAsaServer), 2);
  return std::string("Provider=ASAProv.90;Eng=") + dialect_test::kAsaServer + ";dbn=" + name;
}

}  // namespace

TEST(SqlTextAsa, LiteralsReadBack) {
  Engine engine(NewAsaDatabase("literals"), dbtAsa);
  Tdm& dm = engine.dm;
  dm.ac.Execute("create table L (k integer not null primary key, vc varchar(20) null, "
                "lv long varchar null, si smallint null, bi bigint null, bt bit not null, "
                "fl double null, mn money null, dc numeric(18,4) null, dt timestamp null, "
                "d date null, bin varbinary(10) null, lb long binary null)");
  const Variant null = Variant::Null();
  const std::vector<std::pair<std::string, std::vector<Variant>>> rows = {
      {"k", {1, 2}},
      {"vc", {"O'Brien", ""}},
      {"lv", {"long 'x'", null}},
      {"si", {-32768, null}},
      {"bi", {9223372036854775807LL, -1}},
      {"bt", {true, false}},
      {"fl", {1e-300, 0.1}},
      {"mn", {ado::Currency{-15}, null}},
      {"dc", {3.5, null}},
      {"dt", {ado::EncodeDateTime(1850, 6, 15, 13, 45, 59, 997), ado::EncodeDateTime(2024, 2, 29)}},
      {"d", {ado::EncodeDateTime(1899, 12, 31), null}},
      {"bin", {ado::Bytes{0, 1, 0, 255}, ado::Bytes{}}},
      {"lb", {ado::Bytes{0, 'a', 0}, null}},
  };
  const std::vector<FieldType> types = {
      FieldType::ftInteger, FieldType::ftString,   FieldType::ftMemo,     FieldType::ftSmallint,
      FieldType::ftLargeint, FieldType::ftBoolean, FieldType::ftFloat,    FieldType::ftCurrency,
      FieldType::ftBCD,     FieldType::ftDateTime, FieldType::ftDateTime, FieldType::ftBytes,
      FieldType::ftBlob};
  for (size_t row = 0; row < 2; ++row) {
    std::vector<std::string> names, values;
    for (size_t c = 0; c < rows.size(); ++c) {
      names.push_back(rows[c].first);
      values.push_back(dm.VariantToSql(rows[c].second[row], types[c], rows[c].first));
    }
    const std::string insert = "INSERT INTO L (" + text::Join(names, ", ") + ") VALUES (" +
                               text::Join(values, ", ") + ")";
    ASSERT_NO_THROW(dm.ac.Execute(insert)) << insert;
    ado::TDataSet stored;
    engine.Query(stored, "select * from L where k = " + std::to_string(row + 1));
    ASSERT_EQ(stored.RecordCount(), 1);
    for (size_t c = 0; c < rows.size(); ++c) {
      if (types[c] == FieldType::ftBoolean) {
        EXPECT_EQ(stored.FieldByName("bt").AsBoolean(), rows[c].second[row].AsBool());
      } else {
        ExpectStored(rows[c].second[row], stored.FieldByName(rows[c].first), types[c]);
      }
    }
  }
}

TEST(SqlTextAsa, RebuildAfterRenamesAndATableInANewDbSpace) {
  Engine engine(NewAsaDatabase("rebuild"), dbtAsa);
  Tdm& dm = engine.dm;
  for (const char* sql : {"create table Orders (id integer default autoincrement not null, "
                          "qty integer null default 7, note varchar(30) null)",
                          "insert into Orders (qty, note) values (1, 'a')",
                          "insert into Orders (qty, note) values (2, null)",
                          "insert into Orders (qty, note) values (3, 'O''Brien')",
                          "delete from Orders where id = 2"}) {
    dm.ac.Execute(sql);
  }
  engine.producer.RenamedTables = {"Orders=Order Items"};
  engine.producer.RenamedFields = {"Orders.qty=Order Items.quantity"};
  ado::TDataSet client;
  engine.ClientColumns(client, "Orders");
  ASSERT_EQ(client.RecordCount(), 3);
  dm.qColumns.Clone(client);
  for (dm.qColumns.First(); !dm.qColumns.Eof(); dm.qColumns.Next()) {
    dm.qColumns.Edit();
    dm.qColumns.FieldByName("table_name").SetAsString("Order Items");
    if (dm.qColumns.FieldByName("column_name").AsString() == "qty") {
      dm.qColumns.FieldByName("column_name").SetAsString("quantity");
    }
    dm.qColumns.Post();
  }
  const std::string schema = client.FieldByName("table_schema").AsString();
  dm.AddRenameTable(schema, "Orders", "Order Items");
  dm.AddRenameColumn(schema, "Order Items", "qty", "quantity");
  dm.RebuildTable(client);
  engine.producer.UpdaterDirectives().UseDefaultDbSpace = beNo;
  dm.CurrentDialect()->LoadDbSpaces(dm.ac);
  dm.AddInstruction("CREATE TABLE Placed (id integer)" + dm.GetDbSpaceClause("ds9"), false);
  EXPECT_FALSE(dm.IsTableEmpty(schema, "Orders"));
  engine.RunList();

  ado::TDataSet rows;
  engine.Query(rows, "select id, quantity, note from \"Order Items\" order by id");
  EXPECT_EQ(dialect_test::Column(rows, "id"), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(dialect_test::Column(rows, "quantity"), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(dialect_test::Column(rows, "note"), (std::vector<std::string>{"a", "O'Brien"}));
  dm.ac.Execute("insert into \"Order Items\" (note) values ('e')");
  ado::TDataSet next;
  engine.Query(next, "select max(id) as m from \"Order Items\"");
  EXPECT_GT(next.FieldByName("m").AsInteger(), 3);
  ado::TDataSet tables;
  dm.OpenSchemaOf(vsiTables, Variant(), tables);
  for (const std::string& name : dialect_test::Column(tables, "table_name")) {
    EXPECT_EQ(name.find("_ORV_TMP_TABLE_"), std::string::npos) << name;
  }
  ado::TDataSet spaces;
  dm.OpenSchemaOf(vsiDbSpaces, Variant(), spaces);
  EXPECT_TRUE(Tdm::LocateRecord(spaces, "dbspace_name", Variant("ds9"), ado::loCaseInsensitive));
  ASSERT_TRUE(Tdm::LocateRecord(tables, "table_name", Variant("Placed"), ado::loCaseInsensitive));
  EXPECT_EQ(tables.FieldByName("table_dbspace").AsString(), "ds9");
  EXPECT_THROW(dm.IsTableEmpty(schema, "Missing"), std::exception);
}

// A user in the Users directive and among the master users gets one prepended instruction however
// often asked, and run on the server it creates the user that then owns a new table. Access has
// no owners: its master lists no user and nothing is written.
TEST(SqlTextOwners, AMasterUserIsCreatedOnceOnEachServer) {
  struct Case {
    TDbType kind, masterKind;
    std::string client, master;
    std::vector<std::string> masterScript;
    std::string prefix;
    std::vector<std::string> instructions;
  };
  const std::string asaClient = NewAsaDatabase("ownerclient"), asaMaster = NewAsaDatabase("ownermaster");
  const std::string asaFromSqlServer = NewAsaDatabase("ownerclient2");
  BuildDatabase("ownermastersql", {});
  const std::vector<Case> cases{
      {dbtAsa, dbtAsa, asaClient, asaMaster, {"GRANT CONNECT TO sales IDENTIFIED BY 'x'"}, "sales.",
       {"grant connect to sales identified by 'Pw''1'"}},
      // Regression: the client got the master server's statement, which it refuses.
      {dbtAsa, dbtSqlServer, asaFromSqlServer, dialect_test::ConnectionStringFor("ownermastersql"),
       {"exec sp_addlogin 'sales', 'x'", "exec sp_grantdbaccess 'sales'"}, "sales.",
       {"grant connect to sales identified by 'Pw''1'"}},
      {dbtAccess, dbtAccess, NewAccessDatabase("ownerclient"), NewAccessDatabase("ownermaster"), {}, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.client);
    ado::TConnection master(c.master);
    master.Open();
    dialect_test::RunScript(master, c.masterScript);
    Engine engine(c.client, c.masterKind);
    Tdm& dm = engine.dm;
    ado::TDataSet users;
    users.SetConnection(&master);
    dm.DbSpecific(c.masterKind)->OpenSchema(vsiUsers, Variant(), Variant(), users);
    dm.qUsers.Clone(users);
    engine.producer.UpdaterDirectives().UseDefaultOwner = beNo;
    engine.producer.UpdaterDirectives().Users = {"sales=Pw'1"};
    EXPECT_EQ(dm.GetOwnerName("sales"), c.prefix);
    EXPECT_EQ(dm.GetOwnerName("sales"), c.prefix);
    EXPECT_EQ(engine.Instructions(), c.instructions);

    dm.AddInstruction("CREATE TABLE " + c.prefix + "Owned (id integer)", false);
    engine.RunList();
    ado::TDataSet tables;
    dm.OpenSchemaOf(vsiTables, Variant(), tables);
    ASSERT_TRUE(Tdm::LocateRecord(tables, "table_name", Variant("Owned"), ado::loCaseInsensitive));
    EXPECT_EQ(tables.FieldByName("table_schema").AsString() + (c.prefix.empty() ? "" : "."), c.prefix);
    ado::TDataSet clientUsers;
    dm.OpenSchemaOf(vsiUsers, Variant(), clientUsers);
    EXPECT_EQ(Tdm::LocateRecord(clientUsers, "user_name", Variant("sales"), ado::loCaseInsensitive),
              !c.prefix.empty());
  }
}
