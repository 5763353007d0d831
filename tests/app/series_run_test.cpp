// The rename run on the in-memory file system: the worked exam of twelve
// series, the options, the displays, and every kind of failing step.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "app/form1.h"
#include "support/memory_file_system.h"
#include "support/recording_view.h"

namespace slicery::app {
namespace {

using testing::MemoryFileSystem;
using testing::RecordingView;
using Op = MemoryFileSystem::Op;
using Files = std::map<std::string, std::string>;

const std::string kTail = ".2003.05.27.10.11.12.123456.1234567.IMA";

std::string fullName(const std::string& series, const std::string& slice) {
  return "ANON.MR.HEAD_ROUTINE." + series + "." + slice + kTail;
}

class RunTest : public ::testing::Test {
 protected:
  RunTest() {
    form.setView(&view);
    fs.addFolder("/exam");
  }
  void add(const std::string& name) { fs.addFile("/exam/" + name, "contents of " + name); }
  void load() { ASSERT_TRUE(form.drop({"/exam"})); }
  void tick(CheckBoxModel& box) { form.changeCheck(box, 1); }
  void useFolderName(const std::string& word) {
    tick(form.Check2);
    tick(form.Check3);
    form.changeText1(word);
  }
  void start() { form.pressStart(); }
  // Every file below /exam, by contents: where each one ended up.
  std::map<std::string, std::string> placeOf() const {
    std::map<std::string, std::string> place;
    for (const auto& [path, contents] : fs.filesUnder("/exam")) place[contents] = path;
    return place;
  }

