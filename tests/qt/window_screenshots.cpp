// window-screenshots OUTDIR: saves PNG pictures of the window at open, after a
// folder load and after a run over a generated exam, and of the preview, the
// question Esc asks during a run, the message an undo ends with and the
// exams dialog over a tree, for people to look at.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <utility>

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

  // Runs keep their journal in the scratch folder, so Ctrl+Z can undo.
  qputenv("XDG_STATE_HOME", (scratch.path() + QStringLiteral("/state")).toLocal8Bit());
  slicery::platform::RealFileSystem fs;
  slicery::platform::RealClock clock;
  slicery::app::Form1 form(fs, clock);
  form.setJournaling(true);
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
  // Each dialog is saved under the next of `expected` (name and the button
  // that answers it; closed when there is none): run from ctest, this must
  // never wait for a person.
  std::deque<std::pair<QString, QString>> expected;
  int unexpected = 0;
  QTimer answer;
  answer.setInterval(20);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    // The exams dialog while its batch works: its Close waits.
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
      if (button->text() == QStringLiteral("Close") && !button->isEnabled()) return;
    }
    auto [name, reply] = expected.empty()
                             ? std::pair(QStringLiteral("message-%1").arg(++unexpected), QString())
                             : expected.front();
    if (!expected.empty()) expected.pop_front();
    const QString file = out + QLatin1Char('/') + name + QStringLiteral(".png");
    if (dialog->grab().save(file)) std::printf("%s\n", qPrintable(file));
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
      if (!reply.isEmpty() && button->text().remove(QLatin1Char('&')) == reply) {
        // Start's work asks questions of its own, which this timer answers
        // once its slot has returned.
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
        return;
      }
    }
    dialog->reject();
  });
  answer.start();

  save("1-open.png");
  slicery::testing::dropOn(window.findChild<QWidget*>(QStringLiteral("Frame1")), {exam});
  save("2-loaded.png");
  QTest::mouseClick(window.findChild<QCheckBox*>(QStringLiteral("Check2")), Qt::LeftButton);
  QTest::mouseClick(window.findChild<QCheckBox*>(QStringLiteral("Check4")), Qt::LeftButton);
  expected = {{QStringLiteral("4-preview"), {}}};
  window.openPreview();
  QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("btnstart")), Qt::LeftButton);
  QCoreApplication::processEvents();
  save("3-after-run.png");

  // Ctrl+Z, answered Yes.
  expected = {{QStringLiteral("5-undo-question"), QStringLiteral("Yes")},
              {QStringLiteral("6-undo-message"), {}}};
  window.undo();

  // A larger exam, whose run paints often enough to be stopped by Esc
  // halfway.
  const std::string large = (scratch.path() + QStringLiteral("/large")).toStdString();
  QDir().mkpath(QString::fromStdString(large));
  options.files = 2000;
  options.imageSide = 4;
  slicery::tools::writeExam(large, options);
  slicery::testing::dropOn(window.findChild<QWidget*>(QStringLiteral("Frame1")), {large});
  expected = {{QStringLiteral("7-stop-question"), QStringLiteral("Stop")},
              {QStringLiteral("8-run-stopped"), {}}};
  window.activateWindow();
  if (!QTest::qWaitForWindowActive(&window)) return 1;
  QTimer halfway;
  halfway.setInterval(0);
  QObject::connect(&halfway, &QTimer::timeout, [&] {
    if (form.filesProcessed < options.files / 2) return;
    halfway.stop();
    QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
  });
  halfway.start();
  window.start();

  // A tree of three exams: the exams dialog, its summary, and its rows after
  // the batch.
  const QString tree = scratch.path() + QStringLiteral("/study");
  options.files = 60;
  options.imageSide = 1;
  for (const char* folder : {"/patient-1/head", "/patient-1/knee", "/patient-2"}) {
    QDir().mkpath(tree + QLatin1String(folder));
    slicery::tools::writeExam((tree + QLatin1String(folder)).toStdString(), options);
  }
  expected = {{QStringLiteral("9-exams"), QStringLiteral("Start")},
              {QStringLiteral("10-exams-summary"), {}},
              {QStringLiteral("11-exams-done"), {}}};
  slicery::testing::dropOn(window.findChild<QWidget*>(QStringLiteral("Frame1")),
                           {tree.toStdString()});
  if (!expected.empty()) {
    std::fprintf(stderr, "window-screenshots: %s was not shown\n",
                 qPrintable(expected.front().first));
    return 1;
  }
  return 0;
}
