// What a folder's last run allows, met through the real slicery-cli: a folder
// in use, a run cut short and its folder moved or copied back, the same run
// twice, a damaged journal, a hard link, and where journals go without HOME.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "exam.h"
#include "journal/journal.h"
#include "platform/journal_files.h"
#include "support/temp_folder.h"

namespace slicery::cli {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;
using Options = std::vector<std::string>;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Every file and folder below `root`, relative path -> contents ("/" for a folder).
Tree tree(const std::string& root) {
  Tree entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(entry.path(), root).string();
    entries[rel] = entry.is_directory() ? "/" : slurp(entry.path());
  }
  return entries;
}

std::vector<std::string> contentsOf(const Tree& t) {
  std::vector<std::string> all;
  for (const auto& [name, data] : t) {
    if (data != "/") all.push_back(data);
  }
  std::sort(all.begin(), all.end());
  return all;
}

// Whether a tree is the one wanted; if not, the names that differ.
::testing::AssertionResult sameTree(const Tree& now, const Tree& want) {
  std::string text;
  for (const auto& [name, data] : now) {
    const auto it = want.find(name);
    if (it == want.end()) {
      text += "  unexpected " + name + "\n";
    } else if (it->second != data) {
      text += "  changed " + name + "\n";
    }
  }
  for (const auto& [name, data] : want) {
    if (now.count(name) == 0) text += "  missing " + name + "\n";
  }
  if (text.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the trees differ:\n" << text;
}

struct Ran {
  int status;
  std::string out;
  std::string err;
};

// Holds a folder the way a run does, in a child process that dies with this
// one, until killed at the end of its scope.
struct Holder {
  explicit Holder(const std::string& folder) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
      const char got = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
      if (::write(ready[1], &got, 1) == 1) ::pause();
      ::_exit(1);
    }
    ::close(ready[1]);
    char got = 0;
    held = ::read(ready[0], &got, 1) == 1 && got == 'y';
    ::close(ready[0]);
  }
  ~Holder() {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  pid_t pid = -1;
  bool held = false;
};

class LastRunTest : public ::testing::Test {
 protected:
  LastRunTest() {
    ::setenv("XDG_STATE_HOME", (temp / "state").c_str(), 1);
    exam.files = 120;
    exam.series = 4;
    exam.imageSide = 1;
    exam.shortNames = true;
    original = temp.mkdir("original");
    tools::writeExam(original, exam);
    before = tree(original);
  }

  Ran cli(std::vector<std::string> args, const std::string& cwd = {}) {
    args.insert(args.begin(), SLICERY_CLI_PROGRAM);
    const std::string out = temp / "stdout";
    const std::string err = temp / "stderr";
    const pid_t pid = ::fork();
    if (pid == 0) {
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), slurp(out), slurp(err)};
  }

  static Options with(Options options, const std::string& folder) {
    options.push_back(folder);
    return options;
  }

  std::string copyOfOriginal(const std::string& name) {
    const std::string folder = temp / name;
    fs::copy(original, folder, fs::copy_options::recursive);
    return folder;
  }

  static std::string journalOf(const std::string& folder) {
    std::string file;
    EXPECT_TRUE(platform::journalPathFor(folder, file));
    return file;
  }

  // A copy run to its end with `options`, whose journal then loses its end
  // record: the run looks cut short after its last step.
  std::string unfinishedRun(const std::string& name, const Options& options) {
    const std::string folder = copyOfOriginal(name);
    EXPECT_EQ(cli(with(options, folder)).status, 0);
    const std::string journal = journalOf(folder);
    fs::resize_file(journal, fs::file_size(journal) - 9);
    return folder;
  }

  // Takes back every other step of a run by hand, as a kill would have left
  // them untaken: described series folders get their plain names back, or,
  // where none was described, files their old names and emptied series
  // folders go.
  void undoHalfByHand(const std::string& folder) {
    bool skip = false;
    bool described = false;
    std::vector<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.is_directory()) folders.push_back(entry.path());
    }
    for (const fs::path& path : folders) {
      const std::string name = path.filename().string();
      const size_t plain = name.find("_Series_S");
      if (plain != std::string::npos && (skip = !skip)) {
        fs::rename(path, fs::path(folder) / name.substr(plain + 1));
        described = true;
      }
    }
    if (described) return;
    std::map<std::string, std::string> oldName;
    for (const auto& [name, data] : before) oldName[data] = name;
    for (const auto& [name, data] : tree(folder)) {
      if (data == "/" || oldName[data] == name || (skip = !skip)) continue;
      fs::rename(fs::path(folder) / name, fs::path(folder) / oldName[data]);
    }
    for (const fs::path& path : folders) {
      if (fs::is_empty(path)) fs::remove(path);
    }
  }

  // The tree an uninterrupted run with `options` leaves.
  Tree treeAfter(const Options& options) {
    const std::string folder = copyOfOriginal("whole" + std::to_string(wholes++));
    EXPECT_EQ(cli(with(options, folder)).status, 0);
    return tree(folder);
  }

  testing::TempFolder temp;
  tools::ExamOptions exam;
  std::string original;
  Tree before;
  int wholes = 0;
};

