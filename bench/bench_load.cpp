// Times the folder load (drop with census) of a 50,000-file, 100-series exam
// against a bare directory read plus sort of the same names, in one run. The
// two take turns round by round (baseline, load, baseline, load ...), so a
// machine that slows down slows both alike.
//
//   bench_load [--quick] [--rounds N] [--files N] [--series N]
//
// --quick loads 5,000 files in 3 rounds, to try the benchmark out.
#include <dirent.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/form1.h"
#include "bench_util.h"
#include "platform/clock.h"
#include "platform/real_file_system.h"

namespace {

std::vector<std::string> readAndSort(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) std::abort();
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  using slicery::bench::numberAfter;
  slicery::bench::checkArguments(
      argc, argv,
      "usage: bench_load [--quick] [--rounds N] [--files N] [--series N]\n"
      "Times the folder load of an exam (50,000 files in 100 series, 7 rounds)\n"
      "against a bare read and sort of its names, taking turns.\n"
      "  --quick      5,000 files and 3 rounds, to try it out\n",
      {"--quick"}, {"--rounds", "--files", "--series"});
  const bool quick = slicery::bench::hasFlag(argc, argv, "--quick");
  slicery::tools::ExamOptions options;
  options.files = numberAfter(argc, argv, "--files", quick ? 5'000 : 50'000);
  options.series = numberAfter(argc, argv, "--series", 100);
  const int rounds = numberAfter(argc, argv, "--rounds", quick ? 3 : 7);
  constexpr double kGoal = 2.0;

  slicery::bench::ScratchFolder folder("slicery-bench-load");
  std::printf("writing %d files in %d series to %s\n", options.files, options.series,
              folder.path().c_str());
  slicery::tools::writeExam(folder.path(), options);

  slicery::platform::RealFileSystem fs;
  slicery::platform::RealClock clock;
  slicery::app::Form1 form(fs, clock);
  size_t sink = 0;
  const auto baseline = [&] { sink += readAndSort(folder.path()).size(); };
  const auto load = [&] {
    if (!form.drop({folder.path()})) std::abort();
    sink += static_cast<size_t>(form.seriesCount);
  };

  // One round of each, not timed, so that neither meets a colder cache.
  baseline();
  load();
  if (form.seriesCount != options.series || form.File2.count() != options.files) {
    std::fprintf(stderr, "load counted %d series, %d files\n", form.seriesCount,
                 form.File2.count());
    return 1;
  }

  std::vector<double> baselineTimes, loadTimes;
  for (int round = 0; round < rounds; ++round) {
    baselineTimes.push_back(slicery::bench::secondsOf(baseline));
    loadTimes.push_back(slicery::bench::secondsOf(load));
  }
  std::printf("%d rounds of each, alternating\n", rounds);
  slicery::bench::reportRounds("load (drop + census)", loadTimes, "readdir + sort", baselineTimes,
                               kGoal);
  return sink == 0 ? 1 : 0;
}
