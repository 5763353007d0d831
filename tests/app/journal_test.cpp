// The run journal on the in-memory file system: a run cut short and then
// finished ends as the uninterrupted run does, failures included; a journal
// that cannot be trusted renames nothing; a folder changed meanwhile is
// never overwritten; undo puts back exactly what the run changed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "app/form1.h"
#include "exam.h"
#include "journal/journal.h"
#include "platform/journal_files.h"
#include "platform/real_file_system.h"
#include "platform/record_log.h"
#include "support/memory_file_system.h"
#include "support/recording_view.h"
#include "support/temp_folder.h"

namespace slicery::app {
namespace {

using testing::MemoryFileSystem;
using Op = MemoryFileSystem::Op;

struct Outcome {
  std::map<std::string, std::string> files;
  std::vector<std::string> failures;
  int processed = 0;
  int renamed = 0;
};

class JournalTest : public ::testing::Test {
 protected:
  JournalTest() {
    fs.addFolder("/exam");
    tools::ExamOptions options;
    options.files = 60;
    options.series = 4;
    options.shortNames = true;
    options.imageSide = 1;
    for (const tools::ExamFile& file : tools::planExam(options)) {
      fs.addFile("/exam/" + file.name, tools::examFileContents(file, options));
    }
    before = fs.filesUnder("/exam");
  }

  // A run with folders and descriptions over `disk`, stopped after
  // `stopAfter` renames when given.
  Outcome run(MemoryFileSystem& disk, int stopAfter = -1, bool describe = true) {
    Form1 form(disk, clock);
    testing::RecordingView view;
    std::atomic<bool> stop{false};
    int renames = 0;
    view.onFileRenamed = [&](const std::string&, const std::string&) {
      if (++renames == stopAfter) stop = true;
    };
    form.setView(&view);
    form.setJournaling(true);
    form.setJournalStore(journals);
    form.setStopFlag(&stop);
    EXPECT_TRUE(form.drop({"/exam"}));
    form.changeCheck(form.Check2, 1);
    if (describe) form.changeCheck(form.Check4, 1);
    form.pressStart();
    return outcome(form, disk);
  }
  static Outcome outcome(Form1& form, MemoryFileSystem& disk) {
    Outcome o{disk.filesUnder("/exam"), {}, form.filesProcessed, form.filesRenamed};
    for (const RunFailure& f : form.runFailures) {
      o.failures.push_back(f.oldPath + " -> " + f.newPath + ": " + f.reason);
    }
    return o;
  }
  platform::Status resume(Outcome* out = nullptr) {
    Form1 form(fs, clock);
    form.setJournaling(true);
    form.setJournalStore(journals);
    EXPECT_TRUE(form.drop({"/exam"}));
    const platform::Status s = form.resumeRun();
    if (out != nullptr) *out = outcome(form, fs);
    return s;
  }
  platform::Status undo(std::vector<RunFailure>* failures = nullptr) {
    Form1 form(fs, clock);
    form.setJournaling(true);
    form.setJournalStore(journals);
    EXPECT_TRUE(form.drop({"/exam"}));
    const platform::Status s = form.undoRun();
    if (failures != nullptr) *failures = form.runFailures;
    return s;
  }
  std::string journalFile() {
    std::string file;
    std::string key;
    EXPECT_TRUE(journals.locate("/exam", file, key));
    return file;
  }
  bool journalKept() { return journals.files.count(journalFile()) != 0; }
  void cutJournal(long bytes) {
    std::string& journal = journals.files.at(journalFile());
    journal.resize(journal.size() - static_cast<std::size_t>(bytes));
  }

