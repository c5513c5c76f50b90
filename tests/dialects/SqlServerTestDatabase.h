// A SQL Server database on the embedded server for the dialect tests: a fresh server folder per
// test program, a database created through the dialect and built by a T-SQL script.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dialects/uDbSpecific.h"
#include "platform/data/Connection.h"
#include "platform/data/DataSet.h"
#include "../servers/MakeServers.h"

namespace dialect_test {

inline const char* kServer = "DialectTests";
// The Adaptive Server Anywhere server made beside it.
inline const char* kAsaServer = "RoundTripAsa";

// The servers' temporary folder, removed with everything in it when the program ends.
struct ServerFolder {
  std::string path;
  ~ServerFolder() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
};

// Points the embedded servers at a new temporary folder and registers them, once per program.
inline void UseFreshServers() {
  static ServerFolder folder;
  if (!folder.path.empty()) return;
  std::string pattern =
      (std::filesystem::temp_directory_path() / "schemion-dialects-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  ASSERT_NE(mkdtemp(buffer.data()), nullptr);
  folder.path = buffer.data();
  setenv("SCHEMION_SERVERS", folder.path.c_str(), 1);
  server_test::MakeSqlServer(kServer);
  server_test::MakeAsaServer(kAsaServer);
}

inline std::string ConnectionStringFor(const std::string& database) {
  return std::string("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
                     "Initial Catalog=") +
         database + ";Data Source=" + kServer;
}

// Creates the database through the dialect and opens a connection to it.
inline std::unique_ptr<ado::TConnection> CreateAndConnect(TSqlServerSpecific& dialect,
                                                          const std::string& database) {
  UseFreshServers();
  const int created = dialect.CreateDatabaseInFolder(database, "", "", "", "", kServer);
  EXPECT_EQ(created, 2) << "database " << database << " not created";
  auto connection = std::make_unique<ado::TConnection>(ConnectionStringFor(database));
  connection->Open();
  return connection;
}

// Runs each statement on its own; a failure names the statement.
inline void RunScript(ado::TConnection& connection, const std::vector<std::string>& script) {
  for (const std::string& sql : script) {
    try {
      connection.Execute(sql);
    } catch (const std::exception& e) {
      ADD_FAILURE() << "statement failed: " << sql << "\n  " << e.what();
    }
  }
}

// The names of the data set's fields, in order.
inline std::vector<std::string> FieldNames(ado::TDataSet& dataSet) {
  std::vector<std::string> names;
  for (int i = 0; i < dataSet.FieldCount(); ++i) names.push_back(dataSet.Fields(i).FieldName());
  return names;
}

// The values of one field over every row, as text, in the data set's order.
inline std::vector<std::string> Column(ado::TDataSet& dataSet, const std::string& field) {
  std::vector<std::string> values;
  for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
    values.push_back(dataSet.FieldByName(field).AsString());
  }
  return values;
}

}  // namespace dialect_test
