// The copy-data phase on the three embedded servers: the master's exported rows reach a client
// with missing, equal, differing and extra rows by each treatment; identity values are copied or
// left to the server; items that cannot be copied soundly are refused at check.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;

// One server's spelling of the copied table "Line Items" (key "Order", "Line No": a reserved word
// and a name with a blank), its rows, and the query that reads them back key first.
struct LineItems {
  Server server;
  std::string create;
  std::vector<std::string> masterRows;
  std::vector<std::string> clientRows;
  std::string select;
};

const std::string kLong(3000, 'L');

LineItems Case(Server which) {
  const std::string common = "Name varchar(40) NULL, Qty float NULL, Price money NULL, ";
  const LineItems cases[] = {
      {Server::SqlServer,
       "CREATE TABLE [Line Items] ([Order] int NOT NULL, [Line No] int NOT NULL, " + common +
           "At datetime NULL, Note text NULL, Bin varbinary(8) NULL, "
           "CONSTRAINT PK_LineItems PRIMARY KEY ([Order], [Line No]))",
       {"INSERT INTO [Line Items] VALUES (1, 1, 'O''Brien', 1.5, 2.25, '2024-01-02 03:04:05.123', '" + kLong +
            "', 0x00410042)",
        "INSERT INTO [Line Items] VALUES (1, 2, NULL, NULL, NULL, NULL, NULL, NULL)",
        "INSERT INTO [Line Items] VALUES (2, 1, '''); DROP TABLE [Line Items]; --', -0.1, 1000000.5, "
        "'1999-12-31', 'x', 0x00)"},
       {"INSERT INTO [Line Items] VALUES (1, 1, 'O''Brien', 1.5, 2.25, '2024-01-02 03:04:05.123', '" + kLong +
            "', 0x00410042)",
        "INSERT INTO [Line Items] VALUES (1, 2, 'old', 9, 9, '2020-01-01', 'old', 0x01)",
        "INSERT INTO [Line Items] VALUES (3, 1, 'extra', 3, 3, '2021-01-01', 'extra', 0x03)"},
       "SELECT [Order], [Line No], Name, Qty, Price, At, Note, Bin FROM [Line Items]"},
      {Server::Asa,
       "CREATE TABLE \"Line Items\" (\"Order\" integer NOT NULL, \"Line No\" integer NOT NULL, " + common +
           "At timestamp NULL, Note long varchar NULL, Bin varbinary(8) NULL, "
           "CONSTRAINT PK_LineItems PRIMARY KEY (\"Order\", \"Line No\"))",
       {"INSERT INTO \"Line Items\" VALUES (1, 1, 'O''Brien', 1.5, 2.25, '2024-01-02 03:04:05.123', '" + kLong +
            "', 0x00410042)",
        "INSERT INTO \"Line Items\" VALUES (1, 2, NULL, NULL, NULL, NULL, NULL, NULL)",
        "INSERT INTO \"Line Items\" VALUES (2, 1, '''); DROP TABLE \"Line Items\"; --', -0.1, 1000000.5, "
        "'1999-12-31', 'x', 0x00)"},
       {"INSERT INTO \"Line Items\" VALUES (1, 1, 'O''Brien', 1.5, 2.25, '2024-01-02 03:04:05.123', '" + kLong +
            "', 0x00410042)",
        "INSERT INTO \"Line Items\" VALUES (1, 2, 'old', 9, 9, '2020-01-01', 'old', 0x01)",
        "INSERT INTO \"Line Items\" VALUES (3, 1, 'extra', 3, 3, '2021-01-01', 'extra', 0x03)"},
       "SELECT \"Order\", \"Line No\", Name, Qty, Price, At, Note, Bin FROM \"Line Items\""},
      {Server::Access,
       "CREATE TABLE [Line Items] ([Order] integer NOT NULL, [Line No] integer NOT NULL, " + common +
           "At datetime NULL, Note memo NULL, CONSTRAINT PK_LineItems PRIMARY KEY ([Order], [Line No]))",
       {"INSERT INTO [Line Items] VALUES (1, 1, 'O''Brien', 1.5, 2.25, '2024-01-02 03:04:05', '" + kLong + "')",
        "INSERT INTO [Line Items] VALUES (1, 2, NULL, NULL, NULL, NULL, NULL)",
        "INSERT INTO [Line Items] VALUES (2, 1, '''); DROP TABLE [Line Items]; --', -0.1, 1000000.5, "
        "'1999-12-31', 'x')"},
       {"INSERT INTO [Line Items] VALUES (1, 1, 'O''Brien', 1.5, 2.25, '2024-01-02 03:04:05', '" + kLong + "')",
        "INSERT INTO [Line Items] VALUES (1, 2, 'old', 9, 9, '2020-01-01', 'old')",
        "INSERT INTO [Line Items] VALUES (3, 1, 'extra', 3, 3, '2021-01-01', 'extra')"},
       "SELECT [Order], [Line No], Name, Qty, Price, At, Note FROM [Line Items]"},
  };
  for (const LineItems& c : cases) {
    if (c.server == which) return c;
  }
  return cases[0];
}

