#include "platform/pattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace slicery::platform {
namespace {

TEST(Pattern, StarsMatchAnyRunIncludingFullStopsAndNothing) {
  EXPECT_TRUE(matchesPattern("a.ima", "*.ima"));
  EXPECT_TRUE(matchesPattern(".ima", "*.ima"));
  EXPECT_TRUE(matchesPattern("a.b.c.IMA", "*.ima"));
  EXPECT_TRUE(matchesPattern("", "*"));
  EXPECT_TRUE(matchesPattern("abc", "a*b*c"));
  EXPECT_FALSE(matchesPattern("a.imax", "*.ima"));
  EXPECT_FALSE(matchesPattern("aima", "*.ima"));
  EXPECT_FALSE(matchesPattern("", "?"));
  EXPECT_FALSE(matchesPattern("a?", "a"));
}

TEST(Pattern, StarDotStarTakesEveryName) {
  for (const char* name : {"a.ima", "README", "a.", ".a", "x.y.z"}) {
    EXPECT_TRUE(matchesPattern(name, "*.*")) << name;
  }
  EXPECT_FALSE(matchesPattern("README", "*.*.*"));
}

TEST(Pattern, OtherCharactersMatchThemselvesWithAsciiCaseIgnored) {
  EXPECT_TRUE(matchesPattern("ANON.MR.X.2.17.IMA", "anon.mr.x.2.17.ima"));
  // '?' and '[' have no special meaning.
  EXPECT_TRUE(matchesPattern("a?[b]", "a?[B]"));
  EXPECT_FALSE(matchesPattern("ab", "a?"));
  // Bytes outside ASCII are compared exactly.
  EXPECT_TRUE(matchesPattern("\xc3\xa9.ima", "\xc3\xa9.IMA"));
  EXPECT_FALSE(matchesPattern("\xc3\x89.ima", "\xc3\xa9.IMA"));
}

TEST(Pattern, SeriesPatternsSelectByTheFourthPiece) {
  const std::string full = "*.*.*.2.*.*.*.*.*.*.*.*.*.ima";
  EXPECT_TRUE(matchesPattern("A.MR.H.2.17.2003.05.27.10.11.12.1.2.IMA", full));
  EXPECT_FALSE(matchesPattern("A.MR.H.12.17.2003.05.27.10.11.12.1.2.IMA", full));
  EXPECT_FALSE(matchesPattern("A.MR.H.02.17.2003.05.27.10.11.12.1.2.IMA", full));
  EXPECT_FALSE(matchesPattern("A.MR.H.2.17.IMA", full));
  const std::string shortForm = "*.*.*.2.*.ima";
  EXPECT_TRUE(matchesPattern("A.MR.H.2.017.ima", shortForm));
  EXPECT_FALSE(matchesPattern("A.MR.H.20.017.ima", shortForm));
}

TEST(Pattern, PathologicalInputsFinishQuickly) {
  // Exponential backtracking would never finish these.
  const std::string name(10'000, 'a');
  EXPECT_FALSE(matchesPattern(name, std::string(20, '*') + "b"));
  std::string stars;
  for (int i = 0; i < 20; ++i) stars += "*a";
  EXPECT_TRUE(matchesPattern(name, stars));
  EXPECT_FALSE(matchesPattern(name, stars + "*b"));
}

TEST(NameOrder, IgnoresAsciiCaseAndComparesCharacterByCharacter) {
  std::vector<std::string> names = {"b.ima", "A.IMA", "a.ima", "B.10.ima", "B.2.ima", "a_b", "a.b"};
  std::sort(names.begin(), names.end(), lessIgnoringCase);
  const std::vector<std::string> expected = {"a.b",      "A.IMA",   "a.ima", "a_b",
                                             "B.10.ima", "B.2.ima", "b.ima"};
  EXPECT_EQ(names, expected);
  EXPECT_FALSE(lessIgnoringCase("x", "x"));
  EXPECT_TRUE(lessIgnoringCase("x", "xy"));
}

// Names that share long beginnings, differ in case only, end inside the
// bytes the sort keys on or are beginnings of one another, and hold bytes
// above 127: the sort must give exactly the order of the comparison.
TEST(NameOrder, TheKeyedSortGivesTheOrderOfTheComparison) {
  std::mt19937 random(7);
  const std::string alphabet = "aAbB.0129_\xc3\xa9";
  for (int round = 0; round < 200; ++round) {
    const std::string shared = round % 2 == 0 ? "ANON.MR.HEAD_ROUTINE." : "";
    std::vector<std::string> names;
    const int count = 1 + static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      std::string name = shared;
      const size_t length = random() % 14;
      for (size_t k = 0; k < length; ++k) name += alphabet[random() % alphabet.size()];
      names.push_back(name);
    }
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end(), lessIgnoringCase);
    sortIgnoringCase(names, [](const std::string& name) { return std::string_view(name); });
    ASSERT_EQ(names, expected) << "round " << round;
  }
}

}  // namespace
}  // namespace slicery::platform