TEST_F(LastRunTest, AFolderInUseIsRefusedAndADeadHolderNeverBlocks) {
  const Tree after = treeAfter({"--folders"});
  // A folder never run on, and one whose run was cut short half way.
  const std::string fresh = copyOfOriginal("fresh");
  const std::string cut = unfinishedRun("cut", {"--folders"});
  undoHalfByHand(cut);
  for (const std::string& folder : {fresh, cut}) {
    const Tree now = tree(folder);
    const std::string journal = slurp(journalOf(folder));  // empty when none
    Holder holder(folder);
    ASSERT_TRUE(holder.held);
    for (const Options& args :
         {Options{folder}, Options{"--resume", folder}, Options{"--undo", folder}}) {
      const Ran ran = cli(args);
      EXPECT_EQ(ran.status, 5) << args[0] << "\n" << ran.err;
      EXPECT_NE(ran.err.find("another run is working on this folder"), std::string::npos)
          << ran.err;
      EXPECT_TRUE(sameTree(tree(folder), now));
      EXPECT_EQ(slurp(journalOf(folder)), journal);
    }
  }
  // Both holders were killed as they went out of scope.
  EXPECT_EQ(cli({"--folders", fresh}).status, 0);
  EXPECT_EQ(cli({"--resume", cut}).status, 0);
  EXPECT_TRUE(sameTree(tree(cut), after));
}

TEST_F(LastRunTest, ARunCutShortIsFinishedOrUndoneWhereItsFolderWasMovedTo) {
  for (const Options& options : {Options{}, Options{"--folders"}, Options{"--describe"}}) {
    SCOPED_TRACE(options.empty() ? "in place" : options[0]);
    const Tree after = treeAfter(options);
    for (const bool resume : {true, false}) {
      const std::string killed = unfinishedRun("killed", options);
      undoHalfByHand(killed);
      const Tree half = tree(killed);
      fs::create_directories(temp / "usb");
      const std::string moved = temp / "usb/exam";
      fs::rename(killed, moved);

      const Ran plain = cli({moved});
      EXPECT_EQ(plain.status, 4) << plain.err;
      EXPECT_NE(plain.err.find("--resume " + moved), std::string::npos) << plain.err;
      EXPECT_NE(plain.err.find("--undo " + moved), std::string::npos) << plain.err;
      EXPECT_TRUE(sameTree(tree(moved), half));

      const Ran ran = cli({resume ? "--resume" : "--undo", moved});
      EXPECT_EQ(ran.status, 0) << (resume ? "resume\n" : "undo\n") << ran.err;
      EXPECT_TRUE(sameTree(tree(moved), resume ? after : before)) << (resume ? "resume" : "undo");
      fs::remove_all(temp / "usb");
      fs::remove_all(temp / "state");
    }
  }
}

// Two copies of one export: a folder's own journal wins over another copy's
// run cut short, and a moved folder that fits two such runs takes neither.
TEST_F(LastRunTest, ACopyOfAnExportNeverTakesAnotherCopysRun) {
  const Tree after = treeAfter({"--folders"});
  const std::string a = unfinishedRun("a", {"--folders"});
  const std::string aJournal = slurp(journalOf(a));
  const std::string b = copyOfOriginal("b");
  ASSERT_EQ(cli({"--folders", b}).status, 0);
  const Ran undoB = cli({"--undo", b});
  EXPECT_EQ(undoB.status, 0) << undoB.err;
  EXPECT_TRUE(sameTree(tree(b), before));
  EXPECT_EQ(slurp(journalOf(a)), aJournal);
  EXPECT_EQ(cli({"--resume", a}).status, 0);
  EXPECT_TRUE(sameTree(tree(a), after));

  // Two runs cut short on copies, then a third copy that fits both.
  const std::string c = unfinishedRun("c", {"--folders"});
  const std::string d = unfinishedRun("d", {"--folders"});
  const std::string moved = temp / "moved";
  fs::rename(c, moved);
  fs::remove_all(d);
  fs::copy(moved, d, fs::copy_options::recursive);
  const std::string third = temp / "third";
  fs::copy(moved, third, fs::copy_options::recursive);
  const Tree half = tree(third);
  for (const Options& args : {Options{third}, Options{"--undo", third}}) {
    const Ran ran = cli(args);
    EXPECT_EQ(ran.status, args.size() == 1 ? 4 : 2) << ran.err;
    EXPECT_NE(ran.err.find(c), std::string::npos) << ran.err;
    EXPECT_NE(ran.err.find(d), std::string::npos) << ran.err;
    EXPECT_TRUE(sameTree(tree(third), half));
  }
}

