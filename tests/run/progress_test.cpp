// Judging a run's steps against the disk: a step is never judged from its
// two names alone where other steps share them.
#include "run/progress.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace slicery::run {
namespace {

using Names = std::set<std::string, std::less<>>;

Progress judged(const std::vector<Step>& steps, const Names& listed, const Names& disk,
                const std::set<std::uint32_t>& failed = {}) {
  const auto each = [](const Names& names) {
    return [&names](const std::function<void(std::string_view)>& name) {
      for (const std::string& n : names) name(n);
    };
  };
  return judge(steps, each(listed), each(disk),
               [&](std::uint32_t f) { return failed.count(f) != 0; });
}

// Series 01 and 1: "01.1" is freed by the first step and taken by the
// third; "1.1" moves to it and on again (a file renamed twice).
const std::vector<Step> kChain = {
    {"01.1", "01.01", 0}, {"01.2", "01.02", 1}, {"1.1", "01.1", 2}, {"01.1", "001.1", 3}};
const Names kListed = {"01.1", "01.2", "1.1"};

TEST(Progress, AChainIsJudgedByWhereTheRunStopped) {
  // Cut after the first step: "01.1" is gone, as it is after the third and
  // fourth step too; only the replay tells that steps 2 to 4 were not taken.
  Progress p = judged(kChain, kListed, {"01.01", "01.2", "1.1"});
  EXPECT_EQ(p.outcomes, (std::vector<Outcome>{Outcome::inEffect, Outcome::untried, Outcome::untried,
                                              Outcome::untried}));
  // Cut after the third: "01.1" stands again, now the file of "1.1".
  p = judged(kChain, kListed, {"01.01", "01.02", "01.1"});
  EXPECT_EQ(p.outcomes, (std::vector<Outcome>{Outcome::inEffect, Outcome::inEffect,
                                              Outcome::inEffect, Outcome::untried}));
  // The whole run, and the folder back as it was.
  p = judged(kChain, kListed, {"01.01", "01.02", "001.1"});
  EXPECT_EQ(p.outcomes, std::vector<Outcome>(4, Outcome::inEffect));
  p = judged(kChain, kListed, kListed);
  EXPECT_EQ(p.outcomes, std::vector<Outcome>(4, Outcome::untried));
  EXPECT_EQ(p.mismatchesAtStart, 0u);
}

TEST(Progress, AFailedStepChangesNothingForTheStepsAfterIt) {
  // The first step failed: "01.1" was never freed, so the third step found
  // its new name held and failed as well; the last is still to come.
  const Progress p = judged(kChain, kListed, {"01.1", "01.02", "1.1"}, {0});
  EXPECT_EQ(p.outcomes, (std::vector<Outcome>{Outcome::noEffect, Outcome::inEffect,
                                              Outcome::noEffect, Outcome::untried}));
}

TEST(Progress, AStepOfItsOwnNamesTellsByThemWhateverTheOthersShow) {
  const std::vector<Step> steps = {{"a.1", "a.01", 0}, {"a.2", "a.02", 1}, {"a.3", "a.03", 2}};
  // Taken out of order, as a power failure may leave them; someone's file at
  // a new name blocks the last.
  const Progress p = judged(steps, {"a.1", "a.2", "a.3"}, {"a.1", "a.02", "a.3", "a.03"});
  EXPECT_EQ(p.outcomes,
            (std::vector<Outcome>{Outcome::untried, Outcome::inEffect, Outcome::blocked}));
}

}  // namespace
}  // namespace slicery::run
