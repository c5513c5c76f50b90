// Schema extraction by the producer on the embedded SQL Server: the directives file and its
// reader, the 15 schema files against the dialect's own answers, the data files against a select
// of the source, the windows' order, failures, the producer's lists and hostile input.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../common/TempFolder.h"
#include "../dialects/SqlServerTestDatabase.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "components/uProgressInfo.h"
#include "engine/EngineError.h"
#include "engine/uDm.h"
#include "platform/data/Provider.h"

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// Tests put a dialect of their own into a producer's engine.
class TdmStateProbe {
 public:
  static void Replace(Tdm& dm, std::unique_ptr<TDatabaseSpecific> dialect) {
    dm.ReplaceDialect(dbtSqlServer, std::move(dialect));
  }
};

namespace {

const std::string kLongText(9000, 'x');

std::string Master() {
  static bool built = false;
  if (!built) {
    built = true;
    TSqlServerSpecific dialect;
    auto c = dialect_test::CreateAndConnect(dialect, "ExtractMaster");
    dialect_test::RunScript(*c, {
        "sp_addLogin 'bob', 'pw'",
        "sp_grantDbAccess 'bob', 'bobby'",
        "ALTER DATABASE ExtractMaster ADD FILEGROUP Archive",
        "CREATE TABLE Parents (id int IDENTITY (1, 1) NOT NULL, name nvarchar (40) NOT NULL,"
        " CONSTRAINT PK_Parents PRIMARY KEY CLUSTERED (id), CONSTRAINT UQ_Parents_name UNIQUE (name))",
        "CREATE TABLE Kids (id int NOT NULL, parentId int NULL, boss int NULL,"
        " CONSTRAINT PK_Kids PRIMARY KEY NONCLUSTERED (id),"
        " CONSTRAINT FK_Kids_Parents FOREIGN KEY (parentId) REFERENCES Parents (id),"
        " CONSTRAINT FK_Kids_Kids FOREIGN KEY (boss) REFERENCES Kids (id))",
        "CREATE TABLE CycleA (id int NOT NULL PRIMARY KEY, b int NULL)",
        "CREATE TABLE CycleB (id int NOT NULL PRIMARY KEY, a int NULL REFERENCES CycleA (id))",
        "ALTER TABLE CycleA ADD CONSTRAINT FK_A_B FOREIGN KEY (b) REFERENCES CycleB (id)",
        "CREATE TABLE AllTypes (k bigint NOT NULL, b binary (4) NULL, bt bit NULL, c char (5) NULL,"
        " dt datetime NULL, de decimal (12, 3) NULL, f float NULL, im image NULL, i int NULL,"
        " m money NULL, nc nchar (5) NULL, nt ntext NULL, nu numeric (8, 2) NULL,"
        " nv nvarchar (20) NULL, r real NULL, sd smalldatetime NULL, si smallint NULL,"
        " sm smallmoney NULL, sv sql_variant NULL, t text NULL, ts timestamp NULL, ti tinyint NULL,"
        " u uniqueidentifier NULL, vb varbinary (10) NULL, vc varchar (30) NULL DEFAULT ('v'))",
        "CREATE INDEX IX_AllTypes_desc ON AllTypes (k DESC, i)",
        "CREATE CLUSTERED INDEX IX_Kids_parent ON Kids (parentId)",
        "CREATE TABLE bobby.Owned (id int NOT NULL, label varchar (10) NULL)",
        "INSERT INTO bobby.Owned (id, label) VALUES (1, 'own')",
        "sp_addLogin 'boss', 'pw'",
        "sp_grantDbAccess 'boss', 'big boss'",
        "CREATE TABLE [big boss].Spaced (id int NOT NULL)",
        "INSERT INTO [big boss].Spaced (id) VALUES (7)",
        "CREATE TABLE Awkward (id int NOT NULL PRIMARY KEY, t ntext NULL, v nvarchar (50) NULL,"
        " b varbinary (8) NULL, d datetime NULL, n decimal (12, 4) NULL, f bit NULL)",
        "INSERT INTO Awkward VALUES (1, NULL, '', NULL, NULL, NULL, NULL)",
        "INSERT INTO Awkward VALUES (2, N'" + kLongText + "', N'it''s \"q\" <&>', 0x00FF10,"
        " '2024-02-29 13:45:59.997', -12345678.1234, 1)",
        "INSERT INTO Awkward VALUES (3, N'Grüße €', N'日本', 0x, '1999-12-31 23:59:59.003', 0.0001, 0)",
        "INSERT INTO Awkward VALUES (99, N'skip', N'skip', NULL, NULL, NULL, NULL)",
        "INSERT INTO Parents (name) VALUES ('p')",
        "CREATE VIEW vParents AS SELECT id, name FROM Parents",
        "CREATE PROCEDURE pKids AS SELECT * FROM Kids",
        "CREATE TRIGGER trKids ON Kids FOR INSERT AS SELECT 1",
    });
  }
  return dialect_test::ConnectionStringFor("ExtractMaster");
}

std::string NewFolder(const std::string& name) { return test_support::ProgramTempFolder().Sub(name); }

// A producer that records, in order, what reaches its windows.
class RecordingProducer : public TOrvDbSchemaProducer {
 public:
  Names seen;
  void WriteMessage(const std::string& aText) override {
    seen.push_back(aText);
    TOrvDbSchemaProducer::WriteMessage(aText);
  }
  void ProgressBeginExtractSchemas(int aMax) override {
    seen.push_back("Begin " + std::to_string(aMax));
    TOrvDbSchemaProducer::ProgressBeginExtractSchemas(aMax);
  }
  void ProgressStepExtractTable(const std::string& aText) override {
    seen.push_back("Step " + aText);
    TOrvDbSchemaProducer::ProgressStepExtractTable(aText);
  }
  void ProgressStepExtractDetail(const std::string& aText) override {
    seen.push_back("Detail " + aText);
    TOrvDbSchemaProducer::ProgressStepExtractDetail(aText);
  }
  void ReportError(TDbContext c, const std::string& d, const std::string& m, int n,
                   const std::string& s, bool h) override {
    seen.push_back("Error " + d);
    TOrvDbSchemaProducer::ReportError(c, d, m, n, s, h);
  }
};

void Connect(TOrvDbSchemaProducer& p, const std::string& folder) {
  p.DirSchemas = folder;
  p.SetConnectionString(Master());
  ASSERT_TRUE(p.Initialize());
  p.SetConnected(true);
}

void AddCopy(TOrvDbSchemaProducer& p, const std::string& table, const std::string& condition = "") {
  TCopyDataElem& item = p.CopyData.Add();
  item.TableName = table;
  item.condition = condition;
}

// Every row of the set as texts (null: "<null>"), in the set's order.
std::vector<Names> Rows(ado::TDataSet& d) {
  std::vector<Names> rows;
  for (d.First(); !d.Eof(); d.Next()) {
    Names row;
    for (int i = 0; i < d.FieldCount(); ++i) {
      row.push_back(d.Fields(i).IsNull() ? "<null>" : d.Fields(i).AsString());
    }
    rows.push_back(row);
  }
  return rows;
}

void ExpectFileEqualsSet(const std::string& file, ado::TDataSet& expected) {
  ado::TDataSet loaded;
  loaded.LoadFromFile(file);
  EXPECT_EQ(dialect_test::FieldNames(loaded), dialect_test::FieldNames(expected)) << file;
  EXPECT_EQ(Rows(loaded), Rows(expected)) << file;
}

Names ChildNames(pugi::xml_node node) {
  Names names;
  for (pugi::xml_node child : node.children()) names.push_back(child.name());
  return names;
}

}  // namespace

