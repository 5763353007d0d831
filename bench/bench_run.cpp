// Times the rename run of the built slicery-cli program (--quiet, so printing
// costs nothing) against limit_run, the least a run of the same folder can do:
// one read of the folder, the same new names, the same no-replace renames on
// the folder's handle. Both are programs of their own, started the same way.
//
// Shapes: 50,000 files in 10, 100, 1,000 and 5,000 series, each renamed in
// place and into series folders; at 100 series also the dry run, timed
// against the real run, and the run journal's cost, timed against
// unjournaled_cli (the same program with the journal off), in place and into
// series folders. Before a shape is timed,
// one run of each on a fresh copy must leave the same tree (every file, told
// by its inode, under the same name), or the benchmark stops.
//
// Every round works on a fresh copy of the exam made of hard links; making it
// is not timed. The two programs take turns, the baseline first in even
// rounds and second in odd ones (B S S B B S ...), so a machine that slows
// down slows both alike.
//
// The undo shapes (200,000 files in 100 series, in place and into series
// folders) time `slicery-cli --undo` against the run it undoes. An undo must
// follow its run, so these rounds do not take turns: each makes a fresh copy,
// times the run (the baseline), lets the run's writes reach the disk (not
// timed), times the undo, and stops the benchmark unless the copy's tree is
// the exam's again. Run and undo of the same round are paired; a first round,
// not counted, checks that the run renames files.
//
// The shapes beside other runs time a plain run of 100 files in 5 series with
// a state folder holding 5 journals of runs of 20,000 files of other folders,
// cut short, against the same run with an empty state folder, taking turns.
// The runs cut short are real: slicery-cli renames each exam, then its
// journal loses its end record, as a kill after the last rename leaves it.
// Their exams are other patients' in one shape and, in the other, of the same
// study (the names' pieces before the series number) on other days, which a
// run cannot tell from its own by the start of their journals. Before each
// program, its state folder is set back to just that, not timed.
//
// The tree shapes time `slicery-cli -r --quiet` over a tree of patient
// folders each holding an exam folder (200 exams of 250 files, and 20 of
// 2,500; 10 series each), in place and into series folders, against
// limit_run given the same exam folders on one command line, run in turn in
// one process: the batch's finding of the exams, and each exam's own lock,
// journal and load, are what the ratio measures.
//
// Beside the times, each program's peak memory: its max RSS as wait4 reports
// it. A program keeps, as its own, the peak of the memory its exec replaced,
// that of the process that started it; so every program is started by a
// launcher forked at the benchmark's start, before the benchmark grows, which
// stays below the peak of any program timed. The journals slicery-cli keeps go
// into a state folder inside the benchmark's scratch folder (XDG_STATE_HOME),
// named to the launcher with each program.
//
//   bench_run [--quick] [--undo] [--others] [--trees] [--rounds N] [--files N] [--series N]
//
// 10 rounds per shape unless --rounds says otherwise: the machine's noise
// moves the median of fewer too much. --quick runs 5,000 files and 3 rounds
// per shape, to try the benchmark out; --undo times only the undo shapes,
// --others only those beside other runs, --trees only the trees (a tenth of
// their exams with --quick); --series N times only the shapes of
// N series; --files N sets the size of every exam, the undo shapes' too, but
// not of those beside other runs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bench_util.h"
#include "journal/store.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using slicery::bench::numberAfter;
using slicery::bench::Spread;
using slicery::bench::spreadOf;

struct Timing {
  double wall = 0;
  double user = 0;
  double system = 0;
  double peakMiB = 0;  // max RSS
};

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
}

std::string commandLine(const std::vector<std::string>& args) {
  std::string line;
  for (const auto& arg : args) line += (line.empty() ? "" : " ") + arg;
  return line;
}

// A program's times, and whether it started and ended with status 0.
struct Launch {
  bool ok = false;
  Timing timing;
};

// Runs a program with its output thrown away.
Launch spawnTimed(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  Launch launch;
  launch.ok = failed == 0 && ::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) &&
              WEXITSTATUS(status) == 0;
  launch.timing.wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  launch.timing.user = seconds(usage.ru_utime);
  launch.timing.system = seconds(usage.ru_stime);
  launch.timing.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024;  // ru_maxrss is in KiB
  return launch;
}

