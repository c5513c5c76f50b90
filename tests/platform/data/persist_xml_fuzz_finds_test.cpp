// Replays the persisted-recordset fuzz target's finds (fuzz/regressions) through its check.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/platform/data/fuzz/RoundTrip.h"

// Regressions, one file each:
// - long-text-of-another-type.xml: a column of an XML-Data type read as text, declared at the
//   long-text length, loaded as a string field and came back from a save as a memo.
TEST(PersistXmlFuzzFinds, EachFindIsRefusedOrSurvivesSaveAndLoad) {
  const std::filesystem::path dir = std::filesystem::path(SCHEMION_SOURCE_DIR_TESTS) / "fuzz/regressions";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(persistfuzz::RoundTripFault(content.str()), "") << entry.path();
    ++files;
  }
  EXPECT_GT(files, 0);
}
