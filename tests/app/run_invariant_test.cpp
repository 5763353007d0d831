// Whatever the folder, the options and the failing steps: a run neither
// loses, duplicates nor overwrites a file, and nothing leaves the folder.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/form1.h"
#include "support/honest_rename.h"
#include "support/memory_file_system.h"
#include "support/recording_view.h"

namespace slicery::app {
namespace {

using testing::MemoryFileSystem;

template <typename T>
const T& pick(std::mt19937& random, const std::vector<T>& from) {
  return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
}

bool chance(std::mt19937& random, double p) {
  return std::bernoulli_distribution(p)(random);
}

std::string randomName(std::mt19937& random) {
  static const std::vector<std::string> heads = {"P.MR.A", "P.MR.B", "p.mr.a", "P..A", "P.MR"};
  static const std::vector<std::string> series = {"1", "2", "10", "02", "0", "00", "a", "A", ""};
  static const std::vector<std::string> tails = {".2003.05.27.10.11.12.1.2.IMA",
                                                 ".2003.05.27.10.11.12.1.2.ima",
                                                 ".IMA",
                                                 ".ima",
                                                 ".Ima",
                                                 ".x.IMA",
                                                 ".2003.05.27.10.11.12.1.2.IMA.more",
                                                 ".IMA.ima",
                                                 ""};
  const int slice = std::uniform_int_distribution<int>(0, 130)(random);
  return pick(random, heads) + "." + pick(random, series) + "." + std::to_string(slice) +
         pick(random, tails);
}

TEST(RunInvariantTest, NoFileIsLostDuplicatedOrOverwritten) {
  std::mt19937 random(20240517);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    MemoryFileSystem fs;
    fs.addFolder("/exam");
    fs.addFolder("/x_S1");
    fs.addFolder("/exam/a");
    const int files = std::uniform_int_distribution<int>(1, 60)(random);
    for (int i = 0; i < files; ++i) {
      const std::string path = "/exam/" + randomName(random);
      if (!fs.exists(path)) fs.addFile(path, "file " + std::to_string(i));
    }
    if (chance(random, 0.2)) fs.addFile("/exam/Series_S1", "in the way");
    if (chance(random, 0.2)) fs.addFolder("/exam/Series_S2");
    if (chance(random, 0.2)) fs.failOn(MemoryFileSystem::Op::makeFolder, "/exam/Series_S10");
    const auto before = fs.filesUnder("/");
    for (const auto& [path, contents] : before) {
      if (chance(random, 0.05)) fs.failOn(MemoryFileSystem::Op::renameFile, path);
    }

    platform::SettableClock clock;
    Form1 form(fs, clock);
    testing::RecordingView view;
    form.setView(&view);
    ASSERT_TRUE(form.drop({"/exam"}));
    form.changeCheck(form.Check1, chance(random, 0.5) ? 1 : 0);
    if (chance(random, 0.7)) {
      form.changeCheck(form.Check2, 1);
      form.changeCheck(form.Check4, chance(random, 0.5) ? 1 : 0);
      if (chance(random, 0.5)) {
        form.changeCheck(form.Check3, 1);
        form.changeText1(pick(random, std::vector<std::string>{"", "Knee", "a/b", "../x", "."}));
      }
    }
    const int runs = std::uniform_int_distribution<int>(1, 2)(random);
    for (int run = 0; run < runs; ++run) form.pressStart();

    const auto after = fs.filesUnder("/");
    std::map<std::string, int> seenBefore, seenAfter;
    for (const auto& [path, contents] : before) ++seenBefore[contents];
    for (const auto& [path, contents] : after) {
      ++seenAfter[contents];
      EXPECT_EQ(path.rfind("/exam/", 0), 0u) << path;
    }
    ASSERT_EQ(seenBefore, seenAfter);
    // Every success the view was told of is where the run said it went.
    for (const auto& [from, to] : view.renamedFiles) {
      EXPECT_NE(from, to);
      EXPECT_EQ(to.rfind("/exam/", 0), 0u) << to;
    }
  }
}

// A folder as exports leave it: several studies side by side whose series
// numbers repeat, with gaps, one-image series, names with a full stop inside
// a piece, series pieces that are no number, and short names left by an
// earlier run. Numbers like the series' stand in later pieces too.
std::string studyName(std::mt19937& random, const std::string& study, const std::string& series,
                      int slice) {
  const auto small = [&random] {
    return std::to_string(std::uniform_int_distribution(1, 12)(random));
  };
  const std::string head = study + "." + series + "." + std::to_string(slice);
  switch (std::uniform_int_distribution(0, 9)(random)) {
    case 0:
      return head + ".IMA";  // short, as an earlier run leaves it
    case 1:
      return head + ".2003." + small() + ".27." + small() + ".11.12.1." + small() + ".x.IMA";
    case 2:
      return head + ".ima";
    default:
      return head + ".2003." + small() + "." + small() + "." + small() + ".11.12." + small() + "." +
             std::to_string(slice) + ".IMA";
  }
}

TEST(RunInvariantTest, SeveralStudiesInOneFolderKeepEveryImageInItsOwnSeries) {
  std::mt19937 random(20261207);
  static const std::vector<std::string> studies = {"PATA.MR.HEAD", "PATB.MR.HEAD", "PATA.CT.HEAD",
                                                   "pata.mr.knee"};
  static const std::vector<std::string> oddSeries = {"*", "1a", "A", "a", "01", "10"};
  int checked = 0;
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    MemoryFileSystem fs;
    fs.addFolder("/exam");
    const int studyCount = std::uniform_int_distribution(1, 3)(random);
    for (int s = 0; s < studyCount; ++s) {
      const std::string& study = studies[static_cast<size_t>(s)];
      for (int series = 1; series <= 14; ++series) {
        if (chance(random, 0.3)) continue;  // a gap
        const std::string text =
            chance(random, 0.1) ? pick(random, oddSeries) : std::to_string(series);
        const int slices = chance(random, 0.2) ? 1 : std::uniform_int_distribution(2, 40)(random);
        for (int slice = 1; slice <= slices; ++slice) {
          const std::string path = "/exam/" + studyName(random, study, text, slice);
          if (!fs.exists(path)) fs.addFile(path, path);
        }
      }
    }
    const auto before = fs.filesUnder("/exam");

    platform::SettableClock clock;
    Form1 form(fs, clock);
    ASSERT_TRUE(form.drop({"/exam"}));
    form.changeCheck(form.Check1, chance(random, 0.5) ? 1 : 0);
    form.changeCheck(form.Check2, chance(random, 0.6) ? 1 : 0);
    const int runs = std::uniform_int_distribution<int>(1, 2)(random);
    for (int run = 0; run < runs; ++run) form.pressStart();

    std::map<std::string, std::string> placeOf;
    for (const auto& [path, contents] : fs.filesUnder("/exam")) placeOf[contents] = path;
    ASSERT_EQ(placeOf.size(), before.size());
    for (const auto& [path, original] : before) {
      ASSERT_EQ(placeOf.count(original), 1u) << original;
      const std::string oldName = path.substr(6);
      const std::string newPath = placeOf[original].substr(6);
      EXPECT_EQ(testing::mislabelling(oldName, newPath), "") << oldName << " -> " << newPath;
      ++checked;
    }
  }
  EXPECT_GT(checked, 10000);
}

}  // namespace
}  // namespace slicery::app