// Every step taken, only the end record lost (it is not flushed): a finish
// finds each step done and leaves the folder as it is.
TEST_F(LastRunTest, ARunThatLostOnlyItsEndRecordIsFinishedAsItStands) {
  for (const Options& options : {Options{"--folders"}, Options{"--describe"}}) {
    SCOPED_TRACE(options[0]);
    const std::string folder = unfinishedRun("exam", options);
    const Tree after = tree(folder);
    const Ran ran = cli({"--resume", folder});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(sameTree(tree(folder), after));
    fs::remove_all(folder);
  }
}

// Copied back over a run cut short, without removing it first: the run's
// renamed files stand beside the originals, and an undo that cannot put
// them back says so and keeps the journal; a dry run refuses as a run does.
TEST_F(LastRunTest, AnUndoOverAFolderCopiedBackTellsWhatStaysRenamed) {
  const std::string folder = unfinishedRun("exam", {"--short"});
  undoHalfByHand(folder);
  fs::copy(original, folder, fs::copy_options::recursive | fs::copy_options::skip_existing);
  EXPECT_EQ(cli({"--short", "--dry-run", folder}).status, 4);
  const Ran undo = cli({"--undo", folder});
  EXPECT_EQ(undo.status, 1);
  EXPECT_NE(undo.err.find("its old name is taken too"), std::string::npos) << undo.err;
  EXPECT_TRUE(fs::exists(journalOf(folder)));
}

TEST_F(LastRunTest, AFolderCopiedBackAfterACutRunIsFinishedWhole) {
  for (const Options& options : {Options{"--short"}, Options{"--folders"}, Options{"--describe"}}) {
    SCOPED_TRACE(options[0]);
    const Tree after = treeAfter(options);
    const std::string folder = unfinishedRun("exam", options);
    undoHalfByHand(folder);
    fs::remove_all(folder);
    fs::copy(original, folder, fs::copy_options::recursive);
    const Ran ran = cli({"--resume", folder});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(sameTree(tree(folder), after));
    fs::remove_all(folder);
  }
}

TEST_F(LastRunTest, TheSameRunTwiceChangesNothingAndTheFirstIsStillUndone) {
  // Names of one form only: a run leaves the other form to a later run.
  exam.shortNames = false;
  fs::remove_all(original);
  tools::writeExam(temp.mkdir("original"), exam);
  before = tree(original);
  for (const Options& options : {Options{"--short"}, Options{"--folders"}, Options{"--describe"}}) {
    SCOPED_TRACE(options[0]);
    const std::string folder = copyOfOriginal("exam");
    ASSERT_EQ(cli(with(options, folder)).status, 0);
    const Tree after = tree(folder);
    const std::string journal = slurp(journalOf(folder));
    cli(with(options, folder));
    EXPECT_TRUE(sameTree(tree(folder), after));
    EXPECT_EQ(slurp(journalOf(folder)), journal);
    const Ran undo = cli({"--undo", folder});
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_TRUE(sameTree(tree(folder), before));
    fs::remove_all(folder);
  }
}

