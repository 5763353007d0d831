// Which files a series pass takes and where they may go: folders holding
// several studies, series pieces that are no number, links in the folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "app/form1.h"
#include "platform/real_file_system.h"
#include "support/honest_rename.h"
#include "support/memory_file_system.h"
#include "support/recording_view.h"
#include "support/temp_folder.h"

namespace slicery::app {
namespace {

using testing::MemoryFileSystem;

// Two patients exported into one folder: each has series 1 (3 images), 2 to
// 6 (30 each) and 7 (1 image), so every series number stands twice in the
// census and small numbers stand in later pieces (slice, month, hour).
TEST(SeriesSelectionTest, TwoStudiesInOneFolderKeepEveryImageInItsOwnSeries) {
  for (const bool folders : {false, true}) {
    SCOPED_TRACE(folders ? "folders" : "in place");
    MemoryFileSystem fs;
    fs.addFolder("/exam");
    for (const std::string study : {"PATA", "PATB"}) {
      for (int series = 1; series <= 7; ++series) {
        const int images = series == 1 ? 3 : series == 7 ? 1 : 30;
        for (int i = 1; i <= images; ++i) {
          const std::string name = study + ".MR.HEAD." + std::to_string(series) + "." +
                                   std::to_string(i) + ".2003.2.7.1.11.12." + std::to_string(i) +
                                   ".1234567.IMA";
          fs.addFile("/exam/" + name, name);
        }
      }
    }
    // A series piece that is a star is a series like any other.
    fs.addFile("/exam/PATC.MR.HEAD.*.1.2003.05.27.10.11.12.1.2.IMA", "star");
    const auto before = fs.filesUnder("/exam");
    platform::SettableClock clock;
    Form1 form(fs, clock);
    ASSERT_TRUE(form.drop({"/exam"}));
    ASSERT_EQ(form.seriesCount, 15);
    if (folders) form.changeCheck(form.Check2, 1);
    form.pressStart();

    std::map<std::string, std::string> placeOf;
    for (const auto& [path, contents] : fs.filesUnder("/exam")) placeOf[contents] = path;
    for (const auto& [path, contents] : before) {
      EXPECT_EQ(testing::mislabelling(path.substr(6), placeOf[contents].substr(6)), "")
          << path << " -> " << placeOf[contents];
    }
    EXPECT_EQ(form.filesProcessed, 2 * (3 + 5 * 30 + 1) + 1);
    EXPECT_TRUE(form.runFailures.empty());
    // Fifteen series: the star, like any series text, gets one zero.
    const std::string star = "PATC.MR.HEAD.0*.1.2003.05.27.10.11.12.1.2.IMA";
    EXPECT_EQ(placeOf["star"], folders ? "/exam/Series_S0*/" + star : "/exam/" + star);
  }
}

TEST(SeriesSelectionTest, LabelsShowControlCharactersEscaped) {
  MemoryFileSystem fs;
  fs.addFolder("/exam");
  for (int i = 1; i <= 10; ++i) {
    fs.addFile("/exam/P\x1b[2J.MR.A\nB.1." + std::to_string(i) + ".x.ima");
  }
  platform::SettableClock clock;
  Form1 form(fs, clock);
  testing::RecordingView view;
  std::string shown;
  view.onFileRenamed = [&](const std::string&, const std::string&) {
    shown = form.lbloldfilename.text() + " | " + form.lblnewfilename.text();
  };
  form.setView(&view);
  ASSERT_TRUE(form.drop({"/exam"}));
  form.pressStart();
  EXPECT_EQ(shown, "P\\x1b[2J.MR.A\\nB.1.9.x.ima | P\\x1b[2J.MR.A\\nB.1.09.x.ima");
  EXPECT_EQ(form.filesRenamed, 9);
}

class LinkTest : public ::testing::Test {
 protected:
  void add(const std::string& name) { dir.write("exam/" + name, name); }
  void run() {
    ASSERT_TRUE(form.drop({exam}));
    form.changeCheck(form.Check2, 1);
    form.pressStart();
  }

  testing::TempFolder dir;
  std::string exam = dir.mkdir("exam");
  platform::RealFileSystem fs;
  platform::SettableClock clock;
  Form1 form{fs, clock};
};

TEST_F(LinkTest, ASeriesFolderThatIsALinkTakesNoFile) {
  const std::string elsewhere = dir.mkdir("elsewhere");
  ASSERT_EQ(::symlink(elsewhere.c_str(), (exam + "/Series_S1").c_str()), 0);
  for (int i = 1; i <= 3; ++i) add("P.MR.A.1." + std::to_string(i) + ".IMA");
  add("P.MR.A.2.1.IMA");
  run();
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
  EXPECT_TRUE(std::filesystem::exists(exam + "/P.MR.A.1.1.IMA"));
  EXPECT_TRUE(std::filesystem::exists(exam + "/Series_S2/P.MR.A.2.1.IMA"));
  ASSERT_EQ(form.runFailures.size(), 4u);  // the folder and its three files
  EXPECT_NE(form.runFailures[0].reason.find("symbolic link"), std::string::npos);
  EXPECT_NE(form.runFailures[1].reason.find("stays where it is"), std::string::npos);
}

TEST_F(LinkTest, ALinkWithARelativeTargetIsNotMovedAwayFromIt) {
  add("target");
  ASSERT_EQ(::symlink("target", (exam + "/P.MR.A.1.1.IMA").c_str()), 0);
  ASSERT_EQ(::symlink((exam + "/target").c_str(), (exam + "/P.MR.A.1.2.IMA").c_str()), 0);
  run();
  // The relative link still leads to its file; the absolute one moved.
  EXPECT_EQ(std::filesystem::read_symlink(exam + "/P.MR.A.1.1.IMA"), "target");
  EXPECT_TRUE(std::filesystem::is_regular_file(exam + "/Series_S1/P.MR.A.1.2.IMA"));
  ASSERT_EQ(form.runFailures.size(), 1u);
  EXPECT_NE(form.runFailures[0].reason.find("relative target"), std::string::npos);
}

}  // namespace
}  // namespace slicery::app
