// Several exams at once in the window: which drops open the exams dialog and
// what its rows say, that Start runs only the ticked exams, that a stop
// leaves the exams after it untouched, and that undoing the batch puts the
// whole tree back, newest exam first.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/exam_batch.h"
#include "exam.h"
#include "platform/batch_record.h"
#include "support/memory_file_system.h"
#include "support/recording_view.h"
#include "support/temp_folder.h"

namespace slicery::app {
namespace {

class StoppingView : public testing::RecordingView {
 public:
  bool askStop(const std::string& text) override {
    questions.push_back(text);
    return true;
  }
  std::vector<std::string> questions;
};

class ExamBatchTest : public ::testing::Test {
 protected:
  ExamBatchTest() {
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    addExam("/tree/p1", 12, 2);
    addExam("/tree/p1/day2", 6, 1);
    addExam("/tree/p2/exam", 8, 2);
    fs.addFolder("/tree/empty");
    before = fs.filesUnder("/tree");
    form.setView(&view);
    form.setJournaling(true);
    form.changeCheck(form.Check2, 1);
  }
  void addExam(const std::string& folder, int files, int series) {
    fs.addFolder(folder);
    tools::ExamOptions options;
    options.files = files;
    options.series = series;
    options.shortNames = true;
    options.imageSide = 1;
    for (const tools::ExamFile& file : tools::planExam(options)) {
      fs.addFile(folder + "/" + file.name, tools::examFileContents(file, options));
    }
  }
  std::map<std::string, std::string> filesIn(const std::string& exam) {
    std::map<std::string, std::string> files;
    for (const auto& [path, bytes] : fs.filesUnder(exam)) {
      if (path.rfind('/') == exam.size()) files[path] = bytes;  // its own, not its subfolders'
    }
    return files;
  }

