// Helpers shared by the benchmark programs: a scratch exam folder, fresh
// copies of an exam for the rename runs, the plain-rename baseline, timing
// that reports the median of several rounds, and the spread of a set of
// figures.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "exam.h"
#include "platform/file_system.h"

namespace slicery::bench {

// A fresh folder below the system's temporary folder, removed on destruction.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name) {
    path_ = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// An exam written once into a scratch folder, and fresh copies of it for
// runs that rename: a copy is a folder of hard links to the exam's files
// (names are what a run changes), so it costs no data to make. With
// `exams`, the original is a tree: that many patient folders "p000", "p001",
// ..., each holding one exam folder "exam" written with `options`.
class ExamCopies {
 public:
  ExamCopies(const std::string& name, const tools::ExamOptions& options, int exams = 0)
      : scratch_(name), original_(scratch_.path() + "/original"), copy_(scratch_.path() + "/exam") {
    std::filesystem::create_directories(original_);
    if (exams == 0) tools::writeExam(original_, options);
    for (int i = 0; i < exams; ++i) {
      char patient[32];
      std::snprintf(patient, sizeof patient, "p%03d/exam", i);
      examFolders_.push_back(patient);
      std::filesystem::create_directories(original_ + "/" + patient);
      tools::writeExam(original_ + "/" + patient, options);
    }
  }
  // The scratch folder that holds the original and the copy.
  std::string folder() const { return scratch_.path(); }
  const std::string& original() const { return original_; }
  // Where each copy is made.
  const std::string& copy() const { return copy_; }
  // A tree's exam folders, relative to it, in listing order.
  const std::vector<std::string>& examFolders() const { return examFolders_; }
  void makeFreshCopy() const {
    std::filesystem::remove_all(copy_);
    std::filesystem::create_directories(copy_);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(original_)) {
      const std::filesystem::path to =
          std::filesystem::path(copy_) / std::filesystem::relative(entry.path(), original_);
      if (entry.is_directory()) {
        std::filesystem::create_directory(to);
      } else {
        std::filesystem::create_hard_link(entry.path(), to);
      }
    }
    // The copy's writes reach the disk before the clock starts. One sync
    // leaves some of them going (about 15 ms of them on ext4 after 100,000
    // links removed and made), to be waited for by whichever program flushes
    // a file first; a second sync waits for them here.
    ::sync();
    ::sync();
  }

 private:
  ScratchFolder scratch_;
  std::string original_;
  std::string copy_;
  std::vector<std::string> examFolders_;
};

using Renames = std::vector<std::pair<std::string, std::string>>;

// The baseline a rename run is measured against: the same folders made and
// the same no-replace renames done in a plain loop. Aborts on a failure.
inline void plainRenames(platform::FileSystem& fs, const std::vector<std::string>& folders,
                         const Renames& renames) {
  for (const auto& folder : folders) {
    if (!fs.makeFolder(folder)) std::abort();
  }
  for (const auto& [from, to] : renames) {
    if (!fs.renameFile(from, to)) std::abort();
  }
}

// Seconds taken by one run of `work`.
inline double secondsOf(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Answers --help with `usage`, and refuses, with `usage`, any argument that is
// neither one of `flags` nor one of `numbered` followed by a whole number
// above 0: a benchmark that went on past a mistyped option would time a shape
// nobody asked for, for minutes.
inline void checkArguments(int argc, char** argv, const char* usage,
                           std::initializer_list<const char*> flags,
                           std::initializer_list<const char*> numbered) {
  const auto among = [](const char* arg, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(),
                       [arg](const char* name) { return std::strcmp(arg, name) == 0; });
  };
  const auto wholeNumber = [](const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value > 0 && value <= 10'000'000;
  };
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::printf("%s", usage);
      std::exit(0);
    }
    if (among(argv[i], flags)) continue;
    if (among(argv[i], numbered) && i + 1 < argc && wholeNumber(argv[i + 1])) {
      ++i;
      continue;
    }
    std::fprintf(stderr, "%s: cannot use '%s' here\n%s", argv[0], argv[i], usage);
    std::exit(2);
  }
}

// The number given after `flag` ("--rounds 7"), at least 1, or `fallback`.
inline int numberAfter(int argc, char** argv, const char* flag, int fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], flag) == 0) return std::max(1, std::atoi(argv[i + 1]));
  }
  return fallback;
}

// The exam a window benchmark works on and its number of rounds, from
// --files (50,000), --series (100) and --rounds (7); --help answers `usage`.
inline tools::ExamOptions windowExam(int argc, char** argv, const char* usage, int& rounds) {
  checkArguments(argc, argv, usage, {}, {"--rounds", "--files", "--series"});
  tools::ExamOptions options;
  options.files = numberAfter(argc, argv, "--files", 50'000);
  options.series = numberAfter(argc, argv, "--series", 100);
  options.imageSide = 4;  // the names are what counts, not the pictures
  rounds = numberAfter(argc, argv, "--rounds", 7);
  return options;
}

// Seconds taken by `work`, the median over `rounds` runs. `prepare` runs
// before each round and is not timed.
inline double medianSeconds(
    int rounds, const std::function<void()>& work, const std::function<void()>& prepare = [] {}) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    prepare();
    const auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// The least, the middle and the greatest of some figures (the middle one of
// an even count is the mean of the two in the middle).
struct Spread {
  double min = 0;
  double median = 0;
  double max = 0;
};

inline Spread spreadOf(std::vector<double> figures) {
  if (figures.empty()) return {};
  std::sort(figures.begin(), figures.end());
  const size_t n = figures.size();
  const double median = n % 2 == 1 ? figures[n / 2] : (figures[n / 2 - 1] + figures[n / 2]) / 2;
  return {figures.front(), median, figures.back()};
}

// Whether the program was started with `flag` among its arguments.
inline bool hasFlag(int argc, char** argv, const char* flag) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], flag) == 0) return true;
  }
  return false;
}

// Prints the times of `what` and of its baseline, taken in turns, as median
// (min .. max), then the ratio of the two round by round, its min, median
// and max, beside the goal for the median.
inline void reportRounds(const char* what, const std::vector<double>& times, const char* baseline,
                         const std::vector<double>& baselineTimes, double goal) {
  std::vector<double> ratios;
  for (size_t i = 0; i < times.size() && i < baselineTimes.size(); ++i) {
    ratios.push_back(times[i] / baselineTimes[i]);
  }
  const Spread base = spreadOf(baselineTimes);
  const Spread timed = spreadOf(times);
  const Spread ratio = spreadOf(ratios);
  std::printf("%-28s median %.4f s (%.4f .. %.4f)\n", baseline, base.median, base.min, base.max);
  std::printf("%-28s median %.4f s (%.4f .. %.4f)\n", what, timed.median, timed.min, timed.max);
  std::printf("ratio per round: min %.2f, median %.2f, max %.2f; goal <= %.2f%s\n", ratio.min,
              ratio.median, ratio.max, goal, ratio.median <= goal ? "" : "  ** above goal **");
}

}  // namespace slicery::bench
