// Times the rename run of a 50,000-file, 100-series exam through the built
// slicery-cli program (--quiet, so printing costs nothing) against a plain
// loop of the same no-replace renames through RealFileSystem, in one run.
// Each round works on a fresh copy of the exam; making it is not timed. Then
// the same run in this process with its journal against one without.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/form1.h"
#include "bench_util.h"
#include "platform/clock.h"
#include "platform/real_file_system.h"
#include "rename/new_name.h"
#include "scan/ima_file_name.h"

extern char** environ;

namespace {

using slicery::bench::Renames;

// The renames a run makes on a fresh exam: names from the same functions
// the run uses, worked out here once and not timed.
Renames plannedRenames(const slicery::tools::ExamOptions& options, const std::string& folder,
                       bool folders, std::vector<std::string>& madeFolders) {
  const auto files = slicery::tools::planExam(options);
  std::map<int, int> perSeries;
  for (const auto& file : files) ++perSeries[file.series];
  Renames renames;
  slicery::scan::NameFields fields;
  for (const auto& file : files) {
    slicery::scan::splitImaFileName(file.name, fields);
    const std::string& series = fields[slicery::scan::kSeriesField];
    const std::string paddedSeries = slicery::rename::padded(
        series, slicery::rename::padWidth(static_cast<int>(perSeries.size()), series));
    const std::string& slice = fields[slicery::scan::kSliceField];
    const std::string paddedSlice =
        slicery::rename::padded(slice, slicery::rename::padWidth(perSeries[file.series], slice));
    const std::string name =
        slicery::rename::newFileName(fields, paddedSeries, paddedSlice, file.name, false);
    std::string to = folder + "/";
    if (folders) {
      const std::string sub = folder + "/Series_S" + paddedSeries;
      if (madeFolders.empty() || madeFolders.back() != sub) madeFolders.push_back(sub);
      to = sub + "/";
    }
    to += name;
    if (to != folder + "/" + file.name) renames.emplace_back(folder + "/" + file.name, to);
  }
  return renames;
}

int runProgram(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace

int main(int argc, char** argv) {
  slicery::tools::ExamOptions options;
  options.files = argc > 1 ? std::stoi(argv[1]) : 50'000;
  options.series = argc > 2 ? std::stoi(argv[2]) : 100;
  constexpr int kRounds = 5;

  const slicery::bench::ExamCopies copies("slicery-bench-run", options);
  const std::string& exam = copies.copy();
  const auto freshExam = [&] { copies.makeFreshCopy(); };
  std::printf("%d files in %d series, %d rounds of each, in %s\n", options.files, options.series,
              kRounds, exam.c_str());

  // The runs' journals go next to the exam copies.
  const std::string state = slicery::platform::parentPath(exam) + "/state";
  ::setenv("XDG_STATE_HOME", state.c_str(), 1);

  slicery::platform::RealFileSystem fs;
  for (const bool folders : {false, true}) {
    std::vector<std::string> madeFolders;
    const Renames renames = plannedRenames(options, exam, folders, madeFolders);
    std::vector<std::string> args = {SLICERY_CLI_PROGRAM, "--quiet"};
    if (folders) args.push_back("--folders");
    args.push_back(exam);

    // Rounds of the two alternate, so a busy machine slows both alike.
    std::vector<double> baselineTimes, runTimes;
    for (int round = 0; round < kRounds; ++round) {
      baselineTimes.push_back(slicery::bench::medianSeconds(
          1, [&] { slicery::bench::plainRenames(fs, madeFolders, renames); }, freshExam));
      runTimes.push_back(slicery::bench::medianSeconds(
          1,
          [&] {
            if (runProgram(args) != 0) std::abort();
          },
          freshExam));
    }
    // Both did the same renames: the last round's result has every new name.
    for (const auto& [from, to] : renames) {
      if (!std::filesystem::exists(to)) {
        std::fprintf(stderr, "the run did not make %s\n", to.c_str());
        return 1;
      }
    }
    std::sort(baselineTimes.begin(), baselineTimes.end());
    std::sort(runTimes.begin(), runTimes.end());
    std::printf("\n%s (%zu renames), medians:\n", folders ? "into series folders" : "in place",
                renames.size());
    slicery::bench::reportRatio("slicery-cli --quiet", runTimes[kRounds / 2], "renameat2 loop",
                                baselineTimes[kRounds / 2], 1.5);
  }

  // The journal's share: the run of the form itself, with and without it.
  slicery::platform::RealClock clock;
  for (const bool folders : {false, true}) {
    const auto formRun = [&](bool journal) {
      slicery::app::Form1 form(fs, clock);
      form.setJournaling(journal);
      form.setStartRereadsFolder(false);
      if (!form.drop({exam})) std::abort();
      if (folders) form.changeCheck(form.Check2, 1);
      form.pressStart();
      if (!form.runFailures.empty() || form.filesRenamed == 0) std::abort();
    };
    std::vector<double> without, with;
    // More rounds, each pair in turn in either order: the difference is small.
    constexpr int kPairs = 2 * kRounds + 1;
    for (int round = 0; round < kPairs; ++round) {
      for (const bool journal : {round % 2 == 0, round % 2 != 0}) {
        (journal ? with : without)
            .push_back(slicery::bench::medianSeconds(
                1, [&] { formRun(journal); }, freshExam));
      }
    }
    std::sort(without.begin(), without.end());
    std::sort(with.begin(), with.end());
    std::printf("\n%s, medians:\n", folders ? "into series folders" : "in place");
    slicery::bench::reportRatio("run with its journal", with[kPairs / 2], "run without a journal",
                                without[kPairs / 2], 1.1);
  }
  return 0;
}
