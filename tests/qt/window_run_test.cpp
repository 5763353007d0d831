// Runs through the window: a generated exam renamed on disk, the window
// painting while a long run works, and the messages a run leads to.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "app/form1.h"
#include "exam.h"
#include "main_window.h"
#include "platform/real_file_system.h"
#include "support/memory_file_system.h"
#include "support/temp_folder.h"
#include "window_driver.h"

namespace slicery::qt {
namespace {

using testing::MemoryFileSystem;
using testing::MessageCatcher;

// Shows `window` and offers its controls by name.
class Shown {
 public:
  explicit Shown(MainWindow& window) : window_(window) {
    window_.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }
  template <typename W = QWidget>
  W* get(const char* name) const {
    W* found = window_.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QWidget* operator()(const char* name) const { return get(name); }
  QString text(const char* label) const { return get<QLabel>(label)->text(); }
  void click(const char* name) const { QTest::mouseClick((*this)(name), Qt::LeftButton); }

 private:
  MainWindow& window_;
};

// The name a 14-piece exam name gets with `width`-digit series and slices
// that are not padded.
std::string paddedSeriesName(const std::string& name, int width) {
  std::vector<std::string> pieces;
  size_t from = 0;
  for (size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.', from)) {
    pieces.push_back(name.substr(from, dot - from));
    from = dot + 1;
  }
  pieces.push_back(name.substr(from));
  pieces[3].insert(0, static_cast<size_t>(width) - pieces[3].size(), '0');
  std::string joined;
  for (const std::string& piece : pieces) joined += (joined.empty() ? "" : ".") + piece;
  return joined;
}

TEST(WindowRunTest, RenamesAGeneratedExamIntoSeriesFolders) {
  testing::TempFolder temp;
  const std::string exam = temp.mkdir("exam");
  tools::ExamOptions options;
  options.files = 60;  // 12 series of 5 files: series padded to 2 digits
  options.series = 12;
  tools::writeExam(exam, options);

  platform::RealFileSystem fs;
  platform::SettableClock clock(1000.4);
  app::Form1 form(fs, clock);
  MainWindow window(form);
  Shown w(window);
  MessageCatcher messages;

  testing::dropOn(w("lblcurrentfolder"), {exam});
  EXPECT_EQ(w.text("lblcountoffiles"), "60");
  EXPECT_EQ(w.text("lblseriesnum"), "12");
  w.click("Check2");
  w.click("btnstart");

  EXPECT_TRUE(messages.seen.empty());
  EXPECT_EQ(w.text("lblcurrentfolder"), QString::fromStdString(exam));
  EXPECT_EQ(w.text("lblcountoffiles"), "60");
  EXPECT_EQ(w.text("lblseriesnum"), "0");  // every file moved out of the folder
  EXPECT_EQ(w.text("Label6"), "60");
  EXPECT_EQ(w.text("lbltotalfiles"), "60");
  EXPECT_EQ(w.text("lbltimetaken"), "0 Seconds");
  for (const char* cleared :
       {"lblcurrentseries", "lblcurrentslice", "lbloldfilename", "lblnewfilename", "Label3"}) {
    EXPECT_EQ(w.text(cleared), "") << cleared;
  }
  EXPECT_EQ(w.get<QProgressBar>("prgtotal")->maximum(), 60);
  EXPECT_EQ(w.get<QProgressBar>("prgtotal")->value(), 60);
  EXPECT_EQ(w.get<QProgressBar>("PRGSeries")->maximum(), 5);
  EXPECT_EQ(w.get<QProgressBar>("PRGSeries")->value(), 5);
  EXPECT_TRUE(w("btnstart")->isEnabled());

  std::set<std::string> expected;
  for (const tools::ExamFile& file : tools::planExam(options)) {
    std::string series = file.series < 10 ? "0" : "";
    series += std::to_string(file.series);
    expected.insert(exam + "/Series_S" + series + "/" + paddedSeriesName(file.name, 2));
  }
  std::set<std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(exam)) {
    if (entry.is_regular_file()) found.insert(entry.path().string());
  }
  EXPECT_EQ(found, expected);

