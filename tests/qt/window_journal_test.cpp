// The window and the run journal: a dropped folder whose last run did not
// finish is offered Finish, Undo or Cancel; Ctrl+Z offers to undo the last
// run and says how many files it renamed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QShortcut>
#include <QTest>
#include <atomic>
#include <cstdlib>
#include <map>
#include <string>

#include "app/form1.h"
#include "main_window.h"
#include "support/memory_file_system.h"
#include "support/recording_view.h"
#include "support/temp_folder.h"
#include "window_driver.h"

namespace slicery::qt {
namespace {

using testing::MemoryFileSystem;
using Files = std::map<std::string, std::string>;

class WindowJournalTest : public ::testing::Test {
 protected:
  WindowJournalTest() {
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    fs.addFolder("/exam");
    for (const char* name : {"P.MR.S.1.1.IMA", "P.MR.S.1.2.IMA", "P.MR.S.2.1.IMA"}) {
      fs.addFile(std::string("/exam/") + name, name);
    }
    before = fs.filesUnder("/exam");
    form.setJournaling(true);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  // A run into series folders, stopped after its first file.
  void interruptedRun(MemoryFileSystem& disk) {
    app::Form1 other(disk, clock);
    testing::RecordingView view;
    std::atomic<bool> stop{false};
    view.onFileRenamed = [&](const std::string&, const std::string&) { stop = true; };
    other.setView(&view);
    other.setJournaling(true);
    other.setStopFlag(&stop);
    ASSERT_TRUE(other.drop({"/exam"}));
    other.changeCheck(other.Check2, 1);
    other.pressStart();
  }
  void pressCtrlZ() {
    QShortcut* undo = nullptr;
    for (QShortcut* shortcut : window.findChildren<QShortcut*>()) {
      if (shortcut->key() == QKeySequence(Qt::CTRL | Qt::Key_Z)) undo = shortcut;
    }
    ASSERT_NE(undo, nullptr);
    emit undo->activated();
  }
  void drop() { testing::dropOn(window.findChild<QWidget*>("Frame1"), {"/exam"}); }

  testing::TempFolder state;
  MemoryFileSystem fs;
  platform::SettableClock clock;
  app::Form1 form{fs, clock};
  MainWindow window{form};
  testing::MessageCatcher messages;
  QString& answer = messages.answer;
  Files before;
};

TEST_F(WindowJournalTest, UnfinishedRunIsCancelledFinishedOrUndone) {
  MemoryFileSystem whole = fs;
  {
    app::Form1 other(whole, clock);
    ASSERT_TRUE(other.drop({"/exam"}));
    other.changeCheck(other.Check2, 1);
    other.pressStart();
  }
  interruptedRun(fs);
  const Files interrupted = fs.filesUnder("/exam");
  ASSERT_NE(interrupted, before);

  answer = "Cancel";
  drop();
  ASSERT_EQ(messages.seen.size(), 1u);
  EXPECT_EQ(messages.seen[0].title, "Unfinished Run");
  EXPECT_EQ(fs.filesUnder("/exam"), interrupted);
  EXPECT_EQ(form.lblcurrentfolder.text(), "/exam");  // loaded as usual

  // A finish ends telling what the run did in all.
  answer = "Finish";
  drop();
  ASSERT_EQ(messages.seen.size(), 3u);
  EXPECT_EQ(messages.seen[2].title, "Run Finished");
  EXPECT_NE(messages.seen[2].text.indexOf("3 of 3 files renamed or moved"), -1)
      << messages.seen[2].text.toStdString();
  EXPECT_EQ(fs.filesUnder("/exam"), whole.filesUnder("/exam"));

  // Ctrl+Z, answered No, then Yes.
  answer = "No";
  pressCtrlZ();
  ASSERT_EQ(messages.seen.size(), 4u);
  EXPECT_NE(messages.seen[3].text.indexOf("3 files"), -1) << messages.seen[3].text.toStdString();
  EXPECT_EQ(fs.filesUnder("/exam"), whole.filesUnder("/exam"));
  answer = "Yes";
  pressCtrlZ();
  EXPECT_EQ(fs.filesUnder("/exam"), before);
  EXPECT_EQ(fs.kindAt("/exam/Series_S1"), platform::PathKind::missing);

  interruptedRun(fs);
  answer = "Undo";
  drop();
  EXPECT_EQ(fs.filesUnder("/exam"), before);
  EXPECT_EQ(form.lblcountoffiles.text(), "3");
}

}  // namespace
}  // namespace slicery::qt
