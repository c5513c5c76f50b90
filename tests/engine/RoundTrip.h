// The round trip every engine phase is proven by: master and client built by SQL scripts on an
// embedded server, the producer's extraction of the master into a schema folder, a check of the
// client, the instruction list run in id order, and a second check.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "../dialects/SqlServerTestDatabase.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/uDm.h"
#include "platform/data/DataSet.h"
#include "platform/data/Provider.h"

namespace round_trip {

enum class Server { SqlServer, Asa, Access };

inline const char* ServerName(Server server) {
  switch (server) {
    case Server::SqlServer: return "SqlServer";
    case Server::Asa: return "Asa";
    case Server::Access: return "Access";
  }
  return "";
}

inline const char* kAsaEngine = dialect_test::kAsaServer;

// The program's folder for Access files and schema folders (inside the servers' own folder, which
// is removed when the program ends).
inline std::string WorkFolder() {
  dialect_test::UseFreshServers();
  const std::filesystem::path folder = std::filesystem::path(getenv("SCHEMION_SERVERS")) / "round-trip";
  std::filesystem::create_directories(folder);
  return folder.string();
}

// Creates database `name` (new to the program) on the server, runs the script statement by
// statement (a failing statement fails the test, naming it) and returns its connection string.
inline std::string CreateDatabase(Server server, const std::string& name,
                                  const std::vector<std::string>& script) {
  dialect_test::UseFreshServers();
  std::string connectionString;
  switch (server) {
    case Server::SqlServer: {
      TSqlServerSpecific dialect;
      EXPECT_EQ(dialect.CreateDatabaseInFolder(name, "", "", "", "", dialect_test::kServer), 2) << name;
      connectionString = dialect_test::ConnectionStringFor(name);
      break;
    }
    case Server::Asa: {
      TAsaSpecific dialect;
      EXPECT_EQ(dialect.CreateDatabase(name, "C:\\data\\" + name + ".db", "", "", "", kAsaEngine), 2) << name;
      connectionString = std::string("Provider=ASAProv.90;Eng=") + kAsaEngine + ";dbn=" + name;
      break;
    }
    case Server::Access: {
      connectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + WorkFolder() + "/" + name + ".mdb";
      ado::ProviderRegistry::Instance().CreateDatabase(connectionString);
      break;
    }
  }
  ado::TConnection connection(connectionString);
  connection.Open();
  dialect_test::RunScript(connection, script);
  return connectionString;
}

// A new empty schema (or instruction) folder of the program.
inline std::string NewFolder(const std::string& name) {
  const std::filesystem::path folder = std::filesystem::path(WorkFolder()) / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder.string();
}

// The producer's extraction of the master into `folder`; `setUp` may fill the producer's lists
// and directives first.
inline void Produce(const std::string& master, const std::string& folder,
                    const std::function<void(TOrvDbSchemaProducer&)>& setUp = {}) {
  TOrvDbSchemaProducer producer;
  producer.DirSchemas = folder;
  if (setUp) setUp(producer);
  producer.SetConnectionString(master);
  ASSERT_TRUE(producer.Initialize());
  producer.SetConnected(true);
  ASSERT_TRUE(producer.ExtractSchema()) << (producer.Errors().Count() > 0
                                                ? producer.Errors().Items()[0]->Description
                                                : std::string("no error listed"));
}

// One row of instructions.xml.
struct Instruction {
  int id = 0;
  std::string sql;
  int block = 0;
};

inline std::vector<Instruction> LoadInstructions(const std::string& folder) {
  ado::TDataSet set;
  set.LoadFromFile(folder + "/instructions.xml");
  std::vector<Instruction> rows;
  for (set.First(); !set.Eof(); set.Next()) {
    rows.push_back({static_cast<int>(set.FieldByName("id").AsInteger()),
                    set.FieldByName("instruction").AsString(),
                    static_cast<int>(set.FieldByName("IdBlockUndoDelete").AsInteger())});
  }
  return rows;
}

inline std::vector<std::string> Texts(const std::vector<Instruction>& rows) {
  std::vector<std::string> texts;
  for (const Instruction& row : rows) texts.push_back(row.sql);
  return texts;
}

// The undo-delete blocks of BlockUndoDelete.xml, each "ObjectName|Kind", in id order.
inline std::vector<std::string> LoadBlocks(const std::string& folder) {
  ado::TDataSet set;
  set.LoadFromFile(folder + "/BlockUndoDelete.xml");
  std::vector<std::string> rows;
  for (set.First(); !set.Eof(); set.Next()) {
    rows.push_back(set.FieldByName("ObjectName").AsString() + "|" + set.FieldByName("Kind").AsString());
  }
  return rows;
}

// The result of one check: its answer, the saved instructions, the undo-delete blocks and the
// errors listed.
struct CheckResult {
  bool ok = false;
  std::vector<Instruction> instructions;
  std::vector<std::string> errors;
  std::vector<std::string> blocks;
};

// A check of `client` against the schema folder by an updater of its own (instructions saved in
// the same folder); `setUp` may set the updater's directives first.
inline CheckResult Check(const std::string& client, const std::string& folder,
                         const std::function<void(TOrvDbSchemaUpdater&)>& setUp = {}) {
  CheckResult result;
  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = folder;
  updater.DirSql = folder;
  if (setUp) setUp(updater);
  updater.SetConnectionString(client);
  EXPECT_TRUE(updater.Initialize());
  updater.SetConnected(true);
  result.ok = updater.dm()->CheckDb(true);
  for (const auto& error : updater.Errors().Items()) {
    result.errors.push_back(error->Description + " | " + error->EMessage);
  }
  result.instructions = LoadInstructions(folder);
  result.blocks = LoadBlocks(folder);
  return result;
}

// Points the updater at the schema folder (also for its lists and for backups, none taken) and
// connects it to the client; false when it cannot start.
inline bool Connect(TOrvDbSchemaUpdater& updater, const std::string& client, const std::string& folder) {
  updater.DirSchemas = folder;
  updater.DirSql = folder;
  updater.DirBackup = folder;
  updater.UpdaterDirectives().BackupBeforeUpdate = beNo;
  updater.SetConnectionString(client);
  if (!updater.Initialize()) return false;
  updater.SetConnected(true);
  return true;
}

// An updater of the schema folder, connected to the client, that stops at the first failure and
// takes no backup.
inline void PrepareStopOnFirst(TOrvDbSchemaUpdater& updater, const std::string& client, const std::string& folder) {
  updater.UpdaterDirectives().ErrorManager = demStopOnFirstError;
  EXPECT_TRUE(Connect(updater, client, folder));
}

// Runs the saved instructions on the client through the update executor, stopping at the first
// failure: the prepended ones (ids 0, -1 ...) first, each on its own, then the rest in one
// transaction. A failing statement rolls the transaction back; the answer names it with the
// server's message (empty when all ran).
inline std::string TryExecute(const std::string& client, const std::string& folder) {
  TOrvDbSchemaUpdater updater;
  PrepareStopOnFirst(updater, client, folder);
  if (updater.dm()->UpdateDb(false)) return {};
  std::string failure;
  for (const auto& error : updater.Errors().Items()) {
    failure += "instruction " + std::to_string(error->InstrNumber) + " failed: " + error->SqlText + "\n  " +
               error->Description + ": " + error->EMessage + "\n";
  }
  return failure.empty() ? std::string("the update failed, no error listed") : failure;
}

// TryExecute, failing the test when a statement fails.
inline void Execute(const std::string& client, const std::string& folder) {
  const std::string failure = TryExecute(client, folder);
  if (!failure.empty()) ADD_FAILURE() << failure;
}

// Runs the saved list through the update executor of an updater of its own, with the holder
// producer of the schema folder and no backup; `setUp` may set the updater's directives first.
// Returns the errors listed ("description | message"); the update must succeed.
inline std::vector<std::string> Update(const std::string& client, const std::string& folder,
                                       const std::function<void(TOrvDbSchemaUpdater&)>& setUp = {}) {
  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = folder;
  updater.DirSql = folder;
  updater.DirBackup = folder;
  updater.UpdaterDirectives().BackupBeforeUpdate = beNo;
  if (setUp) setUp(updater);
  updater.SetConnectionString(client);
  EXPECT_TRUE(updater.Initialize());
  updater.SetConnected(true);
  const bool ok = updater.dm()->UpdateDb(true);
  std::vector<std::string> errors;
  for (const auto& error : updater.Errors().Items()) {
    errors.push_back(error->Description + " | " + error->EMessage + " | " + error->SqlText);
  }
  EXPECT_TRUE(ok) << ::testing::PrintToString(errors);
  return errors;
}

// The rows of a query on the database, each row its values joined by "|" (null: "<null>").
inline std::vector<std::string> Rows(const std::string& database, const std::string& sql) {
  ado::TConnection connection(database);
  connection.Open();
  ado::TDataSet set;
  set.SetConnection(&connection);
  set.SetCommandText(sql);
  set.Open();
  std::vector<std::string> rows;
  for (set.First(); !set.Eof(); set.Next()) {
    std::string row;
    for (int f = 0; f < set.FieldCount(); ++f) {
      row += (f > 0 ? "|" : "") + (set.Fields(f).IsNull() ? std::string("<null>") : set.Fields(f).AsString());
    }
    rows.push_back(row);
  }
  return rows;
}

// The database's columns as its dialect reads them: table.column, then (withTypes) type name,
// size and nullability; sorted. The columns of an Adaptive Server Anywhere's own SYS tables, which
// its dialect lists too, are left out.
inline std::vector<std::string> Columns(const std::string& database, bool withTypes = true) {
  Tdm dm;
  dm.SetConnectionString(database, false);
  dm.SetConnected(true);
  ado::TDataSet columns;
  dm.OpenSchemaOf(vsiColumns, ado::Variant(), columns);
  std::vector<std::string> rows;
  for (columns.First(); !columns.Eof(); columns.Next()) {
    if (columns.FieldByName("TABLE_SCHEMA").AsString() == "SYS") continue;
    std::string row = columns.FieldByName("TABLE_NAME").AsString() + "." + columns.FieldByName("COLUMN_NAME").AsString();
    if (withTypes) {
      row += " " + columns.FieldByName("COLUMN_TYPE_NAME").AsString() + " " + columns.FieldByName("SIZE").AsString() +
             (columns.FieldByName("IS_NULLABLE").AsBoolean() ? " null" : " not null");
    }
    rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

// The whole road for one pair: extract, check (the client's file unchanged is the caller's to
// test), run, check again. Returns the first check; the second must find nothing to do.
inline CheckResult RoundTrip(const std::string& master, const std::string& client, const std::string& folder,
                             const std::function<void(TOrvDbSchemaProducer&)>& produce = {},
                             const std::function<void(TOrvDbSchemaUpdater&)>& check = {}) {
  Produce(master, folder, produce);
  CheckResult first = Check(client, folder, check);
  EXPECT_TRUE(first.ok);
  Execute(client, folder);
  CheckResult second = Check(client, folder, check);
  EXPECT_TRUE(second.ok);
  EXPECT_EQ(Texts(second.instructions), std::vector<std::string>{}) << "the second check still finds work";
  return first;
}

// One case of the road: master and client made by their scripts (database names `name` + "M" and
// "C"), the round trip run, `after` run on the client, then `query` must read `rows` from it.
struct RoadCase {
  const char* name;
  Server masterServer;
  Server clientServer;
  std::vector<std::string> master, client, after;
  std::string query;
  std::vector<std::string> rows;
};

// Returns the client's connection string.
inline std::string RunRoad(const RoadCase& c) {
  SCOPED_TRACE(c.name);
  const std::string master = CreateDatabase(c.masterServer, std::string(c.name) + "M", c.master);
  const std::string client = CreateDatabase(c.clientServer, std::string(c.name) + "C", c.client);
  const CheckResult first = RoundTrip(master, client, NewFolder(c.name));
  EXPECT_EQ(first.errors, std::vector<std::string>{});
  try {  // a failed case's client may lack what the query reads; the next cases still run
    ado::TConnection connection(client);
    connection.Open();
    dialect_test::RunScript(connection, c.after);
    EXPECT_EQ(Rows(client, c.query), c.rows) << testing::PrintToString(Texts(first.instructions));
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
  }
  return client;
}

}  // namespace round_trip
