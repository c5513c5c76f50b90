// The CheckDb driver on the three embedded servers: a client equal to its master gives an empty
// instruction list, and the check leaves the client as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;

struct Pair {
  Server server;
  std::vector<std::string> script;
};

const Pair kPairs[] = {
    {Server::SqlServer, {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, s varchar (20) NULL)",
                         "INSERT INTO T VALUES (1, 'a')"}},
    {Server::Asa, {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, s varchar(20) NULL)",
                   "INSERT INTO T VALUES (1, 'a')"}},
    {Server::Access, {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, s varchar(20) NULL)",
                      "INSERT INTO T VALUES (1, 'a')"}},
};

}  // namespace

TEST(CheckDb, AnIdenticalClientGivesNoInstruction) {
  for (const Pair& pair : kPairs) {
    SCOPED_TRACE(round_trip::ServerName(pair.server));
    const std::string name = std::string("Same") + round_trip::ServerName(pair.server);
    const std::string master = round_trip::CreateDatabase(pair.server, name + "M", pair.script);
    const std::string client = round_trip::CreateDatabase(pair.server, name + "C", pair.script);
    const round_trip::CheckResult result =
        round_trip::RoundTrip(master, client, round_trip::NewFolder(name));
    EXPECT_EQ(round_trip::Texts(result.instructions), std::vector<std::string>{});
    EXPECT_EQ(result.errors, std::vector<std::string>{});
    EXPECT_EQ(round_trip::Rows(client, "SELECT id, s FROM T"), std::vector<std::string>{"1|a"});
  }
}
