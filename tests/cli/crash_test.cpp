// Real slicery-cli runs killed (SIGKILL) at random instants, and at the k-th
// call that changes the disk or the journal (through a preloaded counter),
// then finished with --resume or undone with --undo, which are killed in
// turn and done again: the folder then holds, file by file with contents,
// what an uninterrupted run leaves, or what was there before.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "exam.h"
#include "support/crash_shapes.h"
#include "support/fuse_disk.h"
#include "support/temp_folder.h"

namespace slicery::cli {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;

// Every file and folder below `root`, relative path -> contents ("/" for a
// folder), so a lost, doubled or changed file shows.
Tree tree(const std::string& root) {
  Tree entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(entry.path(), root).string();
    if (entry.is_directory()) {
      entries[rel] = "/";
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      entries[rel].assign(std::istreambuf_iterator<char>(in), {});
    }
  }
  return entries;
}

// In a child: runs slicery-cli with `args`, its output to /dev/null.
[[noreturn]] void execCli(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, 1);
  ::dup2(null, 2);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

pid_t spawn(std::vector<std::string> args) {
  args.insert(args.begin(), SLICERY_CLI_PROGRAM);
  const pid_t pid = ::fork();
  if (pid == 0) execCli(args);
  return pid;
}

int finish(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

int run(const std::vector<std::string>& args) {
  return finish(spawn(args));
}

struct Case {
  const char* name;
  std::vector<std::string> options;
  bool shortForms;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class CrashTest : public ::testing::TestWithParam<Case> {
 protected:
  CrashTest() { ::setenv("XDG_STATE_HOME", (temp / "state").c_str(), 1); }
  testing::TempFolder temp;
};

TEST_P(CrashTest, KilledRunIsFinishedOrUndoneExactly) {
  const Case& c = GetParam();
  tools::ExamOptions exam;
  exam.files = 800;
  exam.series = 12;
  exam.imageSide = 1;
  exam.shortNames = c.shortForms;
  exam.lowerCaseExtension = true;
  const std::string original = temp.mkdir("original");
  tools::writeExam(original, exam);
  const Tree before = tree(original);
  // Copies share the files' data: a run renames and moves, never writes.
  const auto copy = [&](const std::string& name) {
    const std::string folder = temp / name;
    fs::copy(original, folder, fs::copy_options::recursive | fs::copy_options::create_hard_links);
    return folder;
  };
  const auto withPath = [&c](const std::string& path) {
    std::vector<std::string> args = c.options;
    args.push_back(path);
    return args;
  };

  // The uninterrupted run, timed to spread the kills over it.
  const std::string whole = copy("whole");
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(run(withPath(whole)), 0);
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);
  const Tree after = tree(whole);
  ASSERT_NE(after, before);

  // Undo after a finished run.
  ASSERT_EQ(run({"--undo", whole}), 0);
  EXPECT_EQ(tree(whole), before);

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<long> instant(took.count() / 10, took.count() * 3 / 4);
  for (int kill = 0; kill < 3; ++kill) {
    const std::string folder = copy("killed" + std::to_string(kill));
    const pid_t pid = spawn(withPath(folder));
    std::this_thread::sleep_for(std::chrono::microseconds(instant(random)));
    ::kill(pid, SIGKILL);
    finish(pid);

    const bool resume = kill % 2 == 0;
    // The finish or undo is killed too, holding the folder's lock, and then
    // done again: neither the lock nor its half-done steps stand in the way.
    const pid_t second = spawn({resume ? "--resume" : "--undo", folder});
    std::this_thread::sleep_for(std::chrono::microseconds(instant(random) / 2));
    ::kill(second, SIGKILL);
    finish(second);
    const int status = run({resume ? "--resume" : "--undo", folder});
    SCOPED_TRACE(std::string(resume ? "resume" : "undo") + " after kill " + std::to_string(kill) +
                 " exited " + std::to_string(status));
    if (status == 2) {
      // Killed before the run began, or too late to stop it: the folder is
      // as before, or as after, and a plain run finishes the job.
      const Tree now = tree(folder);
      ASSERT_TRUE(now == before || now == after);
      if (resume && now == before) {
        ASSERT_EQ(run(withPath(folder)), 0);
      }
      if (!resume && now == after) {
        ASSERT_EQ(run({"--undo", folder}), 0);
      }
    } else {
      ASSERT_EQ(status, 0);
    }
    EXPECT_EQ(tree(folder), resume ? after : before);
  }
}

// A run whose journal lost its end: a plain run refuses and names both ways
// out; the options of --resume and --undo are the run's own.
TEST(UnfinishedRunTest, PlainRunRefusesUntilFinished) {
  testing::TempFolder temp;
  ::setenv("XDG_STATE_HOME", (temp / "state").c_str(), 1);
  tools::ExamOptions exam;
  exam.files = 20;
  exam.series = 2;
  exam.imageSide = 1;
  const std::string folder = temp.mkdir("exam");
  tools::writeExam(folder, exam);
  ASSERT_EQ(run({"--folders", folder}), 0);
  const Tree after = tree(folder);
  std::string journal;
  for (const auto& entry : fs::directory_iterator(temp / "state/slicery")) {
    journal = entry.path().string();
  }
  ASSERT_FALSE(journal.empty());
  fs::resize_file(journal, fs::file_size(journal) - 9);  // the end record

  EXPECT_EQ(run({"--short", folder}), 4);
  EXPECT_EQ(tree(folder), after);
  EXPECT_EQ(run({"--resume", "--short", folder}), 2);
  EXPECT_EQ(run({"--resume", "--undo", folder}), 2);
  EXPECT_EQ(run({"--resume", folder}), 0);
  EXPECT_EQ(tree(folder), after);
  EXPECT_EQ(run({"--resume", folder}), 2);  // nothing left to finish
  EXPECT_EQ(run({"--undo", folder}), 0);
  EXPECT_EQ(run({"--undo", folder}), 2);  // nothing left to undo
}

// --- Kills at the k-th call, on the crafted folders --------------------------

// The environment of a slicery-cli run with the preloaded counter.
struct Counter {
  long killAt = 0;  // 0: none
  bool after = false;
  std::string log;
  std::string refuse;
  std::string renames;  // as SLICERY_RENAMES takes it; empty for the disk's own
};

int runCounted(std::vector<std::string> args, const Counter& c) {
  args.insert(args.begin(), SLICERY_CLI_PROGRAM);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("LD_PRELOAD", SLICERY_KILL_PRELOAD, 1);
    // A sanitized build's runtime then comes second; it works all the same.
    ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
    ::setenv("SLICERY_KILL_AT", std::to_string(c.killAt).c_str(), 1);
    if (c.after) ::setenv("SLICERY_KILL_AFTER", "1", 1);
    if (!c.log.empty()) ::setenv("SLICERY_CALLS_LOG", c.log.c_str(), 1);
    if (!c.refuse.empty()) ::setenv("SLICERY_REFUSE", c.refuse.c_str(), 1);
    if (!c.renames.empty()) ::setenv("SLICERY_RENAMES", c.renames.c_str(), 1);
    execCli(args);
  }
  return finish(pid);
}

