// The connection over a provider registered in the test: opening by provider name, statements,
// transactions, queries and schema rowsets into data sets, and errors without the password.
#include <gtest/gtest.h>

#include "common/Text.h"
#include "platform/data/Connection.h"
#include "platform/data/DataErrors.h"
#include "platform/data/DataSet.h"

using namespace ado;

namespace {

// A provider for "FakeProv": a session that remembers the statements it ran and answers from
// a small table of canned behaviour keyed by the SQL text.
struct FakeLog {
  std::vector<std::string> statements;
  std::vector<Variant> lastRestrictions;
  int sessions = 0;
  int rollbacks = 0;
};

class FakeSession : public IProviderSession {
 public:
  FakeSession(FakeLog& log, std::string database) : log_(log), database_(std::move(database)) {}

  std::vector<StatementResult> Execute(const std::string& sql) override {
    log_.statements.push_back(sql);
    if (text::StartsWithText(sql, "select")) {
      StatementResult r;
      r.HasRows = true;
      r.Rows.Fields = {{"name", FieldType::ftString, 50}, {"n", FieldType::ftInteger}};
      r.Rows.Rows = {{Variant("alpha"), Variant("1")}, {Variant("beta"), Variant(2)}};
      return {r};
    }
    if (text::StartsWithText(sql, "update")) {
      StatementResult a, b;
      a.RowsAffected = 3;
      b.RowsAffected = 4;
      return {a, b};
    }
    if (text::StartsWithText(sql, "fail")) {
      throw EOleException("Login failed for user 'sa' with password 's3cret!'", 18456);
    }
    if (text::StartsWithText(sql, "crash")) throw std::runtime_error("s3cret! leaked");
    return {StatementResult{}};
  }
  void BeginTrans() override {
    if (inTrans_) throw EOleException("nested transactions are not supported");
    inTrans_ = true;
  }
  void CommitTrans() override { inTrans_ = false; }
  void RollbackTrans() override {
    inTrans_ = false;
    ++log_.rollbacks;
  }
  bool InTransaction() const override { return inTrans_; }
  RowSet OpenSchema(TSchemaInfo kind, const std::vector<Variant>& restrictions) override {
    log_.lastRestrictions = restrictions;
    RowSet rs;
    rs.Fields = SchemaRowsetColumns(kind);
    Row row(rs.Fields.size(), Variant::Null());
    row[2] = Variant("Orders");
    rs.Rows.push_back(row);
    return rs;
  }
  std::string CurrentDatabase() const override { return database_; }

 private:
  FakeLog& log_;
  std::string database_;
  bool inTrans_ = false;
};

class FakeProvider : public IProvider {
 public:
  explicit FakeProvider(FakeLog& log) : log_(log) {}
  bool Accepts(const std::string& name) const override {
    return text::StartsWithText(name, "FakeProv");
  }
  std::unique_ptr<IProviderSession> Open(const ConnectionString& cs) override {
    if (cs.Get("Password") != "s3cret!") {
      throw EOleException("Login failed: password '" + cs.Get("Password") + "' is wrong");
    }
    ++log_.sessions;
    return std::make_unique<FakeSession>(log_, cs.Get("Initial Catalog"));
  }

 private:
  FakeLog& log_;
};

FakeLog& Log() {
  static FakeLog log;
  static const bool registered = [] {
    ProviderRegistry::Instance().Register(std::make_unique<FakeProvider>(log));
    return true;
  }();
  (void)registered;
  return log;
}

const char* kGood = "Provider=FakeProv.1;Password=s3cret!;User ID=sa;Initial Catalog=Sales";

}  // namespace