TEST(SchemaExtraction, FilesMatchTheSourceAndTheWindowsSeeTheStepsInOrder) {
  const std::string folder = NewFolder("whole");
  RecordingProducer producer;
  producer.RenamedTables = {"Old=Parents"};
  producer.ClearTables = {"Kids"};
  producer.UpdaterDirectives().FkPendingData = fpdUpdaterSetting;
  AddCopy(producer, "Awkward", "id <> 99");
  AddCopy(producer, "Owned");
  AddCopy(producer, "Spaced");  // regression: the owner went unquoted into the select
  Connect(producer, folder);
  ASSERT_TRUE(producer.ExtractSchema());
  EXPECT_EQ(producer.Errors().Count(), 0);

  // The 15 files against the dialect's answers in the same run.
  Tdm& dm = *producer.dm();
  for (int k = 0; k < EnumCount<TOrvSchemaInfo>(); ++k) {
    ado::TDataSet answer;
    answer.SetConnection(&dm.ac);
    dm.CurrentDialect()->OpenSchema(static_cast<TOrvSchemaInfo>(k), {}, {}, answer);
    ExpectFileEqualsSet(folder + "/" + EnumName(static_cast<TOrvSchemaInfo>(k)) + ".xml", answer);
  }
  // The data files against a select of the source; the owner's table carries its owner.
  for (const auto& [table, sql] : {std::pair{std::string("Awkward"), std::string("select * from Awkward where id <> 99")},
                                   std::pair{std::string("Owned"), std::string("select * from bobby.Owned")},
                                   std::pair{std::string("Spaced"), std::string("select * from [big boss].Spaced")}}) {
    ado::TDataSet source;
    source.SetConnection(&dm.ac);
    source.SetCommandText(sql);
    source.Open();
    ExpectFileEqualsSet(folder + "/CPFP_" + table + ".xml", source);
  }
  {
    ado::TDataSet awkward;
    awkward.LoadFromFile(folder + "/CPFP_Awkward.xml");
    EXPECT_EQ(awkward.RecordCount(), 3);
    ASSERT_TRUE(awkward.Locate("id", ado::Variant(2LL), 0));
    EXPECT_EQ(awkward.FieldByName("t").AsString(), kLongText);
    EXPECT_EQ(awkward.FieldByName("v").AsString(), "it's \"q\" <&>");
  }

  // The directives file's layout.
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((folder + "/DirectivesFromProducer.xml").c_str()));
  const Names children = ChildNames(doc.child("Root"));
  ASSERT_GE(children.size(), 9u);
  EXPECT_EQ(Names(children.begin(), children.begin() + 8),
            (Names{"Date", "DbType", "DefaultAsConstraint", "AutoPrimaryKeyName", "RenamedTables",
                   "RenamedFields", "ClearTables", "CopyData"}));
  EXPECT_EQ(std::string(doc.child("Root").child_value("DbType")), "dbtSqlServer");
  EXPECT_EQ(std::string(doc.child("Root").child("CopyData").child("Table1").child_value("TableName")), "Owned");

  // The windows' order.
  Names expected{"Begin 16", "Step Parameters", "Preparation of Parameter information completed"};
  for (int k = 0; k < EnumCount<TOrvSchemaInfo>(); ++k) {
    const std::string name = EnumName(static_cast<TOrvSchemaInfo>(k));
    expected.insert(expected.end(), {"Extracting schema info for " + name,
                                     "Extraction of schemaInfo for " + name + " completed", "Step " + name});
  }
  expected.push_back("Step Copy data");
  for (const std::string table : {"Awkward", "Owned", "Spaced"}) {
    expected.insert(expected.end(), {"Detail Table name: " + table, "Start data extraction for table " + table,
                                     "Data extraction for table " + table + " completed"});
  }
  expected.push_back("ExtractSchema " + producer.LanguageOptions().msgDone);
  EXPECT_EQ(producer.seen, expected);

}