  journal::MemoryStore journals;
  MemoryFileSystem fs;
  platform::SettableClock clock;
  std::map<std::string, std::string> before;
};

TEST_F(JournalTest, ResumedRunEndsAsTheUninterruptedOneFailuresIncluded) {
  // One rename fails before the stop, and again after it.
  const std::string stuck = before.begin()->first;
  fs.failOn(Op::renameFile, stuck);
  MemoryFileSystem copy = fs;
  const Outcome whole = run(copy);
  ASSERT_EQ(whole.failures.size(), 1u);

  run(fs, 25);
  ASSERT_NE(fs.filesUnder("/exam"), whole.files);
  // The records after the last flush are lost: the folder tells those.
  cutJournal(10);
  Outcome resumed;
  ASSERT_TRUE(resume(&resumed));
  EXPECT_EQ(resumed.files, whole.files);
  EXPECT_EQ(resumed.failures, whole.failures);
  EXPECT_EQ(resumed.processed, whole.processed);
  EXPECT_EQ(resumed.renamed, whole.renamed);
  EXPECT_FALSE(resume());  // finished: nothing more to do

  fs.clearFailures();
  ASSERT_TRUE(undo());
  EXPECT_EQ(fs.filesUnder("/exam"), before);
  for (const auto& [path, contents] : whole.files) {
    const std::string folder = platform::parentPath(path);
    if (folder != "/exam") {
      EXPECT_EQ(fs.kindAt(folder), platform::PathKind::missing) << folder;
    }
  }
  EXPECT_FALSE(journalKept());
}

TEST_F(JournalTest, JournalThatCannotBeTrustedRenamesNothing) {
  run(fs, 10);
  const auto stopped = fs.filesUnder("/exam");
  const std::string bytes = journals.files.at(journalFile());
  const auto write = [this](const std::string& data) { journals.files[journalFile()] = data; };
  // A flipped byte in the header, then one in the middle of the steps, then
  // a header cut short.
  for (const size_t at : {size_t{40}, bytes.size() - 300}) {
    std::string damaged = bytes;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x55);
    write(damaged);
    const platform::Status r = resume();
    EXPECT_FALSE(r);
    EXPECT_NE(r.reason().find("damaged"), std::string::npos) << r.reason();
    EXPECT_FALSE(undo());
    EXPECT_EQ(fs.filesUnder("/exam"), stopped);
  }
  write(bytes.substr(0, 30));
  EXPECT_FALSE(resume());
  EXPECT_EQ(fs.filesUnder("/exam"), stopped);

  // A plain run refuses too, until the run is finished.
  write(bytes);
  const Outcome refused = run(fs);
  EXPECT_EQ(refused.files, stopped);
  ASSERT_TRUE(resume());
}

TEST_F(JournalTest, FolderChangedMeanwhileListsWhatCannotBeDoneAndOverwritesNothing) {
  MemoryFileSystem copy = fs;
  const Outcome whole = run(copy, -1, false);
  run(fs, 5, false);
  // Someone takes a new name the run still has to give, and removes a file
  // the run still has to move.
  const auto left = fs.filesUnder("/exam");
  std::string taken;
  std::string gone;
  for (const auto& [path, contents] : whole.files) {
    const auto old = std::find_if(left.begin(), left.end(),
                                  [&](const auto& entry) { return entry.second == contents; });
    if (old == left.end() || old->first == path) continue;
    if (taken.empty()) {
      taken = path;
      fs.addFile(taken, "someone's own file");
    } else if (gone.empty()) {
      gone = old->first;
      fs.remove(gone);
    }
  }
  ASSERT_FALSE(gone.empty());
  Outcome resumed;
  ASSERT_TRUE(resume(&resumed));
  EXPECT_EQ(fs.contents(taken), "someone's own file");
  ASSERT_EQ(resumed.failures.size(), 2u);
  EXPECT_EQ(std::count_if(resumed.failures.begin(), resumed.failures.end(),
                          [&](const std::string& f) {
                            return f.find(" -> " + taken + ": ") != std::string::npos;
                          }),
            1);

  // Undo then leaves the stranger's file and lists the folder it is in.
  std::vector<RunFailure> failures;
  ASSERT_TRUE(undo(&failures));
  EXPECT_EQ(fs.contents(taken), "someone's own file");
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].oldPath, platform::parentPath(taken));
  EXPECT_TRUE(journalKept());
}

