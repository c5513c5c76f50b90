// The SQL Server dialect's user, rename, db-space and quoting statements run on the embedded
// server, which answers as SQL Server 2000 does; what they change is read back through the
// dialect's schema kinds.
#include <gtest/gtest.h>

#include "DialectTestSupport.h"
#include "SqlServerTestDatabase.h"
#include "platform/data/DataErrors.h"

namespace {

class SqlServerAnswers : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_.current = &dialect_;
    static int databases = 0;
    connection_ = dialect_test::CreateAndConnect(dialect_, "Answers" + std::to_string(++databases));
    dialect_.GetDatabaseName(*connection_);
    dialect_.SetDbType(dbtSqlServer);
    dialect_.SetMasterDbType(dbtSqlServer);
    data_.SetConnection(connection_.get());
  }
  void Open(TOrvSchemaInfo kind, std::initializer_list<ado::Variant> criteria) {
    dialect_.OpenSchema(kind, ado::Variant(ado::VariantArray(criteria)), ado::Variant(), data_);
  }
  std::string Field(const std::string& name) { return data_.FieldByName(name).AsString(); }

  TestOwner owner_;
  TSqlServerSpecific dialect_{&owner_};
  std::unique_ptr<ado::TConnection> connection_;
  ado::TDataSet data_;
};

const ado::Variant kAny = ado::Variant::Null();

// Fault: the grant was called without EXEC after the login's call, which the server refuses.
TEST_F(SqlServerAnswers, CreateUserStatementRunsAsOneBatch) {
  const std::string sql = dialect_.GetCreateUserSql(*connection_, "dora", "doraLogin", "pw");
  EXPECT_EQ(sql, "EXEC sp_addLogin 'doraLogin', 'pw'; EXEC sp_grantDbAccess 'doraLogin', 'dora'");
  connection_->Execute(sql);
  Open(vsiUsers, {kAny, kAny, "dora"});
  ASSERT_EQ(data_.RecordCount(), 1);
  EXPECT_EQ(Field("LOGIN_NAME"), "doraLogin");
  // The old form is a syntax error on the server.
  try {
    connection_->Execute("sp_addLogin 'x1'; sp_grantDbAccess 'x1', 'x1'");
    ADD_FAILURE() << "the call without EXEC was accepted";
  } catch (const ado::EOleException& e) {
    EXPECT_EQ(e.NativeError(), 170);
  }
}

// Fault: the new name was bracketed, and the server takes brackets as part of the name.
TEST_F(SqlServerAnswers, RenamesGiveTheNamesAsWritten) {
  connection_->Execute("CREATE TABLE [Order] ([Key] int NULL, price money NULL)");
  connection_->Execute(dialect_.GetRenameTableSql("dbo", "Order", "My Orders"));
  connection_->Execute(dialect_.GetRenameColumnSql("dbo", "My Orders", "Key", "Line Key"));
  Open(vsiColumns, {kAny, "dbo", "My Orders"});
  EXPECT_EQ(dialect_test::Column(data_, "COLUMN_NAME"), (std::vector<std::string>{"Line Key", "price"}));
}

// Fault: the file group had no file, so no table could be placed on it.
TEST_F(SqlServerAnswers, NewDbSpaceTakesATable) {
  dialect_.LoadDbSpaces(*connection_);
  const std::string sql = dialect_.GetCreateDbSpaceSql("Fg Two", "");
  EXPECT_NE(sql.find("ADD FILEGROUP [Fg Two]; ALTER DATABASE " + dialect_.DatabaseName +
                     " ADD FILE (NAME = N'" + dialect_.DatabaseName + "_Fg Two', FILENAME = N'"),
            std::string::npos)
      << sql;
  EXPECT_NE(sql.find("_Fg Two.ndf') TO FILEGROUP [Fg Two]"), std::string::npos) << sql;
  connection_->Execute(sql);
  connection_->Execute("CREATE TABLE Archive (a int NULL) ON [Fg Two]");
  Open(vsiTables, {kAny, "dbo", "Archive"});
  ASSERT_EQ(data_.RecordCount(), 1);
  EXPECT_EQ(Field("TABLE_DBSPACE"), "Fg Two");
  // Without a known data file the group alone is written.
  dialect_.ClearDbSpaces();
  EXPECT_EQ(dialect_.GetCreateDbSpaceSql("Fg3", ""), "ALTER DATABASE " + dialect_.DatabaseName + " ADD FILEGROUP Fg3");
}

// Fault: names spelled like the server's keywords went unquoted and the server refused them.
TEST_F(SqlServerAnswers, KeywordNamesAreQuoted) {
  connection_->Execute("CREATE TABLE " + dialect_.QuoteName("Plan") + " (" + dialect_.QuoteName("User") +
                       " int NULL, " + dialect_.QuoteName("Percent") + " int NULL, " +
                       dialect_.QuoteName("Amount") + " int NULL)");
  Open(vsiColumns, {kAny, "dbo", "Plan"});
  EXPECT_EQ(dialect_test::Column(data_, "COLUMN_NAME"), (std::vector<std::string>{"User", "Percent", "Amount"}));
}

// Fault: WITH ENCRYPTION was written after a trigger's FOR clause, which the server refuses.
TEST_F(SqlServerAnswers, EncryptedTriggerRuns) {
  connection_->Execute("CREATE TABLE Sales (a int NULL)");
  connection_->Execute(dialect_.AddEncryption("CREATE TRIGGER trSales ON Sales\nAFTER INSERT AS SELECT 1"));
  Open(vsiProcedures, {kAny, kAny, "trSales"});
  ASSERT_EQ(data_.RecordCount(), 1);
  EXPECT_EQ(data_.FieldByName("ENCRYPTED").AsInteger(), 1);
}

}  // namespace
