// Times the search for the exams of a tree (run::findExams, what
// `slicery-cli -r` does before its first exam) over 10,000 folders that hold
// no exam, against a bare walk of the same tree with opendir and readdir,
// taking turns round by round. Each folder holds two files that are no
// .ima files; the search must open none of them.
//
//   bench_exams [--quick] [--rounds N] [--folders N]
//
// --quick searches 1,000 folders in 3 rounds, to try the benchmark out.
#include <dirent.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "platform/real_file_system.h"
#include "run/exams.h"

namespace {

// Every folder below `folder`, counted, links not followed.
size_t walk(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) std::abort();
  std::vector<std::string> below;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_type == DT_DIR && entry->d_name[0] != '.') below.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  std::sort(below.begin(), below.end());
  size_t folders = 1;
  for (const std::string& name : below) folders += walk(folder + "/" + name);
  return folders;
}

}  // namespace

int main(int argc, char** argv) {
  using slicery::bench::numberAfter;
  slicery::bench::checkArguments(
      argc, argv,
      "usage: bench_exams [--quick] [--rounds N] [--folders N]\n"
      "Times the search for the exams of a tree of 10,000 folders without exams\n"
      "(100 patients of 99 folders, two other files each; 7 rounds) against a bare\n"
      "walk of the tree with readdir, taking turns.\n"
      "  --quick      1,000 folders and 3 rounds, to try it out\n",
      {"--quick"}, {"--rounds", "--folders"});
  const bool quick = slicery::bench::hasFlag(argc, argv, "--quick");
  const int folders = numberAfter(argc, argv, "--folders", quick ? 1'000 : 10'000);
  const int rounds = numberAfter(argc, argv, "--rounds", quick ? 3 : 7);
  constexpr double kGoal = 2.0;

  slicery::bench::ScratchFolder scratch("slicery-bench-exams");
  const std::string root = scratch.path() + "/tree";
  constexpr int kPerPatient = 100;
  for (int i = 0; i < folders; ++i) {
    const std::string patient = root + "/patient" + std::to_string(i / kPerPatient);
    const std::string folder =
        i % kPerPatient == 0 ? patient : patient + "/study" + std::to_string(i % kPerPatient);
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/DICOMDIR") << "not an image";
    std::ofstream(folder + "/notes.txt") << "no exam here";
  }
  std::printf("wrote %d folders without exams below %s\n", folders, root.c_str());

  slicery::platform::RealFileSystem fs;
  size_t sink = 0;
  const auto baseline = [&] { sink += walk(root); };
  const auto search = [&] {
    slicery::run::ExamSearch found;
    if (!slicery::run::findExams(fs, root, found) || !found.folders.empty()) std::abort();
    sink += 1;
  };
  baseline();
  search();

  std::vector<double> baselineTimes, searchTimes;
  for (int round = 0; round < rounds; ++round) {
    for (const bool baselineTurn : {round % 2 == 0, round % 2 != 0}) {
      (baselineTurn ? baselineTimes : searchTimes)
          .push_back(slicery::bench::secondsOf(baselineTurn ? std::function<void()>(baseline)
                                                            : std::function<void()>(search)));
    }
  }
  std::printf("%d rounds of each, taking turns\n", rounds);
  slicery::bench::reportRounds("findExams", searchTimes, "readdir walk", baselineTimes, kGoal);
  const slicery::bench::Spread spread = slicery::bench::spreadOf(searchTimes);
  std::printf("findExams over %d folders: median %.3f s (%.3f .. %.3f); bound 1 s%s\n", folders,
              spread.median, spread.min, spread.max, spread.median <= 1.0 ? "" : "  ** above **");
  return sink == 0 ? 1 : 0;
}
