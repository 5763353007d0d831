// makePlan on listings made in memory: the worked exam, what the plan
// foresees, and random export folders whose plans are checked against the
// names they give and against a run of the same folder.
#include "rename/plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/form1.h"
#include "support/honest_rename.h"
#include "support/memory_file_system.h"

namespace slicery::rename {
namespace {

using platform::FileSystem;
using platform::PathKind;

PlanOptions options(bool shortNames, bool folders, std::string base = "Series",
                    long nameLimit = 255) {
  PlanOptions o;
  o.shortNames = shortNames;
  o.folders = folders;
  o.folderBaseName = std::move(base);
  o.nameLimit = nameLimit;
  return o;
}

// The plan of a folder of .ima files `names` and `others`, with List1 and
// the series count as the window's census gives them.
Plan planOf(const std::vector<std::string>& names, PlanOptions o, FileSystem::Entries others = {}) {
  Listing listing;
  FileSystem::Entries files;
  for (const std::string& name : names) files.emplace_back(name, PathKind::file);
  listing.index.assign(std::move(files));
  listing.others = std::move(others);
  scan::NameFields fields;
  for (const std::string_view name : listing.index.names()) {
    scan::splitImaFileName(name, fields);
    const std::string_view series = fields[scan::kSeriesField];
    if (!series.empty() && (o.list1.empty() || o.list1.back() != series)) {
      o.list1.emplace_back(series);
    }
  }
  o.seriesCount = static_cast<int>(o.list1.size());
  return makePlan(std::move(listing), std::move(o));
}

struct Step {
  const PlannedSeries* s;
  const PlannedFile* f;
};

// Every step of the file listed as `oldName`, in plan order.
std::vector<Step> stepsOf(const Plan& plan, std::string_view oldName) {
  std::vector<Step> steps;
  for (const PlannedSeries& s : plan.series) {
    for (size_t i = s.firstFile; i < s.endFile; ++i) {
      if (plan.files[i].oldName == oldName) steps.push_back({&s, &plan.files[i]});
    }
  }
  return steps;
}

std::string fullName(const std::string& series, const std::string& slice) {
  return "ANON.MR.HEAD_ROUTINE." + series + "." + slice + ".2003.05.27.10.11.12.123456.1234567.IMA";
}

TEST(PlanTest, WorkedExamOfTwelveSeries) {
  std::vector<std::string> names;
  for (int s = 1; s <= 12; ++s) {
    for (int i = 1; i <= (s == 2 ? 120 : 1); ++i) {
      names.push_back(fullName(std::to_string(s), std::to_string(i)));
    }
  }
  // The file's target, after "<series folder>:" when its series has one.
  const auto targetOf = [&](const PlanOptions& o) {
    const Plan plan = planOf(names, o);
    const std::vector<Step> steps = stepsOf(plan, fullName("2", "17"));
    if (steps.size() != 1) return "steps: " + std::to_string(steps.size());
    EXPECT_TRUE(plan.moves(*steps[0].s, *steps[0].f));
    const std::string folder = steps[0].s->hasFolder ? steps[0].s->folderName + ":" : "";
    return folder + plan.target(*steps[0].s, *steps[0].f);
  };
  EXPECT_EQ(targetOf(options(false, false)), fullName("02", "017"));
  EXPECT_EQ(targetOf(options(true, false)), "ANON.MR.HEAD_ROUTINE.02.017.IMA");
  EXPECT_EQ(targetOf(options(false, true)), "Series_S02:Series_S02/" + fullName("02", "017"));
  EXPECT_EQ(targetOf(options(false, true, "Knee")), "Knee_S02:Knee_S02/" + fullName("02", "017"));

  // Short names are kept; "ima" in lower case is no short name.
  names = {"P.MR.A.3.1.IMA", "P.MR.A.3.2.ima"};
  for (int s = 4; s <= 14; ++s) names.push_back("P.MR.A." + std::to_string(s) + ".1.x.IMA");
  const Plan plan = planOf(names, options(true, false));
  EXPECT_EQ(stepsOf(plan, "P.MR.A.3.1.IMA").at(0).f->newName, "P.MR.A.3.1.IMA");
  EXPECT_EQ(stepsOf(plan, "P.MR.A.3.2.ima").at(0).f->newName, "P.MR.A.03.2.ima");
}

// Every target of `plan`, in plan order.
std::vector<std::string> targetsOf(const Plan& plan) {
  std::vector<std::string> targets;
  for (const PlannedSeries& s : plan.series) {
    for (size_t i = s.firstFile; i < s.endFile; ++i)
      targets.push_back(plan.target(s, plan.files[i]));
  }
  return targets;
}

// Whether the targets of `plan`, sorted by name as a listing shows them,
// follow series and then slice order.
bool listingFollowsNumbers(const Plan& plan) {
  std::vector<std::pair<std::pair<long, long>, std::string>> byNumber;
  scan::NameFields fields;
  for (const PlannedSeries& s : plan.series) {
    for (size_t i = s.firstFile; i < s.endFile; ++i) {
      scan::splitImaFileName(plan.files[i].oldName, fields);
      byNumber.push_back({{std::stol(std::string(fields[scan::kSeriesField])),
                           std::stol(std::string(fields[scan::kSliceField]))},
                          plan.target(s, plan.files[i])});
    }
  }
  std::sort(byNumber.begin(), byNumber.end());
  std::vector<std::string> byName;
  for (const auto& [numbers, target] : byNumber) byName.push_back(target);
  std::vector<std::string> listed = byName;
  std::sort(listed.begin(), listed.end());
  return listed == byName;
}

TEST(PlanTest, NumbersWithGapsGetWidthsThatSort) {
  // Series 1, 2 and 100; series 1 has slices 1, 5, 9, 10, 12, series 100
  // has 90 files whose slices run to 105.
  std::vector<std::string> names;
  for (const int slice : {1, 5, 9, 10, 12}) names.push_back(fullName("1", std::to_string(slice)));
  names.push_back(fullName("2", "3"));
  for (int slice = 16; slice <= 105; ++slice) {
    names.push_back(fullName("100", std::to_string(slice)));
  }
  for (const bool folders : {false, true}) {
    PlanOptions o = options(false, folders);
    const Plan plan = planOf(names, o);
    EXPECT_TRUE(listingFollowsNumbers(plan)) << folders;
    const auto in = [folders](const char* folder, const std::string& name) {
      return folders ? platform::joinPath(folder, name) : name;
    };
    const Step first = stepsOf(plan, fullName("1", "5")).at(0);
    EXPECT_EQ(plan.target(*first.s, *first.f), in("Series_S001", fullName("001", "05")));
    const Step last = stepsOf(plan, fullName("100", "105")).at(0);
    EXPECT_EQ(plan.target(*last.s, *last.f), in("Series_S100", fullName("100", "105")));
    EXPECT_EQ(stepsOf(plan, fullName("100", "16")).at(0).f->newName, fullName("100", "016"));
    if (!folders) {
      // Names padded so are left alone, as names that sort already are.
      const Plan again = planOf(targetsOf(plan), options(false, false));
      EXPECT_FALSE(again.changesSomething());
      for (const PlannedFile& f : again.files) EXPECT_FALSE(f.renamed) << f.oldName;
    }

    // The widths a journal of the old version recorded: the counts' digits
    // alone, which leave the listing out of order.
    o.sortableWidths = false;
    const Plan old = planOf(names, o);
    EXPECT_FALSE(listingFollowsNumbers(old));
    EXPECT_EQ(stepsOf(old, fullName("100", "16")).at(0).f->newName, fullName("100", "16"));
    EXPECT_EQ(stepsOf(old, fullName("1", "5")).at(0).f->newName, fullName("1", "5"));
  }
}

TEST(PlanTest, FoldersWithoutGapsGetTheNamesTheyAlwaysGot) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 40; ++round) {
    // Series 1 to n, each with slices 1 to its count, some of them padded.
    std::vector<std::string> names;
    const int series = std::uniform_int_distribution(1, 14)(random);
    for (int s = 1; s <= series; ++s) {
      const int slices = std::uniform_int_distribution(1, round % 4 == 0 ? 130 : 12)(random);
      for (int i = 1; i <= slices; ++i) {
        std::string slice(i < 10 && round % 3 == 0 ? "0" : "");
        slice += std::to_string(i);
        names.push_back(fullName(std::to_string(s), slice));
      }
    }
    PlanOptions o = options(round % 2 == 0, round % 5 == 0);
    const Plan plan = planOf(names, o);
    o.sortableWidths = false;
    const Plan old = planOf(names, o);
    EXPECT_EQ(targetsOf(plan), targetsOf(old)) << round;
    ASSERT_EQ(plan.files.size(), old.files.size());
    for (size_t i = 0; i < plan.files.size(); ++i) {
      EXPECT_EQ(plan.files[i].renamed, old.files[i].renamed) << plan.files[i].oldName;
    }
  }

