// Test fixture: a fresh SQL Server stand-in in a temporary servers folder, with helpers to run
// T-SQL and read single values.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/data/DataErrors.h"
#include "platform/data/Provider.h"
#include "MakeServers.h"

class SqlServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/schm_sqlsrv_XXXXXX";
    root_ = mkdtemp(tmpl);
    setenv("SCHEMION_SERVERS", root_.c_str(), 1);
    server_test::MakeSqlServer("TESTSRV");
  }
  void TearDown() override {
    session_.reset();
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  std::unique_ptr<ado::IProviderSession> Connect(const std::string& database = "master",
                                                 const std::string& extra = "") {
    return ado::ProviderRegistry::Instance().Open(
        "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=" +
        database + ";Data Source=TESTSRV" + extra);
  }

  // A session on a new database "db".
  ado::IProviderSession& Db() {
    if (!session_) {
      auto master = Connect();
      master->Execute("CREATE DATABASE [db]");
      session_ = Connect("db");
    }
    return *session_;
  }

  ado::RowSet Rows(const std::string& sql) { return Rows(Db(), sql); }
  static ado::RowSet Rows(ado::IProviderSession& s, const std::string& sql) {
    auto results = s.Execute(sql);
    for (auto& r : results)
      if (r.HasRows) return std::move(r.Rows);
    ADD_FAILURE() << "no rows from " << sql;
    return {};
  }
  ado::Variant Value(const std::string& sql) {
    auto rs = Rows(sql);
    if (rs.Rows.empty()) return ado::Variant::Null();
    return rs.Rows[0][0];
  }
  // The first value of the statement's first row set as text: "<null>" for NULL or no row.
  static std::string TextOf(ado::IProviderSession& s, const std::string& sql) {
    auto rs = Rows(s, sql);
    return rs.Rows.empty() || rs.Rows[0][0].IsNull() ? "<null>" : rs.Rows[0][0].AsString();
  }
  std::string TextOf(const std::string& sql) { return TextOf(Db(), sql); }
  int64_t Count(const std::string& table) { return Value("select count(*) from " + table).AsInt(); }
  static int Field(const ado::RowSet& rs, const std::string& name) {
    for (size_t i = 0; i < rs.Fields.size(); ++i)
      if (strcasecmp(rs.Fields[i].Name.c_str(), name.c_str()) == 0) return static_cast<int>(i);
    ADD_FAILURE() << "no field " << name;
    return 0;
  }
  // Runs the statement and returns the server's error number (0 when it succeeds).
  int ErrorOf(const std::string& sql, std::string* message = nullptr) {
    try {
      Db().Execute(sql);
    } catch (const ado::EOleException& e) {
      if (message) *message = e.what();
      return e.NativeError();
    }
    return 0;
  }

  std::string root_;
  std::unique_ptr<ado::IProviderSession> session_;
};
