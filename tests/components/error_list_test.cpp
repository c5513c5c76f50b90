#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "components/ComponentError.h"
#include "components/DbErrors.h"

namespace {

std::vector<std::string> Descriptions(const std::vector<TDbErrorElem*>& list) {
  std::vector<std::string> d;
  for (const TDbErrorElem* e : list) d.push_back(e->Description);
  return d;
}

std::vector<std::string> Descriptions(const TDbErrors& errors) {
  std::vector<std::string> d;
  for (const auto& e : errors.Items()) d.push_back(e->Description);
  return d;
}

std::vector<std::string> Log(const TDbErrors& errors) {
  std::vector<std::string> lines;
  errors.WriteLog(lines);
  return lines;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::filesystem::path TempDir(const std::string& name) {
  auto dir = std::filesystem::path(SCHEMION_TEST_BUILD_DIR) / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace

TEST(ErrorList, ErrorsAreGroupedByContextInOrderOfArrival) {
  TDbErrors errors;
  errors.Add(dbcCheckDb, "c1", "", 0, "", false);
  errors.Add(dbcUnknown, "u1", "", 0, "", false);
  errors.Add(dbcUpdate, "p1", "boom", 4, "DROP TABLE a", true);
  errors.Add(dbcExtractSchema, "x1", "", 0, "", false);
  errors.Add(dbcCheckDb, "c2", "", 0, "", false);
  errors.Add(dbcUpdate, "p2", "", 5, "", false);
  errors.Add(dbcUpdate, "p3", "", 6, "", false);
  errors.Add(static_cast<TDbContext>(9), "bad", "", 0, "", false);

  EXPECT_EQ(errors.Count(), 8);
  EXPECT_EQ(Descriptions(errors.CheckDbErrors()), (std::vector<std::string>{"c1", "c2"}));
  EXPECT_EQ(Descriptions(errors.UpdateErrors()), (std::vector<std::string>{"p1", "p2", "p3"}));
  EXPECT_EQ(Descriptions(errors.ExtractSchemaErrors()), std::vector<std::string>{"x1"});
  EXPECT_EQ(errors.Items()[7]->Context, dbcUnknown) << "an unknown context is kept as generic";
  const TDbErrorElem& p1 = *errors.UpdateErrors()[0];
  EXPECT_EQ(p1.EMessage, "boom");
  EXPECT_EQ(p1.InstrNumber, 4);
  EXPECT_EQ(p1.SqlText, "DROP TABLE a");
  EXPECT_TRUE(p1.Handled);

  // Delete of the second update entry removes exactly that one, from both lists.
  errors.Delete(5);
  EXPECT_EQ(Descriptions(errors.UpdateErrors()), (std::vector<std::string>{"p1", "p3"}));
  EXPECT_EQ(Descriptions(errors),
            (std::vector<std::string>{"c1", "u1", "p1", "x1", "c2", "p3", "bad"}));
  errors.Delete(-1);
  errors.Delete(7);
  errors.Delete(errors.Count());
  EXPECT_EQ(errors.Count(), 7) << "other indexes do nothing";
  errors.Delete(1);  // a generic entry is only in Items
  EXPECT_EQ(Descriptions(errors), (std::vector<std::string>{"c1", "p1", "x1", "c2", "p3", "bad"}));

  errors.ClearCheckDbErrors();
  EXPECT_TRUE(errors.CheckDbErrors().empty());
  EXPECT_EQ(Descriptions(errors), (std::vector<std::string>{"p1", "x1", "p3", "bad"}));
  EXPECT_EQ(Descriptions(errors.UpdateErrors()), (std::vector<std::string>{"p1", "p3"}));
  errors.ClearUpdateErrors();
  EXPECT_EQ(Descriptions(errors), (std::vector<std::string>{"x1", "bad"}));
  errors.ClearExtractSchemaErrors();
  EXPECT_EQ(Descriptions(errors), std::vector<std::string>{"bad"});
  errors.Add(dbcUpdate, "late", "", 0, "", false);
  errors.Clear();
  EXPECT_EQ(errors.Count(), 0);
  EXPECT_TRUE(errors.UpdateErrors().empty());
}

TEST(ErrorList, LogLayout) {
  TDbErrors empty;
  EXPECT_EQ(Log(empty), (std::vector<std::string>{"ERROR LOG", "", "GENERIC ERRORS", "",
                                                  "EXTRACT SCHEMA ERRORS", "", "CHECK DB ERRORS",
                                                  "", "UPDATE ERRORS", "", "TOTAL ERRORS: 0"}));

  TDbErrors errors;
  errors.Add(dbcCheckDb, "Database does not exists", "", 0, "", false);
  errors.Add(dbcUnknown, "generic", "msg", 0, "", false);
  errors.Add(dbcCheckDb, "second", "E", 12, "ALTER TABLE t", true);
  errors.Add(dbcUpdate, "upd", "", 3, "", false);
  const std::vector<std::string> expected = {"ERROR LOG",
                                             "",
                                             "GENERIC ERRORS",
                                             "INSTR. N.:   0",
                                             "DESCRIPTION: generic",
                                             "SQL TEXT:    ",
                                             "E. MESSAGE:  msg",
                                             "HANDLED:     NO",
                                             "",
                                             "",
                                             "EXTRACT SCHEMA ERRORS",
                                             "",
                                             "CHECK DB ERRORS",
                                             "INSTR. N.:   0",
                                             "DESCRIPTION: Database does not exists",
                                             "SQL TEXT:    ",
                                             "E. MESSAGE:  ",
                                             "HANDLED:     NO",
                                             "",
                                             "INSTR. N.:   12",
                                             "DESCRIPTION: second",
                                             "SQL TEXT:    ALTER TABLE t",
                                             "E. MESSAGE:  E",
                                             "HANDLED:     YES",
                                             "",
                                             "",
                                             "UPDATE ERRORS",
                                             "INSTR. N.:   3",
                                             "DESCRIPTION: upd",
                                             "SQL TEXT:    ",
                                             "E. MESSAGE:  ",
                                             "HANDLED:     NO",
                                             "",
                                             "",
                                             "TOTAL ERRORS: 4"};
  EXPECT_EQ(Log(errors), expected);

  // WriteLog appends to what the list already holds.
  std::vector<std::string> lines = {"before"};
  errors.WriteLog(lines);
  EXPECT_EQ(lines.size(), expected.size() + 1);
  EXPECT_EQ(lines[1], "ERROR LOG");
}

TEST(ErrorList, SaveToFileReplacesTheLog) {
  const auto dir = TempDir("error_log");
  TDbErrors errors;
  errors.Add(dbcUpdate, "upd", "", 3, "", false);
  const auto file = dir / "ErrorLog.txt";
  {
    std::ofstream old(file);
    old << "an older, longer log that must disappear completely\n";
  }
  // Doubled backslashes of a composed name fold to one separator.
  const std::string composed = dir.string() + "\\\\ErrorLog.txt";
  ASSERT_TRUE(errors.SaveToFile(composed));
  const std::string text = ReadFile(file);
  EXPECT_EQ(text.substr(0, 11), "ERROR LOG\n\n");
  EXPECT_NE(text.find("UPDATE ERRORS\nINSTR. N.:   3\nDESCRIPTION: upd\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 16), "TOTAL ERRORS: 1\n");
  EXPECT_EQ(text.find("older"), std::string::npos);

  // A name that cannot be replaced gives False and writes nothing.
  std::filesystem::create_directories(dir / "busy" / "child");
  EXPECT_FALSE(errors.SaveToFile((dir / "busy").string()));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "busy" / "child"));
  std::filesystem::create_directories(dir / "emptydir");
  EXPECT_FALSE(errors.SaveToFile((dir / "emptydir").string()));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "emptydir"));

  // A file that cannot be created raises.
  EXPECT_THROW(errors.SaveToFile((dir / "no" / "such" / "folder.txt").string()), EComponentError);
}
