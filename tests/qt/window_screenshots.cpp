// window-screenshots OUTDIR: saves PNG pictures of the window at open, after a
// folder load and after a run over a generated exam, for people to look at.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "app/form1.h"
#include "exam.h"
#include "main_window.h"
#include "platform/clock.h"
#include "platform/real_file_system.h"
#include "window_driver.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: window-screenshots OUTDIR\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QTemporaryDir scratch;
  if (!QDir().mkpath(out) || !scratch.isValid()) return 1;
  const std::string exam = (scratch.path() + QStringLiteral("/exam")).toStdString();
  QDir().mkpath(QString::fromStdString(exam));
  slicery::tools::ExamOptions options;
  options.files = 240;
  options.series = 12;
  slicery::tools::writeExam(exam, options);

  slicery::platform::RealFileSystem fs;
  slicery::platform::RealClock clock;
  slicery::app::Form1 form(fs, clock);
  slicery::qt::MainWindow window(form);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;

  const auto save = [&](const char* name) {
    const QString file = out + QLatin1Char('/') + QLatin1String(name);
    if (!window.grab().save(file)) {
      std::fprintf(stderr, "window-screenshots: cannot write %s\n", qPrintable(file));
      std::exit(1);
    }
    std::printf("%s\n", qPrintable(file));
  };
  // A message box the run ends with is saved too, then closed: run from
  // ctest, this must never wait for a person.
  QTimer answer;
  answer.setInterval(20);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    const QString file = out + QStringLiteral("/4-message.png");
    if (box->grab().save(file)) std::printf("%s\n", qPrintable(file));
    box->accept();
  });
  answer.start();

  save("1-open.png");
  slicery::testing::dropOn(window.findChild<QWidget*>(QStringLiteral("Frame1")), {exam});
  save("2-loaded.png");
  QTest::mouseClick(window.findChild<QCheckBox*>(QStringLiteral("Check2")), Qt::LeftButton);
  QTest::mouseClick(window.findChild<QCheckBox*>(QStringLiteral("Check4")), Qt::LeftButton);
  QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("btnstart")), Qt::LeftButton);
  QCoreApplication::processEvents();
  save("3-after-run.png");
  return 0;
}