bool readAll(int fd, void* data, size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t done = ::read(fd, bytes, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    bytes += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

bool writeAll(int fd, const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t done = ::write(fd, bytes, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    bytes += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

// The launcher's ends of its pipes: requests go in, launches come out.
int launchRequests = -1;
int launchAnswers = -1;

// Forks the launcher. It reads a request (its length, then strings each ending
// in a NUL: the XDG_STATE_HOME to run the program with, then the program's
// arguments), runs the program and answers with its Launch; it ends when the
// benchmark closes its pipe. The launcher's environment is the benchmark's as
// it was at the fork, so the state folder travels with each request.
void startLauncher() {
  int requests[2];
  int answers[2];
  if (::pipe(requests) != 0 || ::pipe(answers) != 0) {
    std::perror("bench_run: pipe");
    std::exit(1);
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    std::perror("bench_run: fork");
    std::exit(1);
  }
  if (pid == 0) {
    ::close(requests[1]);
    ::close(answers[0]);
    for (;;) {
      size_t size = 0;
      std::string block;
      if (!readAll(requests[0], &size, sizeof size)) ::_exit(0);
      block.resize(size);
      if (!readAll(requests[0], block.data(), size)) ::_exit(0);
      std::vector<std::string> args;
      for (size_t start = 0; start < block.size();) {
        const size_t end = block.find('\0', start);
        args.push_back(block.substr(start, end - start));
        start = end + 1;
      }
      Launch launch;
      if (!args.empty() && ::setenv("XDG_STATE_HOME", args.front().c_str(), 1) == 0) {
        args.erase(args.begin());
        launch = spawnTimed(args);
      }
      if (!writeAll(answers[1], &launch, sizeof launch)) ::_exit(0);
    }
  }
  ::close(requests[0]);
  ::close(answers[1]);
  launchRequests = requests[1];
  launchAnswers = answers[0];
}

// Runs a program through the launcher, with XDG_STATE_HOME set to `state`,
// and returns its times; a program that does not end with status 0 ends the
// benchmark.
Timing runTimed(const std::vector<std::string>& args, const std::string& state) {
  std::string block = state + '\0';
  for (const auto& arg : args) block += arg + '\0';
  const size_t size = block.size();
  Launch launch;
  if (!writeAll(launchRequests, &size, sizeof size) ||
      !writeAll(launchRequests, block.data(), size) ||
      !readAll(launchAnswers, &launch, sizeof launch) || !launch.ok) {
    std::fprintf(stderr, "bench_run: %s did not succeed\n", commandLine(args).c_str());
    std::exit(1);
  }
  return launch.timing;
}

// A folder's tree: each entry's path below it, with the inode of a file (0
// for a folder). Copies of an exam are hard links, so the inode tells which
// original file stands under a name.
using Tree = std::map<std::string, ino_t>;

Tree treeOf(const std::string& folder) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string path = entry.path().string().substr(folder.size() + 1);
    struct stat st {};
    if (::lstat(entry.path().c_str(), &st) != 0) std::abort();
    if (S_ISDIR(st.st_mode)) {
      tree[path + "/"] = 0;
    } else {
      tree[path] = st.st_ino;
    }
  }
  return tree;
}

// Prints where two trees differ, a few entries of each side.
void printDifference(const Tree& a, const char* aName, const Tree& b, const char* bName) {
  int shown = 0;
  for (const auto& [path, inode] : a) {
    const auto found = b.find(path);
    if ((found == b.end() || found->second != inode) && shown++ < 5) {
      std::fprintf(stderr, "  %s has %s, %s not\n", aName, path.c_str(), bName);
    }
  }
  shown = 0;
  for (const auto& [path, inode] : b) {
    const auto found = a.find(path);
    if ((found == a.end() || found->second != inode) && shown++ < 5) {
      std::fprintf(stderr, "  %s has %s, %s not\n", bName, path.c_str(), aName);
    }
  }
}

// How many files of `original` stand under another name in `tree`.
int renamedFiles(const Tree& original, const Tree& tree) {
  std::map<ino_t, std::string> nameOf;
  for (const auto& [path, inode] : original) nameOf[inode] = path;
  int renamed = 0;
  for (const auto& [path, inode] : tree) {
    if (inode != 0 && nameOf[inode] != path) ++renamed;
  }
  return renamed;
}

// What a shape times slicery-cli against: limit_run; the real run (the dry
// run is timed against it); slicery-cli without its run journal; the run
// that --undo undoes; or the same run with an empty state folder, where the
// shape's own has other folders' unfinished runs in it.
enum class Against { limit, realRun, unjournaled, undoneRun, emptyState };

struct Shape {
  int series = 0;
  bool folders = false;
  Against against = Against::limit;
  double goal = 0;        // for the median ratio of wall times; 0 for none
  double memoryGoal = 0;  // for the median ratio of peak memory; 0 for none
  int files = 0;          // in the exam; set from the options
  // With Against::emptyState: the other folders' runs, each of `otherFiles`
  // files, and whether their exams share this one's study (the pieces before
  // the series number) on other days, else belong to other patients.
  int otherFiles = 0;
  bool sharedStudy = false;
  // A tree of that many exam folders of `files` files each, run with -r
  // against limit_run given the folders in turn; 0 for one exam folder.
  int exams = 0;
  bool dryRun() const { return against == Against::realRun; }
  bool undo() const { return against == Against::undoneRun; }
  bool others() const { return against == Against::emptyState; }
};

struct Result {
  std::string label;
  std::string ratioKind;
  Spread ratio;   // of wall times
  Spread cpu;     // of user + system times, less moved by other work on the machine
  Spread memory;  // of peak memory, per round
  double goal = 0;
  double memoryGoal = 0;
};

constexpr int kOtherRuns = 5;
constexpr int kOtherSeries = 100;

std::string labelOf(const Shape& shape) {
  if (shape.exams > 0) {
    return std::to_string(shape.exams) + " exams of " + std::to_string(shape.files) + ", " +
           (shape.folders ? "--folders" : "in place") +
           (shape.against == Against::unjournaled ? ", journal" : "");
  }
  if (shape.others()) {
    return std::to_string(shape.files) + " files, " + std::to_string(kOtherRuns) + " cut, " +
           (shape.sharedStudy ? "same study" : "other patients");
  }
  std::string label = std::to_string(shape.series) + " series, ";
  label += shape.folders ? "--folders" : "in place";
  if (shape.dryRun()) return label + ", --dry-run";
  if (shape.undo()) return label + ", --undo";
  return shape.against == Against::unjournaled ? label + ", journal" : label;
}

void printTimes(const char* name, const std::vector<Timing>& timings) {
  std::vector<double> wall, user, system, peak;
  for (const Timing& t : timings) {
    wall.push_back(t.wall);
    user.push_back(t.user);
    system.push_back(t.system);
    peak.push_back(t.peakMiB);
  }
  const Spread w = spreadOf(wall);
  std::printf(
      "  %-30s wall %.3f s (%.3f .. %.3f), user %.3f s, system %.3f s, peak %.1f MiB (medians)\n",
      name, w.median, w.min, w.max, spreadOf(user).median, spreadOf(system).median,
      spreadOf(peak).median);
}

std::string goalText(double goal) {
  if (goal <= 0) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "<= %.2f", goal);
  return text;
}

const char* aboveGoal(const Spread& ratio, double goal) {
  return goal > 0 && ratio.median > goal ? "  ** above goal **" : "";
}

void printRatios(const Result& result) {
  std::printf("  ratio %s: min %.2f, median %.2f, max %.2f; goal %s%s\n", result.ratioKind.c_str(),
              result.ratio.min, result.ratio.median, result.ratio.max,
              goalText(result.goal).c_str(), aboveGoal(result.ratio, result.goal));
  std::printf("  the same of user + system time: min %.2f, median %.2f, max %.2f\n", result.cpu.min,
              result.cpu.median, result.cpu.max);
}

// The ratios of peak memory, round by round, into `result`, and printed.
void measureMemory(Result& result, const std::vector<Timing>& baselineTimes,
                   const std::vector<Timing>& subjectTimes) {
  std::vector<double> ratios;
  for (size_t round = 0; round < baselineTimes.size() && round < subjectTimes.size(); ++round) {
    ratios.push_back(subjectTimes[round].peakMiB / baselineTimes[round].peakMiB);
  }
  result.memory = spreadOf(ratios);
  std::printf("  ratio of peak memory, per round: min %.2f, median %.2f, max %.2f; goal %s%s\n",
              result.memory.min, result.memory.median, result.memory.max,
              goalText(result.memoryGoal).c_str(), aboveGoal(result.memory, result.memoryGoal));
}

Result measure(const Shape& shape, const slicery::bench::ExamCopies& copies, int rounds) {
  const std::string& exam = copies.copy();
  std::vector<std::string> baseline, subject;
  std::string baselineName, subjectName;
  if (shape.dryRun()) {
    baseline = {SLICERY_CLI_PROGRAM, "--quiet", exam};
    subject = {SLICERY_CLI_PROGRAM, "--quiet", "--dry-run", exam};
    baselineName = "slicery-cli --quiet";
    subjectName = "slicery-cli --quiet --dry-run";
    if (shape.folders) {
      baseline.insert(baseline.begin() + 1, "--folders");
      subject.insert(subject.begin() + 1, "--folders");
      baselineName = "slicery-cli --quiet --folders";
      subjectName = "slicery-cli --quiet --folders --dry-run";
    }
  } else {
    const bool unjournaled = shape.against == Against::unjournaled;
    baseline = unjournaled ? std::vector<std::string>{SLICERY_UNJOURNALED_PROGRAM, "--quiet"}
                           : std::vector<std::string>{SLICERY_LIMIT_PROGRAM};
    subject = {SLICERY_CLI_PROGRAM, "--quiet"};
    if (shape.folders) {
      baseline.push_back("--folders");
      subject.push_back("--folders");
    }
    if (shape.exams > 0) {
      if (unjournaled) {
        baseline.push_back("-r");
        baseline.push_back(exam);
      } else {
        for (const std::string& folder : copies.examFolders()) {
          baseline.push_back(exam + "/" + folder);
        }
      }
      subject.push_back("-r");
    } else {
      baseline.push_back(exam);
    }
    subject.push_back(exam);
    baselineName = unjournaled ? "unjournaled_cli" : "limit_run";
    subjectName = std::string("slicery-cli --quiet") + (shape.exams > 0 ? " -r" : "") +
                  (shape.folders ? " --folders" : "");
  }

  const std::string label = labelOf(shape);
  const std::string state = copies.folder() + "/state";
  copies.makeFreshCopy();
  const Tree original = treeOf(exam);
  // Not timed: both must leave the same tree, or the comparison means nothing.
  runTimed(baseline, state);
  const Tree byBaseline = treeOf(exam);
  copies.makeFreshCopy();
  runTimed(subject, state);
  const Tree bySubject = treeOf(exam);
  const Tree& expected = shape.dryRun() ? original : byBaseline;
  if (bySubject != expected) {
    std::fprintf(stderr, "bench_run: %s: %s and %s leave different trees\n", label.c_str(),
                 shape.dryRun() ? "the exam" : baselineName.c_str(), subjectName.c_str());
    printDifference(expected, "expected", bySubject, subjectName.c_str());
    std::exit(1);
  }
  const int renamed = renamedFiles(original, byBaseline);
  if (renamed == 0) {
    std::fprintf(stderr, "bench_run: %s: the run renamed nothing\n", label.c_str());
    std::exit(1);
  }
  if (shape.dryRun()) {
    std::printf("\n%s: the real run renames %d files, the dry run none\n", label.c_str(), renamed);
  } else {
    std::printf("\n%s: %d files renamed; %s and slicery-cli leave the same tree\n", label.c_str(),
                renamed, baselineName.c_str());
  }

  std::vector<Timing> baselineTimes, subjectTimes;
  for (int round = 0; round < rounds; ++round) {
    for (const bool baselineTurn : {round % 2 == 0, round % 2 != 0}) {
      copies.makeFreshCopy();
      (baselineTurn ? baselineTimes : subjectTimes)
          .push_back(runTimed(baselineTurn ? baseline : subject, state));
    }
  }
  printTimes(baselineName.c_str(), baselineTimes);
  printTimes(subjectName.c_str(), subjectTimes);

  Result result;
  result.label = label;
  result.goal = shape.goal;
  result.memoryGoal = shape.memoryGoal;
  const auto cpuOf = [](const Timing& t) { return t.user + t.system; };
  std::vector<double> ratios, cpuRatios;
  if (shape.dryRun()) {
    std::vector<double> real, realCpu;
    for (const Timing& t : baselineTimes) {
      real.push_back(t.wall);
      realCpu.push_back(cpuOf(t));
    }
    const double realMedian = spreadOf(real).median;
    const double realCpuMedian = spreadOf(realCpu).median;
    for (const Timing& t : subjectTimes) {
      ratios.push_back(t.wall / realMedian);
      cpuRatios.push_back(cpuOf(t) / realCpuMedian);
    }
    result.ratioKind = "dry run / median real run";
  } else {
    for (size_t round = 0; round < static_cast<size_t>(rounds); ++round) {
      ratios.push_back(subjectTimes[round].wall / baselineTimes[round].wall);
      cpuRatios.push_back(cpuOf(subjectTimes[round]) / cpuOf(baselineTimes[round]));
    }
    result.ratioKind = shape.against == Against::unjournaled ? "journal / none, per round"
                                                             : "cli / limit, per round";
  }
  result.ratio = spreadOf(ratios);
  result.cpu = spreadOf(cpuRatios);
  printRatios(result);
  measureMemory(result, baselineTimes, subjectTimes);
  return result;
}

// Times --undo against the run it undoes, both of one round on the same copy.
Result measureUndo(const Shape& shape, const slicery::bench::ExamCopies& copies, int rounds) {
  const std::string& exam = copies.copy();
  std::vector<std::string> run = {SLICERY_CLI_PROGRAM, "--quiet"};
  if (shape.folders) run.push_back("--folders");
  run.push_back(exam);
  const std::vector<std::string> undo = {SLICERY_CLI_PROGRAM, "--undo", "--quiet", exam};
  const std::string label = labelOf(shape);
  const std::string state = copies.folder() + "/state";
  // The copy's names are the original's, and its files the same inodes.
  const Tree original = treeOf(copies.original());

  std::vector<Timing> runTimes, undoTimes;
  for (int round = 0; round <= rounds; ++round) {
    copies.makeFreshCopy();
    const Timing runTime = runTimed(run, state);
    if (round == 0) {
      const int renamed = renamedFiles(original, treeOf(exam));
      if (renamed == 0) {
        std::fprintf(stderr, "bench_run: %s: the run renamed nothing\n", label.c_str());
        std::exit(1);
      }
      std::printf("\n%s: the run renames %d files, the undo puts them back\n", label.c_str(),
                  renamed);
    }
    // As after making a copy: the run's writes settle before the undo's clock
    // starts, or the undo's first flush waits for them.
    ::sync();
    ::sync();
    const Timing undoTime = runTimed(undo, state);
    if (const Tree after = treeOf(exam); after != original) {
      std::fprintf(stderr, "bench_run: %s: round %d: the undo did not give back the exam's tree\n",
                   label.c_str(), round);
      printDifference(original, "the exam", after, "the undone copy");
      std::exit(1);
    }
    if (round > 0) {
      runTimes.push_back(runTime);
      undoTimes.push_back(undoTime);
    }
  }
  printTimes(shape.folders ? "slicery-cli --quiet --folders" : "slicery-cli --quiet", runTimes);
  printTimes("slicery-cli --undo --quiet", undoTimes);

  Result result;
  result.label = label;
  result.ratioKind = "undo / run, per round";
  result.goal = shape.goal;
  result.memoryGoal = shape.memoryGoal;
  std::vector<double> ratios, cpuRatios;
  for (size_t round = 0; round < runTimes.size(); ++round) {
    ratios.push_back(undoTimes[round].wall / runTimes[round].wall);
    cpuRatios.push_back((undoTimes[round].user + undoTimes[round].system) /
                        (runTimes[round].user + runTimes[round].system));
  }
  result.ratio = spreadOf(ratios);
  result.cpu = spreadOf(cpuRatios);
  printRatios(result);
  measureMemory(result, runTimes, undoTimes);
  return result;
}

// Leaves in the journal folder of the state folder `state` only the files
// named in `keep`, and makes that folder where it is missing.
void clearState(const std::string& state, const std::set<std::string>& keep) {
  const fs::path journals = fs::path(state) / "slicery";
  fs::create_directories(journals);
  fs::permissions(journals, fs::perms::owner_all, fs::perm_options::replace);
  for (const auto& entry : fs::directory_iterator(journals)) {
    if (keep.count(entry.path().filename().string()) == 0) fs::remove_all(entry.path());
  }
}

// Runs slicery-cli on kOtherRuns exams of `shape.otherFiles` files written
// below `scratch`, with `state` as its state folder, and cuts each run short
// by taking the end record (9 bytes: size 1, checksum, type 5) off its
// journal, as a kill after the last rename would have left it. Returns the
// journals' names; each must read as an unfinished run.
std::set<std::string> cutShortRuns(const std::string& scratch, const std::string& state,
                                   const Shape& shape) {
  std::set<std::string> journals;
  clearState(state, journals);
  const fs::path folder = fs::path(state) / "slicery";
  for (int k = 1; k <= kOtherRuns; ++k) {
    slicery::tools::ExamOptions options;
    options.files = shape.otherFiles;
    options.series = kOtherSeries;
    options.imageSide = 4;
    if (shape.sharedStudy) {
      options.acquired = "2004.0" + std::to_string(k) + ".15.09.30.00";
    } else {
      options.patient = "PATIENT" + std::to_string(k);
    }
    const std::string exam = scratch + "/other-" + std::to_string(k);
    fs::create_directories(exam);
    slicery::tools::writeExam(exam, options);
    runTimed({SLICERY_CLI_PROGRAM, "--quiet", exam}, state);
    std::string journal;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.ends_with(".journal") && journals.count(name) == 0) journal = name;
    }
    const fs::path path = folder / journal;
    std::string tail(9, '\0');
    const int fd = journal.empty() ? -1 : ::open(path.c_str(), O_RDONLY);
    const auto size = journal.empty() ? 0 : fs::file_size(path);
    const bool read =
        fd >= 0 && size > tail.size() &&
        ::pread(fd, tail.data(), tail.size(), static_cast<off_t>(size - tail.size())) ==
            static_cast<ssize_t>(tail.size());
    if (fd >= 0) ::close(fd);
    if (!read || tail.compare(0, 4, std::string("\1\0\0\0", 4)) != 0 || tail[8] != 5) {
      std::fprintf(stderr, "bench_run: the run of %s left no journal ending in an end record\n",
                   exam.c_str());
      std::exit(1);
    }
    fs::resize_file(path, size - tail.size());
    if (slicery::journal::fileStore().state(path.string()) != slicery::journal::State::unfinished) {
      std::fprintf(stderr, "bench_run: %s does not read as a run cut short\n", path.c_str());
      std::exit(1);
    }
    journals.insert(journal);
  }
  return journals;
}