// The calls an uninterrupted command makes, one line each.
std::vector<std::string> callsOf(const std::vector<std::string>& args, Counter c,
                                 const std::string& log, int& status) {
  fs::remove(log);
  c.killAt = 0;
  c.log = log;
  status = runCounted(args, c);
  std::vector<std::string> lines;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A folder; how renames are made: "" as the disk makes them, "placeholder"
// or "cutmove" as without a rename that refuses to replace (see
// kill_at_call.cpp); and the disk: "" for the temporary folder's (ext4,
// tmpfs), "exfat" or "fat" mounted through FUSE, which have no such rename
// nor links, so that the tool itself renames onto placeholders.
struct CallCase {
  std::string shape;
  std::string renames;
  std::string disk = {};
};

void PrintTo(const CallCase& c, std::ostream* os) {
  *os << c.shape << (c.renames.empty() ? "" : "/" + c.renames)
      << (c.disk.empty() ? "" : " on " + c.disk);
}

std::string nameOf(const CallCase& c) {
  std::string name = c.shape;
  if (c.renames == "placeholder") name += "Placeholder";
  if (c.renames == "cutmove") name += "CutMove";
  if (c.disk == "exfat") name += "OnExfat";
  if (c.disk == "fat") name += "OnFat";
  return name;
}

class CallKillTest : public ::testing::TestWithParam<CallCase> {
 protected:
  CallKillTest() { ::setenv("XDG_STATE_HOME", state.c_str(), 1); }
  testing::TempFolder temp;
  const std::string state = temp / "state";
};

// On ext4, renaming as it does (refusing to replace) or, through the counter,
// as exFAT and FAT force it, and on exFAT and FAT themselves through FUSE:
// real processes killed at real calls, to show that the in-memory double
// (app/crash_point_test.cpp) tells the truth. SLICERY_CRASH_REPORT=FILE
// appends each folder's counts.
TEST_P(CallKillTest, EveryCallKilledIsFinishedOrUndoneExactly) {
  testing::CrashShape shape;
  for (const testing::CrashShape& s : testing::crashShapes()) {
    if (s.name == GetParam().shape) shape = s;
  }
  ASSERT_EQ(shape.name, GetParam().shape);
  // The folders the paths run on: on the disk mounted through FUSE, or in
  // the temporary folder; the original, the state and the logs stay there.
  std::optional<testing::FuseDisk> disk;
  if (!GetParam().disk.empty()) {
    disk.emplace(temp, GetParam().disk == "exfat" ? testing::FuseDisk::Format::exfat
                                                  : testing::FuseDisk::Format::fat);
    if (!disk->skipReason.empty()) GTEST_SKIP() << disk->skipReason;
    ASSERT_EQ(disk->failure, "");
  }
  const std::string original = temp / "original";
  testing::writeShape(shape, original);
  const Tree before = tree(original);
  Counter counter;
  counter.renames = GetParam().renames;
  if (!shape.refused.empty()) counter.refuse = shape.refused.front();
  const auto options = [&shape](std::string command, const std::string& folder) {
    std::vector<std::string> args;
    if (!command.empty()) {
      args = {std::move(command), folder};
      return args;
    }
    if (shape.shortNames) args.push_back("--short");
    if (shape.folders) args.push_back("--folders");
    if (shape.describe) args.push_back("--describe");
    if (!shape.folderWord.empty()) args.insert(args.end(), {"--folder-name", shape.folderWord});
    args.push_back(folder);
    return args;
  };
  // The folder afresh for each path (written, as fusefat copies no file
  // modes); the last path's goes, which keeps the small disk image from
  // filling up.
  int paths = 0;
  std::string last;
  const auto fresh = [&] {
    fs::remove_all(state);
    if (!last.empty()) fs::remove_all(last);
    const std::string name = "p" + std::to_string(++paths);
    last = disk ? *disk / name : temp / name;
    testing::writeShape(shape, last);
    return last;
  };
  const int wholeStatus = shape.runFails ? 1 : 0;
  std::string folder = fresh();
  int status = 0;
  const std::vector<std::string> calls =
      callsOf(options("", folder), counter, temp / "log", status);
  ASSERT_EQ(status, wholeStatus);
  const Tree after = tree(folder);
  ASSERT_NE(after, before);

  // Where `command` whole leaves a folder, judged as a user would: empty
  // when right.
  const auto judge = [&](const std::string& command, const std::string& at) -> std::string {
    const Tree was = tree(at);
    const int got = runCounted(options(command, at), counter);
    const Tree now = tree(at);
    if (command.empty()) {
      // A plain run refuses (4: the last run did not finish; 3: no series
      // left to sort), changing nothing, or makes the whole run.
      if (got == 4 || got == 3 || got == 2) {
        return now == was ? "" : "refused, but changed the folder";
      }
      if (now == after && got == wholeStatus) return {};
      // On a folder the run already brought to its end, a plain run is a
      // second run: it may find steps it cannot take, and must change nothing.
      if (now == after && was == after) return {};
      const std::string is = "a plain run went ahead: exit " + std::to_string(got);
      if (now == after) return "wrong report: " + is + ", the folder as after";
      return (got == 0 ? "false success: " : "wrong tree: ") + is + ", the folder elsewhere";
    }
    const bool resume = command == "--resume";
    const Tree& target = resume ? after : before;
    const std::string is = "exit " + std::to_string(got) + ", the folder " +
                           (now == before  ? "as before"
                            : now == after ? "as after"
                                           : "elsewhere");
    if (got == 2) {
      if (now == target) return {};
      if (resume && now == before) {
        const int ran = runCounted(options("", at), counter);
        return ran == wholeStatus && tree(at) == after ? "" : is + ", then a plain run fails";
      }
      return is;
    }
    if (now != target) return (got == 0 ? "false success: " : "wrong tree: ") + is;
    if (got != (resume ? wholeStatus : 0)) return "wrong report: " + is;
    return {};
  };
  long tried = 0;
  long kills = 0;
  long falseSuccesses = 0;
  long wrongTrees = 0;
  long wrong = 0;
  std::string lines;
  const auto tell = [&](const std::string& path, const std::string& verdict) {
    ++tried;
    if (verdict.empty()) return;
    falseSuccesses += verdict.rfind("false success", 0) == 0 ? 1 : 0;
    wrongTrees += verdict.rfind("wrong tree", 0) == 0 ? 1 : 0;
    ++wrong;
    if (wrong <= 20) lines += "\n  " + path + ": " + verdict;
  };
  const auto killed = [&](long k, bool afterCall) {
    const std::string at = fresh();
    Counter c = counter;
    c.killAt = k;
    c.after = afterCall;
    EXPECT_EQ(runCounted(options("", at), c), -SIGKILL) << "call " << k;
    ++kills;
    return at;
  };
  // Each kill after a call leaves what the kill before the next leaves, but
  // for the last call: a full sweep makes them all.
  const char* sweep = std::getenv("SLICERY_CRASH_SWEEP");
  const bool full = sweep != nullptr && std::string(sweep) == "full";
  // Under AddressSanitizer, there for memory faults rather than for the
  // paths, every third call and the last. Through FUSE, where each call is
  // a trip to the file system's process, a share of the calls of the run
  // and of the finish and the undo below: a prime stride, as a rename there
  // makes six calls, so that the kills fall on each kind of call.
#ifdef __SANITIZE_ADDRESS__
  const size_t stride = full ? 1 : disk ? 29 : 3;
#else
  const size_t stride = full ? 1 : disk ? 5 : 1;
#endif
  for (size_t k = 1; k <= calls.size(); ++k) {
    if ((k - 1) % stride != 0 && k != calls.size()) continue;
    for (const bool afterCall : {false, true}) {
      if (afterCall && !full && k < calls.size()) continue;
      const std::string path =
          std::string("run killed ") + (afterCall ? "after " : "before ") + calls[k - 1];
      for (const char* command : {"", "--resume", "--undo"}) {
        tell(path + ", then " + (*command != '\0' ? command : "a plain run"),
             judge(command, killed(static_cast<long>(k), afterCall)));
      }
    }
  }
  // A share of the finishes and undos killed in turn: after a kill in the
  // middle of the run.
  const long k = static_cast<long>(calls.size()) / 2;
  for (const char* command : {"--resume", "--undo"}) {
    int followStatus = 0;
    folder = killed(k, false);
    const std::vector<std::string> second =
        callsOf(options(command, folder), counter, temp / "log", followStatus);
    for (size_t k2 = 1; k2 <= second.size(); ++k2) {
      if (disk && (k2 - 1) % stride != 0 && k2 != second.size()) continue;
      const std::string at = killed(k, false);
      Counter c = counter;
      c.killAt = static_cast<long>(k2);
      kills += runCounted(options(command, at), c) == -SIGKILL ? 1 : 0;
      tell("run killed before " + calls[static_cast<size_t>(k) - 1] + ", " + command +
               " killed before " + second[k2 - 1] + ", then " + command,
           judge(command, at));
    }
  }
  const std::string counts =
      std::to_string(calls.size()) + " calls in the run; paths " + std::to_string(tried) +
      ", kills " + std::to_string(kills) + ", false successes " + std::to_string(falseSuccesses) +
      ", wrong trees " + std::to_string(wrongTrees) + ", wrong in all " + std::to_string(wrong);
  std::cout << nameOf(GetParam()) << ": " << counts << "\n";
  if (const char* report = std::getenv("SLICERY_CRASH_REPORT")) {
    std::ofstream(report, std::ios::app)
        << "CallKillTest " << nameOf(GetParam()) << ": " << counts << "\n";
  }
  RecordProperty("paths", std::to_string(tried));
  RecordProperty("kills", std::to_string(kills));
  RecordProperty("false_successes", std::to_string(falseSuccesses));
  EXPECT_EQ(wrong, 0) << counts << ":" << lines;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, CallKillTest,
    ::testing::Values(CallCase{"FreedNameTakenLater", ""}, CallCase{"FoldersOneThereBefore", ""},
                      CallCase{"StepFails", ""}, CallCase{"FoldersOneThereBefore", "placeholder"},
                      CallCase{"StepFails", "cutmove"}),
    [](const ::testing::TestParamInfo<CallCase>& param) { return nameOf(param.param); });

// Through FUSE, a few folders: a name freed and taken later (series 01 and
// 1) and a step the disk refuses, on exFAT; series folders one of which the
// user had, on FAT; folders named after their description on both (fusefat
// renames no folder onto a placeholder). fusefat is slow in a folder of
// twenty long names, which the first would take. Under AddressSanitizer,
// whose processes start slowly, one folder on each disk.
const CallCase kOnFuse[] = {
    {"FreedNameTakenLater", "", "exfat"},
#ifndef __SANITIZE_ADDRESS__
    {"DescribeNameTaken", "", "exfat"},   {"StepFails", "", "exfat"},
    {"DescribeNameTaken", "", "fat"},
#endif
    {"FoldersOneThereBefore", "", "fat"},
};

INSTANTIATE_TEST_SUITE_P(Fuse, CallKillTest, ::testing::ValuesIn(kOnFuse),
                         [](const ::testing::TestParamInfo<CallCase>& param) {
                           return nameOf(param.param);
                         });

INSTANTIATE_TEST_SUITE_P(
    Runs, CrashTest,
    ::testing::Values(Case{"InPlace", {}, true}, Case{"Folders", {"--folders"}, false},
                      Case{"Short", {"--short"}, true}, Case{"Describe", {"--describe"}, false}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace slicery::cli