  // Short names padded by an earlier run stay as they are, and a run of
  // them changes nothing.
  const Plan shortNames =
      planOf({"P.MR.A.01.05.IMA", "P.MR.A.01.10.IMA", "P.MR.A.02.1.IMA", "P.MR.A.100.01.IMA"},
             options(true, false));
  for (const PlannedFile& f : shortNames.files) EXPECT_EQ(f.newName, f.oldName);
  EXPECT_FALSE(shortNames.changesSomething());
}

TEST(PlanTest, FolderThatSortsAlreadyIsOnlyCounted) {
  std::vector<std::string> names;
  for (int s = 1; s <= 9; ++s) {
    for (int i = 1; i <= s; ++i) names.push_back(fullName(std::to_string(s), std::to_string(i)));
  }
  const Plan plan = planOf(names, options(false, false));
  EXPECT_EQ(plan.files.size(), names.size());
  for (const PlannedFile& f : plan.files) EXPECT_FALSE(f.renamed) << f.oldName;
  EXPECT_FALSE(plan.changesSomething());
}

TEST(PlanTest, SeriesFoldersAreDescribedOnceEachInListOrder) {
  // List1 is "00", "1", "10", "2", "1", "2": two studies share series 1 and 2.
  std::vector<std::string> names = {"A.MR.X.00.1.x.IMA"};
  for (const std::string series : {"1", "2", "10"}) {
    for (const std::string study : {"A.MR.X.", "B.MR.X."}) {
      if (study[0] == 'A' || series != "10") names.push_back(study + series + ".1.x.IMA");
    }
  }
  PlanOptions o = options(false, true);
  o.describe = true;
  Plan plan = planOf(names, o);
  EXPECT_EQ(plan.described, (std::vector<std::string>{"Series_S01", "Series_S10", "Series_S02"}));
  const std::vector<Step> zero = stepsOf(plan, "A.MR.X.00.1.x.IMA");
  ASSERT_EQ(zero.size(), 1u);
  EXPECT_FALSE(zero[0].s->hasFolder);  // a series of 0 gets none

  // A file whose short name is taken comes up again in the second pass of
  // series 1; its folder is still to be described once.
  o.shortNames = true;
  plan =
      planOf({"A.MR.X.1.1.x.IMA", "A.MR.X.1.1.y.IMA", "A.MR.X.2.1.x.IMA", "B.MR.X.1.1.x.IMA"}, o);
  EXPECT_EQ(plan.described, (std::vector<std::string>{"Series_S1", "Series_S2"}));
}

