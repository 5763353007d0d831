// The exams dialog in the Qt window: a dropped tree lists its exams, Start
// runs the ticked ones and tells a summary, Esc stops the batch with the
// exams after it untouched, and Ctrl+Z undoes the whole batch.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>
#include <map>
#include <string>

#include "exams_dialog.h"
#include "main_window.h"
#include "support/memory_file_system.h"
#include "support/temp_folder.h"
#include "value_label.h"
#include "window_driver.h"

namespace slicery::qt {
namespace {

using Files = std::map<std::string, std::string>;

// Lets a test look at the window while a search lists folders.
class WatchedFileSystem : public testing::MemoryFileSystem {
 public:
  platform::Status listEntriesMarked(const std::string& folder, Entries& entries,
                                     std::vector<bool>& hidden) override {
    if (onList) onList(folder);
    return MemoryFileSystem::listEntriesMarked(folder, entries, hidden);
  }
  std::function<void(const std::string&)> onList;
};

class WindowExamsTest : public ::testing::Test {
 protected:
  WindowExamsTest() {
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    for (const char* exam : {"/tree/a", "/tree/b/exam", "/tree/c"}) {
      fs.addFolder(exam);
      for (const char* name : {"P.MR.S.1.1.IMA", "P.MR.S.1.2.IMA", "P.MR.S.2.1.IMA"}) {
        fs.addFile(std::string(exam) + "/" + name, name);
      }
    }
    before = fs.filesUnder("/tree");
    form.setJournaling(true);
    form.setCheck(form.Check2, 1);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
  // Drops the tree and runs `drive` on the exams dialog once it shows.
  void dropTree(const std::function<void(ExamsDialog&)>& drive) {
    shown = 0;
    window.onExams = [&](QDialog* dialog) {
      ++shown;
      drive(*static_cast<ExamsDialog*>(dialog));
      dialog->reject();
    };
    testing::dropOn(window.findChild<QWidget*>("Frame1"), {"/tree"});
  }
  QString outcome(ExamsDialog& dialog, int row) { return dialog.rows()->item(row, 4)->text(); }

  testing::TempFolder state;
  WatchedFileSystem fs;
  platform::SettableClock clock;
  app::Form1 form{fs, clock};
  MainWindow window{form};
  testing::MessageCatcher messages;
  Files before;
  int shown = 0;
};

TEST_F(WindowExamsTest, StartRunsTheTickedExamsAndCtrlZUndoesTheBatch) {
  dropTree([&](ExamsDialog& dialog) {
    // The search's busy cursor and count are gone once it has ended.
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(window.findChild<ValueLabel*>("lblcurrentfolder")->text(), "");
    EXPECT_EQ(dialog.windowTitle(), "Slicery - Exams");
    ASSERT_EQ(dialog.rows()->rowCount(), 3);
    EXPECT_EQ(dialog.rows()->item(1, 0)->text(), "b/exam");
    EXPECT_EQ(dialog.rows()->item(1, 3)->text(), "no run on record");
    dialog.rows()->item(2, 0)->setCheckState(Qt::Unchecked);
    QTest::mouseClick(dialog.startButton(), Qt::LeftButton);
    EXPECT_EQ(outcome(dialog, 0), "done: 3 of 3 files renamed or moved");
    EXPECT_EQ(outcome(dialog, 2), "");
    EXPECT_EQ(dialog.progress()->value(), dialog.progress()->maximum());
    EXPECT_FALSE(dialog.startButton()->isEnabled());
  });
  ASSERT_EQ(shown, 1);
  ASSERT_EQ(messages.seen.size(), 1u);
  EXPECT_TRUE(messages.seen[0].text.startsWith("Batch: 2 exams done, 0 failed, 0 not started."));
  EXPECT_EQ(fs.filesUnder("/tree/c"), Files(before.find("/tree/c/P.MR.S.1.1.IMA"), before.end()));
  EXPECT_NE(fs.filesUnder("/tree"), before);
  EXPECT_EQ(form.File2.path(), "/tree/b/exam");  // the main window shows the last exam

  messages.answer = "Yes";
  window.onExams = [&](QDialog* dialog) {
    ++shown;
    EXPECT_EQ(outcome(*static_cast<ExamsDialog*>(dialog), 0), "undone: 3 names put back");
    dialog->reject();
  };
  for (QShortcut* shortcut : window.findChildren<QShortcut*>()) {
    if (shortcut->key() == QKeySequence(Qt::CTRL | Qt::Key_Z)) emit shortcut->activated();
  }
  EXPECT_EQ(shown, 2);
  ASSERT_EQ(messages.seen.size(), 3u);
  EXPECT_TRUE(messages.seen[1].text.startsWith("Undo the last batch? It changed 2 exams"));
  EXPECT_TRUE(messages.seen[2].text.startsWith("Batch undo: 2 exams undone"));
  EXPECT_EQ(fs.filesUnder("/tree"), before);
}

TEST_F(WindowExamsTest, ASearchShowsTheBusyCursorAndTheFoldersSearchedSoFar) {
  bool busy = false;
  QString during;
  fs.onList = [&](const std::string& folder) {
    if (folder != "/tree/b") return;  // the third folder searched
    const QCursor* cursor = QApplication::overrideCursor();
    busy = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
    during = window.findChild<ValueLabel*>("lblcurrentfolder")->text();
  };
  dropTree([](ExamsDialog&) {});
  fs.onList = nullptr;
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(busy);
  EXPECT_TRUE(during.startsWith("Searching for exams: ")) << during.toStdString();
}

TEST_F(WindowExamsTest, EscStopsTheBatchAndLeavesTheRestUntouched) {
  messages.answer = "Stop";
  dropTree([&](ExamsDialog& dialog) {
    bool pressed = false;
    QObject::connect(dialog.progress(), &QProgressBar::valueChanged, &dialog, [&](int value) {
      if (value > 0 && !pressed) {
        pressed = true;
        QTest::keyClick(&dialog, Qt::Key_Escape);
      }
    });
    QTest::mouseClick(dialog.startButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());  // Esc stopped the work, not the dialog
    EXPECT_TRUE(outcome(dialog, 0).startsWith("stopped"));
    EXPECT_EQ(outcome(dialog, 1), "not started");
    EXPECT_EQ(outcome(dialog, 2), "not started");
  });
  ASSERT_EQ(messages.seen.size(), 2u);
  EXPECT_EQ(messages.seen[0].text, "Stop the run after the file in hand?");
  EXPECT_TRUE(messages.seen[1].text.contains("Not started:\n  b/exam\n  c"));
  EXPECT_EQ(fs.filesUnder("/tree/b"), Files(before.find("/tree/b/exam/P.MR.S.1.1.IMA"),
                                            before.find("/tree/c/P.MR.S.1.1.IMA")));
}

}  // namespace
}  // namespace slicery::qt
