// Helpers shared by the benchmark programs: a scratch exam folder and timing
// that reports the median of several rounds.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "exam.h"

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

inline void reportRatio(const char* what, double seconds, const char* baseline,
                        double baselineSeconds, double goal) {
  const double ratio = seconds / baselineSeconds;
  std::printf("%-28s %9.4f s\n%-28s %9.4f s\nratio %.2f (goal <= %.1f)%s\n", what, seconds,
              baseline, baselineSeconds, ratio, goal, ratio <= goal ? "" : "  ** above goal **");
}

}  // namespace slicery::bench
