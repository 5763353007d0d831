// The series folder renamer, given List2 and the loaded folder directly: which
// file it reads, the names it gives, and the folders it must leave alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/form1.h"
#include "dicom_writer.h"
#include "exam.h"
#include "platform/real_file_system.h"
#include "support/memory_file_system.h"
#include "support/recording_view.h"
#include "support/temp_folder.h"

namespace slicery::app {
namespace {

using testing::MemoryFileSystem;
using testing::RecordingView;
using Renamed = std::vector<std::pair<std::string, std::string>>;

// A DICOM file whose Series Description holds exactly `description`.
std::string imageWith(const std::string& description) {
  return tools::DicomWriter::file()
      .addMetaGroup(tools::kExplicitVrLittleEndian, tools::kMrImageStorage, "2.25.7")
      .add(0x0008, 0x0060, "CS", "MR")
      .add(0x0008, 0x103E, "LO", description)
      .bytes();
}

std::string imageWithout() {
  return tools::DicomWriter::file()
      .addMetaGroup(tools::kExplicitVrLittleEndian, tools::kMrImageStorage, "2.25.7")
      .add(0x0008, 0x0060, "CS", "MR")
      .bytes();
}

class FolderRenamerTest : public ::testing::Test {
 protected:
  FolderRenamerTest() {
    form.setView(&view);
    fs.addFolder("/exam");
    form.File2.setPath("/exam");
  }
  // A series folder in /exam with one file `name` of `contents`.
  void folder(const std::string& folder, const std::string& contents,
              const std::string& name = "ANON.MR.X.1.1.IMA") {
    fs.addFolder("/exam/" + folder);
    fs.addFile("/exam/" + folder + "/" + name, contents);
  }
  void list(const std::vector<std::string>& entries) {
    for (const auto& entry : entries) form.List2.append(entry);
  }