TEST(PlanTest, ForeseesNamesHeldTooLongAndFoldersThatAreNone) {
  // List1 is "1", "2", "1": a file whose new name a folder holds comes up
  // again in the second pass of series 1, still under its own name.
  Plan plan = planOf({"A.X.Y.1.1.x.IMA", "A.X.Y.2.1.x.IMA", "B.X.Y.1.1.x.IMA", "B.X.Y.1.1.y.IMA"},
                     options(true, false), {{"A.X.Y.1.1.IMA", PathKind::folder}});
  std::vector<Step> steps = stepsOf(plan, "A.X.Y.1.1.x.IMA");
  ASSERT_EQ(steps.size(), 2u);
  for (const Step& step : steps) EXPECT_EQ(step.f->foreseen, Foresight::taken);
  // Of two files that would share a name, the first gets it.
  EXPECT_EQ(stepsOf(plan, "B.X.Y.1.1.x.IMA").at(0).f->foreseen, Foresight::none);
  EXPECT_EQ(stepsOf(plan, "B.X.Y.1.1.y.IMA").at(0).f->foreseen, Foresight::taken);

  const std::string name = "P.MR.A.1.1.x.IMA";  // 16 bytes, moved into its folder
  EXPECT_EQ(planOf({name}, options(false, true, "S", 15)).files.at(0).foreseen, Foresight::tooLong);
  EXPECT_EQ(planOf({name}, options(false, true, "S", 16)).files.at(0).foreseen, Foresight::none);

  plan = planOf({"P.MR.A.1.1.x.IMA", "P.MR.A.2.1.x.IMA", "P.MR.A.3.1.x.IMA"}, options(false, true),
                {{"Series_S1", PathKind::file},
                 {"Series_S2", PathKind::link},
                 {"Series_S3", PathKind::folder}});
  ASSERT_EQ(plan.series.size(), 3u);
  EXPECT_NE(plan.series[0].refusal, "");
  EXPECT_NE(plan.series[1].refusal, "");
  EXPECT_EQ(plan.series[2].refusal, "");
  EXPECT_TRUE(plan.series[2].folderListed);
}

