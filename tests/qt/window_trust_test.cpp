// What lets a user trust a run: the preview lists what the run then does and
// changes nothing; Esc, Exit and the close button stop a run after the file
// in hand, leaving a journal Ctrl+Z undoes; the context menu offers only what
// applies; undo is not offered once the folder no longer holds the run's work.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include "app/form1.h"
#include "main_window.h"
#include "preview_dialog.h"
#include "support/memory_file_system.h"
#include "support/temp_folder.h"
#include "window_driver.h"

namespace slicery::qt {
namespace {

using testing::MemoryFileSystem;
using Files = std::map<std::string, std::string>;

// A memory file system that runs a hook before each file rename.
class HookedRenames : public MemoryFileSystem {
 public:
  std::function<void()> onRename;
  int renames = 0;
  platform::Status renameFile(const std::string& from, const std::string& to) override {
    ++renames;
    if (onRename) onRename();
    return MemoryFileSystem::renameFile(from, to);
  }
};

// Calls `act` with the modal widget of type W once it shows.
template <typename W>
void whenShown(std::function<void(W*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (auto* shown = dynamic_cast<W*>(QApplication::activeModalWidget())) {
      timer->deleteLater();
      timer->stop();
      act(shown);
    }
  });
  timer->start();
}

class WindowTrustTest : public ::testing::Test {
 protected:
  WindowTrustTest() {
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    // Two studies in one folder: series 1 stands twice in the census, series
    // 2's slices get a zero, and a folder of an earlier run holds a name
    // one file would take.
    fs.addFolder("/exam/Series_S1");
    fs.addFile("/exam/Series_S1/" + image('P', 1, 2), "earlier");
    for (int slice = 1; slice <= 10; ++slice) addImage(image('P', 2, slice));
    addImage(image('P', 1, 1));
    addImage(image('P', 1, 2));
    addImage(image('Q', 1, 1));
    before = fs.filesUnder("/exam");
    form.setJournaling(true);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    testing::dropOn(window.findChild<QWidget*>("Frame1"), {"/exam"});
    QTest::mouseClick(window.findChild<QWidget*>("Check2"), Qt::LeftButton);
  }
  // The name an export gives to one image of a study.
  static std::string image(char study, int series, int slice) {
    return std::string(1, study) + ".MR.HEAD." + std::to_string(series) + "." +
           std::to_string(slice) + ".2024.01.02.03.04.05.123456.1234567.IMA";
  }
  void addImage(const std::string& name) { fs.addFile("/exam/" + name, name); }
  // A key pressed in the window, made active again after a message.
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, key, modifiers);
  }
  QString lastMessage() const { return messages.seen.empty() ? "" : messages.seen.back().text; }
  // The enabled state of each command of the context menu, opened by a
  // right click through the window system.
  std::map<QString, bool> commandMenu(const QString& choose = {}) {
    std::map<QString, bool> enabled;
    window.onCommandMenu = [&](QMenu* menu) {
      for (QAction* action : menu->actions()) {
        const QString name = action->text().section(QLatin1Char('\t'), 0, 0);
        enabled[name] = action->isEnabled();
        if (name == choose) menu->setActiveAction(action);
      }
      QTest::keyClick(menu, choose.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
    };
    QTest::mouseClick(window.windowHandle(), Qt::RightButton, {},
                      testing::pointOn(window.findChild<QWidget*>("Frame2")));
    QTest::qWait(20);
    return enabled;
  }

  testing::TempFolder state;
  HookedRenames fs;
  platform::SettableClock clock;
  app::Form1 form{fs, clock};
  MainWindow window{form};
  testing::MessageCatcher messages;
  QString& answer = messages.answer;
  Files before;
};