TEST(Connection, OpensThroughTheRegistryAndRunsStatements) {
  FakeLog& log = Log();
  TConnection c(kGood);
  EXPECT_FALSE(c.Connected());
  EXPECT_THROW(c.Execute("update x"), EOleException);
  c.Open();
  EXPECT_TRUE(c.Connected());
  EXPECT_EQ(c.CurrentDatabase(), "Sales");
  EXPECT_THROW(c.SetConnectionString("Provider=Other"), EOleException);
  EXPECT_EQ(c.Execute("update x set a = 1; update y set b = 2"), 7);
  EXPECT_EQ(c.Execute("create table t (a int)"), -1);
  EXPECT_EQ(log.statements.back(), "create table t (a int)");

  // A failed statement raises the server's message; the connection stays usable.
  try {
    c.Execute("fail now");
    FAIL();
  } catch (const EOleException& e) {
    EXPECT_EQ(std::string(e.what()).find("s3cret!"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Login failed for user 'sa'"), std::string::npos);
    EXPECT_EQ(e.NativeError(), 18456);
  }
  try {
    c.Execute("crash");
    FAIL();
  } catch (const EOleException& e) {
    EXPECT_EQ(std::string(e.what()).find("s3cret!"), std::string::npos) << e.what();
  }
  EXPECT_EQ(c.Execute("update x"), 7);

  // Transactions; closing with one open rolls it back.
  c.BeginTrans();
  EXPECT_TRUE(c.InTransaction());
  EXPECT_THROW(c.BeginTrans(), EOleException);
  c.CommitTrans();
  EXPECT_FALSE(c.InTransaction());
  const int rollbacks = log.rollbacks;
  c.BeginTrans();
  c.Close();
  EXPECT_EQ(log.rollbacks, rollbacks + 1);
  EXPECT_FALSE(c.Connected());
  c.SetConnectionString("Provider=FakeProv.2;Password=s3cret!;Initial Catalog=Other");
  c.SetConnected(true);
  EXPECT_EQ(c.CurrentDatabase(), "Other");
}

TEST(Connection, RefusedLoginsAndUnknownProvidersNeverShowThePassword) {
  Log();
  TConnection wrong("Provider=FakeProv;Password=hunter2;Initial Catalog=x");
  try {
    wrong.Open();
    FAIL();
  } catch (const EOleException& e) {
    EXPECT_EQ(std::string(e.what()).find("hunter2"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(wrong.Connected());
  TConnection unknown("Provider=NoSuchProvider.9;Password=hunter2");
  try {
    unknown.Open();
    FAIL();
  } catch (const EOleException& e) {
    EXPECT_NE(std::string(e.what()).find("NoSuchProvider.9"), std::string::npos);
    EXPECT_EQ(std::string(e.what()).find("hunter2"), std::string::npos);
  }
}

TEST(Connection, QueriesAndSchemaRowsetsFillDataSets) {
  FakeLog& log = Log();
  TConnection c(kGood);
  c.Open();
  TDataSet ds;
  ds.SetConnection(&c);
  ds.SetCommandText("select name, n from t");
  ds.Open();
  ASSERT_TRUE(ds.Active());
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(ds.FieldByName("n").Value().Type(), VarType::Int);  // "1" from the server, as integer
  EXPECT_TRUE(ds.Locate("name", Variant("BETA"), loCaseInsensitive));
  EXPECT_EQ(ds.FieldByName("n").AsInteger(), 2);

  TDataSet noRows;
  noRows.SetConnection(&c);
  noRows.SetCommandText("create table q (a int)");
  EXPECT_THROW(noRows.Open(), EDatabaseError);
  EXPECT_FALSE(noRows.Active());
  noRows.SetCommandText("update q set a = 1");
  EXPECT_EQ(noRows.ExecSQL(), 7);
  TDataSet unattached;
  unattached.SetCommandText("select 1");
  EXPECT_THROW(unattached.Open(), EDatabaseError);

  c.OpenSchema(siTables, Variant(VariantArray{Variant::Null(), Variant::Null(), "Orders", "TABLE"}), ds);
  ASSERT_EQ(log.lastRestrictions.size(), 4u);
  EXPECT_EQ(log.lastRestrictions[2], Variant("Orders"));
  EXPECT_EQ(ds.FieldCount(), static_cast<int>(SchemaRowsetColumns(siTables).size()));
  EXPECT_EQ(ds.FieldByName("table_name").AsString(), "Orders");
  c.OpenSchema(siColumns, Variant(), ds);
  EXPECT_TRUE(log.lastRestrictions.empty());
  EXPECT_NE(ds.FindField("COLUMN_NAME"), nullptr);
}
