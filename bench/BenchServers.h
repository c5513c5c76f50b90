// The embedded servers of one benchmark program: a temporary folder of their own, registered
// once, removed with everything in it when the program ends.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "dialects/uDbSpecific.h"
#include "platform/data/Provider.h"
#include "servers/EmbeddedServers.h"

namespace bench {

struct ServerFolder {
  std::string dir;
  explicit ServerFolder(const std::string& aName) {
    dir = (std::filesystem::temp_directory_path() / ("schemion-" + aName + "-bench-" + std::to_string(getpid())))
              .string();
    std::filesystem::create_directories(dir);
    setenv("SCHEMION_SERVERS", dir.c_str(), 1);
    servers::RegisterEmbeddedServers();
  }
  ~ServerFolder() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  ServerFolder(const ServerFolder&) = delete;
  ServerFolder& operator=(const ServerFolder&) = delete;
};

// Makes the SQL Server ("Data Source=") or Adaptive Server Anywhere ("Eng=") server the connection
// string names, once per program: a connection reaches only a server that was made.
inline void MakeServer(const std::string& aConnectionString) {
  static std::set<std::string> made;
  if (made.insert(aConnectionString).second) ado::ProviderRegistry::Instance().CreateServer(aConnectionString);
}

// A new database on an embedded SQL Server of the benchmark; its connection string, empty when it
// could not be created.
inline std::string NewSqlServerDatabase(const std::string& aName, const std::string& aServer) {
  MakeServer("Provider=SQLOLEDB.1;Data Source=" + aServer);
  TSqlServerSpecific dialect;
  if (dialect.CreateDatabaseInFolder(aName, "", "", "", "", aServer) != 2) return {};
  return "Provider=SQLOLEDB.1;Integrated Security=SSPI;Initial Catalog=" + aName + ";Data Source=" + aServer;
}

// A table of `columns` columns: the key [Id] int, then [C1] ... of `type`, nullable.
inline std::string KeyedTableSql(const std::string& aTable, int columns, const std::string& type) {
  std::string sql = "CREATE TABLE [" + aTable + "] ([Id] int NOT NULL";
  for (int col = 1; col < columns; ++col) sql += ", [C" + std::to_string(col) + "] " + type + " NULL";
  return sql + ", CONSTRAINT [PK_" + aTable + "] PRIMARY KEY ([Id]))";
}

}  // namespace bench