// Regression: a kind the dialect leaves closed (an Access source) made the save fail.
TEST(SchemaExtraction, AKindLeftClosedIsWrittenEmptyWithItsColumns) {
  class ClosingDialect : public TSqlServerSpecific {
   public:
    using TSqlServerSpecific::TSqlServerSpecific;
    void OpenDefaultValues(const ado::Variant&, const ado::Variant&, ado::TDataSet& d) override { d.Close(); }
    void OpenClusterIndexes(const ado::Variant&, const ado::Variant&, ado::TDataSet& d) override { d.Close(); }
  };
  const std::string folder = NewFolder("closed");
  TOrvDbSchemaProducer producer;
  producer.DirSchemas = folder;
  producer.SetConnectionString(Master());
  ASSERT_TRUE(producer.Initialize());
  TdmStateProbe::Replace(*producer.dm(), std::make_unique<ClosingDialect>(producer.dm()));
  producer.SetConnected(true);
  ASSERT_TRUE(producer.ExtractSchema());
  ado::TDataSet loaded;
  loaded.LoadFromFile(folder + "/vsiClusterIndexes.xml");
  EXPECT_EQ(dialect_test::FieldNames(loaded), (Names{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME",
                                                     "INDEX_CATALOG", "INDEX_SCHEMA", "INDEX_NAME"}));
  EXPECT_EQ(loaded.RecordCount(), 0);
  loaded.LoadFromFile(folder + "/vsiDefaultValues.xml");
  EXPECT_EQ(loaded.FieldCount(), 7);
}