TEST_F(LastRunTest, ADamagedJournalIsKeptAndNothingIsLost) {
  for (const bool inHeader : {true, false}) {
    SCOPED_TRACE(inHeader ? "header damaged" : "a record after the header damaged");
    const std::string folder = copyOfOriginal(inHeader ? "a" : "b");
    ASSERT_EQ(cli({"--describe", folder}).status, 0);
    const std::string journal = journalOf(folder);
    std::string bytes = slurp(journal);
    size_t headerEnd = 8;
    for (int i = 0; i < 4; ++i)
      headerEnd += static_cast<size_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    ASSERT_LT(headerEnd, bytes.size() - 9);
    const size_t at = inHeader ? headerEnd / 2 : (headerEnd + bytes.size() - 9) / 2;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
    std::ofstream(journal, std::ios::binary | std::ios::trunc) << bytes;

    const Ran undo = cli({"--undo", folder});
    const Tree now = tree(folder);
    EXPECT_TRUE(fs::exists(journal));
    EXPECT_EQ(contentsOf(now), contentsOf(before));
    EXPECT_NE(undo.err.find("damaged"), std::string::npos) << undo.err;
    if (inHeader) {
      EXPECT_NE(undo.status, 0);
    } else {
      EXPECT_EQ(undo.status, 1) << undo.err;
    }
    for (const auto& [name, data] : before) {  // what was not put back is told
      if (!inHeader && now.count(name) == 0) {
        EXPECT_NE(undo.err.find(name), std::string::npos) << name;
      }
    }
  }
}

TEST_F(LastRunTest, AHardLinkUnderAPaddedNameKeepsBothNames) {
  const std::string first = tools::planExam(exam).front().name;
  for (const Options& options : {Options{}, Options{"--folders"}}) {
    SCOPED_TRACE(options.empty() ? "in place" : options[0]);
    const std::string folder = copyOfOriginal("exam");
    const Ran dry = cli({"--dry-run", folder});
    const size_t at = dry.out.find(first + " -> ");
    ASSERT_NE(at, std::string::npos) << dry.out;
    const size_t from = at + first.size() + 4;
    const std::string padded = dry.out.substr(from, dry.out.find('\n', from) - from);
    fs::create_hard_link(fs::path(folder) / first, fs::path(folder) / padded);
    const Tree linked = tree(folder);

    cli(with(options, folder));
    const Tree after = tree(folder);
    EXPECT_EQ(contentsOf(after), contentsOf(linked));
    // Whichever name kept its place, the other went only where its plan said.
    const bool firstStays = after.count(first) != 0;
    EXPECT_TRUE(firstStays || after.count(padded) != 0);
    if (options.empty()) {
      EXPECT_TRUE(firstStays && after.count(padded) != 0);
    }
    const Ran undo = cli({"--undo", folder});
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_TRUE(sameTree(tree(folder), linked));
    fs::remove_all(folder);
  }
}

// --forget takes the patient names out of the state folder at once; what it
// would lose (an unfinished run's only record) only with --force, and never
// from under a run working on the folder.
TEST_F(LastRunTest, ForgetRemovesAJournalButNotFromUnderARunNorAnUnfinishedOneUnforced) {
  const std::string done = copyOfOriginal("done");
  ASSERT_EQ(cli({"--folders", done}).status, 0);
  const std::string journal = journalOf(done);
  ASSERT_TRUE(fs::exists(journal));
  std::ofstream(journal + ".prev") << "the journal a run replaced, left by a kill";
  {
    Holder holder(done);
    ASSERT_TRUE(holder.held);
    const Ran busy = cli({"--forget", done});
    EXPECT_EQ(busy.status, 5) << busy.err;
    EXPECT_TRUE(fs::exists(journal));
  }
  Ran ran = cli({"--forget", done});
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(ran.out, "Forgotten: the journal of the last run on " + done + "\n");
  EXPECT_FALSE(fs::exists(journal));
  EXPECT_FALSE(fs::exists(journal + ".prev"));
  ran = cli({"--forget", done});
  EXPECT_EQ(ran.status, 0);
  EXPECT_NE(ran.out.find("Nothing to forget"), std::string::npos) << ran.out;

  const std::string cut = unfinishedRun("cut", {"--folders"});
  const std::string unfinished = slurp(journalOf(cut));
  ran = cli({"--forget", cut});
  EXPECT_EQ(ran.status, 4);
  EXPECT_NE(ran.err.find("slicery-cli --forget --force " + cut), std::string::npos) << ran.err;
  EXPECT_EQ(slurp(journalOf(cut)), unfinished);
  ran = cli({"--forget", "--force", cut});
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_NE(ran.err.find("can no longer be finished or undone"), std::string::npos) << ran.err;
  EXPECT_FALSE(fs::exists(journalOf(cut)));
  EXPECT_EQ(cli({"--force", cut}).status, 2);

  // A folder deleted since its run is forgotten by its path.
  const std::string gone = copyOfOriginal("gone");
  ASSERT_EQ(cli({gone}).status, 0);
  const std::string goneJournal = journalOf(gone);
  fs::remove_all(gone);
  EXPECT_EQ(cli({"--forget", gone}).status, 0);
  EXPECT_FALSE(fs::exists(goneJournal));
}