// A journal that cannot be flushed stops the run before its first change;
// one whose write fails later stops the run at the next step, and what the
// run did until then is undone whole. The second series' folder is taken by
// a file, so its steps fail, and the record of the first failure is the
// journal's second write.
TEST_F(JournalTest, AJournalThatCannotBeWrittenStopsTheRunAndTellsWhy) {
  fs.addFile("/exam/Series_S2", "not a folder");
  before = fs.filesUnder("/exam");
  for (const auto& [failWrite, failSync] : {std::pair{0, true}, std::pair{2, false}}) {
    SCOPED_TRACE(failSync ? "flush fails" : "second write fails");
    Form1 form(fs, clock);
    testing::RecordingView view;
    form.setView(&view);
    form.setJournaling(true);
    form.setJournalStore(journals);
    journals.failWrite = failWrite;
    journals.failFlushes = failSync;
    ASSERT_TRUE(form.drop({"/exam"}));
    form.changeCheck(form.Check2, 1);
    form.changeCheck(form.Check4, 1);
    form.pressStart();
    if (failSync) {
      EXPECT_EQ(fs.filesUnder("/exam"), before);
      EXPECT_EQ(form.refusal().state, journal::LastRun::State::noJournal);
      ASSERT_EQ(view.messages.size(), 1u);
      EXPECT_NE(view.messages[0].text.find("Input/output error"), std::string::npos);
      continue;
    }
    // The header was written, the first failure's record was not, and the
    // run stopped there: the first series' files moved, no other did.
    EXPECT_GT(form.filesRenamed, 0);
    EXPECT_LT(form.filesRenamed, 60);
    EXPECT_EQ(fs.kindAt("/exam/Series_S3"), platform::PathKind::missing);
    EXPECT_TRUE(view.renamedFolders.empty());
    ASSERT_FALSE(form.runFailures.empty());
    EXPECT_NE(form.runFailures.back().reason.find("No space left"), std::string::npos);
    // The journal named is the one that stays to finish or undo from.
    EXPECT_EQ(form.journalError().path(), journalFile());
    EXPECT_EQ(form.lastRun().state, journal::LastRun::State::unfinished);
  }
  ASSERT_TRUE(undo());
  EXPECT_EQ(fs.filesUnder("/exam"), before);
}

TEST_F(JournalTest, UndoKeepsASeriesFolderThatWasThereBefore) {
  fs.addFolder("/exam/Series_S2");
  fs.addFile("/exam/Series_S2/notes.txt", "mine");
  before = fs.filesUnder("/exam");
  run(fs);
  ASSERT_EQ(fs.kindAt("/exam/Series_S2"),
            platform::PathKind::missing);  // renamed with a description
  ASSERT_TRUE(undo());
  EXPECT_EQ(fs.filesUnder("/exam"), before);
  EXPECT_EQ(fs.kindAt("/exam/Series_S2"), platform::PathKind::folder);
  EXPECT_EQ(fs.kindAt("/exam/Series_S1"), platform::PathKind::missing);
}

// A run killed after its journal was written but before its first rename
// changed nothing: undoing it must not take the run before it with it. A
// batch leaves such runs for the exams it had made ready when it was killed.
TEST_F(JournalTest, UndoingARunCutBeforeItsFirstStepKeepsTheRunBeforeUndoable) {
  {
    Form1 padded(fs, clock);
    padded.setJournaling(true);
    padded.setJournalStore(journals);
    ASSERT_TRUE(padded.drop({"/exam"}));
    padded.pressStart();
  }
  const std::map<std::string, std::string> afterFirst = fs.filesUnder("/exam");
  ASSERT_NE(afterFirst, before);
  std::map<std::string, std::string> killedJournals;
  {
    Form1 moved(fs, clock);
    moved.setJournaling(true);
    moved.setJournalStore(journals);
    ASSERT_TRUE(moved.drop({"/exam"}));
    moved.changeCheck(moved.Check2, 1);
    ASSERT_TRUE(moved.prepareStart());
    killedJournals = journals.files;  // what a kill here leaves
  }
  journals.files = killedJournals;

  std::vector<RunFailure> failures;
  ASSERT_TRUE(undo(&failures));
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(fs.filesUnder("/exam"), afterFirst);
  ASSERT_TRUE(journalKept());
  ASSERT_TRUE(undo(&failures));
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(fs.filesUnder("/exam"), before);
  EXPECT_FALSE(journalKept());
}

// Two studies in one folder share their series numbers, so each series folder
// is asked for once per study: undo removes each after all its files are back.
TEST_F(JournalTest, UndoOfTwoStudiesSharingSeriesFoldersReportsNoFailure) {
  for (const auto& [path, contents] : before) {
    fs.addFile("/exam/OTHER" + path.substr(path.find('.')), contents + " (other study)");
  }
  before = fs.filesUnder("/exam");
  run(fs, -1, false);
  ASSERT_NE(fs.filesUnder("/exam"), before);
  std::vector<RunFailure> failures;
  ASSERT_TRUE(undo(&failures));
  for (const RunFailure& f : failures) ADD_FAILURE() << f.oldPath << ": " << f.reason;
  EXPECT_EQ(fs.filesUnder("/exam"), before);
  EXPECT_EQ(fs.kindAt("/exam/Series_S1"), platform::PathKind::missing);
  EXPECT_FALSE(journalKept());
}

