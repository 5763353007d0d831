// Times the rename run of a 50,000-file, 100-series exam through the window
// (offscreen: the folder dropped on it, Start clicked, every change shown)
// against a plain loop of the same no-replace renames, in one run, and shows
// what the window adds to the same drop and run made with no view. Each round
// works on a fresh copy of the exam; making it is not timed.
//
//   bench_window [--rounds N] [--files N] [--series N]
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/form1.h"
#include "bench_util.h"
#include "main_window.h"
#include "platform/clock.h"
#include "platform/real_file_system.h"
#include "window_driver.h"

namespace {

namespace fs = std::filesystem;
using slicery::bench::Renames;

ino_t inodeOf(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) std::abort();
  return info.st_ino;
}

// What a run did to a copy of `original` in `exam`: each copy is a hard link
// to its original file, so the file's inode tells where it came from.
Renames renamesMade(const std::string& original, const std::string& exam,
                    std::vector<std::string>& madeFolders) {
  std::map<ino_t, std::string> nameOf;
  for (const auto& entry : fs::directory_iterator(original)) {
    nameOf[inodeOf(entry.path())] = entry.path().filename().string();
  }
  Renames renames;
  for (const auto& entry : fs::recursive_directory_iterator(exam)) {
    if (entry.is_directory()) {
      madeFolders.push_back(entry.path().string());
      continue;
    }
    const std::string from = exam + "/" + nameOf.at(inodeOf(entry.path()));
    if (from != entry.path().string()) renames.emplace_back(from, entry.path().string());
  }
  std::sort(madeFolders.begin(), madeFolders.end());
  return renames;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int rounds = 0;
  const slicery::tools::ExamOptions options = slicery::bench::windowExam(
      argc, argv,
      "usage: bench_window [--rounds N] [--files N] [--series N]\n"
      "Times a rename run through the window (offscreen; 50,000 files in 100 series,\n"
      "7 rounds, in place and into series folders) against a loop of the renames it\n"
      "made, taking turns.\n",
      rounds);

  const slicery::bench::ExamCopies copies("slicery-bench-window", options);
  const std::string& original = copies.original();
  const std::string& exam = copies.copy();
  const auto freshExam = [&] { copies.makeFreshCopy(); };
  std::printf("%d files in %d series, %d rounds of each, in %s\n", options.files, options.series,
              rounds, exam.c_str());

  slicery::platform::RealFileSystem fileSystem;
  slicery::platform::RealClock clock;
  for (const bool folders : {false, true}) {
    slicery::app::Form1 form(fileSystem, clock);
    slicery::qt::MainWindow window(form);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    QWidget* frame1 = window.findChild<QWidget*>(QStringLiteral("Frame1"));
    auto* start = window.findChild<QPushButton*>(QStringLiteral("btnstart"));
    if (folders) QTest::mouseClick(window.findChild<QCheckBox*>("Check2"), Qt::LeftButton);
    const auto run = [&] {
      slicery::testing::dropOn(frame1, {exam});
      QTest::mouseClick(start, Qt::LeftButton);
      if (form.filesProcessed != options.files) std::abort();
    };

    // The same run with no view, to tell the window's own share.
    slicery::app::Form1 bare(fileSystem, clock);
    if (folders) bare.changeCheck(bare.Check2, 1);
    const auto runWithoutView = [&] {
      if (!bare.drop({exam})) std::abort();
      bare.pressStart();
      if (bare.filesProcessed != options.files) std::abort();
    };

    // A first run, not timed, shows which renames the window makes.
    freshExam();
    run();
    std::vector<std::string> madeFolders;
    const Renames renames = renamesMade(original, exam, madeFolders);
    if (form.filesRenamed != static_cast<int>(renames.size())) return 1;

    // Rounds of the two alternate, so a busy machine slows both alike.
    std::vector<double> baselineTimes, windowTimes, bareTimes;
    for (int round = 0; round < rounds; ++round) {
      baselineTimes.push_back(slicery::bench::medianSeconds(
          1, [&] { slicery::bench::plainRenames(fileSystem, madeFolders, renames); }, freshExam));
      windowTimes.push_back(slicery::bench::medianSeconds(1, run, freshExam));
      bareTimes.push_back(slicery::bench::medianSeconds(1, runWithoutView, freshExam));
    }
    std::printf("\n%s (%zu renames):\n", folders ? "into series folders" : "in place",
                renames.size());
    slicery::bench::reportRounds("window: drop + Start", windowTimes, "renameat2 loop",
                                 baselineTimes, 1.3);
    const double windowMedian = slicery::bench::spreadOf(windowTimes).median;
    const double bareMedian = slicery::bench::spreadOf(bareTimes).median;
    std::printf("%-28s median %.4f s: the window adds %.0f%%\n", "same run without a view",
                bareMedian, 100.0 * (windowMedian / bareMedian - 1.0));
  }
  return 0;
}