TEST(SchemaExtraction, CopyFailuresStopTheCopyAndKeepEarlierFiles) {
  struct Case {
    std::string table, condition, message, statement;
  };
  const std::vector<Case> cases{
      {"Missing", "", "Table Missing does not exists!", ""},
      {"Awkward", "nosuch = 1", "", "select * from dbo.Awkward where nosuch = 1"},
      {"../Evil", "", "Table name ../Evil cannot name a data file in the schema folder", ""},
      {"a\\b", "", "Table name a\\b cannot name a data file in the schema folder", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    const std::string folder = NewFolder("fail");
    TOrvDbSchemaProducer producer;
    AddCopy(producer, "Parents");
    AddCopy(producer, c.table, c.condition);
    AddCopy(producer, "Owned");
    Connect(producer, folder);
    EXPECT_FALSE(producer.ExtractSchema());
    EXPECT_TRUE(fs::exists(folder + "/CPFP_Parents.xml"));
    EXPECT_FALSE(fs::exists(folder + "/CPFP_Owned.xml"));
    EXPECT_FALSE(fs::exists(fs::path(folder).parent_path() / "CPFP_.." / "Evil.xml"));
    EXPECT_FALSE(fs::exists(fs::path(folder).parent_path() / "Evil.xml"));
    ASSERT_EQ(producer.Errors().ExtractSchemaErrors().size(), 1u);
    const TDbErrorElem& e = *producer.Errors().ExtractSchemaErrors().back();
    EXPECT_EQ(e.Description, "Error during data extraction from table " + c.table);
    if (!c.message.empty()) {
      EXPECT_EQ(e.EMessage, c.message);
    } else {
      EXPECT_FALSE(e.EMessage.empty());
    }
    EXPECT_EQ(e.SqlText, c.statement);
  }
}

TEST(SchemaExtraction, CyclesAndSelfReferencesEndAndParentsComeFirst) {
  // On the source: a self-referencing table and a cycle A-B-A in the copy list.
  const std::string folder = NewFolder("cycle");
  RecordingProducer producer;
  for (const char* table : {"Kids", "CycleA", "CycleB", "Parents"}) AddCopy(producer, table);
  Connect(producer, folder);
  ASSERT_TRUE(producer.ExtractSchema());
  Names order;
  for (const std::string& s : producer.seen) {
    if (s.starts_with("Detail Table name: ")) order.push_back(s.substr(19));
  }
  EXPECT_EQ(order, (Names{"Parents", "Kids", "CycleA", "CycleB"}));

  // The routine alone, on foreign-key rows (child, parent).
  struct Case {
    std::vector<std::pair<std::string, std::string>> keys;
    Names source, parentsFirst, childrenFirst;
  };
  const std::vector<Case> cases{
      {{{"c", "p"}, {"c", "outside"}, {"g", "c"}}, {"g", "c", "p"}, {"p", "c", "g"}, {"g", "c", "p"}},
      {{{"s", "s"}}, {"s"}, {"s"}, {"s"}},
      {{{"a", "b"}, {"b", "a"}, {"x", "a"}}, {"x", "b", "a"}, {"x", "b", "a"}, {"x", "b", "a"}},
      {{}, {"t", "T"}, {"t"}, {"t"}},
  };
  Tdm dm;
  for (const Case& c : cases) {
    dm.qForeignKeys.Close();
    dm.qForeignKeys.FieldDefs() = {{"PK_TABLE_NAME", ado::FieldType::ftString, 50},
                                   {"FK_TABLE_NAME", ado::FieldType::ftString, 50}};
    dm.qForeignKeys.CreateDataSet();
    for (const auto& [child, parent] : c.keys) {
      dm.qForeignKeys.Append();
      dm.qForeignKeys.FieldByName("PK_TABLE_NAME").SetAsString(parent);
      dm.qForeignKeys.FieldByName("FK_TABLE_NAME").SetAsString(child);
      dm.qForeignKeys.Post();
    }
    Names result;
    dm.OrderByForeignKeys(c.source, Tdm::fkoParentsFirst, result);
    EXPECT_EQ(result, c.parentsFirst);
    dm.OrderByForeignKeys(c.source, Tdm::fkoChildrenFirst, result);
    EXPECT_EQ(result, c.childrenFirst);
  }
}

TEST(SchemaExtraction, ProducerEdgeCases) {
  {  // Not connected: False, no error, the windows closed.
    TOrvDbSchemaProducer producer;
    ASSERT_TRUE(producer.Initialize());
    producer.ProgressInfoKind = pikBoth;
    EXPECT_FALSE(producer.ExtractSchema());
    EXPECT_EQ(producer.Errors().Count(), 0);
    EXPECT_FALSE(producer.ProgressInfoFrm()->isVisible());
  }
  {  // A failing BeforeExtractSchema prevents the extraction and AfterExtractSchema.
    const std::string folder = NewFolder("before");
    TOrvDbSchemaProducer producer;
    bool after = false;
    producer.BeforeExtractSchema = [](void*) { throw std::runtime_error("no"); };
    producer.AfterExtractSchema = [&](void*) { after = true; };
    Connect(producer, folder);
    EXPECT_FALSE(producer.ExtractSchema());
    EXPECT_FALSE(after);
    EXPECT_FALSE(fs::exists(folder + "/DirectivesFromProducer.xml"));
    ASSERT_EQ(producer.Errors().Count(), 1);
    EXPECT_EQ(producer.Errors().Items()[0]->Description, producer.LanguageOptions().ErrBeforeExtractSchema);
  }
  {  // Regression: a successful extraction ran again forever. It runs once; an engine exception
     // gives one entry and one OnError without instruction.
    const std::string folder = NewFolder("once");
    TOrvDbSchemaProducer producer;
    int afters = 0;
    producer.AfterExtractSchema = [&](void*) { ++afters; };
    Connect(producer, folder);
    EXPECT_TRUE(producer.ExtractSchema());
    EXPECT_EQ(afters, 1);
    fs::remove(folder + "/DirectivesFromProducer.xml");
    fs::create_directories(folder + "/DirectivesFromProducer.xml/busy");
    int calls = 0;
    producer.OnError = [&](void*, const std::exception& e, TDbContext c, TInstruction*& i, bool&, bool&) {
      ++calls;
      EXPECT_EQ(c, dbcExtractSchema);
      EXPECT_EQ(i, nullptr);
      EXPECT_EQ(std::string(e.what()), "Unable to overwrite file " + folder + "\\DirectivesFromProducer.xml");
    };
    EXPECT_FALSE(producer.ExtractSchema());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(afters, 1);
    ASSERT_EQ(producer.Errors().Count(), 1);
    EXPECT_EQ(producer.Errors().Items()[0]->Description, "Error occourred during Schema Extraction");
  }
  {  // An empty copy list writes no data file and succeeds.
    const std::string folder = NewFolder("empty");
    TOrvDbSchemaProducer producer;
    Connect(producer, folder);
    EXPECT_TRUE(producer.ExtractSchema());
    for (const auto& entry : fs::directory_iterator(folder)) {
      EXPECT_FALSE(entry.path().filename().string().starts_with("CPFP_"));
    }
  }
}

TEST(SchemaExtraction, ProducerListsWriteAndRead) {
  TOrvDbSchemaProducer producer;
  std::vector<std::string> source{"T1"};
  producer.SetClearTables(source);
  source.push_back("T2");
  EXPECT_EQ(producer.ClearTables, (Names{"T1"}));
  TCopyData copy;
  copy.Add().TableName = "X";
  producer.SetCopyData(copy);
  copy.Items(0).TableName = "Y";
  EXPECT_EQ(producer.CopyData.Items(0).TableName, "X");

  pugi::xml_document doc;
  producer.RenamedFields = {"a", "b"};
  producer.WriteProducerSettings(doc.append_child("Root"));
  EXPECT_EQ(ChildNames(doc.child("Root").child("RenamedFields")), (Names{"Field0", "Field1"}));
  EXPECT_EQ(ChildNames(doc.child("Root").child("CopyData").child("Table0")),
            (Names{"Condition", "TableName", "FieldToIncrement", "CopyDataTreatment", "CopyAutoInc"}));

  ASSERT_TRUE(doc.load_string(
      "<Root><RenamedTables><x>one</x><y>two</y></RenamedTables><CopyData>"
      "<Any><TableName>A</TableName><CopyDataTreatment>cdtMove</CopyDataTreatment><CopyAutoInc>yes</CopyAutoInc></Any>"
      "<Table1><TableName>B</TableName><CopyDataTreatment>move</CopyDataTreatment><CopyAutoInc>1</CopyAutoInc></Table1>"
      "</CopyData></Root>"));
  producer.ReadProducerSettings(doc.child("Root"));
  EXPECT_EQ(producer.RenamedTables, (Names{"one", "two"}));
  EXPECT_TRUE(producer.RenamedFields.empty());
  ASSERT_EQ(producer.CopyData.Count(), 2);
  EXPECT_EQ(producer.CopyData.Items(0).Treatment, cdtMove);
  EXPECT_TRUE(producer.CopyData.Items(0).CopyAutoInc);
  EXPECT_EQ(producer.CopyData.Items(1).Treatment, cdtUnchange);
  EXPECT_FALSE(producer.CopyData.Items(1).CopyAutoInc);
}

TEST(SchemaExtraction, LoadParametersRefusesMissingAndHostileFiles) {
  const std::string folder = NewFolder("hostile");
  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = folder;
  ASSERT_TRUE(updater.Initialize());
  const std::string name = folder + "\\DirectivesFromProducer.xml";
  try {
    updater.dm()->LoadParameters();
    ADD_FAILURE() << "a missing file loaded";
  } catch (const EEngineError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to load Settings: file " + name + " does not exists");
  }
  for (const char* content : {"not xml <", "<Other/>", "<Root><DbType>dbtOracle</DbType></Root>"}) {
    std::ofstream(folder + "/DirectivesFromProducer.xml") << content;
    try {
      updater.dm()->LoadParameters();
      ADD_FAILURE() << content << " loaded";
    } catch (const EEngineError& e) {
      EXPECT_NE(std::string(e.what()).find("DirectivesFromProducer.xml"), std::string::npos) << e.what();
    }
  }
}

namespace {

// A master on one embedded server holding one table T; its connection string.
std::string SmallMaster(TDbType kind, const std::string& folder) {
  std::string connection;
  switch (kind) {
    case dbtSqlServer: {
      TSqlServerSpecific dialect;
      dialect_test::CreateAndConnect(dialect, "DirectivesMaster");
      connection = dialect_test::ConnectionStringFor("DirectivesMaster");
      break;
    }
    case dbtAsa: {
      dialect_test::UseFreshServers();
      TAsaSpecific dialect;
      EXPECT_EQ(dialect.CreateDatabase("asadirectives", "C:\\data\\asadirectives.db", "", "", "", dialect_test::kAsaServer), 2);
      connection = std::string("Provider=ASAProv.90;Eng=") + dialect_test::kAsaServer + ";dbn=asadirectives";
      break;
    }
    default:
      dialect_test::UseFreshServers();
      connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder + "/directives.mdb";
      ado::ProviderRegistry::Instance().CreateDatabase(connection);
      break;
  }
  ado::TConnection c(connection);
  c.Open();
  dialect_test::RunScript(c, {"CREATE TABLE T (id integer NOT NULL, a integer NULL)"});
  return connection;
}

// What a writer puts under an empty "Root", as text.
template <class Writer>
std::string XmlOf(Writer write) {
  pugi::xml_document doc;
  write(doc.append_child("Root"));
  std::ostringstream out;
  doc.save(out);
  return out.str();
}

}  // namespace

// The directives file a producer writes on each server reads back on the updater's side: the
// master kind, the dialect's two flags, the four lists and the directives.
TEST(SchemaExtraction, DirectivesFileRoundTripsOnEveryServer) {
  struct Case {
    TDbType kind;
    std::string dbType, defaultAsConstraint, autoPrimaryKeyName;
  };
  const std::vector<Case> cases{
      {dbtSqlServer, "dbtSqlServer", "YES", "NO"},
      {dbtAsa, "dbtAsa", "NO", "YES"},
      {dbtAccess, "dbtAccess", "NO", "NO"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dbType);
    const std::string folder = NewFolder("directives-" + c.dbType);
    TOrvDbSchemaProducer producer;
    producer.DirSchemas = folder;
    producer.RenamedTables = {"Old=T"};
    producer.RenamedFields = {"Old.b=T.a"};
    producer.ClearTables = {"T"};
    TCopyDataElem& item = producer.CopyData.Add();
    item.TableName = "T";
    item.condition = "id > 0";
    item.Treatment = cdtMove;
    item.FieldToIncrement = "id";
    item.CopyAutoInc = true;
    TUpdaterDirectives& directives = producer.UpdaterDirectives();
    directives.PrimaryKeysChanged = {"T"};
    directives.ErrorManager = demStopOnFirstError;
    directives.FkPendingData = fpdUpdaterSetting;
    directives.UseDefaultOwner = beNo;
    directives.Users = {"bob=pw 1"};
    directives.UseDefaultDbSpace = beNo;
    directives.DeletePolicy.Enabled = beYes;
    directives.DeletePolicy.PrefixesList = {"tmp"};
    const std::string connection = SmallMaster(c.kind, folder);
    producer.SetConnectionString(connection);
    ASSERT_TRUE(producer.Initialize());
    producer.SetConnected(true);
    ASSERT_TRUE(producer.ExtractSchema()) << (producer.Errors().Count() ? producer.Errors().Items()[0]->EMessage : "");

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((folder + "/DirectivesFromProducer.xml").c_str()));
    EXPECT_EQ(std::string(doc.child("Root").child_value("DbType")), c.dbType);
    EXPECT_EQ(std::string(doc.child("Root").child_value("DefaultAsConstraint")), c.defaultAsConstraint);
    EXPECT_EQ(std::string(doc.child("Root").child_value("AutoPrimaryKeyName")), c.autoPrimaryKeyName);

    TOrvDbSchemaUpdater updater;
    updater.DirSchemas = folder;
    updater.SetConnectionString(connection);
    ASSERT_TRUE(updater.Initialize());
    updater.SetConnected(true);
    TOrvDbSchemaProducer holder;
    Tdm& dm = *updater.dm();
    dm.Producer = &holder;
    dm.CurrentDialect()->SetMasterDbType(dbtNone);
    dm.LoadParameters();
    dm.Producer = nullptr;
    EXPECT_EQ(dm.CurrentDialect()->MasterDbType, c.kind);
    EXPECT_EQ(dm.DefaultAsConstraint(), c.defaultAsConstraint == "YES");
    EXPECT_EQ(dm.AutoPrimaryKeyName(), c.autoPrimaryKeyName == "YES");
    const auto lists = [](TOrvDbSchemaProducer& p) {
      return XmlOf([&](pugi::xml_node n) { p.WriteProducerSettings(n); });
    };
    const auto settings = [](TOrvDbSchemaProducer& p) {
      return XmlOf([&](pugi::xml_node n) { p.UpdaterDirectives().SaveToXml(n); });
    };
    EXPECT_EQ(lists(holder), lists(producer));
    EXPECT_EQ(settings(holder), settings(producer));
  }
}

