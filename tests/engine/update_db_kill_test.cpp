// A killed update never leaves half of itself: an update in a child process killed (SIGKILL) at a
// random instruction leaves the client as it was before, but for the prepended statement that is
// committed first; killed after the commit, the client is updated. Never a mix. On Adaptive Server
// Anywhere, where each definition commits what ran before it, the client is as the list left it at
// the last definition run.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "UpdateDbSupport.h"

namespace {

using namespace update_test;

constexpr int kRuns = 50;
constexpr int kInstructions = 40;

// Where the child dies: before or after the events of instruction `number`, or after the update
// returned (the commit done).
struct KillPoint {
  int number = 0;
  bool afterEvents = false;
  bool afterCommit = false;
};

std::vector<std::string> ClientScript(const ServerSql& s) {
  return {std::string("CREATE TABLE I (") + s.identity + ", s varchar(20) NULL)",
          text::ReplaceAll("CREATE TABLE T (k INT NOT NULL PRIMARY KEY, v INT NULL)", "INT", s.integer),
          "INSERT INTO I (s) VALUES ('a')", "INSERT INTO T (k, v) VALUES (1, 10)", "INSERT INTO T (k, v) VALUES (2, 20)"};
}

// The prepended statement (id 0), then instructions that create, alter and fill tables.
std::vector<Row> UpdateList(const ServerSql& s) {
  const auto sql = [&](const std::string& text) { return text::ReplaceAll(text, "INT", s.integer); };
  std::vector<Row> rows = {{0, sql("CREATE TABLE P (a INT NULL)")}};
  for (int k = 0; static_cast<int>(rows.size()) <= kInstructions; ++k) {
    const std::string table = "N" + std::to_string(k);
    const std::string column = "c" + std::to_string(k);
    for (const std::string& text :
         {sql("CREATE TABLE " + table + " (a INT NULL)"), "INSERT INTO " + table + " (a) VALUES (" + std::to_string(k) + ")",
          sql("ALTER TABLE T ADD " + column + " INT NULL"), "UPDATE T SET v = v + 1, " + column + " = " + std::to_string(k),
          "INSERT INTO I (s) VALUES ('" + table + "')"}) {
      rows.push_back({static_cast<int>(rows.size()), text});
    }
  }
  rows.resize(kInstructions + 1);
  return rows;
}

// Runs the update of `folder` on `client` in a child process that kills itself at `point`
// (number -1: never). Returns the wait status.
int UpdateInChild(const std::string& client, const std::string& folder, KillPoint point) {
  const pid_t pid = fork();
  if (pid != 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  }
  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = updater.DirSql = updater.DirBackup = folder;
  updater.UpdaterDirectives().BackupBeforeUpdate = beNo;
  updater.UpdaterDirectives().ErrorManager = demStopOnFirstError;
  const auto killAt = [point](bool after) {
    return [point, after](void*, TInstruction& instr, bool&) {
      if (!point.afterCommit && point.afterEvents == after && instr.Number == point.number) raise(SIGKILL);
    };
  };
  updater.BeforeExecuteInstruction = killAt(false);
  updater.AfterExecuteInstruction = killAt(true);
  updater.SetConnectionString(client);
  updater.Initialize();
  updater.SetConnected(true);
  const bool ok = updater.dm()->UpdateDb(false);
  if (point.afterCommit) raise(SIGKILL);
  _exit(ok ? 0 : 1);
}

}  // namespace

TEST(UpdateDbKill, AKilledUpdateLeavesTheClientBeforeOrAfterNeverAMix) {
  const std::vector<std::string> probe = {"INSERT INTO I (s) VALUES ('probe')", "SELECT MAX(id) FROM I"};
  std::mt19937 random(26);
  for (const ServerSql& s : kServers) {
    SCOPED_TRACE(round_trip::ServerName(s.server));
    const std::string prefix = std::string("Kill") + round_trip::ServerName(s.server);
    const std::string folder = round_trip::NewFolder(prefix);
    const std::vector<Row> list = UpdateList(s);
    WriteInstructions(folder, list);
    WriteBlocks(folder, {});

    // The three states a client may be found in.
    const std::string before = round_trip::CreateDatabase(s.server, prefix + "Before", ClientScript(s));
    std::vector<std::string> prependedScript = ClientScript(s);
    prependedScript.push_back(list.front().sql);
    const std::string prepended = round_trip::CreateDatabase(s.server, prefix + "Pre", prependedScript);
    const std::string after = round_trip::CreateDatabase(s.server, prefix + "After", ClientScript(s));
    const int status = UpdateInChild(after, folder, {-1, false, false});
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::vector<std::string> beforeState = Snapshot(before, probe);
    const std::vector<std::string> prependedState = Snapshot(prepended, probe);
    const std::vector<std::string> afterState = Snapshot(after, probe);
    ASSERT_NE(beforeState, prependedState);
    ASSERT_NE(prependedState, afterState);

    std::map<int, std::vector<std::string>> committedStates;  // by the last definition run
    std::uniform_int_distribution<int> pick(0, 2 * (kInstructions + 1));
    for (int run = 0; run < kRuns; ++run) {
      const int drawn = pick(random);
      const KillPoint point = {drawn / 2, drawn % 2 == 1, drawn == 2 * (kInstructions + 1)};
      SCOPED_TRACE("run " + std::to_string(run) + " killed at " +
                   (point.afterCommit ? std::string("the commit")
                                      : std::to_string(point.number) + (point.afterEvents ? " after" : " before")));
      const std::string client = round_trip::CreateDatabase(s.server, prefix + std::to_string(run), ClientScript(s));
      const int killed = UpdateInChild(client, folder, point);
      ASSERT_TRUE(WIFSIGNALED(killed) && WTERMSIG(killed) == SIGKILL) << killed;
      std::vector<std::string> expected =
          point.afterCommit ? afterState : point.number == 0 ? beforeState : prependedState;
      if (s.server == Server::Asa && !point.afterCommit && point.number > 0) {
        int last = 0;
        for (const Row& r : list) {
          const bool ran = r.id < point.number || (r.id == point.number && point.afterEvents);
          if (ran && (r.sql.rfind("CREATE", 0) == 0 || r.sql.rfind("ALTER", 0) == 0)) last = r.id;
        }
        if (!committedStates.count(last)) {
          std::vector<std::string> script = ClientScript(s);
          for (int i = 0; i <= last; ++i) script.push_back(list[static_cast<size_t>(i)].sql);
          committedStates[last] =
              Snapshot(round_trip::CreateDatabase(s.server, prefix + "At" + std::to_string(last), script), probe);
        }
        expected = committedStates[last];
      }
      EXPECT_EQ(Snapshot(client, probe), expected);
    }
  }
}