TEST_F(WindowTrustTest, PreviewListsWhatStartThenDoesAndChangesNothing) {
  std::vector<app::PreviewStep> steps;
  QString summary;
  whenShown<PreviewDialog>([&](PreviewDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Slicery - Preview");
    const auto* model = dialog->steps()->model();
    EXPECT_EQ(model->rowCount(), 14);  // 3 files, a folder made, 10 files
    summary = dialog->findChild<QLabel*>("summary")->text();
    EXPECT_EQ(fs.filesUnder("/exam"), before);
    EXPECT_EQ(fs.renames, 0);
    steps = form.preview().steps;
    QTest::mouseClick(dialog->findChild<QPushButton*>("start"), Qt::LeftButton);
  });
  press(Qt::Key_P, Qt::ControlModifier);
  EXPECT_TRUE(summary.contains("rename or move 12")) << summary.toStdString();
  EXPECT_TRUE(summary.contains("1 step is foreseen to fail")) << summary.toStdString();

  // Where each image should be, by the preview's steps taken in order.
  Files expected = before;
  for (const app::PreviewStep& step : steps) {
    if (step.kind != app::PreviewStep::Kind::rename || !step.failure.empty()) continue;
    auto moved = expected.extract("/exam/" + step.from);
    ASSERT_FALSE(moved.empty()) << step.from;
    moved.key() = "/exam/" + step.to;
    ASSERT_TRUE(expected.insert(std::move(moved)).inserted) << step.to;
  }
  EXPECT_EQ(fs.filesUnder("/exam"), expected);                 // the preview's Start ran
  EXPECT_EQ(expected.count("/exam/" + image('P', 1, 2)), 1u);  // its name is taken
  EXPECT_EQ(expected.count("/exam/Series_S2/" + image('P', 2, 10)), 1u);
  EXPECT_EQ(expected.count("/exam/Series_S2/P.MR.HEAD.2.01.2024.01.02.03.04.05.123456.1234567.IMA"),
            1u);
}

