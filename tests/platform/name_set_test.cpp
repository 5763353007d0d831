// The remembered name set and the field signatures that let a listing skip
// names: checked against plain containers and the pattern matcher itself.
#include "platform/name_set.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace slicery::platform {
namespace {

std::set<std::string> contents(const NameSet& names) {
  std::set<std::string> all;
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_TRUE(all.insert(names.name(i)).second) << "twice: " << names.name(i);
    EXPECT_TRUE(names.signature(i).covers(fieldSignatureOf(names.name(i))));
  }
  return all;
}

TEST(NameSetTest, BehavesAsASetUnderRandomChanges) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pickName(0, 300);
  const auto name = [&] { return "P.MR." + std::to_string(pickName(random)) + ".IMA"; };
  NameSet names;
  std::set<std::string> model;
  for (int step = 0; step < 20000; ++step) {
    const std::string a = name();
    switch (step % 4) {
      case 0:
      case 1:
        names.insert(a);
        model.insert(a);
        break;
      case 2:
        names.erase(a);
        model.erase(a);
        break;
      case 3: {
        const std::string b = name();
        names.rename(a, b);
        model.erase(a);
        model.insert(b);
        break;
      }
    }
    ASSERT_EQ(names.contains(a), model.count(a) != 0) << step;
  }
  EXPECT_EQ(contents(names), model);
}

TEST(FieldSignatureTest, APatternsFieldsAreCoveredByEveryNameItMatches) {
  std::mt19937 random(11);
  const std::vector<std::string> parts = {"1", "2", "10", "a", "A", "ima", "IMA", "", "x.y"};
  const auto name = [&] {
    std::string text;
    const int pieces = std::uniform_int_distribution<int>(1, 16)(random);
    for (int i = 0; i < pieces; ++i) {
      if (i > 0) text += '.';
      text += parts[random() % parts.size()];
    }
    return text;
  };
  int matched = 0;
  for (int round = 0; round < 20000; ++round) {
    const std::string n = name();
    std::string pattern = name();
    for (char& c : pattern) {
      if (random() % 4 == 0) c = '*';
    }
    if (matchesPattern(n, pattern)) {
      ++matched;
      ASSERT_TRUE(fieldSignatureOf(n).covers(fieldsRequiredBy(pattern))) << n << " ~ " << pattern;
    }
    ASSERT_EQ(PatternMatcher(pattern).matches(n), matchesPattern(n, pattern));
  }
  EXPECT_GT(matched, 100);
  // The series patterns of a run rule out names of other series.
  const std::string other = "ANON.MR.HEAD.3.1.2003.05.27.10.11.12.1.2.IMA";
  EXPECT_FALSE(fieldSignatureOf(other).covers(fieldsRequiredBy("*.*.*.4.*.*.*.*.*.*.*.*.*.ima")));
}

}  // namespace
}  // namespace slicery::platform
