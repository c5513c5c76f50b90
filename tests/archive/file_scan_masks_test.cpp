// Wildcard masks of the file scanner: stars, question marks, lists, names ending in a dot, the
// backtrack limit.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "archive/pakvoFileScan.h"


namespace {

// Plain dynamic-programming matcher: "*" any run, "?" one byte, case ignored; a "?" that follows
// a star is dropped, as the mask compiler does.
bool ReferenceMatch(const std::string& name, const std::string& rawMask) {
  std::string mask;
  bool star = false;
  for (char c : rawMask) {
    if (c == '?' && star) continue;
    star = c == '*' || (star && c == '?');
    mask += c;
  }
  auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
  std::vector<std::vector<char>> ok(name.size() + 1, std::vector<char>(mask.size() + 1, 0));
  ok[0][0] = 1;
  for (size_t j = 1; j <= mask.size(); ++j) ok[0][j] = mask[j - 1] == '*' && ok[0][j - 1];
  for (size_t i = 1; i <= name.size(); ++i)
    for (size_t j = 1; j <= mask.size(); ++j) {
      char m = mask[j - 1];
      if (m == '*')
        ok[i][j] = ok[i][j - 1] || ok[i - 1][j];
      else
        ok[i][j] = ok[i - 1][j - 1] && (m == '?' || up(m) == up(name[i - 1]));
    }
  return ok[name.size()][mask.size()];
}

}  // namespace

TEST(FileScanMasks, StarsQuestionMarksAndCase) {
  EXPECT_TRUE(MatchesMask("anything.txt", "*"));
  EXPECT_TRUE(MatchesMask("", "*"));
  EXPECT_TRUE(MatchesMask("Report.TXT", "*.txt"));
  EXPECT_FALSE(MatchesMask("report.txt.bak", "*.txt"));
  EXPECT_TRUE(MatchesMask("a1.dat", "a?.dat"));
  EXPECT_FALSE(MatchesMask("a.dat", "a?.dat"));
  EXPECT_FALSE(MatchesMask("a12.dat", "a?.dat"));
  EXPECT_TRUE(MatchesMask("abcabd", "*abd"));  // needs a backtrack
  EXPECT_TRUE(MatchesMask("mississippi", "m*iss*ppi"));
  EXPECT_FALSE(MatchesMask("mississippi", "m*iss*ppx"));
  // "*?" is the star alone: an empty remainder matches.
  EXPECT_TRUE(MatchesMask("abc", "abc*?"));
  EXPECT_TRUE(MatchesMask("abcd", "abc*?"));
  // Brackets are ordinary characters in these masks.
  EXPECT_TRUE(MatchesMask("[ab].txt", "[ab].txt"));
  EXPECT_FALSE(MatchesMask("a.txt", "[ab].txt"));
}

TEST(FileScanMasks, NamesEndingInADot) {
  EXPECT_TRUE(MatchesMask("README", "readme."));
  EXPECT_TRUE(MatchesMask("readme", "README."));
  EXPECT_FALSE(MatchesMask("readme.txt", "readme."));
  EXPECT_TRUE(MatchesMask("makefile", "*."));
  EXPECT_FALSE(MatchesMask("main.c", "*."));
  EXPECT_FALSE(MatchesMask("README", "*.*"));  // as a mask text; a FileSpec entry "*.*" is "*"
}

TEST(FileScanMasks, NonAsciiAndBlanks) {
  EXPECT_TRUE(MatchesMask("café au lait.txt", "caf? au*.txt"));
  EXPECT_TRUE(MatchesMask("Ünïcödé.doc", "Ü*.doc"));
  EXPECT_TRUE(MatchesMask("日本語.txt", "???.txt"));
  EXPECT_FALSE(MatchesMask("日本語.txt", "??.txt"));
}

TEST(FileScanMasks, CommaSeparatedLists) {
  TMaskList list;
  list.AddText("*.txt,  *.doc ,readme.");
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_TRUE(list.Matches("a.txt"));
  EXPECT_TRUE(list.Matches("b.DOC"));
  EXPECT_TRUE(list.Matches("README"));
  EXPECT_FALSE(list.Matches("c.pdf"));
  TMaskList empty;
  EXPECT_FALSE(empty.Matches("a"));
}

TEST(FileScanMasks, CompiledForm) {
  TInternalMask m("*a?b*");
  const auto& e = m.Entries();
  ASSERT_EQ(e.size(), 4u);
  EXPECT_TRUE(e[0].StarBefore);
  EXPECT_EQ(e[0].Char, 'A');
  EXPECT_EQ(e[1].Kind, 1);
  EXPECT_FALSE(e[2].StarBefore);
  EXPECT_EQ(e[2].Char, 'B');
  EXPECT_TRUE(e[3].StarBefore);
  EXPECT_EQ(e[3].Char, 0);
  EXPECT_TRUE(TInternalMask("x.").EndsWithDot());
}

// More stars than backtrack points, against long names: the result is right and comes at once.
TEST(FileScanMasks, BacktrackLimitIsSafe) {
  std::string mask;
  for (int i = 0; i < 40; ++i) mask += "*a";
  mask += "*b";
  std::string yes(200, 'a');
  yes += "b";
  std::string no(250, 'a');
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(MatchesMask(yes, mask));
  EXPECT_FALSE(MatchesMask(no, mask));
  EXPECT_FALSE(MatchesMask(std::string(30, 'a') + "b", mask));
  std::string aba;
  for (int i = 0; i < 60; ++i) aba += "ab";
  EXPECT_TRUE(MatchesMask(aba, "*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*a?*b"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  // Random masks against random names agree with a plain matcher.
  std::mt19937 rng(7);
  const char alphabet[] = "abAB*?.";
  for (int round = 0; round < 20000; ++round) {
    std::string n, m;
    int nl = static_cast<int>(rng() % 12), ml = static_cast<int>(rng() % 9);
    for (int i = 0; i < nl; ++i) n += "abAB."[rng() % 5];
    for (int i = 0; i < ml; ++i) m += alphabet[rng() % 7];
    if (!m.empty() && m.back() == '.') m.back() = 'a';  // the trailing-dot rule differs
    ASSERT_EQ(MatchesMask(n, m), ReferenceMatch(n, m)) << "name '" << n << "' mask '" << m << "'";
  }
}
