// slicery-cli -r over trees of exams: which folders it runs, that a second
// run over a finished tree changes nothing, a folder held by another run,
// the next exam made ready while the one before runs, and a batch killed at
// any call, then carried on or undone.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/exam_batch.h"
#include "cli/cli.h"
#include "exam.h"
#include "platform/batch_record.h"
#include "platform/folder_lock.h"
#include "platform/real_file_system.h"
#include "support/recording_view.h"
#include "support/temp_folder.h"

namespace slicery::cli {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;

struct Result {
  int status;
  std::string out;
  std::string err;
};

class RecursiveTest : public ::testing::Test {
 protected:
  RecursiveTest() { ::setenv("XDG_STATE_HOME", (temp / "state").c_str(), 1); }

  void writeExam(const std::string& folder, int files, int series,
                 const std::string& patient = "ANON") {
    tools::ExamOptions options;
    options.files = files;
    options.series = series;
    options.patient = patient;
    options.imageSide = 1;
    tools::writeExam(temp.mkdir(folder), options);
  }
  // Exams at several depths, one already run into series folders, a
  // folder named like a series folder that holds two series, a link back
  // to the top and a hidden folder.
  std::string writeTree(const std::string& name) {
    const std::string root = temp.mkdir(name);
    writeExam(name + "/p1", 12, 2);
    writeExam(name + "/p1/day2", 10, 1);
    writeExam(name + "/p2/exam", 8, 2);
    writeExam(name + "/p3/Series_S1", 6, 2);
    writeExam(name + "/.hidden", 4, 1);
    fs::create_directory_symlink("..", root + "/p2/up");
    return root;
  }
  // Four exams: two side by side, one inside another.
  std::string writeFourExams() {
    const std::string original = temp.mkdir("original");
    writeExam("original/a/one", 10, 2);
    writeExam("original/a/two", 8, 2);
    writeExam("original/b", 6, 1);
    writeExam("original/b/c", 9, 3);
    return original;
  }
  // `original` copied afresh to `copy`, beside an empty state folder.
  void copyAfresh(const std::string& original, const std::string& copy) {
    fs::remove_all(temp / "state");
    fs::remove_all(copy);
    fs::copy(original, copy, fs::copy_options::recursive);
  }
  // Four exams and a copy of them that one whole `-r -f` batch ran over,
  // for sweeps that stop the batch at each of its calls in turn.
  struct Sweep {
    std::string original;
    std::string folder;  // the copy
    Tree before;
    long calls = 0;
  };
  Sweep sweepOfFourExams() {
    Sweep sweep{writeFourExams(), temp / "copy", {}, 0};
    sweep.before = testing::treeOf(sweep.original);
    copyAfresh(sweep.original, sweep.folder);
    sweep.calls = callsOfBatch(sweep.folder);
    return sweep;
  }
  // The calls a whole `-r -f` batch over `folder` makes (kill_at_call.cpp).
  long callsOfBatch(const std::string& folder);
  Result run(std::vector<std::string> args) {
    std::ostringstream out, err;
    Console console{out, err};
    const int status = runCommand(args, realFs, clock, console);
    return {status, out.str(), err.str()};
  }

