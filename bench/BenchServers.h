// The embedded servers of one benchmark program: a temporary folder of their own, registered
// once, removed with everything in it when the program ends.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>
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

// The T-SQL of a deterministic schema of `tables` tables of 8 to 12 mixed columns: a key, one or
// two indexes, a default, about 70 % with a foreign key to an earlier table (all declared in its
// CREATE TABLE), and a view for every 50 tables. The client's form (`client`) differs in every tenth table: a column of another size
// and one more column.
inline std::vector<std::string> MixedSchema(int tables, bool client) {
  uint32_t seed = 20261207;
  auto next = [&seed](uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % range;
  };
  static const char* const kTypes[] = {"int NULL", "nvarchar (40) NULL", "datetime NULL", "decimal (12, 2) NULL",
                                       "varchar (20) NOT NULL", "float NULL"};
  std::vector<std::string> sql;
  for (int i = 0; i < tables; ++i) {
    const std::string t = "T" + std::to_string(i);
    const bool differs = client && i % 10 == 5;
    const int columns = 8 + static_cast<int>(next(5));
    const bool parent = i > 0 && next(10) < 7;
    const int parentOf = parent ? static_cast<int>(next(static_cast<uint32_t>(i))) : 0;
    std::string cols = parent ? ", [P1] int NULL" : "";
    for (int c = 2; c < columns; ++c) {
      std::string type = kTypes[c % 6];
      if (differs && c == 3) type = "nvarchar (60) NULL";
      if (c == 6) type += " CONSTRAINT [DF_" + t + "] DEFAULT (0)";
      cols += ", [C" + std::to_string(c) + "] " + type;
    }
    if (differs) cols += ", [Extra] int NULL";
    if (parent)
      cols += ", CONSTRAINT [FK_" + t + "] FOREIGN KEY ([P1]) REFERENCES [T" + std::to_string(parentOf) + "] ([Id])";
    sql.push_back("CREATE TABLE [" + t + "] ([Id] int NOT NULL" + cols + ", CONSTRAINT [PK_" + t +
                  "] PRIMARY KEY CLUSTERED ([Id]))");
    sql.push_back("CREATE INDEX [IX_" + t + "] ON [" + t + "] ([C2])");
    if (parent) sql.push_back("CREATE INDEX [IX_" + t + "_P1] ON [" + t + "] ([P1])");
    if (i % 50 == 0)
      sql.push_back("CREATE VIEW [V" + std::to_string(i) + "] AS SELECT [Id], [C2] FROM [" + t + "]");
  }
  return sql;
}

}  // namespace bench
