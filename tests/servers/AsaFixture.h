// Test fixture: a fresh Adaptive Server Anywhere stand-in in a temporary servers folder, with
// helpers to start databases, run statements and read values, rows and refusals.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/data/DataErrors.h"
#include "platform/data/Provider.h"
#include "MakeServers.h"

class AsaServer : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/schm_asa_XXXXXX";
    root_ = mkdtemp(tmpl);
    setenv("SCHEMION_SERVERS", root_.c_str(), 1);
    server_test::MakeAsaServer("srv");
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  static std::unique_ptr<ado::IProviderSession> Connect(const std::string& extra) {
    return ado::ProviderRegistry::Instance().Open("Provider=ASAProv.90;Eng=srv" + extra);
  }
  // A new database started on the server, and a session on it as DBA.
  static std::unique_ptr<ado::IProviderSession> NewDatabase(const std::string& name) {
    auto server = Connect("");
    server->Execute("CREATE DATABASE 'C:\\data\\" + name + ".db'");
    server->Execute("START DATABASE 'C:\\data\\" + name + ".db'");
    return Connect(";dbn=" + name);
  }
  static std::string Value(ado::IProviderSession& s, const std::string& sql) {
    auto results = s.Execute(sql);
    if (results.empty() || results.back().Rows.Rows.empty()) return "<none>";
    const ado::Variant& v = results.back().Rows.Rows[0][0];
    return v.IsNull() ? "NULL" : v.AsString();
  }
  // The rows of a query joined as "a,b;c,d".
  static std::string Rows(ado::IProviderSession& s, const std::string& sql) {
    std::string out;
    const auto results = s.Execute(sql);
    for (const auto& row : results.back().Rows.Rows) {
      if (!out.empty()) out += ";";
      for (size_t i = 0; i < row.size(); ++i) out += (i ? "," : "") + (row[i].IsNull() ? std::string("NULL") : row[i].AsString());
    }
    return out;
  }
  static int Code(ado::IProviderSession& s, const std::string& sql, std::string* message = nullptr) {
    try {
      s.Execute(sql);
    } catch (const ado::EOleException& e) {
      if (message) *message = e.what();
      return e.NativeError();
    }
    return 0;
  }

  std::string root_;
};