// The state folder is made private again however it was left, and a
// finished run's journal goes 30 days after its run, at the next start;
// one that did not finish stays however old.
TEST_F(LastRunTest, JournalsArePrivateAndAFinishedRunsGoesAfterThirtyDays) {
  const auto age = [](const std::string& file, int days) {
    fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::hours(24 * days));
  };
  const std::string recent = copyOfOriginal("recent");
  const std::string old = copyOfOriginal("old");
  ASSERT_EQ(cli({recent}).status, 0);
  ASSERT_EQ(cli({old}).status, 0);
  const std::string cut = unfinishedRun("cut", {});
  age(journalOf(recent), 29);
  age(journalOf(old), 31);
  age(journalOf(cut), 400);
  const std::string state = fs::path(journalOf(old)).parent_path();
  ::chmod(state.c_str(), 0755);
  ::chmod(journalOf(recent).c_str(), 0644);

  const Ran ran = cli({"--dry-run", copyOfOriginal("other")});
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_TRUE(fs::exists(journalOf(recent)));
  EXPECT_FALSE(fs::exists(journalOf(old)));
  EXPECT_TRUE(fs::exists(journalOf(cut)));
  struct stat st;
  ASSERT_EQ(::stat(state.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  ASSERT_EQ(::stat(journalOf(recent).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  // Finishing a run lets go of the journal the run replaced.
  std::ofstream(journalOf(cut) + ".prev") << "the journal before the cut run";
  EXPECT_EQ(cli({"--resume", cut}).status, 0);
  EXPECT_TRUE(fs::exists(journalOf(cut)));
  EXPECT_FALSE(fs::exists(journalOf(cut) + ".prev"));
}

TEST_F(LastRunTest, WithoutHomeTheJournalIsKeptPrivatelyInTheAccountsHome) {
  const passwd* account = ::getpwuid(::geteuid());
  ASSERT_NE(account, nullptr);
  const std::string state = std::string(account->pw_dir) + "/.local/state/slicery";
  // What this test makes in the account's home goes again at its end.
  std::vector<std::string> made;
  for (const std::string& path : {std::string(account->pw_dir) + "/.local",
                                  std::string(account->pw_dir) + "/.local/state", state}) {
    if (!fs::exists(path)) made.insert(made.begin(), path);
  }
  const bool tmpLocal = fs::exists("/tmp/.local");
  const bool rootLocal = fs::exists("/.local");
  const std::string folder = copyOfOriginal("exam");
  const std::string cwd = temp.mkdir("cwd");

  const char* home = std::getenv("HOME");
  struct Restore {
    std::optional<std::string> home;
    std::string state;
    std::string journal;
    std::vector<std::string> made;
    ~Restore() {
      if (home) ::setenv("HOME", home->c_str(), 1);
      ::setenv("XDG_STATE_HOME", state.c_str(), 1);
      std::error_code ignored;
      fs::remove(journal, ignored);
      for (const std::string& path : made) fs::remove(path, ignored);
    }
  } restore{home ? std::optional<std::string>(home) : std::nullopt, temp / "state", {}, made};
  ::unsetenv("HOME");
  ::unsetenv("XDG_STATE_HOME");
  std::string& journal = restore.journal;
  ASSERT_TRUE(platform::journalPathFor(folder, journal));
  EXPECT_EQ(journal.rfind(state + "/", 0), 0u) << journal;

  const Ran ran = cli({"--folders", folder}, cwd);
  ASSERT_EQ(ran.status, 0) << ran.err;
  struct stat st;
  ASSERT_EQ(::stat(state.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  ASSERT_EQ(::stat(journal.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(fs::exists("/tmp/.local"), tmpLocal);
  EXPECT_EQ(fs::exists("/.local"), rootLocal);
  EXPECT_TRUE(fs::is_empty(cwd));

  const Ran undo = cli({"--undo", folder}, cwd);
  EXPECT_EQ(undo.status, 0) << undo.err;
  EXPECT_TRUE(sameTree(tree(folder), before));
  EXPECT_FALSE(fs::exists(journal));
}

}  // namespace
}  // namespace slicery::cli