  MemoryFileSystem fs;
  platform::SettableClock clock;
  Form1 form{fs, clock};
  RecordingView view;
};

// Twelve series; series 2 holds 120 files.
class WorkedExampleTest : public RunTest {
 protected:
  void SetUp() override {
    for (int s = 1; s <= 12; ++s) {
      if (s == 2) {
        for (int i = 1; i <= 120; ++i) add(fullName("2", std::to_string(i)));
      } else {
        add(fullName(std::to_string(s), "1"));
      }
    }
    load();
    ASSERT_EQ(form.seriesCount, 12);
  }
  const std::string file = "contents of " + fullName("2", "17");
};

TEST_F(WorkedExampleTest, PlainRunPadsInPlace) {
  start();
  EXPECT_EQ(placeOf()[file],
            "/exam/ANON.MR.HEAD_ROUTINE.02.017.2003.05.27.10.11.12.123456.1234567.IMA");
  EXPECT_EQ(fs.kindAt("/exam/Series_S02"), platform::PathKind::missing);
}

TEST_F(WorkedExampleTest, ShortNamesInPlace) {
  tick(form.Check1);
  start();
  EXPECT_EQ(placeOf()[file], "/exam/ANON.MR.HEAD_ROUTINE.02.017.IMA");
}

TEST_F(WorkedExampleTest, SeriesFoldersWithTheDefaultWord) {
  tick(form.Check2);
  std::map<std::string, std::string> shown;
  view.onFileRenamed = [&](const std::string& from, const std::string&) {
    if (from != "/exam/" + fullName("2", "17")) return;
    shown["series"] = form.lblcurrentseries.text();
    shown["destination"] = form.Label3.text();
    shown["slice"] = form.lblcurrentslice.text();
    shown["old"] = form.lbloldfilename.text();
    shown["new"] = form.lblnewfilename.text();
  };
  start();
  EXPECT_EQ(placeOf()[file],
            "/exam/Series_S02/ANON.MR.HEAD_ROUTINE.02.017.2003.05.27.10.11.12.123456.1234567.IMA");
  EXPECT_EQ(shown["series"], "2");
  EXPECT_EQ(shown["destination"], "/exam/Series_S02");
  EXPECT_EQ(shown["slice"], "17");
  EXPECT_EQ(shown["old"], fullName("2", "17"));
  EXPECT_EQ(shown["new"], fullName("02", "017"));

  // Every file moved: the final census finds no series and the per-file
  // displays are empty, while the counters keep their final values.
  EXPECT_EQ(form.List1.count(), 0);
  EXPECT_EQ(form.lblseriesnum.text(), "0");
  EXPECT_EQ(form.File2.pattern(), "*.ima");
  for (const LabelModel* label : {&form.lblnewfilename, &form.lbloldfilename, &form.lblcurrentslice,
                                  &form.lblcurrentseries, &form.Label3}) {
    EXPECT_EQ(label->text(), "");
  }
  EXPECT_EQ(form.Label6.text(), "131");
  EXPECT_EQ(form.lbltotalfiles.text(), "131");
  EXPECT_EQ(form.prgtotal.maximum(), 131);
  EXPECT_EQ(form.prgtotal.value(), 131);
  EXPECT_EQ(form.lblcountoffiles.text(), "131");  // not touched by the run
  EXPECT_EQ(form.lbltimetaken.text(), "0 Seconds");
  EXPECT_EQ(view.renamedFiles.size(), 131u);
  EXPECT_TRUE(view.failureReports.empty());
  EXPECT_EQ(fs.filesUnder("/exam/Series_S12").size(), 1u);
}

TEST_F(WorkedExampleTest, SeriesFoldersWithShortNames) {
  tick(form.Check1);
  tick(form.Check2);
  start();
  EXPECT_EQ(placeOf()[file], "/exam/Series_S02/ANON.MR.HEAD_ROUTINE.02.017.IMA");
}

TEST_F(WorkedExampleTest, SeriesFoldersWithTheUsersWord) {
  useFolderName("Knee");
  start();
  EXPECT_EQ(placeOf()[file],
            "/exam/Knee_S02/ANON.MR.HEAD_ROUTINE.02.017.2003.05.27.10.11.12.123456.1234567.IMA");
  EXPECT_EQ(fs.kindAt("/exam/Series_S02"), platform::PathKind::missing);
}

TEST_F(WorkedExampleTest, TheSeriesBarCountsTheSeriesFiles) {
  std::vector<int> maxima;
  view.onFileRenamed = [&](const std::string&, const std::string&) {
    maxima.push_back(form.PRGSeries.maximum());
  };
  start();
  ASSERT_EQ(maxima.size(), 128u);  // series 10, 11 and 12 need no zeros
  EXPECT_EQ(std::count(maxima.begin(), maxima.end(), 120), 120);
  EXPECT_EQ(form.PRGSeries.value(), 1);  // the last series held one file
}

TEST_F(WorkedExampleTest, ASecondRunOverShortNamesKeepsThemAndMovesThem) {
  tick(form.Check1);
  start();
  ASSERT_EQ(form.List1.count(), 12);  // "01" .. "12" now
  EXPECT_EQ(form.List1.entry(0), "01");
  view.renamedFiles.clear();

  start();  // short names keep their names: nothing takes effect
  EXPECT_EQ(form.filesProcessed, 131);
  EXPECT_EQ(form.filesRenamed, 0);
  EXPECT_TRUE(view.renamedFiles.empty());
  EXPECT_TRUE(view.failureReports.empty());
  EXPECT_EQ(placeOf()[file], "/exam/ANON.MR.HEAD_ROUTINE.02.017.IMA");

  tick(form.Check2);
  start();
  EXPECT_EQ(form.filesRenamed, 131);
  EXPECT_EQ(placeOf()[file], "/exam/Series_S02/ANON.MR.HEAD_ROUTINE.02.017.IMA");
}

TEST_F(RunTest, NothingToPadRenamesNothingButCountsEveryFile) {
  for (int s = 1; s <= 3; ++s) {
    for (int i = 1; i <= 4; ++i) add(fullName(std::to_string(s), std::to_string(i)));
  }
  load();
  const auto before = fs.filesUnder("/exam");
  start();
  EXPECT_EQ(fs.filesUnder("/exam"), before);
  EXPECT_EQ(form.Label6.text(), "12");
  EXPECT_EQ(form.prgtotal.value(), 12);
  EXPECT_EQ(form.lbltotalfiles.text(), "");
  EXPECT_EQ(form.lbloldfilename.text(), "");
  EXPECT_EQ(view.changesOf(ControlId::lbloldfilename), 0);
  EXPECT_EQ(form.List1.count(), 3);
}

TEST_F(RunTest, SeriesZeroIsSkippedEntirely) {
  add("P.MR.S.0.1" + kTail);
  add("P.MR.S.0.2" + kTail);
  add(fullName("1", "1"));
  load();
  ASSERT_EQ(form.List1.items(), (std::vector<std::string>{"1", "0"}));
  tick(form.Check2);
  std::vector<int> seriesBar;
  view.onFileRenamed = [&](const std::string&, const std::string&) {
    seriesBar.push_back(form.PRGSeries.value());
  };
  start();
  EXPECT_TRUE(fs.exists("/exam/P.MR.S.0.1" + kTail));
  EXPECT_TRUE(fs.exists("/exam/P.MR.S.0.2" + kTail));
  EXPECT_EQ(form.filesProcessed, 1);
  EXPECT_EQ(seriesBar, std::vector<int>{1});
  // "0" reads as zero: no folder for it, but series 1 got one.
  EXPECT_EQ(fs.kindAt("/exam/Series_S0"), platform::PathKind::missing);
  EXPECT_EQ(fs.kindAt("/exam/Series_S1"), platform::PathKind::folder);
}

TEST_F(RunTest, ASeriesThatReadsAsZeroIsRenamedInPlace) {
  for (int i = 1; i <= 10; ++i) add(fullName("00", std::to_string(i)));
  load();
  tick(form.Check2);
  start();
  EXPECT_EQ(fs.kindAt("/exam/Series_S00"), platform::PathKind::missing);
  EXPECT_TRUE(fs.exists("/exam/" + fullName("00", "01")));
  EXPECT_EQ(form.filesRenamed, 9);  // slice 10 keeps its name
}

TEST_F(RunTest, WithoutFoldersNothingMovesEvenAfterARunWithFolders) {
  add(fullName("1", "1"));
  load();
  tick(form.Check2);
  start();
  ASSERT_TRUE(fs.exists("/exam/Series_S1/" + fullName("1", "1")));
  add(fullName("2", "1"));
  load();
  form.changeCheck(form.Check2, 0);
  tick(form.Check1);
  start();
  EXPECT_TRUE(fs.exists("/exam/ANON.MR.HEAD_ROUTINE.2.1.IMA"));
  EXPECT_EQ(fs.filesUnder("/exam/Series_S1").size(), 1u);
}

TEST_F(RunTest, ASeriesWhoseFilesFitNeitherPatternStillGetsItsFolder) {
  add("P.MR.S.1.IMA");  // five pieces: counted by the census, listed by neither pattern
  add(fullName("2", "1"));
  load();
  ASSERT_EQ(form.List1.items(), (std::vector<std::string>{"2", "1"}));
  tick(form.Check2);
  start();
  EXPECT_EQ(fs.kindAt("/exam/Series_S1"), platform::PathKind::folder);
  EXPECT_TRUE(fs.filesUnder("/exam/Series_S1").empty());
  EXPECT_TRUE(fs.exists("/exam/P.MR.S.1.IMA"));
  EXPECT_EQ(form.PRGSeries.maximum(), 1);  // series 2's, kept
  EXPECT_EQ(form.PRGSeries.value(), 0);
}

TEST_F(RunTest, ASeriesStandingTwiceIsHandledTwice) {
  add("P.MR.A.1.1.IMA");
  add("P.MR.A.2.1.IMA");
  add("P.MR.B.1.1.IMA");
  load();
  ASSERT_EQ(form.List1.items(), (std::vector<std::string>{"1", "2", "1"}));
  tick(form.Check1);
  start();
  // Short names keep their names; series 1's two files are processed twice.
  EXPECT_EQ(form.filesProcessed, 5);
  EXPECT_EQ(form.filesRenamed, 0);
  EXPECT_TRUE(view.failureReports.empty());

  tick(form.Check2);
  start();
  // The second visit of series 1 finds its folder made and its files moved.
  EXPECT_EQ(form.filesProcessed, 3);
  EXPECT_EQ(form.filesRenamed, 3);
  EXPECT_TRUE(view.failureReports.empty());
  EXPECT_EQ(fs.filesUnder("/exam/Series_S1").size(), 2u);
}

TEST_F(RunTest, FolderNamesAreListedOncePerSeriesForThisRunOnly) {
  for (const char* series : {"1", "2", "3"}) add(fullName(series, "1"));
  fs.addFolder("/other");
  fs.addFile("/other/" + fullName("7", "1"));
  load();
  tick(form.Check2);
  tick(form.Check4);
  start();
  EXPECT_EQ(form.List2.items(), (std::vector<std::string>{"Series_S1", "Series_S2", "Series_S3"}));
  EXPECT_EQ(form.lastListedFolder, "/exam/Series_S3");

  ASSERT_TRUE(form.drop({"/other"}));
  start();
  EXPECT_EQ(form.List2.items(), std::vector<std::string>{"Series_S7"});
}

TEST_F(RunTest, WithoutFoldersNoFolderNameIsListed) {
  add(fullName("1", "1"));
  load();
  tick(form.Check2);
  tick(form.Check4);
  form.changeCheck(form.Check2, 0);  // Check4 keeps its tick
  ASSERT_TRUE(form.Check4.ticked());
  start();
  EXPECT_EQ(form.List2.count(), 0);
  EXPECT_EQ(form.lastListedFolder, "");
}

TEST_F(RunTest, ATakenNameLeavesBothFilesAndIsTold) {
  add(fullName("1", "1"));
  add(fullName("1", "2"));
  add(fullName("1", "3"));
  load();
  tick(form.Check1);
  fs.addFile("/exam/ANON.MR.HEAD_ROUTINE.1.2.IMA", "already there");
  std::string timeWhenTold;
  view.onRunFailed = [&] { timeWhenTold = form.lbltimetaken.text(); };
  start();
  EXPECT_EQ(fs.contents("/exam/ANON.MR.HEAD_ROUTINE.1.2.IMA"), "already there");
  EXPECT_EQ(fs.contents("/exam/" + fullName("1", "2")), "contents of " + fullName("1", "2"));
  EXPECT_EQ(form.filesRenamed, 2);
  EXPECT_EQ(form.lbltotalfiles.text(), "2");
  ASSERT_EQ(view.failureReports.size(), 1u);
  ASSERT_EQ(view.failureReports[0].size(), 1u);
  const RunFailure& failure = view.failureReports[0][0];
  EXPECT_EQ(failure.oldPath, "/exam/" + fullName("1", "2"));
  EXPECT_EQ(failure.newPath, "/exam/ANON.MR.HEAD_ROUTINE.1.2.IMA");
  EXPECT_EQ(failure.reason, "File exists");
  EXPECT_EQ(timeWhenTold, "0 Seconds");
  // The file left behind is listed again by the final census.
  EXPECT_EQ(form.List1.items(), std::vector<std::string>{"1"});

  start();  // each run reports only its own failures
  ASSERT_EQ(view.failureReports.size(), 2u);
  EXPECT_EQ(view.failureReports[1].size(), 1u);
}

TEST_F(RunTest, AVanishedSourceIsSkippedAndTold) {
  for (int i = 1; i <= 10; ++i) add(fullName("1", std::to_string(i)));
  load();
  const std::string gone = "/exam/" + fullName("1", "3");
  fs.failOn(Op::renameFile, gone, "No such file or directory", ENOENT);
  tick(form.Check1);
  start();
  EXPECT_EQ(form.filesProcessed, 10);
  EXPECT_EQ(form.filesRenamed, 9);
  ASSERT_EQ(view.failureReports.size(), 1u);
  EXPECT_EQ(view.failureReports[0][0].oldPath, gone);
  EXPECT_EQ(view.failureReports[0][0].reason, "No such file or directory");
}

TEST_F(RunTest, ASeriesFolderThatCannotBeMadeKeepsItsFilesInPlace) {
  add(fullName("1", "1"));
  add(fullName("2", "1"));
  add(fullName("2", "2"));
  load();
  fs.failOn(Op::makeFolder, "/exam/Series_S1");
  fs.addFile("/exam/Series_S2", "a file in the way");
  const auto before = fs.filesUnder("/exam");
  tick(form.Check2);
  tick(form.Check4);
  start();
  EXPECT_EQ(fs.filesUnder("/exam"), before);
  EXPECT_EQ(fs.contents("/exam/Series_S2"), "a file in the way");
  EXPECT_TRUE(fs.exists("/exam/" + fullName("1", "1")));
  EXPECT_EQ(form.filesRenamed, 0);
  EXPECT_EQ(form.List2.count(), 0);  // no folder to describe
  ASSERT_EQ(view.failureReports.size(), 1u);
  const auto& failures = view.failureReports[0];
  ASSERT_EQ(failures.size(), 5u);  // two folders, three files
  EXPECT_EQ(failures[0].oldPath, "");
  EXPECT_EQ(failures[0].newPath, "/exam/Series_S1");
  EXPECT_EQ(failures[0].reason, "Permission denied");
  EXPECT_EQ(failures[2].newPath, "/exam/Series_S2");
  EXPECT_EQ(failures[2].reason, "File exists");
  EXPECT_EQ(failures[3].newPath, "/exam/Series_S2/" + fullName("2", "1"));
}

TEST_F(RunTest, AFolderWordWithASlashNeverLeavesTheLoadedFolder) {
  add(fullName("1", "1"));
  add(fullName("1", "2"));
  fs.addFolder("/x_S1");  // a folder the word would lead to
  fs.addFolder("/exam/a");
  for (const char* word : {"../x", "a/b"}) {
    SCOPED_TRACE(word);
    load();
    useFolderName(word);
    ASSERT_EQ(form.folderBaseName, word);
    start();
    EXPECT_TRUE(fs.filesUnder("/x_S1").empty());
    EXPECT_EQ(fs.kindAt("/exam/a/b_S1"), platform::PathKind::missing);
    EXPECT_TRUE(fs.exists("/exam/" + fullName("1", "1")));
    EXPECT_TRUE(fs.exists("/exam/" + fullName("1", "2")));
    EXPECT_EQ(form.filesRenamed, 0);
    ASSERT_FALSE(view.failureReports.empty());
    EXPECT_EQ(view.failureReports.back().size(), 3u);  // the folder and both files
    form.changeCheck(form.Check2, 0);
  }
}

TEST_F(RunTest, AReadOnlyFolderLosesNothing) {
  for (int s = 1; s <= 3; ++s) {
    for (int i = 1; i <= 12; ++i) add(fullName(std::to_string(s), std::to_string(i)));
  }
  load();
  fs.failOn(Op::makeFolder, "", "Read-only file system", EROFS);
  fs.failOn(Op::renameFile, "", "Read-only file system", EROFS);
  const auto before = fs.filesUnder("/exam");
  tick(form.Check2);
  start();
  EXPECT_EQ(fs.filesUnder("/exam"), before);
  EXPECT_EQ(form.filesProcessed, 36);
  EXPECT_EQ(form.filesRenamed, 0);
  EXPECT_EQ(form.lbltotalfiles.text(), "0");  // this run's count, not an earlier one's
  ASSERT_EQ(view.failureReports.size(), 1u);
  EXPECT_EQ(view.failureReports[0].size(), 39u);
  EXPECT_EQ(form.lbltimetaken.text(), "0 Seconds");
}

TEST_F(RunTest, AFolderThatCannotBeListedIsTold) {
  add(fullName("1", "1"));
  load();
  fs.failOn(Op::list, "/exam", "Input/output error", EIO);
  start();
  ASSERT_EQ(view.failureReports.size(), 1u);
  EXPECT_EQ(view.failureReports[0][0].oldPath, "/exam");
  EXPECT_EQ(view.failureReports[0][0].newPath, "");
  EXPECT_EQ(view.failureReports[0][0].reason, "cannot be listed: Input/output error");
  EXPECT_EQ(form.lbltimetaken.text(), "0 Seconds");
}

// A clock that moves on by itself at every reading.
class SteppingClock : public platform::Clock {
 public:
  SteppingClock(double start, double step) : now_(start), step_(step) {}
  double secondsSinceMidnight() override {
    const double now = now_;
    now_ += step_;
    if (now_ >= 86400) now_ -= 86400;
    return now;
  }

