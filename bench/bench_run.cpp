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
//   bench_run [--quick] [--rounds N] [--files N] [--series N]
//
// 10 rounds per shape unless --rounds says otherwise: the machine's noise
// moves the median of fewer too much. --quick runs 5,000 files and 3 rounds
// per shape, to try the benchmark out;
// --series N times only the shapes of N series.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench_util.h"

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
};

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
}

std::string commandLine(const std::vector<std::string>& args) {
  std::string line;
  for (const auto& arg : args) line += (line.empty() ? "" : " ") + arg;
  return line;
}

// Runs a program with its output thrown away and returns its times; a
// program that does not end with status 0 ends the benchmark.
Timing runTimed(const std::vector<std::string>& args) {
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
  if (failed != 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_run: %s did not succeed\n", commandLine(args).c_str());
    std::exit(1);
  }
  Timing timing;
  timing.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  timing.user = seconds(usage.ru_utime);
  timing.system = seconds(usage.ru_stime);
  return timing;
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
// run is timed against it); or slicery-cli without its run journal.
enum class Against { limit, realRun, unjournaled };

struct Shape {
  int series = 0;
  bool folders = false;
  Against against = Against::limit;
  double goal = 0;
  bool dryRun() const { return against == Against::realRun; }
};

struct Result {
  std::string label;
  std::string ratioKind;
  Spread ratio;  // of wall times
  Spread cpu;    // of user + system times, less moved by other work on the machine
  double goal = 0;
};

std::string labelOf(const Shape& shape) {
  std::string label = std::to_string(shape.series) + " series, ";
  if (shape.dryRun()) return label + "--dry-run";
  label += shape.folders ? "--folders" : "in place";
  return shape.against == Against::unjournaled ? label + ", journal" : label;
}

void printTimes(const char* name, const std::vector<Timing>& timings) {
  std::vector<double> wall, user, system;
  for (const Timing& t : timings) {
    wall.push_back(t.wall);
    user.push_back(t.user);
    system.push_back(t.system);
  }
  const Spread w = spreadOf(wall);
  std::printf("  %-30s wall %.3f s (%.3f .. %.3f), user %.3f s, system %.3f s (medians)\n", name,
              w.median, w.min, w.max, spreadOf(user).median, spreadOf(system).median);
}

std::string goalText(double goal) {
  if (goal <= 0) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "<= %.2f", goal);
  return text;
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
  } else {
    const bool unjournaled = shape.against == Against::unjournaled;
    baseline = unjournaled ? std::vector<std::string>{SLICERY_UNJOURNALED_PROGRAM, "--quiet"}
                           : std::vector<std::string>{SLICERY_LIMIT_PROGRAM};
    subject = {SLICERY_CLI_PROGRAM, "--quiet"};
    if (shape.folders) {
      baseline.push_back("--folders");
      subject.push_back("--folders");
    }
    baseline.push_back(exam);
    subject.push_back(exam);
    baselineName = unjournaled ? "unjournaled_cli" : "limit_run";
    subjectName = shape.folders ? "slicery-cli --quiet --folders" : "slicery-cli --quiet";
  }

  const std::string label = labelOf(shape);
  copies.makeFreshCopy();
  const Tree original = treeOf(exam);
  // Not timed: both must leave the same tree, or the comparison means nothing.
  runTimed(baseline);
  const Tree byBaseline = treeOf(exam);
  copies.makeFreshCopy();
  runTimed(subject);
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
          .push_back(runTimed(baselineTurn ? baseline : subject));
    }
  }
  printTimes(baselineName.c_str(), baselineTimes);
  printTimes(subjectName.c_str(), subjectTimes);

  Result result;
  result.label = label;
  result.goal = shape.goal;
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
  std::printf("  ratio %s: min %.2f, median %.2f, max %.2f; goal %s%s\n", result.ratioKind.c_str(),
              result.ratio.min, result.ratio.median, result.ratio.max, goalText(shape.goal).c_str(),
              shape.goal > 0 && result.ratio.median > shape.goal ? "  ** above goal **" : "");
  std::printf("  the same of user + system time: min %.2f, median %.2f, max %.2f\n", result.cpu.min,
              result.cpu.median, result.cpu.max);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each shape shows as it ends
  slicery::bench::checkArguments(
      argc, argv,
      "usage: bench_run [--quick] [--rounds N] [--files N] [--series N]\n"
      "Times slicery-cli --quiet against limit_run on fresh copies of an exam, taking\n"
      "turns, 10 rounds per shape: 50,000 files in 10, 100, 1,000 and 5,000 series, in\n"
      "place and with --folders; at 100 series also --dry-run against the real run and\n"
      "the run journal against the same program without it.\n"
      "  --quick      5,000 files and 3 rounds, to try it out\n"
      "  --rounds N   N rounds of each program per shape\n"
      "  --files N    N files per exam\n"
      "  --series N   only the shapes of N series (10, 100, 1000 or 5000)\n",
      {"--quick"}, {"--rounds", "--files", "--series"});
  const bool quick = slicery::bench::hasFlag(argc, argv, "--quick");
  slicery::tools::ExamOptions options;
  options.files = numberAfter(argc, argv, "--files", quick ? 5'000 : 50'000);
  options.imageSide = 4;  // the names are what counts, not the pictures
  const int rounds = numberAfter(argc, argv, "--rounds", quick ? 3 : 10);

  // The 100-series goals are the ones asked for; a run whose cost grows
  // linearly with the series stays within the 5,000-series bound at every
  // count in between and below.
  // The journal's own cost is timed at 100 series, against the same program
  // without it.
  std::vector<Shape> shapes = {
      {10, false, Against::limit, 1.25},       {10, true, Against::limit, 1.25},
      {100, false, Against::limit, 1.15},      {100, true, Against::limit, 1.15},
      {100, false, Against::realRun, 0.5},     {100, false, Against::unjournaled, 1.10},
      {100, true, Against::unjournaled, 1.10}, {1000, false, Against::limit, 1.25},
      {1000, true, Against::limit, 1.25},      {5000, false, Against::limit, 1.25},
      {5000, true, Against::limit, 1.25},
  };
  if (const int only = numberAfter(argc, argv, "--series", 0); only > 0) {
    std::erase_if(shapes, [only](const Shape& shape) { return shape.series != only; });
    if (shapes.empty()) {
      std::fprintf(stderr, "bench_run: no shape has %d series; there are 10, 100, 1000 and 5000\n",
                   only);
      return 2;
    }
  }
  std::printf("bench_run: %d files per exam, %d rounds of each program per shape\n", options.files,
              rounds);

  std::vector<Result> results;
  for (size_t i = 0; i < shapes.size();) {
    options.series = shapes[i].series;
    const slicery::bench::ExamCopies copies("slicery-bench-run", options);
    for (; i < shapes.size() && shapes[i].series == options.series; ++i) {
      results.push_back(measure(shapes[i], copies, rounds));
    }
  }

  std::printf(
      "\n%d files, %d rounds each; ratios of wall times (min, median, max), the goal\n"
      "for the median, and the median ratio of user + system times:\n",
      options.files, rounds);
  std::printf("%-32s %-27s %6s %6s %6s  %-8s %s\n", "shape", "ratio", "min", "median", "max",
              "goal", "cpu");
  for (const Result& r : results) {
    std::printf("%-32s %-27s %6.2f %6.2f %6.2f  %-8s %.2f%s\n", r.label.c_str(),
                r.ratioKind.c_str(), r.ratio.min, r.ratio.median, r.ratio.max,
                goalText(r.goal).c_str(), r.cpu.median,
                r.goal > 0 && r.ratio.median > r.goal ? "  above goal" : "");
  }
  return 0;
}
