// Concurrent use never damages a client: two updates of one client started at once (each in a
// process and a program folder of its own), and a reader selecting from every table while an
// update runs. Afterwards the file passes SQLite's integrity check, every table reads with all of
// its rows, an update that ended with success left all of its changes, and a client no update
// finished is as before (Adaptive Server Anywhere commits each definition: there a further run
// completes it).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "UpdateDbSupport.h"
#include "servers/core/Files.h"

namespace {

using namespace update_test;
namespace fs = std::filesystem;

constexpr int kTables = 24;
constexpr int kRows = 20;
constexpr int kNewTables = 4;

std::string TableName(const char* prefix, int number) {
  return prefix + std::to_string(100 + number).substr(1);
}

// The client's tables and rows; the master widens and adds columns, adds and drops indexes and
// adds tables.
std::vector<std::string> Script(const ServerSql& s, bool master) {
  const std::string integer = s.integer;
  std::vector<std::string> script;
  for (int t = 0; t < kTables; ++t) {
    const std::string table = TableName("T", t);
    script.push_back("CREATE TABLE " + table + " (k " + integer + " NOT NULL PRIMARY KEY, v varchar(" +
                     (master && t % 4 != 3 ? "20" : "10") + ") NULL" + (master && t % 2 == 0 ? ", w " + integer + " NULL" : "") +
                     ")");
    if ((t % 3 == 0) == master) script.push_back("CREATE INDEX IX" + table + " ON " + table + " (v)");
    if (master) continue;
    for (int r = 0; r < kRows; ++r)
      script.push_back("INSERT INTO " + table + " (k, v) VALUES (" + std::to_string(r) + ", 'r" + std::to_string(r) + "')");
  }
  if (master)
    for (int t = 0; t < kNewTables; ++t)
      script.push_back("CREATE TABLE " + TableName("N", t) + " (a " + integer + " NOT NULL PRIMARY KEY, b varchar(30) NULL)");
  return script;
}

// The SQLite file behind a client of the test's servers.
std::string ClientFile(Server server, const std::string& name, const std::string& connection) {
  switch (server) {
    case Server::SqlServer:
      return servers::DatabaseFile(servers::ServerFolderOf(dialect_test::kServer), name);
    case Server::Asa:
      return servers::LocalPath(servers::ServerFolderOf(round_trip::kAsaEngine), "C:\\data\\" + name + ".db");
    case Server::Access:
      return connection.substr(connection.find("Data Source=") + 12);
  }
  return {};
}

// SQLite's own verdict on the file, read past the servers' statements.
std::string IntegrityOf(const std::string& path) {
  try {
    auto db = servers::OpenSqlite(path, false);
    servers::Stmt check(db.get(), "PRAGMA integrity_check");
    return check.Step() ? check.Text(0) : "no answer";
  } catch (const std::exception& e) {
    return e.what();
  }
}

// A fresh copy of the schema folder `schemas` in `folder`; returns `folder`.
std::string CopyOfSchemas(const std::string& schemas, const std::string& folder) {
  fs::remove_all(folder);
  fs::copy(schemas, folder);
  return folder;
}

// Starts the program's whole update (check, backup, then run) of `client` from a schema folder of
// its own in a child process; returns its id. The child ends 0 when the update succeeded.
pid_t StartUpdate(const std::string& client, const std::string& schemas, const std::string& folder) {
  CopyOfSchemas(schemas, folder);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  bool ok = false;
  try {
    TOrvDbSchemaUpdater updater;
    updater.UpdaterDirectives().ErrorManager = demStopOnFirstError;
    ok = round_trip::Connect(updater, client, folder);
    // The client is backed up first, as the program does by default.
    updater.UpdaterDirectives().BackupBeforeUpdate = beYes;
    ok = ok && updater.dm()->CheckDb(true) && updater.dm()->UpdateDb(true);
    // What made it fail, for the record of a run.
    for (const auto& error : updater.Errors().Items())
      std::fprintf(stderr, "update %d: %s | %s\n", static_cast<int>(getpid()), error->Description.c_str(),
                   error->EMessage.c_str());
  } catch (...) {
  }
  _exit(ok ? 0 : 1);
}

// Whether the update's process, of this wait status, ended with success.
bool Succeeded(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

bool EndedWithSuccess(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return Succeeded(status);
}

// Every table of the client reads with all of its rows, over one connection made anew.
void ExpectEveryTableReads(const std::string& client) {
  ado::TConnection reader(client);
  reader.Open();
  for (int t = 0; t < kTables; ++t) {
    const std::string table = TableName("T", t);
    try {
      ado::TDataSet rows;
      reader.Query("SELECT * FROM " + table, rows);
      EXPECT_EQ(rows.RecordCount(), kRows) << table;
    } catch (const std::exception& e) {
      ADD_FAILURE() << table << ": " << e.what();
    }
  }
}

struct ConcurrentCase {
  const ServerSql& s;
  std::string prefix, schemas;
  std::vector<std::string> before;  // the client's snapshot before any update
};

// What a client must be after updates that ran concurrently: a sound file with every row, the
// new state when one update succeeded, else the old one (or, on Adaptive Server Anywhere, a state a
// further run completes).
void ExpectSoundClient(const ConcurrentCase& c, const std::string& name, const std::string& client, bool updated) {
  EXPECT_EQ(IntegrityOf(ClientFile(c.s.server, name, client)), "ok");
  ExpectEveryTableReads(client);
  if (!updated && c.s.server != Server::Asa) {
    EXPECT_EQ(Snapshot(client), c.before);
    return;
  }
  const std::string folder = c.schemas + "-after";
  if (!updated) {
    EXPECT_TRUE(round_trip::Check(client, CopyOfSchemas(c.schemas, folder)).ok);
    EXPECT_EQ(round_trip::TryExecute(client, folder), "");
    ExpectEveryTableReads(client);
  }
  const round_trip::CheckResult again = round_trip::Check(client, CopyOfSchemas(c.schemas, folder));
  EXPECT_EQ(round_trip::Texts(again.instructions), std::vector<std::string>{}) << "the update left work undone";
}

ConcurrentCase Prepare(const ServerSql& s, const std::string& test) {
  ConcurrentCase c{s, test + round_trip::ServerName(s.server), {}, {}};
  const std::string master = round_trip::CreateDatabase(s.server, c.prefix + "M", Script(s, true));
  c.schemas = round_trip::NewFolder(c.prefix + "Schemas");
  round_trip::Produce(master, c.schemas);
  c.before = Snapshot(round_trip::CreateDatabase(s.server, c.prefix + "Before", Script(s, false)));
  return c;
}

// Runs `trial` (given the case, its number and the client) on `trials` new clients of every
// server, then expects each client sound; `trial` tells whether an update succeeded.
void ForEachTrial(const std::string& test, int trials,
                  const std::function<bool(const ConcurrentCase&, int, const std::string&)>& trial) {
  for (const ServerSql& s : kServers) {
    SCOPED_TRACE(round_trip::ServerName(s.server));
    const ConcurrentCase c = Prepare(s, test);
    for (int t = 0; t < trials; ++t) {
      SCOPED_TRACE("trial " + std::to_string(t));
      const std::string name = c.prefix + std::to_string(t);
      const std::string client = round_trip::CreateDatabase(s.server, name, Script(s, false));
      ExpectSoundClient(c, name, client, trial(c, t, client));
    }
  }
}

}  // namespace

TEST(UpdateDbConcurrent, TwoUpdatesOfOneClientAtOnceLeaveItSound) {
  ForEachTrial("Two", 3, [](const ConcurrentCase& c, int trial, const std::string& client) {
    const pid_t first = StartUpdate(client, c.schemas, c.schemas + "-a");
    usleep(static_cast<useconds_t>(trial * 40000));
    const pid_t second = StartUpdate(client, c.schemas, c.schemas + "-b");
    const bool firstOk = EndedWithSuccess(first);
    const bool secondOk = EndedWithSuccess(second);
    return firstOk || secondOk;
  });
}

TEST(UpdateDbConcurrent, AReaderDuringAnUpdateWaitsAndTheUpdateKeepsAllItsChanges) {
  ForEachTrial("Read", 2, [](const ConcurrentCase& c, int, const std::string& client) {
    const pid_t update = StartUpdate(client, c.schemas, c.schemas + "-a");
    int status = 0;
    // A report run again and again: each pass connects anew.
    while (waitpid(update, &status, WNOHANG) == 0) ExpectEveryTableReads(client);
    const bool updated = Succeeded(status);
    EXPECT_TRUE(updated);
    return updated;
  });
}
