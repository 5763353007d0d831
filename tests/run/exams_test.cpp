// Finding the exams of a tree from its listings: what a batch runs, what it
// leaves as the result of an earlier run, and what it cannot read.
#include "run/exams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rename/new_name.h"
#include "support/memory_file_system.h"

namespace slicery::run {
namespace {

std::string ima(const std::string& series, int slice) {
  return "P.MR.HEAD." + series + "." + std::to_string(slice) + ".2003.05.27.1.2.3.4.5.IMA";
}

TEST(FindExamsTest, ExamsAtEveryDepthInListingOrderAndResultsLeftAlone) {
  testing::MemoryFileSystem fs;
  for (const char* folder : {"/t/b/exam", "/t/A", "/t/A/later", "/t/c/Series_S02",
                             "/t/c/t1_tra__Knee_S1", "/t/d/Series_S3", "/t/.trash/old"}) {
    fs.addFolder(folder);
  }
  fs.addFile("/t/b/exam/" + ima("1", 1));
  fs.addFile("/t/A/" + ima("4", 2));
  fs.addFile("/t/A/later/" + ima("1", 1));
  // An earlier run's series folders: every file of the series the name ends in.
  fs.addFile("/t/c/Series_S02/" + ima("2", 1));
  fs.addFile("/t/c/Series_S02/" + ima("02", 2));
  fs.addFile("/t/c/t1_tra__Knee_S1/" + ima("1", 1));
  // A folder named so that holds another series is a user's: an exam.
  fs.addFile("/t/d/Series_S3/" + ima("3", 1));
  fs.addFile("/t/d/Series_S3/" + ima("4", 1));
  fs.addFile("/t/.trash/old/" + ima("1", 1));
  fs.addFolder("/t/locked/inner");
  fs.addFile("/t/locked/inner/" + ima("1", 1));
  fs.failOn(testing::MemoryFileSystem::Op::list, "/t/locked");

  // The same on one thread and on two, and every listing told.
  for (const bool parallel : {false, true}) {
    fs.listInParallel(parallel);
    ExamSearch found;
    size_t told = 0;
    ASSERT_TRUE(findExams(fs, "/t/", found, [&told](size_t searched) { told = searched; }));
    std::vector<std::string> exams, results;
    for (const FoundFolder& folder : found.folders) {
      if (folder.exam) exams.push_back(folder.path);
      if (folder.holdsSeriesFolders) results.push_back(folder.path);
    }
    EXPECT_EQ(exams,
              (std::vector<std::string>{"/t/A", "/t/A/later", "/t/b/exam", "/t/d/Series_S3"}));
    EXPECT_EQ(results, std::vector<std::string>{"/t/c"});
    ASSERT_EQ(found.unreadable.size(), 1u);
    EXPECT_EQ(found.unreadable[0].path(), "/t/locked");
    EXPECT_EQ(found.folders.front().files, 1u);
    // The root, A, later, b, exam, c, its two series folders, d, Series_S3, locked.
    EXPECT_EQ(told, 11u) << parallel;
  }
  ExamSearch found;

  // A root that cannot be listed fails the search.
  EXPECT_FALSE(findExams(fs, "/t/missing", found));
}

TEST(FindExamsTest, NamesOfSeriesFoldersAreReadAsThePlanMakesThem) {
  EXPECT_TRUE(rename::namesSeriesFolder("Series_S002", "2"));
  EXPECT_TRUE(rename::namesSeriesFolder("Series_S02", "02"));
  EXPECT_TRUE(rename::namesSeriesFolder("T2_tse__Knee_S1x", "1X"));
  EXPECT_FALSE(rename::namesSeriesFolder("Series_S12", "2"));
  EXPECT_FALSE(rename::namesSeriesFolder("_S2", "2"));
  EXPECT_FALSE(rename::namesSeriesFolder("Series_2", "2"));
  EXPECT_FALSE(rename::namesSeriesFolder("Series_S00", "0"));  // series 0 gets no folder
  EXPECT_FALSE(rename::namesSeriesFolder("Series_S", ""));
  for (const std::string padded : {"7", "07", "0007"}) {
    EXPECT_TRUE(rename::namesSeriesFolder(rename::seriesFolderName("Series", padded), "7"));
  }
}

}  // namespace
}  // namespace slicery::run
