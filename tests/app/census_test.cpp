// The folder load and the series census, on the in-memory file system and on
// real folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/form1.h"
#include "exam.h"
#include "platform/real_file_system.h"
#include "support/memory_file_system.h"
#include "support/temp_folder.h"

namespace slicery::app {
namespace {

using testing::MemoryFileSystem;

class CensusTest : public ::testing::Test {
 protected:
  CensusTest() { fs.addFolder("/exam"); }
  void files(const std::vector<std::string>& names) {
    for (const auto& name : names) fs.addFile("/exam/" + name);
  }
  platform::Status load() { return form.drop({"/exam"}); }

  MemoryFileSystem fs;
  platform::SettableClock clock;
  Form1 form{fs, clock};
};

TEST_F(CensusTest, CountsRunsOfEqualSeriesFieldsInNameOrder) {
  files({"P.MR.S.1.1.IMA", "P.MR.S.1.2.IMA", "P.MR.S.10.1.IMA", "P.MR.S.2.1.IMA", "notes.txt"});
  ASSERT_TRUE(load());
  EXPECT_EQ(form.List1.items(), (std::vector<std::string>{"1", "10", "2"}));
  EXPECT_EQ(form.seriesCount, 3);
  EXPECT_EQ(form.lblseriesnum.text(), "3");
  EXPECT_EQ(form.lblcountoffiles.text(), "4");
  EXPECT_EQ(form.lblcurrentfolder.text(), "/exam");
  EXPECT_TRUE(form.btnstart.enabled());
}

TEST_F(CensusTest, InterleavedSeriesAreCountedEachTimeTheyReturn) {
  files({"P.MR.A.1.1.IMA", "P.MR.A.2.1.IMA", "P.MR.B.1.1.IMA"});
  ASSERT_TRUE(load());
  EXPECT_EQ(form.List1.items(), (std::vector<std::string>{"1", "2", "1"}));
  EXPECT_EQ(form.seriesCount, 3);
}

TEST_F(CensusTest, EmptySeriesFieldsNeitherCountNorSplitARun) {
  files({"P.MR.S.5.1.IMA", "P.MR.S.5.2.IMA", "P.MR.S..3.IMA", "P.MR.S.5.4.IMA"});
  ASSERT_TRUE(load());
  EXPECT_EQ(form.List1.items(), std::vector<std::string>{"5"});
  EXPECT_EQ(form.lastSeries, "5");
}

TEST_F(CensusTest, SeriesFieldsAreComparedAsExactText) {
  files({"P.MR.S.02.1.IMA", "P.MR.S.2.1.ima", "P.MR.S.2.2.IMA"});
  ASSERT_TRUE(load());
  EXPECT_EQ(form.List1.items(), (std::vector<std::string>{"02", "2"}));
  EXPECT_EQ(form.lblcountoffiles.text(), "3");  // upper- and lower-case extensions listed
}

TEST_F(CensusTest, NamesWithoutASeriesFieldAreListedButStartStaysDisabled) {
  files({"SCOUT.IMA", "A.B.ima", "A.B.C..x.IMA"});
  ASSERT_TRUE(load());
  EXPECT_EQ(form.lblcountoffiles.text(), "3");
  EXPECT_EQ(form.lblseriesnum.text(), "0");
  EXPECT_EQ(form.List1.count(), 0);
  EXPECT_FALSE(form.btnstart.enabled());
}

TEST_F(CensusTest, AFolderWithoutImaFilesIsNoFailure) {
  files({"a.txt"});
  ASSERT_TRUE(load());
  EXPECT_EQ(form.lblcountoffiles.text(), "0");
  EXPECT_EQ(form.lblseriesnum.text(), "0");
  EXPECT_FALSE(form.btnstart.enabled());
}

TEST_F(CensusTest, DroppingAgainListsTheCurrentContents) {
  files({"P.MR.S.1.1.IMA"});
  ASSERT_TRUE(load());
  files({"P.MR.S.2.1.IMA", "P.MR.S.2.2.IMA"});
  ASSERT_TRUE(load());
  EXPECT_EQ(form.lblcountoffiles.text(), "3");
  EXPECT_EQ(form.List1.items(), (std::vector<std::string>{"1", "2"}));
  fs.remove("/exam/P.MR.S.1.1.IMA");
  ASSERT_TRUE(load());
  EXPECT_EQ(form.lblcountoffiles.text(), "2");
  EXPECT_EQ(form.List1.items(), std::vector<std::string>{"2"});
}

TEST_F(CensusTest, OnlyTheFirstDroppedPathCountsAndAFileLoadsItsFolder) {
  fs.addFolder("/other");
  fs.addFile("/other/Q.MR.S.9.1.IMA");
  files({"P.MR.S.1.1.IMA"});
  ASSERT_TRUE(form.drop({"/exam/P.MR.S.1.1.IMA", "/other"}));
  EXPECT_EQ(form.lblcurrentfolder.text(), "/exam");
  EXPECT_EQ(form.List1.items(), std::vector<std::string>{"1"});
  EXPECT_TRUE(form.drop({}));  // nothing dropped: nothing changes
  EXPECT_EQ(form.lblcurrentfolder.text(), "/exam");
}

TEST_F(CensusTest, ALoadResetsTheDisplaysOfAnEarlierRun) {
  files({"P.MR.S.1.1.IMA"});
  for (LabelModel* label :
       {&form.lbloldfilename, &form.lblnewfilename, &form.lblcurrentslice, &form.lblcurrentseries,
        &form.lbltotalfiles, &form.Label6, &form.Label3, &form.lbltimetaken}) {
    label->setText("left over");
  }
  form.prgtotal.setMaximum(40);
  form.prgtotal.setValue(40);
  form.PRGSeries.setMaximum(7);
  form.PRGSeries.setValue(3);
  form.List2.append("Series_S1");
  form.lastListedFolder = "/exam/Series_S1";

  ASSERT_TRUE(load());
  for (LabelModel* label :
       {&form.lbloldfilename, &form.lblnewfilename, &form.lblcurrentslice, &form.lblcurrentseries,
        &form.lbltotalfiles, &form.Label6, &form.Label3, &form.lbltimetaken}) {
    EXPECT_EQ(label->text(), "");
  }
  EXPECT_EQ(form.prgtotal.value(), 0);
  EXPECT_EQ(form.PRGSeries.value(), 0);
  EXPECT_EQ(form.prgtotal.maximum(), 40);  // maxima are left as they were
  EXPECT_EQ(form.PRGSeries.maximum(), 7);
  EXPECT_EQ(form.List2.count(), 1);
  EXPECT_EQ(form.lastListedFolder, "/exam/Series_S1");
}

TEST_F(CensusTest, AFolderThatCannotBeListedEndsTheLoadWithStartDisabled) {
  files({"P.MR.S.1.1.IMA"});
  ASSERT_TRUE(load());
  ASSERT_TRUE(form.btnstart.enabled());
  form.lbltimetaken.setText("3 Seconds");

  fs.failOn(MemoryFileSystem::Op::list, "/exam");
  const platform::Status status = load();
  EXPECT_FALSE(status);
  EXPECT_EQ(form.loadError().path(), "/exam");
  EXPECT_FALSE(form.btnstart.enabled());
  EXPECT_EQ(form.List1.count(), 0);
  EXPECT_EQ(form.lbltimetaken.text(), "3 Seconds");  // later steps did not run

  EXPECT_FALSE(form.drop({"/nowhere"}));
  EXPECT_EQ(form.loadError().path(), "/nowhere");
}

TEST(CensusOnDisk, UnusualNamesAreListedAndSplitAsTheyStand) {
  testing::TempFolder dir;
  const std::string longName = "P.MR." + std::string(242, 'x') + ".7.1.IMA";  // 255 bytes
  ASSERT_EQ(longName.size(), 255u);
  for (const std::string& name :
       {std::string("with space.MR.S.3.1.IMA"), std::string("Ã©tÃ©.MR.S.3.2.IMA"),
        std::string("P.MR.S.4.1.a.b.c.d.e.f.g.h.i.j.k.IMA"), std::string("nofullstop"),
        std::string("ima"), longName}) {
    dir.write(name);
  }
  platform::RealFileSystem fs;
  platform::SettableClock clock;
  Form1 form(fs, clock);
  ASSERT_TRUE(form.drop({dir.path()}));
  EXPECT_EQ(form.lblcountoffiles.text(), "4");
  EXPECT_EQ(form.List1.items(), (std::vector<std::string>{"4", "7", "3"}));
}

TEST(CensusOnDisk, CountsAFortyThousandFileFolder) {
  testing::TempFolder dir;
  tools::ExamOptions options;
  options.files = 40'000;
  options.series = 120;
  options.lowerCaseExtension = true;
  options.shortNames = true;
  options.oddNames = true;
  tools::writeExam(dir.path(), options);
  dir.mkdir("Series_S001.ima");  // folders are never listed

  platform::RealFileSystem fs;
  platform::SettableClock clock;
  Form1 form(fs, clock);
  ASSERT_TRUE(form.drop({dir.path()}));
  // Odd names: SCOUT.IMA, ...HEAD_ROUTINE..1.IMA, ...0.1.IMA are .ima files;
  // the hidden one and notes.txt are not listed.
  EXPECT_EQ(form.File2.count(), 40'003);
  EXPECT_EQ(form.lblcountoffiles.text(), "40003");
  // Series "0" from an odd name sorts first and counts as a series here.
  EXPECT_EQ(form.seriesCount, 121);
  EXPECT_EQ(form.List1.entry(0), "0");
  EXPECT_EQ(form.List1.entry(1), "1");
  EXPECT_EQ(form.List1.entry(2), "10");
  EXPECT_EQ(form.List1.entry(3), "100");
}

}  // namespace
}  // namespace slicery::app