// On a folder that folds letter case (exFAT, FAT) a name held in another
// case is taken, and a series folder in another case is the series' own.
TEST(PlanTest, AFolderThatFoldsCaseTakesNamesInAnyCase) {
  std::vector<std::string> names;
  for (int i = 1; i <= 10; ++i) names.push_back(fullName("1", std::to_string(i)));
  std::string held = fullName("1", "01");
  for (char& c : held) c = platform::foldedLetter(c);
  for (const bool folds : {false, true}) {
    PlanOptions o = options(false, false);
    o.foldsCase = folds;
    Plan plan = planOf(names, o, {{held, PathKind::file}});
    EXPECT_EQ(stepsOf(plan, fullName("1", "1")).at(0).f->foreseen,
              folds ? Foresight::taken : Foresight::none);
    o.folders = true;
    plan = planOf(names, o, {{"series_s1", PathKind::folder}});
    EXPECT_EQ(plan.series.at(0).folderListed, folds);
  }
}

// How often the random folders reach each foreseen failure.
std::map<std::string, int> reached;

// Checks `plan` step by step against the folder it leaves, which starts with
// the files `names` and `others`; returns the files it ends with.
std::set<std::string> checkPlan(const Plan& plan, const std::vector<std::string>& names,
                                const FileSystem::Entries& others) {
  const PlanOptions& o = plan.options;
  std::map<std::string, PathKind> tree(others.begin(), others.end());
  for (const std::string& name : names) tree[name] = PathKind::file;
  std::vector<std::string> described;  // usable folders with files, first seen first
  for (const PlannedSeries& s : plan.series) {
    if (!s.hasFolder) continue;
    const auto held = tree.find(s.folderName);
    if (held != tree.end() && held->second != PathKind::folder) {
      EXPECT_NE(s.refusal, "") << s.folderName;
    }
    if (!s.refusal.empty()) {
      ++reached["refused"];
      continue;
    }
    tree[s.folderName] = PathKind::folder;
    if (s.endFile > s.firstFile &&
        std::count(described.begin(), described.end(), s.folderName) == 0) {
      described.push_back(s.folderName);
    }
  }
  const auto stops = [](std::string_view name) {
    return std::count(name.begin(), name.end(), '.');
  };
  std::set<std::string> targets;
  for (const PlannedSeries& s : plan.series) {
    for (size_t i = s.firstFile; i < s.endFile; ++i) {
      const PlannedFile& f = plan.files[i];
      const std::string target = plan.target(s, f);
      SCOPED_TRACE(std::string(f.oldName) + " -> " + target);
      EXPECT_EQ(tree.count(std::string(f.oldName)), 1u) << "a step from a name the folder lacks";
      // Only zeros added to the series and slice pieces, and short names
      // only when asked for, into the folder of the file's own series.
      EXPECT_EQ(testing::mislabelling(std::string(f.oldName), target), "");
      if (f.newName != f.oldName) {
        EXPECT_EQ(stops(f.newName), o.shortNames ? 5 : stops(f.oldName));
      }
      EXPECT_TRUE(!s.hasFolder || s.folderName.starts_with(o.folderBaseName + "_S"));
      if (!plan.moves(s, f) || !s.refusal.empty()) continue;
      if (static_cast<long>(f.newName.size()) > o.nameLimit) {
        EXPECT_EQ(f.foreseen, Foresight::tooLong);
      } else {
        EXPECT_EQ(f.foreseen, tree.count(target) != 0 ? Foresight::taken : Foresight::none);
      }
      ++reached[f.foreseen == Foresight::none    ? "none"
                : f.foreseen == Foresight::taken ? "taken"
                                                 : "tooLong"];
      if (f.foreseen != Foresight::none) continue;
      EXPECT_TRUE(targets.insert(target).second) << "two steps to one target";
      tree.erase(std::string(f.oldName));
      tree[target] = PathKind::file;
    }
  }
  EXPECT_EQ(plan.described, o.describe ? described : std::vector<std::string>());
  std::set<std::string> files;
  for (const auto& [name, kind] : tree) {
    if (kind == PathKind::file) files.insert(name);
  }
  return files;
}

template <typename T>
const T& pick(std::mt19937& random, const std::vector<T>& from) {
  return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
}

bool chance(std::mt19937& random, double p) {
  return std::bernoulli_distribution(p)(random);
}