TEST_F(WindowTrustTest, EscStopsAfterTheFileInHandAndCtrlZPutsTheFolderBack) {
  answer = "Stop";
  fs.onRename = [&] {
    if (fs.renames == 4) QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
  };
  window.start();
  ASSERT_GE(messages.seen.size(), 2u);
  EXPECT_EQ(messages.seen[0].text, "Stop the run after the file in hand?");
  EXPECT_EQ(fs.renames, 4);  // the file in hand, and no more
  EXPECT_EQ(form.Label6.text(), "4");
  EXPECT_EQ(form.lbltimetaken.text(), "0 Seconds");
  EXPECT_TRUE(lastMessage().startsWith("The run was stopped after 4 of 13 files"));
  EXPECT_EQ(form.lastRun().state, journal::LastRun::State::unfinished);

  // An undo stopped after its first file (the newest the run moved) keeps
  // the journal for the rest.
  EXPECT_TRUE(commandMenu()["Undo last run"]);
  fs.renames = 0;
  fs.onRename = [&] {
    if (fs.renames > 1) return;
    answer = "Stop";
    // Active again once the question has gone, as a window system makes it.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
  };
  answer = "Yes";
  press(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(fs.renames, 1);
  EXPECT_EQ(messages.seen[messages.seen.size() - 2].text, "Stop the undo after the file in hand?");
  EXPECT_TRUE(lastMessage().startsWith("The undo was stopped.")) << lastMessage().toStdString();
  EXPECT_TRUE(lastMessage().endsWith("Press Ctrl+Z to undo the rest."));

  // The menu still offers the undo; Yes puts every name back and says so.
  EXPECT_TRUE(commandMenu()["Undo last run"]);
  answer = "Yes";
  fs.onRename = nullptr;
  press(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(fs.filesUnder("/exam"), before);
  EXPECT_EQ(lastMessage(), "In /exam, 2 names were put back and 1 series folder removed.");
  EXPECT_EQ(form.lbltotalfiles.text(), "2");
  EXPECT_EQ(form.prgtotal.value(), form.prgtotal.maximum());
}

TEST_F(WindowTrustTest, CloseAndExitAskAndCloseOnlyAfterStopping) {
  answer = "Continue";
  fs.onRename = [&] {
    if (fs.renames == 2) window.close();
    if (fs.renames == 3) {
      QWidget* exit = window.findChild<QWidget*>("btnExit");
      QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, testing::pointOn(exit));
    }
  };
  window.start();
  ASSERT_GE(messages.seen.size(), 2u);
  for (size_t i : {0, 1}) EXPECT_EQ(messages.seen[i].text, "Stop the run after the file in hand?");
  EXPECT_EQ(form.filesProcessed, 13);  // went on to the end
  EXPECT_TRUE(window.isVisible());
}

TEST_F(WindowTrustTest, TheCloseButtonAnsweredStopClosesOnceTheRunStopped) {
  answer = "Stop";
  fs.onRename = [&] {
    if (fs.renames == 1) window.close();
  };
  window.start();
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(fs.renames, 1);
  EXPECT_EQ(form.lastRun().state, journal::LastRun::State::unfinished);
}

TEST_F(WindowTrustTest, TheMenuOffersWhatAppliesAndNoUndoOfAReplacedFolder) {
  using Menu = std::map<QString, bool>;
  const QString open = QString::fromUtf8("Open folder\u2026");
  const QString preview = QString::fromUtf8("Preview\u2026");
  EXPECT_EQ(commandMenu(),
            (Menu{{open, true}, {preview, true}, {"Undo last run", false}, {"Stop", false}}));

  // During the run only Stop applies, and it stops.
  answer = "Stop";
  Menu during;
  fs.onRename = [&] {
    if (fs.renames == 1) during = commandMenu("Stop");
  };
  window.start();
  EXPECT_EQ(during,
            (Menu{{open, false}, {preview, false}, {"Undo last run", false}, {"Stop", true}}));
  EXPECT_EQ(fs.renames, 1);

  // The folder replaced by a fresh copy holds nothing of the run.
  fs.remove("/exam");
  fs.addFolder("/exam/Series_S1");
  for (const auto& [path, contents] : before) fs.addFile(path, contents);
  EXPECT_FALSE(commandMenu()["Undo last run"]);
  const size_t shown = messages.seen.size();
  press(Qt::Key_Z, Qt::ControlModifier);
  ASSERT_EQ(messages.seen.size(), shown + 1);
  EXPECT_TRUE(lastMessage().startsWith("Nothing to undo on /exam")) << lastMessage().toStdString();
  EXPECT_EQ(messages.seen.back().buttons, QMessageBox::Ok);  // no question
}

TEST_F(WindowTrustTest, AParentOfExamsOpensTheExamsDialogWithTheExamsBelow) {
  fs.addFolder("/parent/empty");
  fs.addFolder("/parent/.hidden");
  fs.addFile("/parent/.hidden/P.MR.S.1.1.IMA");
  fs.addFolder("/parent/knee");
  fs.addFile("/parent/knee/P.MR.S.1.1.IMA");
  const size_t told = messages.seen.size();
  QStringList rows;
  window.onExams = [&rows](QDialog* dialog) {
    const auto* table = dialog->findChild<QTableWidget*>("exams");
    for (int r = 0; table != nullptr && r < table->rowCount(); ++r) {
      rows << table->item(r, 0)->text();
    }
    dialog->reject();
  };
  testing::dropOn(window.findChild<QWidget*>("Frame1"), {"/parent"});
  EXPECT_EQ(rows, QStringList{"knee"});  // hidden folders are left out
  EXPECT_EQ(messages.seen.size(), told);
  testing::dropOn(window.findChild<QWidget*>("Frame1"), {"/parent/empty"});
  EXPECT_TRUE(lastMessage().startsWith("/parent/empty holds no .ima files. Drop the folder"));
}

}  // namespace
}  // namespace slicery::qt