// Ctrl+Z ends with one message: how many names went back, and each one that
// could not because its old name was taken again meanwhile.
TEST_F(JournalTest, CtrlZTellsWhatWasPutBackAndWhatWasNotInOneMessage) {
  const Outcome done = run(fs, -1, false);
  // The old name of a file the run moved, taken again by someone.
  const auto moved = std::find_if(before.begin(), before.end(),
                                  [&](const auto& file) { return !done.files.count(file.first); });
  ASSERT_NE(moved, before.end());
  const std::string taken = moved->first;
  fs.addFile(taken, "someone's own file");
  struct Yes : testing::RecordingView {
    bool confirm(const std::string&, const std::string&) override { return true; }
  } view;
  Form1 form(fs, clock);
  form.setView(&view);
  form.setJournaling(true);
  form.setJournalStore(journals);
  ASSERT_TRUE(form.drop({"/exam"}));
  form.pressUndo();
  EXPECT_TRUE(view.failureReports.empty());  // told in the summary, not twice
  ASSERT_EQ(view.messages.size(), 1u);
  const std::string& told = view.messages[0].text;
  // The file stays in its series folder, and so does the folder.
  EXPECT_EQ(told.rfind("In /exam, 39 names were put back and 3 series folders removed.\n\n"
                       "2 could not be undone; nothing was overwritten:\nSeries_S1/",
                       0),
            0u)
      << told;
  EXPECT_NE(told.find(" -> " + taken.substr(std::string("/exam/").size()) +
                      ": cannot be put back: its old name is taken too"),
            std::string::npos)
      << told;
  EXPECT_NE(told.find("\nSeries_S1: the series folder made by the run cannot be removed"),
            std::string::npos);
  EXPECT_EQ(fs.contents(taken), "someone's own file");
  EXPECT_EQ(form.lbltotalfiles.text(), "39");
  EXPECT_EQ(form.prgtotal.maximum(), 40);
}

// A journal of version 3, written before the numbers' widths sorted: its run
// is finished and undone with the widths it was planned with, the counts'
// digits alone (Series_S1, slice 5), not those of a run today (Series_S01,
// slice 05).
TEST(OldJournalTest, AVersionThreeRunIsFinishedAndUndoneWithItsOwnWidths) {
  journal::MemoryStore journals;
  MemoryFileSystem fs;
  platform::SettableClock clock;
  fs.addFolder("/exam");
  const auto name = [](const std::string& series, const std::string& slice) {
    return "P.MR.HEAD." + series + "." + slice + ".2019.1.IMA";
  };
  for (const char* slice : {"1", "5", "9", "10", "12"}) fs.addFile("/exam/" + name("1", slice));
  fs.addFile("/exam/" + name("2", "1"));
  fs.addFile("/exam/" + name("10", "1"));
  const auto before = fs.filesUnder("/exam");

  // The header as version 3 wrote it, of a run with series folders.
  platform::RecordBuilder b;
  {
    Form1 form(fs, clock);
    ASSERT_TRUE(form.drop({"/exam"}));
    b.begin(1);
    b.u32(3);
    b.str("/exam");
    for (const int option : {0, 1, 0}) b.u8(static_cast<std::uint8_t>(option));
    b.str("Series");
    b.u32(static_cast<std::uint32_t>(form.seriesCount));
    b.strs(form.List1.items());
    b.u32(255);
    const std::vector<std::string_view>& names = form.File2.entries();
    b.u32(static_cast<std::uint32_t>(names.size()));
    for (size_t i = 0; i < names.size(); ++i) {
      b.change(i == 0 ? std::string_view() : names[i - 1], names[i]);
    }
    b.bytes(std::string((names.size() + 7) / 8, '\0'));
    b.u32(0);
    b.seal();
  }
  std::string journal;
  std::string key;
  ASSERT_TRUE(journals.locate("/exam", journal, key));
  const auto write = [&](const std::string& bytes) { journals.files[journal] = bytes; };
  write(b.buffer());
  // Cut short after its first two steps.
  fs.addFolder("/exam/Series_S1");
  for (const char* slice : {"1", "10"}) {
    ASSERT_TRUE(fs.renameFile("/exam/" + name("1", slice), "/exam/Series_S1/" + name("1", slice)));
  }
  MemoryFileSystem cutDisk = fs;

  Form1 finish(fs, clock);
  finish.setJournaling(true);
  finish.setJournalStore(journals);
  ASSERT_TRUE(finish.drop({"/exam"}));
  ASSERT_TRUE(finish.resumeRun());
  EXPECT_TRUE(finish.runFailures.empty());
  std::map<std::string, std::string> finished;
  for (const char* slice : {"1", "5", "9", "10", "12"}) {
    finished["/exam/Series_S1/" + name("1", slice)] = "";
  }
  finished["/exam/Series_S2/" + name("2", "1")] = "";
  finished["/exam/Series_S10/" + name("10", "1")] = "";
  EXPECT_EQ(fs.filesUnder("/exam"), finished);

  // Undone, once finished and once as it was cut short.
  const std::string finishedJournal = journals.files.at(journal);
  for (const auto& [disk, bytes] :
       {std::pair{&fs, finishedJournal}, std::pair{&cutDisk, b.buffer()}}) {
    write(bytes);
    Form1 undo(*disk, clock);
    undo.setJournaling(true);
    undo.setJournalStore(journals);
    ASSERT_TRUE(undo.drop({"/exam"}));
    ASSERT_TRUE(undo.undoRun());
    EXPECT_TRUE(undo.runFailures.empty());
    EXPECT_EQ(disk->filesUnder("/exam"), before);
    EXPECT_EQ(disk->kindAt("/exam/Series_S1"), platform::PathKind::missing);
    EXPECT_EQ(journals.files.count(journal), 0u);
  }
}