  MemoryFileSystem fs;
  platform::SettableClock clock;
  Form1 form{fs, clock};
  RecordingView view;
};

TEST_F(FolderRenamerTest, AnEmptyListReadsAndRenamesNothing) {
  folder("Series_S01", imageWith("SAG T2 FSE"));
  form.FolderRenamer();
  EXPECT_EQ(fs.bytesRead(), 0u);
  EXPECT_TRUE(fs.exists("/exam/Series_S01"));
  EXPECT_TRUE(view.renamedFolders.empty());
  EXPECT_TRUE(form.runFailures.empty());
}

TEST_F(FolderRenamerTest, TheDescriptionGoesInFrontOfEachFolderName) {
  folder("Series_S02", imageWith("t1 se tra "));
  folder("Series_S03", imageWith("SAG T2 FSE"));
  folder("Series_S04", imageWith("\xDC"
                                 "bersicht"));
  fs.addFile("/exam/Series_S03/ANON.MR.X.1.2.IMA", imageWith("SAG T2 FSE"));
  list({"Series_S02", "Series_S03", "Series_S04"});
  const auto before = fs.filesUnder("/exam");

  form.FolderRenamer();

  const Renamed expected = {
      {"/exam/Series_S02", "/exam/t1_se_tra__Series_S02"},
      {"/exam/Series_S03", "/exam/SAG_T2_FSE_Series_S03"},
      {"/exam/Series_S04",
       "/exam/\xC3\x9C"
       "bersicht_Series_S04"},
  };
  EXPECT_EQ(view.renamedFolders, expected);
  for (const auto& [from, to] : expected) {
    EXPECT_FALSE(fs.exists(from));
    EXPECT_EQ(fs.kindAt(to), platform::PathKind::folder);
  }
  // Files keep their names and contents; the list keeps the old names.
  EXPECT_EQ(fs.contents("/exam/SAG_T2_FSE_Series_S03/ANON.MR.X.1.2.IMA"), imageWith("SAG T2 FSE"));
  EXPECT_EQ(fs.filesUnder("/exam").size(), before.size());
  EXPECT_EQ(form.List2.items(),
            (std::vector<std::string>{"Series_S02", "Series_S03", "Series_S04"}));
  EXPECT_TRUE(form.runFailures.empty());
  EXPECT_EQ(fs.openFiles(), 0);
}

// A description holding a character that Windows, exFAT or FAT refuse in a
// name still names the folder, with '_' in its place, on every platform; a
// control character still refuses it.
TEST_F(FolderRenamerTest, CharactersSomeDisksRefuseBecomeUnderscores) {
  folder("Series_S01", imageWith("T2* "));
  folder("Series_S02", imageWith("a:b?"));
  folder("Series_S03", imageWith("AX/COR \"<1>\"|\\"));
  folder("Series_S04", imageWith("T2\x1b*"));
  list({"Series_S01", "Series_S02", "Series_S03", "Series_S04"});

  form.FolderRenamer();

  const Renamed expected = {
      {"/exam/Series_S01", "/exam/T2___Series_S01"},
      {"/exam/Series_S02", "/exam/a_b__Series_S02"},
      {"/exam/Series_S03", "/exam/AX_COR___1_____Series_S03"},
  };
  EXPECT_EQ(view.renamedFolders, expected);
  EXPECT_EQ(fs.kindAt("/exam/a_b__Series_S02"), platform::PathKind::folder);
  ASSERT_EQ(form.runFailures.size(), 1u);
  EXPECT_EQ(form.runFailures[0].oldPath, "/exam/Series_S04");
  EXPECT_NE(form.runFailures[0].reason.find("control characters"), std::string::npos);
  EXPECT_TRUE(fs.exists("/exam/Series_S04"));
}

// The first listed file names the folder whatever its name, once every
// image in the folder agrees with it; a hidden file is not asked.
TEST_F(FolderRenamerTest, TheFirstListedFileIsReadWhateverItsName) {
  folder("Series_S01", imageWith("first "), "b.IMA");
  fs.addFile("/exam/Series_S01/A.ima", imageWith("first "));
  fs.addFile("/exam/Series_S01/.hidden", imageWith("hidden "));
  folder("Series_S02", imageWith("no full stop "), "b.ima");
  fs.addFile("/exam/Series_S02/0001", imageWith("no full stop "));
  list({"Series_S01", "Series_S02"});
  form.FolderRenamer();
  EXPECT_EQ(view.renamedFolders, (Renamed{{"/exam/Series_S01", "/exam/first__Series_S01"},
                                          {"/exam/Series_S02", "/exam/no_full_stop__Series_S02"}}));
}

// Two exams whose names begin alike share a series folder: an image of the
// other description, or one whose description cannot be read, keeps the
// folder's name.
TEST_F(FolderRenamerTest, EveryImageInAFolderMustCarryItsDescription) {
  folder("Series_S01", imageWith("head "), "ANON.MR.X.1.1.IMA");
  fs.addFile("/exam/Series_S01/ANON.MR.X.1.9.IMA", imageWith("knee "));
  folder("Series_S02", imageWith("head "), "ANON.MR.X.2.1.IMA");
  fs.addFile("/exam/Series_S02/ANON.MR.X.2.2.IMA", imageWithout());
  folder("Series_S03", imageWith("head "), "ANON.MR.X.3.1.IMA");
  fs.addFile("/exam/Series_S03/notes.txt", "no image");
  list({"Series_S01", "Series_S02", "Series_S03"});
  form.FolderRenamer();
  EXPECT_EQ(view.renamedFolders, (Renamed{{"/exam/Series_S03", "/exam/head__Series_S03"}}));
  ASSERT_EQ(form.runFailures.size(), 2u);
  EXPECT_NE(form.runFailures[0].reason.find("\"knee_\""), std::string::npos);
  EXPECT_NE(form.runFailures[1].reason.find("cannot be read"), std::string::npos);
}

// Two studies share each series folder. The first file of one has a
// description; where the other's is empty, padding only, missing, or its
// first file is no DICOM file, the folder keeps its name and says why, in
// whichever order the two studies list.
TEST_F(FolderRenamerTest, AFolderOfTwoStudiesIsNamedOnlyWhenBothGiveTheDescription) {
  const std::vector<std::pair<std::string, std::string>> others = {
      {imageWith(""), "is empty"},
      {imageWith("  "), "is empty"},
      {imageWithout(), "no element (0008,103E)"},
      {"not dicom at all", "(0008,103E)"},
  };
  int n = 0;
  for (const bool otherFirst : {false, true}) {
    for (size_t i = 0; i < others.size(); ++i) {
      SCOPED_TRACE(::testing::Message() << "case " << i << (otherFirst ? ", other first" : ""));
      const std::string entry = "Series_S0" + std::to_string(++n);
      fs.addFolder("/exam/" + entry);
      fs.addFile("/exam/" + entry + (otherFirst ? "/PATB.MR.X.1.1.IMA" : "/PATA.MR.X.1.1.IMA"),
                 imageWith("head "));
      fs.addFile("/exam/" + entry + (otherFirst ? "/PATA.MR.X.1.1.IMA" : "/PATB.MR.X.1.1.IMA"),
                 others[i].first);
      form.List2.clear();
      list({entry});
      form.runFailures.clear();
      form.FolderRenamer();
      EXPECT_EQ(fs.kindAt("/exam/" + entry), platform::PathKind::folder);
      ASSERT_EQ(form.runFailures.size(), 1u);
      EXPECT_EQ(form.runFailures[0].oldPath, "/exam/" + entry);
      const std::string& why = form.runFailures[0].reason;
      EXPECT_NE(why.find(others[i].second), std::string::npos) << why;
      EXPECT_NE(why.find(otherFirst ? "PATA" : "PATB"), std::string::npos) << why;
    }
  }
  EXPECT_TRUE(view.renamedFolders.empty());
}

TEST_F(FolderRenamerTest, AFailingFolderKeepsItsNameAndTheNextOnesAreRenamed) {
  folder("Series_S01", imageWith("one "));
  folder("Series_S02", imageWithout());
  // Series_S03 was never made.
  fs.addFolder("/exam/Series_S04");  // empty
  folder("Series_S05", imageWith("five "));
  fs.addFile("/exam/Series_S05/a.txt", "notes, sorted first");
  folder("Series_S06", imageWith("six "));
  fs.addFolder("/exam/six__Series_S06");  // the new name is taken
  folder("Series_S07", imageWith("seven "));
  fs.failOn(MemoryFileSystem::Op::open, "/exam/Series_S07/ANON.MR.X.1.1.IMA");
  folder("Series_S08", imageWith("eight "));
  list({"Series_S01", "Series_S02", "Series_S03", "Series_S04", "Series_S05", "Series_S06",
        "Series_S07", "Series_S08"});

  form.FolderRenamer();

  EXPECT_EQ(view.renamedFolders, (Renamed{{"/exam/Series_S01", "/exam/one__Series_S01"},
                                          {"/exam/Series_S08", "/exam/eight__Series_S08"}}));
  for (const char* kept :
       {"Series_S02", "Series_S04", "Series_S05", "Series_S06", "Series_S07", "six__Series_S06"}) {
    EXPECT_EQ(fs.kindAt(std::string("/exam/") + kept), platform::PathKind::folder) << kept;
  }
  EXPECT_EQ(fs.contents("/exam/Series_S05/a.txt"), "notes, sorted first");

  std::map<std::string, RunFailure> failures;
  for (const RunFailure& failure : form.runFailures) failures[failure.oldPath] = failure;
  ASSERT_EQ(failures.size(), 6u);
  EXPECT_NE(failures["/exam/Series_S02"].reason.find("no element (0008,103E)"), std::string::npos);
  EXPECT_EQ(failures["/exam/Series_S03"].reason, "cannot be listed: No such file or directory");
  EXPECT_NE(failures["/exam/Series_S04"].reason.find("no file"), std::string::npos);
  EXPECT_NE(failures["/exam/Series_S05"].reason.find("/exam/Series_S05/a.txt"), std::string::npos);
  EXPECT_EQ(failures["/exam/Series_S06"].newPath, "/exam/six__Series_S06");
  EXPECT_EQ(failures["/exam/Series_S06"].reason, "File exists");
  EXPECT_NE(failures["/exam/Series_S07"].reason.find("Permission denied"), std::string::npos);
  EXPECT_EQ(fs.openFiles(), 0);
}

TEST_F(FolderRenamerTest, AFolderListedTwiceIsRenamedOnce) {
  folder("Series_S01", imageWith("one "));
  folder("Series_S02", imageWith("two "));
  list({"Series_S01", "Series_S01", "Series_S02", "Series_S01"});
  form.FolderRenamer();
  EXPECT_EQ(view.renamedFolders, (Renamed{{"/exam/Series_S01", "/exam/one__Series_S01"},
                                          {"/exam/Series_S02", "/exam/two__Series_S02"}}));
  EXPECT_TRUE(form.runFailures.empty());
}

// On disk, where a name with '/', "..", or a NUL would really lead the folder
// elsewhere: a '/' is written as '_', and what then begins with '.' or holds
// a NUL is refused.
TEST(FolderRenamerOnDisk, ADescriptionNeverTakesAFolderOutOfItsPlace) {
  testing::TempFolder dir;
  const std::string exam = dir.mkdir("exam");
  const std::vector<std::pair<std::string, std::string>> series = {
      {"Series_S01", "../x"},
      {"Series_S02", "a/b"},
      {"Series_S03", std::string("a\0b", 3)},
      {"Series_S04", std::string(300, 'd')},
      {"Series_S05", std::string(255 - 11, 'e')},  // 255 bytes with "_Series_S05"
      {"Series_S06", "/"},
  };
  platform::RealFileSystem fs;
  platform::SettableClock clock;
  Form1 form{fs, clock};
  RecordingView view;
  form.setView(&view);
  form.File2.setPath(exam);
  for (const auto& [name, description] : series) {
    dir.mkdir("exam/" + name);
    dir.write("exam/" + name + "/ANON.MR.X.1.1.IMA", imageWith(description));
    form.List2.append(name);
  }

  form.FolderRenamer();

  const std::string longName = std::string(244, 'e') + "_Series_S05";
  EXPECT_EQ(view.renamedFolders, (Renamed{{exam + "/Series_S02", exam + "/a_b_Series_S02"},
                                          {exam + "/Series_S05", exam + "/" + longName},
                                          {exam + "/Series_S06", exam + "/__Series_S06"}}));
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(exam)) {
    left.push_back(entry.path().filename());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Series_S01", "Series_S03", "Series_S04",
                                            "__Series_S06", "a_b_Series_S02", longName}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  ASSERT_EQ(form.runFailures.size(), 3u);
  EXPECT_EQ(form.runFailures[0].newPath, exam + "/.._x_Series_S01");
  EXPECT_EQ(form.runFailures[0].reason, "a folder name beginning with '.' would be hidden");
  EXPECT_EQ(form.runFailures[1].reason, "a folder name may not contain a NUL");
  EXPECT_EQ(form.runFailures[2].reason, "a folder name may not be longer than 255 bytes");
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Whole runs on disk with exams of DICOM files, in one window.
TEST(FolderRenamerInARun, EachRunDescribesItsOwnFoldersAndGoesOnPastAFailure) {
  testing::TempFolder dir;
  platform::RealFileSystem fs;
  platform::SettableClock clock;
  Form1 form{fs, clock};
  RecordingView view;
  form.setView(&view);
  const auto run = [&](const std::string& folder) {
    ASSERT_TRUE(form.drop({folder}));
    form.changeCheck(form.Check2, 1);
    form.changeCheck(form.Check4, 1);
    form.pressStart();
  };

  tools::ExamOptions options;
  options.files = 30;
  options.series = 3;
  options.implicitVr = true;
  const std::string first = dir.mkdir("first");
  tools::writeExam(first, options);
  run(first);
  EXPECT_EQ(namesIn(first),
            (std::vector<std::string>{"SAG_T2_FSE_Series_S3", "localizer__Series_S1",
                                      "t1_se_tra__Series_S2"}));
  EXPECT_EQ(namesIn(first + "/SAG_T2_FSE_Series_S3").size(), 10u);
  EXPECT_EQ(view.renamedFolders.size(), 3u);
  EXPECT_TRUE(view.failureReports.empty());

  // A second folder in the same window: only its own folders are renamed, and
  // a folder whose first file is no DICOM file keeps its name without
  // stopping the others.
  options.implicitVr = false;
  options.series = 4;
  const std::string second = dir.mkdir("second");
  tools::writeExam(second, options);
  dir.mkdir("second/Series_S2");
  dir.write("second/Series_S2/a.txt", "notes");
  run(second);
  EXPECT_EQ(namesIn(second),
            (std::vector<std::string>{"SAG_T2_FSE_Series_S3", "Series_S2", "localizer__Series_S1",
                                      "t2_tse_cor_Series_S4"}));
  EXPECT_EQ(view.renamedFolders.size(), 6u);
  ASSERT_EQ(view.failureReports.size(), 1u);
  ASSERT_EQ(view.failureReports[0].size(), 1u);
  EXPECT_EQ(view.failureReports[0][0].oldPath, second + "/Series_S2");
  EXPECT_EQ(form.lbltimetaken.text(), "0 Seconds");
  EXPECT_EQ(namesIn(first).size(), 3u);  // untouched by the second run
}

}  // namespace
}  // namespace slicery::app
