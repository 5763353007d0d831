// Times the window's preview (Ctrl+P) of a 50,000-file, 100-series exam: the
// plan worked out as Start works it out, the dialog built over it, shown and
// painted; against the folder load through the same window (a drop) in the
// same run, in place and into series folders. The preview changes nothing,
// so every round works on the same exam. It reads the folder afresh as a load
// does and then works out the plan: the goal is three loads.
//
//   bench_preview [--rounds N] [--files N] [--series N]
#include <QApplication>
#include <QCheckBox>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/form1.h"
#include "bench_util.h"
#include "main_window.h"
#include "platform/clock.h"
#include "platform/real_file_system.h"
#include "preview_dialog.h"
#include "window_driver.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int rounds = 0;
  const slicery::tools::ExamOptions options = slicery::bench::windowExam(
      argc, argv,
      "usage: bench_preview [--rounds N] [--files N] [--series N]\n"
      "Times the window's preview (offscreen; 50,000 files in 100 series, 7 rounds,\n"
      "in place and into series folders) against a load of the same folder by a drop.\n",
      rounds);

  const slicery::bench::ScratchFolder scratch("slicery-bench-preview");
  const std::string exam = scratch.path() + "/exam";
  std::filesystem::create_directories(exam);
  slicery::tools::writeExam(exam, options);
  // The journal is looked up as the window looks it up, in a state folder
  // of the benchmark's own.
  ::setenv("XDG_STATE_HOME", (scratch.path() + "/state").c_str(), 1);
  std::printf("%d files in %d series, %d rounds of each, in %s\n", options.files, options.series,
              rounds, exam.c_str());

  slicery::platform::RealFileSystem fileSystem;
  slicery::platform::RealClock clock;
  for (const bool folders : {false, true}) {
    slicery::app::Form1 form(fileSystem, clock);
    form.setJournaling(true);
    slicery::qt::MainWindow window(form);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    QWidget* frame1 = window.findChild<QWidget*>(QStringLiteral("Frame1"));
    if (folders) QTest::mouseClick(window.findChild<QCheckBox*>("Check2"), Qt::LeftButton);
    const auto load = [&] {
      slicery::testing::dropOn(frame1, {exam});
      if (form.lblcountoffiles.text() != std::to_string(options.files)) std::abort();
    };
    int rows = 0;
    const auto preview = [&] {
      slicery::qt::PreviewDialog dialog(form.preview(), form.btnstart.enabled(), &window);
      dialog.show();
      if (!QTest::qWaitForWindowExposed(&dialog)) std::abort();
      QCoreApplication::processEvents();  // painted
      rows = dialog.steps()->model()->rowCount();
    };
    load();
    preview();  // once, not timed
    if (rows < options.files) return 1;

    std::vector<double> loadTimes, previewTimes;
    for (int round = 0; round < rounds; ++round) {
      loadTimes.push_back(slicery::bench::secondsOf(load));
      previewTimes.push_back(slicery::bench::secondsOf(preview));
    }
    std::printf("\n%s (%d rows):\n", folders ? "into series folders" : "in place", rows);
    slicery::bench::reportRounds("preview: Ctrl+P, shown", previewTimes, "load: drop", loadTimes,
                                 3.0);
  }
  return 0;
}