  // Nothing is left to rename: Start says so.
  w.click("btnstart");
  ASSERT_EQ(messages.seen.size(), 1u);
  EXPECT_EQ(messages.seen[0].text, "No IMA Files!");
}

// A memory file system whose renames take a while, as on a slow disk.
class SlowFileSystem : public MemoryFileSystem {
 public:
  std::function<void()> onRename;
  platform::Status renameFile(const std::string& from, const std::string& to) override {
    if (onRename) onRename();
    return MemoryFileSystem::renameFile(from, to);
  }
};

TEST(WindowRunTest, KeepsPaintingWhileALongRunWorks) {
  SlowFileSystem fs;
  fs.addFolder("/big");
  tools::ExamOptions options;
  options.files = 3000;
  options.series = 3;
  for (const tools::ExamFile& file : tools::planExam(options)) fs.addFile("/big/" + file.name);
  fs.onRename = [] { std::this_thread::sleep_for(std::chrono::microseconds(100)); };

  platform::SettableClock clock;
  app::Form1 form(fs, clock);
  MainWindow window(form);
  Shown w(window);
  testing::dropOn(w("Frame1"), {"/big"});

  // Every time Label6 is painted during the run: when, and what it showed.
  struct Paint {
    qint64 ms;
    int shown;
  };
  std::vector<Paint> paints;
  QElapsedTimer clockOfRun;
  auto* label6 = w.get<QLabel>("Label6");
  auto* watcher = new testing::PaintWatcher(label6, [&] {
    if (form.busy()) paints.push_back({clockOfRun.elapsed(), label6->text().toInt()});
  });

  clockOfRun.start();
  w.click("btnstart");
  const qint64 runMs = clockOfRun.elapsed();
  delete watcher;

  EXPECT_EQ(w.text("Label6"), "3000");
  ASSERT_GE(paints.size(), 4u) << "run took " << runMs << " ms";
  qint64 before = 0;
  int lastShown = 0;
  qint64 longestGap = 0;
  for (const Paint& paint : paints) {
    longestGap = std::max(longestGap, paint.ms - before);
    EXPECT_GE(paint.shown, lastShown);
    before = paint.ms;
    lastShown = paint.shown;
  }
  longestGap = std::max(longestGap, runMs - before);
  // Painted at least every 25 ms; the bound leaves room for a busy machine.
  EXPECT_LT(longestGap, 400) << paints.size() << " paints in " << runMs << " ms";
  EXPECT_GT(lastShown, 0);
  EXPECT_LT(paints.front().shown, 3000);
}

TEST(WindowRunTest, ARunWithFailedRenamesEndsWithOneReport) {
  MemoryFileSystem fs;
  fs.addFolder("/exam");
  for (const char* name : {"P.MR.S.1.1.IMA", "P.MR.S.1.2.IMA", "P.MR.S.2.1.IMA"}) {
    fs.addFile(std::string("/exam/") + name);
  }
  fs.failOn(MemoryFileSystem::Op::renameFile, "/exam/P.MR.S.1.2.IMA", "Read-only file system",
            EROFS);
  platform::SettableClock clock;
  app::Form1 form(fs, clock);
  MainWindow window(form);
  Shown w(window);
  MessageCatcher messages;
  QString timeShownWithReport;
  messages.onShown = [&] { timeShownWithReport = w.text("lbltimetaken"); };

  testing::dropOn(w("Frame1"), {"/exam"});
  w.click("Check2");
  w.click("btnstart");
  ASSERT_EQ(messages.seen.size(), 1u);
  EXPECT_EQ(timeShownWithReport, "0 Seconds");  // the report follows the run's end
  EXPECT_EQ(messages.seen[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(messages.seen[0].text.startsWith("1 file or folder in /exam could not be renamed"));
  EXPECT_EQ(messages.seen[0].informative,
            "P.MR.S.1.2.IMA -> Series_S1/P.MR.S.1.2.IMA: Read-only file system");
  EXPECT_TRUE(fs.exists("/exam/P.MR.S.1.2.IMA"));
  EXPECT_TRUE(fs.exists("/exam/Series_S1/P.MR.S.1.1.IMA"));
}

}  // namespace
}  // namespace slicery::qt