// A link put where a series folder goes, between the stop and the resume,
// takes none of the series' files out of the loaded folder: the resume
// refuses it as the first run would have.
TEST(JournalOnDiskTest, ResumeMovesNothingThroughALinkPutInASeriesFolder) {
  testing::TempFolder temp;
  ::setenv("XDG_STATE_HOME", temp.mkdir("state").c_str(), 1);
  const std::string exam = temp.mkdir("exam");
  const std::string outside = temp.mkdir("outside");
  tools::ExamOptions options;
  options.files = 40;
  options.series = 4;
  options.imageSide = 1;
  for (const tools::ExamFile& file : tools::planExam(options)) {
    temp.write("exam/" + file.name, tools::examFileContents(file, options));
  }
  platform::RealFileSystem disk;
  platform::SettableClock clock;
  {
    Form1 form(disk, clock);
    testing::RecordingView view;
    std::atomic<bool> stop{false};
    view.onFileRenamed = [&](const std::string&, const std::string&) { stop = true; };
    form.setView(&view);
    form.setJournaling(true);
    form.setStopFlag(&stop);
    ASSERT_TRUE(form.drop({exam}));
    form.changeCheck(form.Check2, 1);
    form.pressStart();
  }
  ASSERT_TRUE(std::filesystem::is_directory(exam + "/Series_S1"));
  // One the run made (moved aside with its one file), and one it had still
  // to make.
  std::filesystem::rename(exam + "/Series_S1", temp / "aside");
  for (const char* series : {"Series_S1", "Series_S3"}) {
    ASSERT_EQ(::symlink(outside.c_str(), (exam + "/" + series).c_str()), 0);
  }
  Form1 form(disk, clock);
  form.setJournaling(true);
  ASSERT_TRUE(form.drop({exam}));
  EXPECT_TRUE(form.resumeRun());
  EXPECT_TRUE(std::filesystem::is_empty(outside));
  // The other nine of series 1 and all ten of series 3 stay where they were.
  int left = 0;
  for (const auto& entry : std::filesystem::directory_iterator(exam)) {
    left += entry.is_regular_file() ? 1 : 0;
  }
  EXPECT_EQ(left, 19);
  EXPECT_FALSE(form.runFailures.empty());
}

