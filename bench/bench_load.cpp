// Times the folder load (drop with census) of a 50,000-file, 100-series exam
// against a bare directory read plus sort of the same names, in one run.
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
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  slicery::tools::ExamOptions options;
  options.files = argc > 1 ? std::stoi(argv[1]) : 50'000;
  options.series = argc > 2 ? std::stoi(argv[2]) : 100;
  constexpr int kRounds = 7;

  slicery::bench::ScratchFolder folder("slicery-bench-load");
  std::printf("writing %d files in %d series to %s\n", options.files, options.series,
              folder.path().c_str());
  slicery::tools::writeExam(folder.path(), options);

  size_t sink = 0;
  const double baseline =
      slicery::bench::medianSeconds(kRounds, [&] { sink += readAndSort(folder.path()).size(); });

  slicery::platform::RealFileSystem fs;
  slicery::platform::RealClock clock;
  slicery::app::Form1 form(fs, clock);
  const double load = slicery::bench::medianSeconds(kRounds, [&] {
    if (!form.drop({folder.path()})) std::abort();
    sink += static_cast<size_t>(form.seriesCount);
  });
  if (form.seriesCount != options.series || form.File2.count() != options.files) {
    std::fprintf(stderr, "load counted %d series, %d files\n", form.seriesCount,
                 form.File2.count());
    return 1;
  }
  slicery::bench::reportRatio("load (drop + census)", load, "readdir + sort", baseline, 2.0);
  return sink == 0 ? 1 : 0;
}
