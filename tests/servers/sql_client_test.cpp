#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "../common/TempFolder.h"
#include "common/Text.h"
#include "platform/data/DataErrors.h"
#include "platform/data/Provider.h"
#include "servers/client/SqlBatches.h"
#include "servers/client/SqlClient.h"

using namespace sqlclient;

namespace {

// A provider that records every batch; a batch holding FAIL fails, SELECT returns two rows.
struct ScriptLog {
  std::vector<std::string> batches;
};

class FakeSession : public ado::IProviderSession {
 public:
  explicit FakeSession(ScriptLog& log) : log_(log) {}
  std::vector<ado::StatementResult> Execute(const std::string& sql) override {
    if (sql.find("FAIL") != std::string::npos) {
      throw ado::EOleException("Incorrect syntax near 'FAIL'.", 102);
    }
    log_.batches.push_back(sql);
    ado::StatementResult r;
    if (text::StartsWithText(text::Trim(sql), "select")) {
      r.HasRows = true;
      r.Rows.Fields = {{"id", ado::FieldType::ftInteger}, {"name", ado::FieldType::ftString, 20}};
      r.Rows.Rows = {{ado::Variant(1), ado::Variant("alpha")},
                     {ado::Variant(22), ado::Variant::Null()}};
    } else {
      r.RowsAffected = 3;
    }
    return {r};
  }
  void BeginTrans() override {}
  void CommitTrans() override {}
  void RollbackTrans() override {}
  bool InTransaction() const override { return false; }
  ado::RowSet OpenSchema(ado::TSchemaInfo, const std::vector<ado::Variant>&) override { return {}; }
  std::string CurrentDatabase() const override { return "fake"; }

 private:
  ScriptLog& log_;
};

class FakeProvider : public ado::IProvider {
 public:
  explicit FakeProvider(ScriptLog& log) : log_(log) {}
  bool Accepts(const std::string& name) const override { return text::SameText(name, "FakeSql"); }
  std::unique_ptr<ado::IProviderSession> Open(const ado::ConnectionString&) override {
    return std::make_unique<FakeSession>(log_);
  }

 private:
  ScriptLog& log_;
};

ScriptLog& Log() {
  static ScriptLog log;
  static bool registered = false;
  if (!registered) {
    ado::ProviderRegistry::Instance().Register(std::make_unique<FakeProvider>(log));
    registered = true;
  }
  return log;
}

struct ClientRun {
  int status;
  std::string out;
  std::string err;
};

ClientRun RunClient(std::vector<std::string> args, const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = RunSqlClient(args, in, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace

TEST(SqlBatches, GoLinesSeparateBatchesAndLinesAreCounted) {
  const auto b = SplitBatches("create table a (x int)\n go \n\n  insert a values (1)\nGO\nGo\n\nselect 1");
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(b[0].StartLine, 1);
  EXPECT_EQ(b[1].StartLine, 4);
  EXPECT_EQ(b[1].Number, 2);
  EXPECT_EQ(b[2].StartLine, 8);
  EXPECT_EQ(text::Trim(b[2].Text), "select 1");
  // GOTO or a GO inside a statement line does not split.
  EXPECT_EQ(SplitBatches("select 1 GO\nGOTO x\r\n").size(), 1u);
  EXPECT_TRUE(SplitBatches("\n  \nGO\n").empty());
}

TEST(SqlClient, FailingBatchIsReportedAndTheOthersRun) {
  ScriptLog& log = Log();
  log.batches.clear();
  const std::string script = "insert t values (1)\nGO\nFAIL here\nGO\nselect * from t\n";
  ClientRun r = RunClient({"-c", "Provider=FakeSql;Data Source=x"}, script);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(log.batches.size(), 2u);
  EXPECT_NE(r.err.find("Batch 2 (line 3): Incorrect syntax near 'FAIL'."), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("(3 rows affected)"), std::string::npos);
  EXPECT_NE(r.out.find("NULL"), std::string::npos) << "nulls are printed";
  EXPECT_NE(r.out.find("alpha"), std::string::npos);

  log.batches.clear();
  r = RunClient({"-c", "Provider=FakeSql", "-b"}, script);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(log.batches.size(), 1u) << "-b stops at the first failing batch";
}

TEST(SqlClient, QueryOptionArgumentsAndConnectionErrors) {
  Log();
  ClientRun r = RunClient({"-c", "Provider=FakeSql", "-q", "select 1"}, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("id name"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("(2 rows affected)"), std::string::npos);

  EXPECT_EQ(RunClient({"-q", "select 1"}, "").status, 2);
  EXPECT_EQ(RunClient({"-c", "Provider=FakeSql", "-x"}, "").status, 2);
  EXPECT_EQ(RunClient({"-c", "Provider=FakeSql", "-i", "/no/such/file.sql"}, "").status, 2);
  r = RunClient({"-c", "Provider=FakeSql", "-i", ::testing::TempDir()}, "");
  EXPECT_EQ(r.status, 2) << "a folder is no script";
  EXPECT_NE(r.err.find("cannot read the script file"), std::string::npos) << r.err;
  r = RunClient({"-c", "Provider=Nobody.1", "-q", "select 1"}, "");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Nobody.1"), std::string::npos);
}

// Scripts saved as UTF-16 with a byte-order mark (either order) or UTF-8 with one read as their text.
TEST(SqlClient, ScriptFilesInUtf16AndUtf8WithAMarkReadAsTheirText) {
  ScriptLog& log = Log();
  test_support::TempFolder folder("schemion-sqlclient");
  // "insert t values (N'Grüße €𝄞')", GO, "select 1": ü, ß, € and a character beyond the 16-bit range.
  const std::u16string text = u"insert t values (N'Gr\u00FC\u00DFe \u20AC\U0001D11E')\r\nGO\r\nselect 1\r\n";
  const std::string utf8 = "insert t values (N'Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC\xF0\x9D\x84\x9E')";
  auto utf16 = [&](bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : text) {
      const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
      bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
  };
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"utf16le.sql", utf16(false)},
      {"utf16be.sql", utf16(true)},
      {"utf8bom.sql", "\xEF\xBB\xBF" + utf8 + "\nGO\nselect 1\n"},
      {"plain.sql", utf8 + "\nGO\nselect 1\n"},
  };
  for (const Case& c : cases) {
    const std::string path = folder.Path() + "/" + c.name;
    std::ofstream(path, std::ios::binary) << c.bytes;
    log.batches.clear();
    ClientRun r = RunClient({"-c", "Provider=FakeSql", "-i", path}, "");
    EXPECT_EQ(r.status, 0) << c.name << r.err;
    ASSERT_EQ(log.batches.size(), 2u) << c.name;
    EXPECT_EQ(text::TrimRight(log.batches[0]), utf8) << c.name;
    EXPECT_EQ(text::Trim(log.batches[1]), "select 1") << c.name;
  }
}