// The open folder of a disk that stops, as a kill would, in the middle of
// one rename on a file system without a no-replace rename: after the empty
// placeholder at the new name is made, before the file is renamed onto it.
// `told` says whether the rename told of its placeholder first.
class CutAtPlaceholder : public platform::RealFileSystem {
 public:
  struct Killed {};
  explicit CutAtPlaceholder(bool told) : told_(told) {}
  bool cut() const { return renames_ >= 5; }
  std::unique_ptr<platform::OpenFolder> openFolder(const std::string& path) override {
    class Folder : public platform::OpenFolder {
     public:
      Folder(CutAtPlaceholder& fs, std::unique_ptr<platform::OpenFolder> real, std::string path)
          : fs_(fs), real_(std::move(real)), path_(std::move(path)) {}
      platform::Status renameFile(const std::string& from, const std::string& to,
                                  platform::RenameIntent* intent) override {
        if (++fs_.renames_ < 5) return real_->renameFile(from, to, intent);
        if (fs_.told_ && intent != nullptr) {
          if (auto s = intent->before(platform::RenameIntent::Kind::placeholder); !s) return s;
        }
        std::ofstream(path_ + "/" + to).flush();
        throw Killed();
      }
      platform::Status renameFolder(const std::string& a, const std::string& b) override {
        return real_->renameFolder(a, b);
      }
      platform::Status makeFolder(const std::string& name) override {
        return real_->makeFolder(name);
      }
      platform::Status removeEmptyFolder(const std::string& name) override {
        return real_->removeEmptyFolder(name);
      }
      platform::PathKind kind(const std::string& name) override { return real_->kind(name); }
      bool completeCutMove(const std::string& a, const std::string& b) override {
        return real_->completeCutMove(a, b);
      }
      bool removePlaceholder(const std::string& name) override {
        return real_->removePlaceholder(name);
      }

     private:
      CutAtPlaceholder& fs_;
      std::unique_ptr<platform::OpenFolder> real_;
      std::string path_;
    };
    return std::make_unique<Folder>(*this, RealFileSystem::openFolder(path), path);
  }

 private:
  bool told_;
  int renames_ = 0;
};

// Every file below `root`, relative path -> contents.
std::map<std::string, std::string> treeOf(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files[std::filesystem::relative(entry.path(), root).string()].assign(
        std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

// A placeholder left by a run cut short is its journal's to remove, on
// finish and on undo; an empty file the journal knows nothing of is a
// user's, and stays.
TEST(JournalOnDiskTest, APlaceholderIsRemovedOnlyWhereTheJournalRecordedIt) {
  for (const bool told : {true, false}) {
    for (const bool resume : {true, false}) {
      SCOPED_TRACE(std::string(told ? "recorded" : "not recorded") +
                   (resume ? ", finish" : ", undo"));
      testing::TempFolder temp;
      ::setenv("XDG_STATE_HOME", (temp / "state").c_str(), 1);
      tools::ExamOptions options;
      options.files = 30;
      options.series = 3;
      options.imageSide = 1;
      const std::string exam = temp.mkdir("exam");
      const std::string whole = temp.mkdir("whole");
      tools::writeExam(exam, options);
      tools::writeExam(whole, options);
      const auto before = treeOf(exam);
      platform::RealFileSystem disk;
      platform::SettableClock clock;
      const auto run = [&](platform::FileSystem& on, const std::string& folder) {
        Form1 form(on, clock);
        form.setJournaling(true);
        EXPECT_TRUE(form.drop({folder}));
        form.changeCheck(form.Check2, 1);
        try {
          form.pressStart();
        } catch (const CutAtPlaceholder::Killed&) {
          // The process ends here, its journal as the kill left it.
        }
      };
      run(disk, whole);
      CutAtPlaceholder cut(told);
      run(cut, exam);
      ASSERT_TRUE(cut.cut());

      Form1 form(disk, clock);
      form.setJournaling(true);
      ASSERT_TRUE(form.drop({exam}));
      ASSERT_TRUE(resume ? form.resumeRun() : form.undoRun());
      const auto after = treeOf(exam);
      std::string failures;
      for (const RunFailure& f : form.runFailures) failures += f.oldPath + ": " + f.reason + "\n";
      if (told) {
        EXPECT_TRUE(after == (resume ? treeOf(whole) : before));
        EXPECT_TRUE(form.runFailures.empty()) << failures;
      } else {
        // Every file is kept, the empty one beside them, and what it stops is
        // told: the step that found it, and on undo the series folder it
        // keeps too.
        EXPECT_EQ(after.size(), before.size() + 1);
        EXPECT_EQ(std::count_if(after.begin(), after.end(),
                                [](const auto& file) { return file.second.empty(); }),
                  1);
        EXPECT_EQ(form.runFailures.size(), resume ? 1u : 2u) << failures;
      }
    }
  }
}

}  // namespace
}  // namespace slicery::app