std::vector<std::string> With(std::string first, const std::vector<std::string>& rest) {
  std::vector<std::string> script{std::move(first)};
  script.insert(script.end(), rest.begin(), rest.end());
  return script;
}

// The rows by key ("Order|Line No"), each the text of its other values.
std::map<std::string, std::string> RowsByKey(const std::string& database, const std::string& select) {
  std::map<std::string, std::string> rows;
  for (const std::string& row : round_trip::Rows(database, select)) {
    const size_t second = row.find('|', row.find('|') + 1);
    rows[row.substr(0, second)] = row.substr(second + 1);
  }
  return rows;
}

std::function<void(TOrvDbSchemaProducer&)> CopyItem(const std::string& table, TCopyDataTreatment treatment,
                                                    const std::string& field = {}, bool copyAutoInc = false) {
  return [=](TOrvDbSchemaProducer& producer) {
    TCopyDataElem& item = producer.CopyData.Add();
    item.TableName = table;
    item.Treatment = treatment;
    item.FieldToIncrement = field;
    item.CopyAutoInc = copyAutoInc;
  };
}

struct TreatmentCase {
  TCopyDataTreatment treatment;
  const char* name;
  // Where each key's row comes from afterwards: 'm' master, 'c' the client before, '-' absent;
  // keys 1|1, 1|2, 2|1, 3|1, then (cdtMove) 1|3 and 1|4.
  std::string sources;
};

const TreatmentCase kTreatments[] = {
    {cdtUnchange, "Unchange", "mcmc--"},
    {cdtUpdate, "Update", "mmmc--"},
    {cdtChange, "Change", "mm-c--"},
    {cdtDelete, "Delete", "mmmc--"},
    {cdtMove, "Move", "mmmcmc"},
};

// Each treatment, with CopyAutoInc False and True, into a client with equal, differing, missing
// and extra rows; then again, which changes nothing but moves again.
void CopyEachTreatment(const LineItems& server) {
  const char* keys[] = {"1|1", "1|2", "2|1", "3|1", "1|3", "1|4"};
  const std::string serverName = round_trip::ServerName(server.server);
  const std::string masterDb = round_trip::CreateDatabase(server.server, "CopyM" + serverName,
                                                          With(server.create, server.masterRows));
  const std::map<std::string, std::string> master = RowsByKey(masterDb, server.select);
  for (const TreatmentCase& treatment : kTreatments) {
    for (const bool copyAutoInc : {false, true}) {
      SCOPED_TRACE(serverName + " " + treatment.name + (copyAutoInc ? " CopyAutoInc" : ""));
      const std::string name = "Copy" + serverName + treatment.name + (copyAutoInc ? "A" : "");
      const std::string clientDb =
          round_trip::CreateDatabase(server.server, name, With(server.create, server.clientRows));
      const std::map<std::string, std::string> before = RowsByKey(clientDb, server.select);
      const std::string folder = round_trip::NewFolder(name);
      round_trip::Produce(masterDb, folder, CopyItem("Line Items", treatment.treatment, "Line No", copyAutoInc));
      const round_trip::CheckResult check = round_trip::Check(clientDb, folder);
      EXPECT_TRUE(check.ok);
      EXPECT_EQ(check.errors, std::vector<std::string>{});
      round_trip::Execute(clientDb, folder);

      std::map<std::string, std::string> expected;
      for (size_t k = 0; k < treatment.sources.size(); ++k) {
        const char source = treatment.sources[k];
        // A moved row keeps the client's values of the key it had before.
        const std::string from = k == 4 ? "1|1" : k == 5 ? "1|2" : keys[k];
        if (source == 'm') expected[keys[k]] = master.at(from);
        if (source == 'c') expected[keys[k]] = before.at(from);
      }
      const std::map<std::string, std::string> after = RowsByKey(clientDb, server.select);
      EXPECT_EQ(after, expected);

      // Copying again changes nothing, except that cdtMove moves again.
      if (treatment.treatment == cdtMove) continue;
      EXPECT_TRUE(round_trip::Check(clientDb, folder).ok);
      round_trip::Execute(clientDb, folder);
      EXPECT_EQ(RowsByKey(clientDb, server.select), expected);
    }
  }
}

}  // namespace

TEST(CopyData, EachTreatmentOnSqlServer) { CopyEachTreatment(Case(Server::SqlServer)); }
TEST(CopyData, EachTreatmentOnAsa) { CopyEachTreatment(Case(Server::Asa)); }
TEST(CopyData, EachTreatmentOnAccess) { CopyEachTreatment(Case(Server::Access)); }