// Times the plain run of a small exam with the state folder holding
// kOtherRuns unfinished runs of other folders, against the same run with an
// empty state folder, taking turns. Before each program the state folder is
// set back to what the shape says: the exam's own journal of the round before
// goes, or the run would find it and look for no other.
Result measureOtherRuns(const Shape& shape, int rounds) {
  slicery::tools::ExamOptions options;
  options.files = shape.files;
  options.series = shape.series;
  options.imageSide = 4;
  const slicery::bench::ExamCopies copies("slicery-bench-others", options);
  const std::string label = labelOf(shape);
  const std::string empty = copies.folder() + "/empty-state";
  const std::string withOthers = copies.folder() + "/others-state";
  const std::set<std::string> otherJournals = cutShortRuns(copies.folder(), withOthers, shape);
  const std::vector<std::string> run = {SLICERY_CLI_PROGRAM, "--quiet", copies.copy()};
  const auto prepare = [&](bool baselineTurn) {
    clearState(baselineTurn ? empty : withOthers,
               baselineTurn ? std::set<std::string>() : otherJournals);
    copies.makeFreshCopy();  // syncs what clearState removed too
  };

  const Tree original = treeOf(copies.original());
  // Not timed: the run must rename, and alike with either state folder.
  prepare(true);
  runTimed(run, empty);
  const Tree byBaseline = treeOf(copies.copy());
  prepare(false);
  runTimed(run, withOthers);
  if (const Tree bySubject = treeOf(copies.copy()); bySubject != byBaseline) {
    std::fprintf(stderr, "bench_run: %s: the run leaves another tree beside the other runs\n",
                 label.c_str());
    printDifference(byBaseline, "with an empty state", bySubject, "beside the other runs");
    std::exit(1);
  }
  const int renamed = renamedFiles(original, byBaseline);
  if (renamed == 0) {
    std::fprintf(stderr, "bench_run: %s: the run renamed nothing\n", label.c_str());
    std::exit(1);
  }
  std::printf(
      "\n%s: %d files renamed, alike with an empty state folder and beside %d unfinished runs of "
      "%d files of %s\n",
      label.c_str(), renamed, kOtherRuns, shape.otherFiles,
      shape.sharedStudy ? "exams of the same study (other days)" : "other patients' exams");

  std::vector<Timing> baselineTimes, subjectTimes;
  for (int round = 0; round < rounds; ++round) {
    for (const bool baselineTurn : {round % 2 == 0, round % 2 != 0}) {
      prepare(baselineTurn);
      (baselineTurn ? baselineTimes : subjectTimes)
          .push_back(runTimed(run, baselineTurn ? empty : withOthers));
    }
  }
  printTimes("slicery-cli --quiet, empty state", baselineTimes);
  printTimes("slicery-cli --quiet, cut runs", subjectTimes);

  Result result;
  result.label = label;
  result.ratioKind = "cut runs / empty, per round";
  result.goal = shape.goal;
  result.memoryGoal = shape.memoryGoal;
  std::vector<double> ratios, cpuRatios;
  for (size_t round = 0; round < baselineTimes.size(); ++round) {
    ratios.push_back(subjectTimes[round].wall / baselineTimes[round].wall);
    // A run of milliseconds may be charged no time at all.
    const double cpu = baselineTimes[round].user + baselineTimes[round].system;
    if (cpu > 0) {
      cpuRatios.push_back((subjectTimes[round].user + subjectTimes[round].system) / cpu);
    }
  }
  result.ratio = spreadOf(ratios);
  result.cpu = spreadOf(cpuRatios);
  printRatios(result);
  measureMemory(result, baselineTimes, subjectTimes);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each shape shows as it ends
  slicery::bench::checkArguments(
      argc, argv,
      "usage: bench_run [--quick] [--undo] [--others] [--trees] [--rounds N] [--files N]\n"
      "                 [--series N]\n"
      "Times slicery-cli --quiet against limit_run on fresh copies of an exam, taking\n"
      "turns, 10 rounds per shape: 50,000 files in 10, 100, 1,000 and 5,000 series, in\n"
      "place and with --folders; at 100 series also --dry-run against the real run\n"
      "(time and peak memory) and the run journal against the same program without\n"
      "it; --undo against the run it undoes, at 200,000 files in 100 series; and a\n"
      "run of 100 files in 5 series beside 5 unfinished runs of 20,000 files of other\n"
      "folders in the state folder against the same run with an empty one, once\n"
      "with the other exams of other patients and once of the same study; and\n"
      "slicery-cli -r --quiet over trees of 200 exam folders of 250 files and of 20\n"
      "of 2,500 (10 series each), in place and with --folders, against limit_run\n"
      "given the same folders in turn.\n"
      "  --quick      5,000 files (2,000 for the unfinished runs) and 3 rounds\n"
      "  --undo       only the --undo shapes\n"
      "  --others     only the shapes beside unfinished runs of other folders\n"
      "  --trees      only the trees of exam folders (--quick: a tenth of the exams)\n"
      "  --rounds N   N rounds of each program per shape\n"
      "  --files N    N files per exam, the --undo shapes' too (not the --others\n"
      "               shapes': 100, beside runs of 20,000)\n"
      "  --series N   only the shapes of N series (5, 10, 100, 1000 or 5000)\n",
      {"--quick", "--undo", "--others", "--trees"}, {"--rounds", "--files", "--series"});
  startLauncher();  // before the benchmark grows
  const bool quick = slicery::bench::hasFlag(argc, argv, "--quick");
  const int files = numberAfter(argc, argv, "--files", quick ? 5'000 : 50'000);
  const int undoFiles = numberAfter(argc, argv, "--files", quick ? 5'000 : 200'000);
  const int rounds = numberAfter(argc, argv, "--rounds", quick ? 3 : 10);

  // The 100-series goals are the ones asked for; a run whose cost grows
  // linearly with the series stays within the 5,000-series bound at every
  // count in between and below.
  // The journal's own cost is timed at 100 series, against the same program
  // without it.
  // The dry run and the undo have goals for their peak memory too.
  std::vector<Shape> shapes = {
      {10, false, Against::limit, 1.20},          {10, true, Against::limit, 1.20},
      {100, false, Against::limit, 1.10},         {100, true, Against::limit, 1.10},
      {100, false, Against::realRun, 0.3, 1.1},   {100, true, Against::realRun, 0.3, 1.1},
      {100, false, Against::unjournaled, 1.10},   {100, true, Against::unjournaled, 1.10},
      {1000, false, Against::limit, 1.20},        {1000, true, Against::limit, 1.20},
      {5000, false, Against::limit, 1.20},        {5000, true, Against::limit, 1.20},
      {100, false, Against::undoneRun, 1.2, 1.5}, {100, true, Against::undoneRun, 1.2, 1.5},
      {5, false, Against::emptyState, 2.0, 1.5},  {5, false, Against::emptyState, 2.0, 1.5},
  };
  for (Shape& shape : shapes) {
    shape.files = shape.undo() ? undoFiles : shape.others() ? 100 : files;
    shape.otherFiles = quick ? 2'000 : 20'000;
  }
  shapes.back().sharedStudy = true;
  // Trees of exam folders, each exam of 10 series: -r against limit_run
  // given the same folders in turn.
  // The 200 exams also against the same batch without its journals, which
  // tells what each exam's journal costs.
  for (const auto& [exams, examFiles] : {std::pair{200, 250}, std::pair{20, 2'500}}) {
    for (const bool folders : {false, true}) {
      Shape tree{10, folders, Against::limit, 1.15};
      tree.exams = quick ? exams / 10 : exams;
      tree.files = examFiles;
      shapes.push_back(tree);
      if (exams != 200) continue;
      tree.against = Against::unjournaled;
      tree.goal = 0;
      shapes.push_back(tree);
    }
  }
  if (slicery::bench::hasFlag(argc, argv, "--trees")) {
    std::erase_if(shapes, [](const Shape& shape) { return shape.exams == 0; });
  }
  if (slicery::bench::hasFlag(argc, argv, "--undo")) {
    std::erase_if(shapes, [](const Shape& shape) { return !shape.undo(); });
  }
  if (slicery::bench::hasFlag(argc, argv, "--others")) {
    std::erase_if(shapes, [](const Shape& shape) { return !shape.others(); });
  }
  if (const int only = numberAfter(argc, argv, "--series", 0); only > 0) {
    std::erase_if(shapes, [only](const Shape& shape) { return shape.series != only; });
    if (shapes.empty()) {
      std::fprintf(stderr, "bench_run: no shape has %d series; there are %s\n", only,
                   slicery::bench::hasFlag(argc, argv, "--undo")     ? "100 (--undo)"
                   : slicery::bench::hasFlag(argc, argv, "--others") ? "5 (--others)"
                                                                     : "5, 10, 100, 1000 and 5000");
      return 2;
    }
  }
  std::printf("bench_run: %d files per exam (%d for --undo), %d rounds of each program per shape\n",
              files, undoFiles, rounds);

  std::vector<Result> results;
  for (size_t i = 0; i < shapes.size();) {
    if (shapes[i].others()) {
      results.push_back(measureOtherRuns(shapes[i], rounds));
      ++i;
      continue;
    }
    slicery::tools::ExamOptions options;
    options.files = shapes[i].files;
    options.series = shapes[i].series;
    options.imageSide = 4;  // the names are what counts, not the pictures
    // The runs' journals stay in the scratch folder and go with it.
    const int exams = shapes[i].exams;
    const slicery::bench::ExamCopies copies("slicery-bench-run", options, exams);
    for (; i < shapes.size() && !shapes[i].others() && shapes[i].series == options.series &&
           shapes[i].files == options.files && shapes[i].exams == exams;
         ++i) {
      results.push_back(shapes[i].undo() ? measureUndo(shapes[i], copies, rounds)
                                         : measure(shapes[i], copies, rounds));
    }
  }

  std::printf(
      "\n%d files (%d for --undo), %d rounds each; ratios (min, median, max) of wall\n"
      "times and, where it has a goal, of peak memory, the goal for the median, and\n"
      "the median ratio of user + system times:\n",
      files, undoFiles, rounds);
  std::printf("%-32s %-27s %6s %6s %6s  %-8s %s\n", "shape", "ratio", "min", "median", "max",
              "goal", "cpu");
  const auto row = [](const std::string& label, const std::string& kind, const Spread& ratio,
                      double goal, const std::string& cpu) {
    std::printf("%-32s %-27s %6.2f %6.2f %6.2f  %-8s %s%s\n", label.c_str(), kind.c_str(),
                ratio.min, ratio.median, ratio.max, goalText(goal).c_str(), cpu.c_str(),
                goal > 0 && ratio.median > goal ? "  above goal" : "");
  };
  for (const Result& r : results) {
    char cpu[16];
    std::snprintf(cpu, sizeof cpu, "%.2f", r.cpu.median);
    row(r.label, r.ratioKind, r.ratio, r.goal, cpu);
    if (r.memoryGoal > 0) row(r.label, "peak memory, per round", r.memory, r.memoryGoal, "-");
  }
  return 0;
}