// On the embedded Access server: the kinds Access leaves closed are written empty, a table is
// selected without owner, and the files load as the dialect answers.
TEST(SchemaExtraction, AccessMasterExtracts) {
  const std::string folder = NewFolder("access");
  const std::string file = folder + "/master.mdb";
  const std::string connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file;
  dialect_test::UseFreshServers();
  ado::ProviderRegistry::Instance().CreateDatabase(connection);
  {
    ado::TConnection c(connection);
    c.Open();
    dialect_test::RunScript(c, {
        "CREATE TABLE Owners (id COUNTER NOT NULL, name TEXT(40) NOT NULL,"
        " CONSTRAINT PK_Owners PRIMARY KEY (id))",
        "CREATE TABLE Items (id LONG NOT NULL, ownerId LONG, note MEMO, price CURRENCY,"
        " seen DATETIME, ok BIT, ratio DOUBLE, small SHORT, tiny BYTE, g GUID, bin LONGBINARY,"
        " CONSTRAINT PK_Items PRIMARY KEY (id),"
        " CONSTRAINT FK_Items_Owners FOREIGN KEY (ownerId) REFERENCES Owners (id))",
        "CREATE UNIQUE INDEX IX_Owners_name ON Owners (name DESC)",
        "CREATE VIEW vItems AS SELECT id, note FROM Items",
        "INSERT INTO Owners (name) VALUES ('o''ne')",
        "INSERT INTO Items (id, ownerId, note, price, seen, ok, ratio) VALUES"
        " (1, 1, 'Grüße', 12.5, #2024-02-29 13:45:59#, -1, 0.25)",
        "INSERT INTO Items (id, note) VALUES (2, NULL)",
    });
  }
  TOrvDbSchemaProducer producer;
  producer.DirSchemas = folder;
  AddCopy(producer, "Items", "id > 0");
  AddCopy(producer, "Owners");
  producer.SetConnectionString(connection);
  ASSERT_TRUE(producer.Initialize());
  producer.SetConnected(true);
  ASSERT_TRUE(producer.ExtractSchema()) << (producer.Errors().Count() ? producer.Errors().Items()[0]->EMessage : "");
  Tdm& dm = *producer.dm();
  for (int k = 0; k < EnumCount<TOrvSchemaInfo>(); ++k) {
    const auto kind = static_cast<TOrvSchemaInfo>(k);
    ado::TDataSet answer;
    answer.SetConnection(&dm.ac);
    dm.CurrentDialect()->OpenSchema(kind, {}, {}, answer);
    if (!answer.Active()) {
      EXPECT_TRUE(kind == vsiDefaultValues || kind == vsiClusterIndexes) << EnumName(kind);
      ado::TDataSet loaded;
      loaded.LoadFromFile(folder + "/" + EnumName(kind) + ".xml");
      EXPECT_EQ(loaded.RecordCount(), 0);
      continue;
    }
    ExpectFileEqualsSet(folder + "/" + EnumName(kind) + ".xml", answer);
  }
  for (const auto& [table, sql] : {std::pair{std::string("Items"), std::string("select * from Items where id > 0")},
                                   std::pair{std::string("Owners"), std::string("select * from Owners")}}) {
    ado::TDataSet source;
    source.SetConnection(&dm.ac);
    source.SetCommandText(sql);
    source.Open();
    ExpectFileEqualsSet(folder + "/CPFP_" + table + ".xml", source);
  }
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((folder + "/DirectivesFromProducer.xml").c_str()));
  EXPECT_EQ(std::string(doc.child("Root").child_value("DbType")), "dbtAccess");
}