// A folder as exports leave it: studies side by side with repeated series
// numbers, gaps, names of 14, 6 and other numbers of pieces, empty pieces,
// extensions in any case, and now and then a name in the way of another's
// padded one.
std::vector<std::string> exportFolder(std::mt19937& random, FileSystem::Entries& others) {
  static const std::vector<std::string> studies = {"PATA.MR.HEAD", "PATB.MR.KNEE", "pata.mr.head",
                                                   "P..X", "ANON.CT"};
  // Pieces after the slice: 14 in all, 6 (short), 7, 15, and an empty one.
  static const std::vector<std::string> tails = {".2003.05.27.10.11.12.1.2.IMA",
                                                 ".2003.05.27.10.11.12.1.2.ima",
                                                 ".IMA",
                                                 ".ima",
                                                 ".Ima",
                                                 ".2003.IMA",
                                                 ".2003.05.27.10.11.12.1.2.3.IMA",
                                                 "..IMA"};
  static const std::vector<std::string> oddSeries = {"0", "00", "01", "a", "A"};
  std::set<std::string> names;
  const int studyCount = std::uniform_int_distribution(1, 3)(random);
  const int lastSeries = std::uniform_int_distribution(1, 14)(random);
  for (int study = 0; study < studyCount; ++study) {
    const std::string& head = pick(random, studies);
    for (int series = 1; series <= lastSeries; ++series) {
      if (chance(random, 0.3)) continue;
      const std::string text =
          chance(random, 0.1) ? pick(random, oddSeries) : std::to_string(series);
      const int slices = std::uniform_int_distribution(1, chance(random, 0.05) ? 130 : 12)(random);
      for (int slice = 1; slice <= slices; ++slice) {
        if (chance(random, 0.1)) continue;
        const std::string& tail = chance(random, 0.6) ? tails[0] : pick(random, tails);
        names.insert(head + "." + text + "." + std::to_string(slice) + tail);
        if (!chance(random, 0.02)) continue;
        const std::string held = head + ".0" + text + ".0" + std::to_string(slice) + tail;
        if (chance(random, 0.5)) {
          others.emplace_back(held, PathKind::folder);
        } else {
          names.insert(held);
        }
      }
    }
  }
  return {names.begin(), names.end()};
}

TEST(PlanTest, RandomExportFoldersGetHonestPlansThatARunFollows) {
  std::mt19937 random(20250611);
  int compared = 0;
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    FileSystem::Entries others = {{"notes.txt", PathKind::file}};
    const std::vector<std::string> names = exportFolder(random, others);
    const bool run = round % 3 == 0;  // the memory file system holds no links
    for (const std::string folder : {"Series_S1", "Series_S02", "Knee_S3"}) {
      if (chance(random, 0.2)) others.emplace_back(folder, PathKind::folder);
    }
    if (chance(random, 0.2)) others.emplace_back("Series_S2", PathKind::file);
    if (!run && chance(random, 0.2)) others.emplace_back("Series_S01", PathKind::link);
    PlanOptions o =
        options(chance(random, 0.5), chance(random, 0.6), chance(random, 0.5) ? "Series" : "Knee",
                run || chance(random, 0.5) ? 255 : std::uniform_int_distribution(20, 60)(random));
    o.describe = !run && chance(random, 0.4);
    const std::set<std::string> planned = checkPlan(planOf(names, o, others), names, others);
    if (!run) continue;

    // The window's run of the same folder ends as the plan says.
    testing::MemoryFileSystem fs;
    fs.addFolder("/exam");
    for (const std::string& name : names) fs.addFile("/exam/" + name, name);
    for (const auto& [name, kind] : others) {
      kind == PathKind::folder ? fs.addFolder("/exam/" + name) : fs.addFile("/exam/" + name, name);
    }
    platform::SettableClock clock;
    app::Form1 form(fs, clock);
    ASSERT_TRUE(form.drop({"/exam"}));
    form.changeCheck(form.Check1, o.shortNames ? 1 : 0);
    form.changeCheck(form.Check2, o.folders ? 1 : 0);
    if (o.folders && o.folderBaseName != "Series") {
      form.changeCheck(form.Check3, 1);
      form.changeText1(o.folderBaseName);
    }
    form.pressStart();
    std::set<std::string> actual;
    for (const auto& [path, contents] : fs.filesUnder("/exam")) actual.insert(path.substr(6));
    EXPECT_EQ(actual, planned);
    ++compared;
  }
  EXPECT_EQ(compared, 100);
  for (const char* what : {"refused", "taken", "tooLong"}) EXPECT_GT(reached[what], 10) << what;
}

}  // namespace
}  // namespace slicery::rename