 private:
  double now_;
  double step_;
};

TEST(RunClockTest, TimeTakenRoundsBothReadingsAndSurvivesMidnight) {
  struct Case {
    double start, step;
    const char* shown;
  };
  const Case cases[] = {
      {100.4, 0.2, "1 Seconds"},    // 100 to 101 (100.6 rounds up)
      {100.6, 0.8, "0 Seconds"},    // 101 to 101
      {86398.0, 5.0, "5 Seconds"},  // across midnight
      {86399.6, 0.5, "0 Seconds"},  // 86400 to 0: the same instant
  };
  for (const Case& c : cases) {
    MemoryFileSystem fs;
    fs.addFolder("/exam");
    fs.addFile("/exam/" + fullName("1", "1"));
    SteppingClock clock(c.start, c.step);
    Form1 form(fs, clock);
    ASSERT_TRUE(form.drop({"/exam"}));
    form.pressStart();
    EXPECT_EQ(form.lbltimetaken.text(), c.shown) << c.start;
  }
}

TEST_F(RunTest, CountersGoPast32767) {
  for (int i = 1; i <= 32800; ++i) add(fullName("1", std::to_string(i)));
  load();
  tick(form.Check1);
  start();
  EXPECT_EQ(form.filesProcessed, 32800);
  EXPECT_EQ(form.Label6.text(), "32800");
  EXPECT_EQ(form.filesRenamed, 32800);
  EXPECT_EQ(form.lbltotalfiles.text(), "32800");
  EXPECT_EQ(form.prgtotal.value(), 32800);
  EXPECT_TRUE(fs.exists("/exam/ANON.MR.HEAD_ROUTINE.1.00001.IMA"));
}

}  // namespace
}  // namespace slicery::app