  testing::TempFolder state;
  testing::MemoryFileSystem fs;
  platform::SettableClock clock;
  Form1 form{fs, clock};
  StoppingView view;
  ExamBatch batch{form};
  std::map<std::string, std::string> before;
};

TEST_F(ExamBatchTest, ATreeOpensTheDialogWithOneRowPerExamAndOneExamDoesNot) {
  std::vector<size_t> searched;
  batch.onSearch = [&](size_t folders) { searched.push_back(folders); };
  ASSERT_TRUE(batch.find({"/tree"}));
  // The search tells how far it got: /tree, p1, day2, p2, exam, empty.
  EXPECT_EQ(searched, (std::vector<size_t>{1, 2, 3, 4, 5, 6}));
  searched.clear();
  std::vector<std::string> shown;
  for (const ExamBatch::Row& row : batch.rows()) shown.push_back(row.shown);
  EXPECT_EQ(shown, (std::vector<std::string>{"p1", "p1/day2", "p2/exam"}));
  EXPECT_EQ(batch.cell(0, 1), "12");
  EXPECT_EQ(batch.cell(2, 2), "2");
  EXPECT_EQ(batch.cell(1, 3), "no run on record");
  EXPECT_EQ(batch.ticked(), 3);
  // One exam, or files of one exam, load as they always did, and what
  // lies below an exam is not searched.
  EXPECT_FALSE(batch.find({"/tree/p1"}));
  EXPECT_TRUE(searched.empty());
  EXPECT_FALSE(batch.find({"/tree/p2/exam"}));
  const auto file = fs.filesUnder("/tree/p2/exam").begin()->first;
  EXPECT_FALSE(batch.find({file, file}));
  // Several folders: each is searched, and the rows say which one.
  ASSERT_TRUE(batch.find({"/tree/p2", "/tree/p1/day2"}));
  EXPECT_EQ(batch.cell(0, 0), "p2/exam");
  EXPECT_EQ(batch.cell(1, 0), "p1/day2");
  EXPECT_TRUE(fs.filesUnder("/tree") == before);
}

TEST_F(ExamBatchTest, StartRunsOnlyTheTickedExamsAndUndoPutsTheTreeBackNewestFirst) {
  ASSERT_TRUE(batch.find({"/tree"}));
  batch.tick(1, false);
  const auto untouched = filesIn("/tree/p1/day2");
  const auto p1 = filesIn("/tree/p1");
  batch.start();
  EXPECT_EQ(filesIn("/tree/p1/day2"), untouched);
  EXPECT_NE(filesIn("/tree/p1"), p1);
  EXPECT_EQ(fs.filesUnder("/tree/p1").size(), p1.size() + untouched.size());
  EXPECT_EQ(batch.rows()[0].outcome, ExamBatch::Outcome::done);
  EXPECT_EQ(batch.rows()[2].outcome, ExamBatch::Outcome::done);
  EXPECT_EQ(batch.filesDone(), batch.filesTotal());
  EXPECT_EQ(form.File2.path(), "/tree/p2/exam");  // the window shows the last exam
  EXPECT_TRUE(view.messages.empty());             // nothing but the summary is told
  EXPECT_NE(batch.summary().text.find("2 exams done, 0 failed"), std::string::npos);

  ASSERT_TRUE(batch.undoApplies());
  view.renamedFiles.clear();
  batch.undo();
  EXPECT_EQ(fs.filesUnder("/tree"), before);
  ASSERT_FALSE(view.renamedFiles.empty());
  EXPECT_TRUE(view.renamedFiles.front().first.starts_with("/tree/p2/exam/"));
  EXPECT_TRUE(view.renamedFiles.back().first.starts_with("/tree/p1/"));
  EXPECT_FALSE(batch.undoApplies());
}

TEST_F(ExamBatchTest, AnExamsRowAndTheSummaryListEveryFailureOfIt) {
  const auto files = filesIn("/tree/p2/exam");
  const std::string first = files.begin()->first;
  const std::string last = files.rbegin()->first;
  fs.failOn(testing::MemoryFileSystem::Op::renameFile, first);
  fs.failOn(testing::MemoryFileSystem::Op::renameFile, last);
  ASSERT_TRUE(batch.find({"/tree"}));
  batch.start();
  EXPECT_EQ(batch.rows()[2].outcome, ExamBatch::Outcome::failed);
  const std::string cell = batch.cell(2, 4);
  const std::string summary = batch.summary().text;
  for (const std::string& path : {first, last}) {
    const std::string name = path.substr(path.rfind('/') + 1);
    EXPECT_NE(cell.find(name), std::string::npos) << cell;
    EXPECT_NE(summary.find("\n    " + name), std::string::npos) << summary;
  }
  EXPECT_NE(cell.find("2 failures"), std::string::npos) << cell;
  EXPECT_TRUE(batch.summary().details.empty());  // nothing was left out
}

TEST_F(ExamBatchTest, AStopLeavesTheExamsNotStartedUntouched) {
  ASSERT_TRUE(batch.find({"/tree"}));
  int renames = 0;
  view.onFileRenamed = [&](const std::string&, const std::string&) {
    if (++renames == 3) batch.pressEscape();
  };
  batch.start();
  ASSERT_EQ(view.questions, (std::vector<std::string>{form.stopQuestion()}));
  EXPECT_EQ(batch.rows()[0].outcome, ExamBatch::Outcome::stopped);
  EXPECT_EQ(batch.rows()[1].outcome, ExamBatch::Outcome::notStarted);
  EXPECT_EQ(batch.rows()[2].outcome, ExamBatch::Outcome::notStarted);
  EXPECT_EQ(fs.filesUnder("/tree/p2"), filesIn("/tree/p2/exam"));
  const auto rest = fs.filesUnder("/tree/p2");
  for (const auto& [path, bytes] : rest) EXPECT_EQ(before.at(path), bytes);
  const std::string summary = batch.summary().text;
  EXPECT_NE(summary.find("Not started:\n  p1/day2\n  p2/exam"), std::string::npos) << summary;
  // The stopped exam is undone as the batch's.
  batch.undo();
  EXPECT_EQ(fs.filesUnder("/tree"), before);
}

// Each dropped folder keeps a record of its own, as slicery-cli -r keeps one
// for each PATH: a stopped batch leaves them, an undone one removes them.
TEST_F(ExamBatchTest, ABatchOfSeveralFoldersKeepsARecordForEachUntilItIsUndone) {
  ASSERT_TRUE(batch.find({"/tree/p2", "/tree/p1/day2"}));
  batch.onProgress = [&](bool) {
    if (batch.examsDone() == 1) batch.pressEscape();
  };
  batch.start();
  const auto record = [](const std::string& root) {
    std::string file;
    platform::BatchContents contents;
    EXPECT_TRUE(platform::batchPathFor(root, file));
    if (!platform::readBatch(file, contents)) contents.root.clear();
    return contents;
  };
  const platform::BatchContents first = record("/tree/p2");
  EXPECT_EQ(first.root, "/tree/p2");
  EXPECT_EQ(first.options, (std::vector<std::string>{"--folders"}));
  EXPECT_EQ(first.exams, (std::vector<std::string>{"/tree/p2/exam"}));
  EXPECT_EQ(first.done, (std::vector<bool>{true}));
  const platform::BatchContents second = record("/tree/p1/day2");
  EXPECT_EQ(second.exams, (std::vector<std::string>{"/tree/p1/day2"}));
  EXPECT_EQ(second.done, (std::vector<bool>{false}));

  batch.onProgress = nullptr;
  batch.undo();
  EXPECT_TRUE(record("/tree/p2").root.empty());
  EXPECT_TRUE(record("/tree/p1/day2").root.empty());
}

}  // namespace
}  // namespace slicery::app