  testing::TempFolder temp;
  platform::RealFileSystem realFs;
  platform::SettableClock clock{3600.0};
};

TEST_F(RecursiveTest, RunsEveryExamOnceAndASecondRunChangesNothing) {
  const std::string root = writeTree("tree");
  ASSERT_EQ(run({"-q", "-f", root + "/p2/exam"}).status, kSucceeded);
  const Tree before = testing::treeOf(root);

  const Result dry = run({"-r", "-n", "-q", "-f", root});
  EXPECT_EQ(testing::treeOf(root), before);
  const Result r = run({"-r", "-q", "-f", root});
  EXPECT_EQ(r.status, kSucceeded) << r.err;
  EXPECT_EQ(r.out, "==> " + root + "/p1 <==\n" + "Files Processed: 12\n" +
                       "Total Files Renamed/moved: 12\nTime Taken: 0 Seconds\n\n==> " + root +
                       "/p1/day2 <==\nFiles Processed: 10\nTotal Files Renamed/moved: 10\n"
                       "Time Taken: 0 Seconds\n\n==> " +
                       root +
                       "/p3/Series_S1 <==\nFiles Processed: 6\n"
                       "Total Files Renamed/moved: 6\nTime Taken: 0 Seconds\n\n"
                       "Exams: 3, Files Processed: 28, Total Files Renamed/moved: 28, "
                       "failed exams: 0\n");
  EXPECT_EQ(dry.out, r.out + "Dry run: nothing was changed.\n");
  const Tree after = testing::treeOf(root);
  EXPECT_TRUE(
      after.contains("p3/Series_S1/Series_S2/"
                     "ANON.MR.HEAD_ROUTINE.2.1.2003.05.27.10.11.12.100001.1000002.IMA"));
  EXPECT_TRUE(
      after.contains(".hidden/ANON.MR.HEAD_ROUTINE.1.1.2003.05.27.10.11.12.100001.1000001.IMA"));

  const Result again = run({"-r", "-f", root});
  EXPECT_EQ(again.status, kNoSeries);
  EXPECT_EQ(testing::treeOf(root), after);
}

// The journals a batch's runs replace are removed on the batch's second
// thread: once it ends, none is left beside its runs' journals, and each
// exam's run is undone to what the run before left.
TEST_F(RecursiveTest, ABatchLeavesOnlyTheJournalsOfItsRuns) {
  const std::string root = writeFourExams();
  ASSERT_EQ(run({"-r", "-q", root}).status, kSucceeded);
  const Tree padded = testing::treeOf(root);
  const Result moved = run({"-r", "-q", "-f", root});
  ASSERT_EQ(moved.status, kSucceeded) << moved.err;
  std::vector<std::string> kept;
  for (const auto& entry : fs::directory_iterator(temp / "state/slicery")) {
    kept.push_back(entry.path().filename());
  }
  EXPECT_EQ(kept.size(), 4u);
  for (const std::string& name : kept) EXPECT_TRUE(name.ends_with(".journal")) << name;
  const Result undone = run({"-r", "-q", "--undo", root});
  EXPECT_EQ(undone.status, kSucceeded) << undone.err;
  EXPECT_EQ(testing::treeOf(root), padded);
}

TEST_F(RecursiveTest, AnExamAnotherRunHoldsIsToldAndTheOthersGoOn) {
  const std::string root = writeTree("tree");
  std::unique_ptr<platform::FolderLock> held;
  ASSERT_TRUE(realFs.lockFolder(root + "/p1/day2", held));
  const Tree before = testing::treeOf(root);
  const Result r = run({"-r", "-q", "-f", root});
  EXPECT_EQ(r.status, kBusy);
  EXPECT_NE(r.err.find("'" + root + "/p1/day2': another run is working on this folder"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("Exams: 4, Files Processed: 26, Total Files Renamed/moved: 26, "
                       "failed exams: 1\n"),
            std::string::npos)
      << r.out;
  const Tree after = testing::treeOf(root);
  for (const auto& [name, data] : before) {
    if (name.starts_with("p1/day2/")) {
      EXPECT_TRUE(after.contains(name)) << name;
    }
  }
}

// An exam inside the folder of the exam before it is made ready only once
// that one has ended: its run may move files into it.
TEST_F(RecursiveTest, AnExamInsideTheOneBeforeSeesWhatThatOneMovedIn) {
  writeExam("one/n", 12, 2);
  writeExam("one/n/Series_S1", 6, 2, "OTHER");
  fs::copy(temp / "one", temp / "two", fs::copy_options::recursive);
  ASSERT_EQ(run({"-q", "-f", temp / "one/n"}).status, kSucceeded);
  ASSERT_EQ(run({"-q", "-f", temp / "one/n/Series_S1"}).status, kSucceeded);
  const Result r = run({"-r", "-q", "-f", temp / "two"});
  EXPECT_EQ(r.status, kSucceeded) << r.err;
  const Tree oneByOne = testing::treeOf(temp / "one");
  EXPECT_TRUE(
      oneByOne.contains("n/Series_S1/Series_S1/"
                        "ANON.MR.HEAD_ROUTINE.1.1.2003.05.27.10.11.12.100001.1000001.IMA"));
  EXPECT_EQ(testing::treeOf(temp / "two"), oneByOne);
}

// The disk, where the exam in hand waits, as it locks (`holdAtLock`) or
// else opens a folder of `holdAt`, until the batch's other thread has made
// the next exam ready (or a second has passed).
class ReadiedDisk : public platform::RealFileSystem {
 public:
  std::set<std::string> holdAt;
  bool holdAtLock = false;

  platform::Status lockFolder(const std::string& folder,
                              std::unique_ptr<platform::FolderLock>& lock) override {
    if (holdAtLock) hold(folder);
    const platform::Status locked = RealFileSystem::lockFolder(folder, lock);
    readied(&locked_);
    return locked;
  }
  long nameLimit(const std::string& folder) override {
    readied(&planned_);
    return RealFileSystem::nameLimit(folder);
  }
  std::unique_ptr<platform::OpenFolder> openFolder(const std::string& path) override {
    if (!holdAtLock) hold(path);
    return RealFileSystem::openFolder(path);
  }

 private:
  bool onMain() const { return std::this_thread::get_id() == main_; }
  void readied(bool* done) {
    if (onMain()) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    *done = true;
    changed_.notify_all();
  }
  void hold(const std::string& path) {
    if (!onMain() || holdAt.erase(path) == 0) return;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(1), [this] { return locked_ && planned_; });
    locked_ = planned_ = false;
  }

  const std::thread::id main_ = std::this_thread::get_id();
  std::mutex mutex_;
  std::condition_variable changed_;
  bool locked_ = false;
  bool planned_ = false;
};

// One folder given by two paths: the exam whose turn it is takes the lock,
// and the other, made ready meanwhile, runs after it as it would alone. One
// given twice runs once.
TEST_F(RecursiveTest, AFolderGivenTwiceRunsTwiceWithoutBeingFoundBusy) {
  writeExam("a", 24, 2);
  fs::create_directory_symlink(temp / "a", temp / "link");
  ReadiedDisk disk;
  disk.holdAt = {temp / "a"};
  disk.holdAtLock = true;
  std::ostringstream out, err;
  Console console{out, err};
  EXPECT_EQ(runCommand({"-r", "-q", temp / "a", temp / "link"}, disk, clock, console), kSucceeded)
      << err.str();
  EXPECT_NE(out.str().find("Exams: 2, Files Processed: 48, Total Files Renamed/moved: 18"),
            std::string::npos)
      << out.str();
  // Below a PATH given before it, it is that PATH's exam: nothing is told of it.
  const Result again = run({"-r", "-q", temp.path(), temp / "a"});
  EXPECT_EQ(again.status, kSucceeded) << again.err;
}

// An exam made ready while the exam before it renames is not refused for
// that exam's journal, still in progress then (b holds the names a is
// renamed to): it is loaded again at its turn, and the tree ends as the
// exams run alone leave it.
TEST_F(RecursiveTest, TheNextExamIsNotRefusedForTheJournalOfTheOneBefore) {
  writeExam("renamed", 24, 2);
  ASSERT_EQ(run({"-q", temp / "renamed"}).status, kSucceeded);
  writeExam("one/a", 24, 2);
  fs::copy(temp / "renamed", temp.mkdir("one/b"));
  fs::copy(temp / "one", temp / "two", fs::copy_options::recursive);
  for (const std::string exam : {"a", "b"}) {
    ASSERT_EQ(run({"-q", temp / ("two/" + exam)}).status, kSucceeded) << exam;
  }

  ReadiedDisk disk;
  disk.holdAt = {temp / "one/a"};
  std::ostringstream out, err;
  Console console{out, err};
  EXPECT_EQ(runCommand({"-r", "-q", temp / "one"}, disk, clock, console), kSucceeded);
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(testing::treeOf(temp / "one"), testing::treeOf(temp / "two"));
}

class StopView : public testing::RecordingView {
 public:
  bool askStop(const std::string&) override { return true; }
};

// A batch stopped in the window after its first exam leaves its record;
// --resume -r carries it on with the window's options to the tree the whole
// batch leaves, and --undo -r puts the tree back.
TEST_F(RecursiveTest, AWindowBatchStoppedIsCarriedOnByResumeWithItsOwnOptions) {
  const std::string original = temp.mkdir("original");
  writeExam("original/a", 10, 2);
  writeExam("original/a/b", 8, 2);
  writeExam("original/c", 6, 1);
  const Tree before = testing::treeOf(original);
  const auto windowBatch = [&](const std::string& name, bool stopAfterFirst) {
    const std::string root = temp / name;
    fs::copy(original, root, fs::copy_options::recursive);
    app::Form1 form(realFs, clock);
    StopView view;
    form.setView(&view);
    form.setJournaling(true);
    form.changeCheck(form.Check1, 1);
    form.changeCheck(form.Check2, 1);
    form.changeCheck(form.Check3, 1);
    form.changeText1("Scan");
    app::ExamBatch batch(form);
    EXPECT_TRUE(batch.find({root}));
    batch.onProgress = [&](bool) {
      if (stopAfterFirst && batch.examsDone() == 1) batch.pressEscape();
    };
    batch.start();
    EXPECT_EQ(batch.rows()[1].outcome,
              stopAfterFirst ? app::ExamBatch::Outcome::notStarted : app::ExamBatch::Outcome::done);
    std::string record;
    EXPECT_TRUE(platform::batchPathFor(root, record));
    EXPECT_EQ(fs::exists(record), stopAfterFirst);
    return root;
  };
  const Tree whole = testing::treeOf(windowBatch("whole", false));
  const std::string root = windowBatch("stopped", true);
  EXPECT_NE(testing::treeOf(root), whole);

  EXPECT_EQ(run({"--resume", "-r", "-q", root}).status, kSucceeded);
  EXPECT_EQ(testing::treeOf(root), whole);
  EXPECT_EQ(run({"--undo", "-r", "-q", root}).status, kSucceeded);
  EXPECT_EQ(testing::treeOf(root), before);
}

// The real program, its output thrown away or its errors written to
// `errors`; at its `killAt`-th call that changes the disk or a journal
// (kill_at_call.cpp), sent `signal`; or with each such call logged to
// `log`. Returns the exit status, or minus the signal that ended it.
int cli(std::vector<std::string> args, long killAt = 0, const std::string& log = {},
        int signal = SIGKILL, const std::string& errors = {}) {
  args.insert(args.begin(), SLICERY_CLI_PROGRAM);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("LD_PRELOAD", SLICERY_KILL_PRELOAD, 1);
    ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
    // Signal 0: the call fails as on a full disk instead.
    ::setenv(signal == 0 ? "SLICERY_FAIL_AT" : "SLICERY_KILL_AT", std::to_string(killAt).c_str(),
             1);
    ::setenv("SLICERY_KILL_SIGNAL", std::to_string(signal).c_str(), 1);
    if (!log.empty()) ::setenv("SLICERY_CALLS_LOG", log.c_str(), 1);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(errors.empty() ? null : ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// Whether the sweeps below stop the batch at its call `k` of `calls`: every
// call, or under AddressSanitizer, whose processes start slowly and which
// is there for memory faults rather than for the paths, every seventh call
// and the last.
bool sweeps(long k, long calls) {
#ifdef __SANITIZE_ADDRESS__
  constexpr long kStride = 7;
#else
  constexpr long kStride = 1;
#endif
  return (k - 1) % kStride == 0 || k == calls;
}

long RecursiveTest::callsOfBatch(const std::string& folder) {
  EXPECT_EQ(cli({"-r", "-f", folder}, 0, temp / "calls"), 0);
  long calls = 0;
  std::ifstream log(temp / "calls");
  for (std::string line; std::getline(log, line);) ++calls;
  std::filesystem::remove(temp / "calls");
  return calls;
}

// Killed anywhere, a batch is carried on by --resume -r to the tree the
// whole batch leaves, the exams it had not started included, or undone by
// --undo -r to the tree before it. Killed before it touched anything, there
// is nothing to carry on.
TEST_F(RecursiveTest, ABatchKilledAtAnyCallIsCarriedOnOrUndoneExactly) {
  const std::string original = writeFourExams();
  const Tree before = testing::treeOf(original);
  int copies = 0;
  const auto copy = [&] {
    const std::string folder = temp / ("copy" + std::to_string(++copies));
    fs::copy(original, folder, fs::copy_options::recursive);
    return folder;
  };
  std::string folder = copy();
  const long calls = callsOfBatch(folder);
  const Tree after = testing::treeOf(folder);
  ASSERT_GT(calls, 20);

  for (long k = 1; k <= calls; ++k) {
    if (!sweeps(k, calls)) continue;
    SCOPED_TRACE("killed at call " + std::to_string(k) + " of " + std::to_string(calls));
    for (const char* command : {"--resume", "--undo"}) {
      fs::remove_all(temp / "state");
      folder = copy();
      ASSERT_EQ(cli({"-r", "-f", folder}, k), -SIGKILL);
      const int status = cli({command, "-r", "-q", folder});
      const Tree now = testing::treeOf(folder);
      if (status == kBadUsage && now == before) continue;  // nothing had begun
      EXPECT_EQ(status, 0) << command;
      EXPECT_TRUE(now == (command == std::string("--resume") ? after : before)) << command;
    }
  }
}

// A disk full at any call of a batch: a run that says it succeeded did all
// of it; one that did not says why. Either way nothing is lost: --undo -r
// puts the tree back, and --resume -r then -r -f end it as a whole batch.
TEST_F(RecursiveTest, ADiskFullAtAnyCallIsToldAndLeavesATreeToEndOrUndo) {
  const Sweep sweep = sweepOfFourExams();
  const std::string& folder = sweep.folder;
  const Tree& before = sweep.before;
  const long calls = sweep.calls;
  const auto fresh = [&] { copyAfresh(sweep.original, folder); };
  const Tree after = testing::treeOf(folder);

  for (long k = 1; k <= calls; ++k) {
    if (!sweeps(k, calls)) continue;
    SCOPED_TRACE("disk full at call " + std::to_string(k) + " of " + std::to_string(calls));
    for (const bool undo : {false, true}) {
      fresh();
      const int status = cli({"-r", "-f", folder}, k, {}, 0, temp / "errors");
      if (status == 0) {
        EXPECT_TRUE(testing::treeOf(folder) == after);
        continue;
      }
      EXPECT_GT(fs::file_size(temp / "errors"), 0u) << status;
      if (undo) {
        const int undone = cli({"--undo", "-r", "-q", folder});
        EXPECT_TRUE(undone == 0 || undone == kBadUsage) << undone;
        EXPECT_TRUE(testing::treeOf(folder) == before);
      } else {
        const int resumed = cli({"--resume", "-r", "-q", folder});
        EXPECT_TRUE(resumed == 0 || resumed == kBadUsage) << resumed;
        const int again = cli({"-r", "-q", "-f", folder});
        EXPECT_TRUE(again == 0 || again == kNoSeries) << again;
        EXPECT_TRUE(testing::treeOf(folder) == after);
      }
    }
  }
}

// Ctrl+C at any call of a batch stops it after the file in hand. An exam
// made ready for its turn and not started is given back whole: no journal
// is left that claims a run on it. --undo -r then puts the tree back.
TEST_F(RecursiveTest, AStopAtAnyCallLeavesNoRunOnAnExamNotStarted) {
  const Sweep sweep = sweepOfFourExams();
  const std::string& folder = sweep.folder;
  const Tree& before = sweep.before;
  const long calls = sweep.calls;
  const auto fresh = [&] { copyAfresh(sweep.original, folder); };

  int notStarted = 0;
  for (long k = 1; k <= calls; ++k) {
    if (!sweeps(k, calls)) continue;
    SCOPED_TRACE("stopped at call " + std::to_string(k) + " of " + std::to_string(calls));
    fresh();
    const int status = cli({"-r", "-f", folder}, k, {}, SIGINT, temp / "errors");
    EXPECT_TRUE(status == 128 + SIGINT || status == 0) << status;
    std::ifstream errors(temp / "errors");
    for (std::string line; std::getline(errors, line);) {
      const size_t end = line.find("': not started");
      if (end == std::string::npos) continue;
      const std::string exam = line.substr(line.find('\'') + 1, end - line.find('\'') - 1);
      ++notStarted;
      EXPECT_EQ(cli({"--forget", "-q", exam}), 0) << exam << " keeps a run";
    }
    const int undone = cli({"--undo", "-r", "-q", folder});
    EXPECT_TRUE(undone == 0 || undone == kBadUsage) << undone;
    EXPECT_TRUE(testing::treeOf(folder) == before);
  }
  EXPECT_GT(notStarted, 0);
}

}  // namespace
}  // namespace slicery::cli