// On the embedded Adaptive Server Anywhere: owners, db spaces, identity, defaults, keys, indexes
// DESC and clustered, views, procedures, triggers and users; the files load as the dialect answers.
TEST(SchemaExtraction, AsaMasterExtracts) {
  const std::string folder = NewFolder("asa");
  dialect_test::UseFreshServers();
  TAsaSpecific dialect;
  ASSERT_EQ(dialect.CreateDatabase("asamaster", "C:\\data\\asamaster.db", "", "", "", dialect_test::kAsaServer), 2);
  const std::string connection = std::string("Provider=ASAProv.90;Eng=") + dialect_test::kAsaServer + ";dbn=asamaster";
  {
    ado::TConnection c(connection);
    c.Open();
    dialect_test::RunScript(c, {
        "CREATE DBSPACE ds2 AS ds2.DB",
        "CREATE TABLE dba.Customers (id integer IDENTITY  NOT NULL, name varchar (50) NOT NULL,"
        " note long varchar DEFAULT 'x', PRIMARY KEY  CLUSTERED  (id))",
        "CREATE TABLE Orders (orderId integer NOT NULL, lineNo smallint NOT NULL, customerId integer NULL,"
        " price numeric (10, 2) DEFAULT 0, paid money NULL, CONSTRAINT pk PRIMARY KEY (orderId, lineNo),"
        " CONSTRAINT FK_Cust FOREIGN KEY (customerId) REFERENCES Customers (id)) IN ds2",
        "CREATE  UNIQUE  CLUSTERED  INDEX ixName ON dba.Orders (customerId, lineNo DESC)",
        "CREATE INDEX ix_id ON Customers (name DESC) IN ds2",
        "ALTER TABLE Customers ADD CONSTRAINT uqName UNIQUE (name)",
        "CREATE VIEW vCustomers AS SELECT id, name FROM Customers",
        "CREATE PROCEDURE pList() BEGIN SELECT 1; END",
        "CREATE TRIGGER trOrders AFTER INSERT ON Orders FOR EACH ROW BEGIN END",
        "GRANT CONNECT TO bob IDENTIFIED BY 'pw'",
        "CREATE TABLE AllTypes (c0 text, c1 tinyint, c2 smallint, c3 integer, c4 smalldatetime, c5 double,"
        " c6 money, c7 datetime, c8 float, c9 bit, c10 decimal, c11 numeric, c12 smallmoney, c13 bigint,"
        " c14 varbinary, c15 varchar, c16 binary, c17 char, c18 timestamp, c19 date, c20 long binary,"
        " c21 long varchar, c22 time, c23 unsigned bigint, c24 unsigned int, c25 unsigned smallint,"
        " c26 image, c27 uniqueidentifier, c28 uniqueidentifierstr, c29 xml, c30 oldbit, c31 sysname)",
        "INSERT INTO Customers (name) VALUES ('it''s')",
        "INSERT INTO Customers (name, note) VALUES ('two', NULL)",
    });
  }
  TOrvDbSchemaProducer producer;
  producer.DirSchemas = folder;
  AddCopy(producer, "Orders");
  AddCopy(producer, "Customers", "id > 0");
  producer.SetConnectionString(connection);
  ASSERT_TRUE(producer.Initialize());
  producer.SetConnected(true);
  ASSERT_TRUE(producer.ExtractSchema()) << (producer.Errors().Count() ? producer.Errors().Items()[0]->EMessage : "");
  Tdm& dm = *producer.dm();
  for (int k = 0; k < EnumCount<TOrvSchemaInfo>(); ++k) {
    ado::TDataSet answer;
    answer.SetConnection(&dm.ac);
    dm.CurrentDialect()->OpenSchema(static_cast<TOrvSchemaInfo>(k), {}, {}, answer);
    ExpectFileEqualsSet(folder + "/" + EnumName(static_cast<TOrvSchemaInfo>(k)) + ".xml", answer);
  }
  for (const auto& [table, sql] : {std::pair{std::string("Customers"), std::string("select * from dba.Customers where id > 0")},
                                   std::pair{std::string("Orders"), std::string("select * from dba.Orders")}}) {
    ado::TDataSet source;
    source.SetConnection(&dm.ac);
    source.SetCommandText(sql);
    source.Open();
    ExpectFileEqualsSet(folder + "/CPFP_" + table + ".xml", source);
  }
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((folder + "/DirectivesFromProducer.xml").c_str()));
  EXPECT_EQ(std::string(doc.child("Root").child_value("DbType")), "dbtAsa");
}
