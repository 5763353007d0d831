// The Qt window driven as a user drives it: what it shows at open, where
// drops land, the options clicked and typed, the keyboard, and the messages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QWindow>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "app/form1.h"
#include "main_window.h"
#include "support/memory_file_system.h"
#include "value_label.h"
#include "window_driver.h"

namespace slicery::qt {
namespace {

using testing::MemoryFileSystem;
using testing::MessageCatcher;
using testing::pointOn;

// A memory file system that runs a hook each time a folder is listed, that
// is, in the middle of a load.
class HookedFileSystem : public MemoryFileSystem {
 public:
  std::function<void()> onList;
  platform::Status listFiles(const std::string& folder, const platform::NameFilter& keep,
                             std::vector<std::string>& names) override {
    if (onList) onList();
    return MemoryFileSystem::listFiles(folder, keep, names);
  }
  platform::Status listEntries(const std::string& folder, Entries& entries) override {
    if (onList) onList();
    return MemoryFileSystem::listEntries(folder, entries);
  }
};

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() {
    fs.addFolder("/exam");
    for (const char* name : {"P.MR.S.1.1.IMA", "P.MR.S.1.2.IMA", "P.MR.S.2.1.IMA"}) {
      fs.addFile(std::string("/exam/") + name);
    }
    fs.addFolder("/other");
    fs.addFile("/other/P.MR.S.7.1.IMA");
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  }

  template <typename W = QWidget>
  W* widget(const char* name) {
    W* found = window.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QString shown(const char* label) { return widget<QLabel>(label)->text(); }

  HookedFileSystem fs;
  platform::SettableClock clock{500.0};
  app::Form1 form{fs, clock};
  MainWindow window{form};
};

// Where each control lies, in twips, relative to the control it lies in.
struct Placement {
  const char* name;
  const char* parent;
  int left, top, width, height;
};

const Placement kPlacements[] = {
    {"Frame1", "Form1", 120, 0, 14415, 6855},
    {"Check4", "Form1", 2280, 960, 3735, 255},
    {"PRGSeries", "Form1", 840, 5280, 7455, 375},
    {"prgtotal", "Form1", 840, 6000, 7455, 375},
    {"btnstart", "Frame1", 360, 360, 1215, 495},
    {"btnExit", "Frame1", 360, 960, 1215, 495},
    {"Check1", "Frame1", 2160, 240, 5415, 255},
    {"Check2", "Frame1", 2160, 600, 7575, 255},
    {"Label8", "Frame1", 6000, 960, 7455, 255},
    {"Check3", "Frame1", 2160, 1320, 1935, 255},
    {"Text1", "Frame1", 4200, 1320, 2895, 285},
    {"Label4", "Frame1", 7320, 1320, 5895, 255},
    {"Frame4", "Frame1", 360, 1560, 13696, 3135},
    {"Frame2", "Frame1", 360, 4800, 13695, 1815},
    {"Label1(0)", "Frame4", 1005, 240, 1335, 255},
    {"lblcurrentfolder", "Frame4", 2565, 240, 10335, 255},
    {"Label1(2)", "Frame4", 120, 600, 2295, 255},
    {"lblseriesnum", "Frame4", 2565, 600, 2055, 255},
    {"Label1(1)", "Frame4", 930, 960, 1455, 255},
    {"lblcountoffiles", "Frame4", 2565, 960, 2175, 255},
    {"Label1(3)", "Frame4", 285, 1320, 2175, 255},
    {"lblcurrentseries", "Frame4", 2565, 1320, 2175, 255},
    {"Label1(4)", "Frame4", 405, 1680, 1935, 255},
    {"lblcurrentslice", "Frame4", 2565, 1680, 1455, 255},
    {"Label1(5)", "Frame4", 1080, 2040, 1335, 255},
    {"lbloldfilename", "Frame4", 2565, 2040, 10335, 255},
    {"Label1(6)", "Frame4", 1005, 2400, 1335, 255},
    {"lblnewfilename", "Frame4", 2565, 2400, 10335, 255},
    {"Label2", "Frame4", 720, 2760, 1695, 255},
    {"Label3", "Frame4", 2565, 2760, 5775, 255},
    {"Label1(7)", "Frame2", 360, 240, 2655, 255},
    {"Label1(8)", "Frame2", 360, 960, 2655, 255},
    {"Frame3", "Frame2", 8640, 240, 4815, 1335},
    {"Label5", "Frame3", 1320, 360, 1455, 255},
    {"Label6", "Frame3", 2880, 360, 1695, 255},
    {"Label1(9)", "Frame3", 240, 600, 2535, 255},
    {"lbltotalfiles", "Frame3", 2880, 600, 1695, 255},
    {"Label7", "Frame3", 1600, 840, 1215, 255},
    {"lbltimetaken", "Frame3", 2880, 840, 1815, 255},
};

int pixels(int twips) {
  return static_cast<int>(std::lround(twips / 15.0));
}

TEST_F(WindowTest, LaysOutEveryControlAtItsPlace) {
  EXPECT_EQ(window.windowTitle(), "Slicery - Version 2.0");
  EXPECT_EQ(window.size(), QSize(978, 463));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());  // cannot be resized
  for (const Placement& p : kPlacements) {
    QWidget* control = widget(p.name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->parentWidget()->objectName(), p.parent) << p.name;
    EXPECT_EQ(control->geometry(),
              QRect(pixels(p.left), pixels(p.top), pixels(p.width), pixels(p.height)))
        << p.name;
    EXPECT_TRUE(control->isVisible()) << p.name;
  }
  for (const char* frame : {"Frame1", "Frame2", "Frame3", "Frame4"}) {
    EXPECT_EQ(widget<QFrame>(frame)->frameShape(), QFrame::Box) << frame;
  }
  // The lists are the form's own and have no widget.
  for (const char* hidden : {"List1", "List2", "File1", "File2"}) {
    EXPECT_EQ(window.findChild<QWidget*>(QString::fromLatin1(hidden)), nullptr) << hidden;
  }
  // The controls drawn above the frames they lie in.
  for (const char* above : {"Check4", "PRGSeries", "prgtotal"}) {
    EXPECT_EQ(window.childAt(pointOn(widget(above))), widget(above)) << above;
  }
}

TEST_F(WindowTest, OpensWithCaptionsFontsAndStatesOfTheTables) {
  EXPECT_EQ(widget<QPushButton>("btnstart")->text(), "&Start");
  EXPECT_EQ(widget<QPushButton>("btnExit")->text(), "&Exit");
  EXPECT_EQ(widget<QCheckBox>("Check2")->text(),
            "Sort Series into Seperate Folders [ default folder name is \"Series_S#\" ]");
  EXPECT_EQ(shown("Label1(9)"), "Total Files Renamed/moved:");
  EXPECT_EQ(shown("Label8"),
            "\"SERIES_DESCRIPTION_\" will be added to the begining of the folder name");

  const QString caption = captionFont().family();
  EXPECT_TRUE(caption == "Verdana" || caption == "DejaVu Sans") << caption.toStdString();
  for (const char* name : {"Label1(0)", "lblcurrentfolder", "Label7", "btnstart", "Check1"}) {
    EXPECT_EQ(widget(name)->font().family(), caption) << name;
    EXPECT_DOUBLE_EQ(widget(name)->font().pointSizeF(), 8.25) << name;
    EXPECT_FALSE(widget(name)->font().bold()) << name;
  }
  EXPECT_TRUE(widget("Label4")->font().bold());
  EXPECT_TRUE(widget("Label8")->font().bold());

  EXPECT_FALSE(widget("btnstart")->isEnabled());
  for (const char* on : {"btnExit", "Check1", "Check2", "Label1(0)", "lblcurrentfolder"}) {
    EXPECT_TRUE(widget(on)->isEnabled()) << on;
  }
  for (const char* off : {"Check3", "Check4", "Text1", "Label2", "Label4", "Label8"}) {
    EXPECT_FALSE(widget(off)->isEnabled()) << off;
  }
  for (const char* box : {"Check1", "Check2", "Check3", "Check4"}) {
    EXPECT_FALSE(widget<QCheckBox>(box)->isChecked()) << box;
  }
  // Greyed text on a disabled label.
  EXPECT_NE(widget("Label2")->palette().color(QPalette::Disabled, QPalette::WindowText),
            widget("Label2")->palette().color(QPalette::Active, QPalette::WindowText));
  for (const char* value :
       {"lblcurrentfolder", "lblseriesnum", "lblcountoffiles", "lblcurrentseries",
        "lblcurrentslice", "lbloldfilename", "lblnewfilename", "Label3", "Label6", "lbltotalfiles",
        "lbltimetaken"}) {
    EXPECT_EQ(shown(value), "") << value;
  }
  for (const char* bar : {"PRGSeries", "prgtotal"}) {
    EXPECT_EQ(widget<QProgressBar>(bar)->value(), 0) << bar;
    EXPECT_EQ(widget<QProgressBar>(bar)->maximum(), 100) << bar;
  }
  auto* text1 = widget<QLineEdit>("Text1");
  EXPECT_EQ(text1->text(), "");
  EXPECT_EQ(text1->palette().color(QPalette::Base),
            QApplication::palette().color(QPalette::Window));  // the light grey
  EXPECT_NE(text1->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));

  const QList<QSize> sizes = window.windowIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)));
  EXPECT_EQ(QApplication::applicationVersion(), "2.0");
  EXPECT_EQ(QApplication::focusWidget(), widget("Check2"));
}

TEST_F(WindowTest, TabVisitsTheEnabledControlsInTheirOrder) {
  ASSERT_EQ(QApplication::focusWidget(), widget("Check2"));
  for (const char* next : {"Check1", "btnExit", "Check2", "Check1"}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), widget(next)) << next;
  }
  // Once the folder options are on, they join in at their places.
  QTest::mouseClick(widget("Check2"), Qt::LeftButton);
  QTest::mouseClick(widget("Check3"), Qt::LeftButton);
  widget("Check2")->setFocus();
  for (const char* next : {"Check1", "btnExit", "Check4", "Text1", "Check3", "Check2"}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), widget(next)) << next;
  }
}

TEST_F(WindowTest, AltSDoesNothingAtOpenAndAltECloses) {
  MessageCatcher messages;
  QTest::keyClick(&window, Qt::Key_S, Qt::AltModifier);
  QTest::qWait(200);  // a shortcut presses its button after a short delay
  EXPECT_TRUE(messages.seen.empty());
  EXPECT_EQ(form.runStartTime, 0);
  EXPECT_TRUE(window.isVisible());

  // Once a load has enabled Start, Alt+S presses it.
  testing::dropOn(widget("Frame1"), {"/exam"});
  QTest::keyClick(&window, Qt::Key_S, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.runStartTime == 500; }, 2000));

  QTest::keyClick(&window, Qt::Key_E, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }, 2000));
}

TEST_F(WindowTest, SpaceAndClicksWorkTheButtons) {
  QTest::keyClick(widget("Check2"), Qt::Key_Space);
  EXPECT_TRUE(widget<QCheckBox>("Check2")->isChecked());
  EXPECT_EQ(form.Check2.value(), 1);
  QTest::mouseClick(widget("btnExit"), Qt::LeftButton);
  EXPECT_FALSE(window.isVisible());
}

// --- Drops ---------------------------------------------------------------

enum class Expect { loads, takesAndIgnores, refuses };

struct DropCase {
  const char* target;
  Expect expect;
};

const DropCase kDropCases[] = {
    {"Form1", Expect::loads},
    {"Frame1", Expect::loads},
    {"Frame2", Expect::loads},
    {"Frame4", Expect::loads},
    {"btnstart", Expect::loads},
    {"btnExit", Expect::loads},
    {"Check1", Expect::loads},
    {"Check3", Expect::loads},
    {"Label1(0)", Expect::loads},
    {"Label1(8)", Expect::loads},
    {"Label1(9)", Expect::loads},
    {"Label2", Expect::loads},
    {"Label3", Expect::loads},
    {"Label4", Expect::loads},
    {"Label5", Expect::loads},
    {"Label6", Expect::loads},
    {"lbltotalfiles", Expect::loads},
    {"lblcurrentfolder", Expect::loads},
    {"lblseriesnum", Expect::loads},
    {"lblcountoffiles", Expect::loads},
    {"lblcurrentslice", Expect::loads},
    {"lbloldfilename", Expect::loads},
    {"lblnewfilename", Expect::loads},
    {"lblcurrentseries", Expect::loads},
    {"Check2", Expect::takesAndIgnores},
    {"Text1", Expect::takesAndIgnores},
    {"Frame3", Expect::refuses},
    {"Check4", Expect::refuses},
    {"Label7", Expect::refuses},
    {"Label8", Expect::refuses},
    {"lbltimetaken", Expect::refuses},
    {"prgtotal", Expect::refuses},
    {"PRGSeries", Expect::refuses},
};

void PrintTo(const DropCase& c, std::ostream* out) {
  *out << c.target;
}

class DropTargetTest : public WindowTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(DropTargetTest, LoadsWhereTheTableSays) {
  const DropCase& c = GetParam();
  QWidget* target = std::string(c.target) == "Form1" ? &window : widget(c.target);
  const QPoint at = pointOn(target);
  ASSERT_EQ(window.childAt(at), target == &window ? nullptr : target);

  const testing::DropOutcome outcome = testing::dropAt(&window, at, testing::uriList({"/exam"}));
  EXPECT_EQ(outcome.accepted, c.expect != Expect::refuses);
  if (outcome.accepted) {
    EXPECT_EQ(outcome.action, Qt::CopyAction);  // never a move
  }
  if (c.expect == Expect::loads) {
    EXPECT_EQ(shown("lblcurrentfolder"), "/exam");
    EXPECT_EQ(shown("lblcountoffiles"), "3");
    EXPECT_EQ(shown("lblseriesnum"), "2");
    EXPECT_TRUE(widget("btnstart")->isEnabled());
  } else {
    EXPECT_EQ(shown("lblcurrentfolder"), "");
    EXPECT_FALSE(widget("btnstart")->isEnabled());
  }
  // A drop is only a drop: it ticks nothing and presses nothing.
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(QApplication::focusWidget(), widget("Check2"))
      << QApplication::focusWidget()->objectName().toStdString();
  EXPECT_FALSE(widget<QPushButton>("btnExit")->isDown());
  EXPECT_FALSE(widget<QCheckBox>("Check1")->isChecked());
  EXPECT_FALSE(widget<QCheckBox>("Check2")->isChecked());
  EXPECT_EQ(widget<QLineEdit>("Text1")->text(), "");
  EXPECT_EQ(form.runStartTime, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfTarget, DropTargetTest, ::testing::ValuesIn(kDropCases),
                         [](const ::testing::TestParamInfo<DropCase>& param) {
                           std::string name = param.param.target;
                           for (char& ch : name) {
                             if (ch == '(' || ch == ')') ch = '_';
                           }
                           return name;
                         });

TEST_F(WindowTest, DropOnAnEnabledStartOrATickedBoxOnlyLoads) {
  testing::dropOn(widget("Frame1"), {"/exam"});
  QTest::mouseClick(widget("Check1"), Qt::LeftButton);
  ASSERT_TRUE(widget("btnstart")->isEnabled());
  testing::dropOn(widget("btnstart"), {"/other"});
  testing::dropOn(widget("Check1"), {"/other"});
  EXPECT_EQ(shown("lblcurrentfolder"), "/other");
  EXPECT_EQ(form.runStartTime, 0);  // Start was not pressed
  EXPECT_TRUE(widget<QCheckBox>("Check1")->isChecked());
  EXPECT_EQ(form.Check1.value(), 1);
}

TEST_F(WindowTest, SeveralFoldersOpenTheExamsDialogAndFilesOfOneFolderLoadIt) {
  MessageCatcher messages;
  int dialogs = 0;
  window.onExams = [&dialogs](QDialog* dialog) {
    ++dialogs;
    dialog->reject();
  };
  testing::dropOn(widget("Frame4"), {"/other", "/exam"});
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(form.File2.path(), "");  // nothing is loaded until Start
  testing::dropOn(widget("Frame4"), {"/exam/P.MR.S.1.2.IMA", "/other"});
  EXPECT_EQ(dialogs, 2);
  // Files of one folder load with it: nothing to say.
  testing::dropOn(widget("Frame4"), {"/exam/P.MR.S.1.1.IMA", "/exam/P.MR.S.1.2.IMA"});
  EXPECT_EQ(dialogs, 2);
  EXPECT_EQ(shown("lblcurrentfolder"), "/exam");
  EXPECT_EQ(shown("lblcountoffiles"), "3");
  EXPECT_TRUE(messages.seen.empty());
}

TEST_F(WindowTest, ADropWithoutAPathSaysSoOnce) {
  MessageCatcher messages;
  auto* text = new QMimeData;
  text->setText("Brain");
  EXPECT_TRUE(testing::dropAt(&window, pointOn(widget("Frame1")), text).accepted);
  auto* web = new QMimeData;
  web->setUrls({QUrl("https://example.org/exam/")});
  testing::dropAt(&window, pointOn(widget("Frame1")), web);
  ASSERT_EQ(messages.seen.size(), 2u);
  for (const auto& seen : messages.seen) {
    EXPECT_TRUE(seen.text.contains("no file or folder path")) << seen.text.toStdString();
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
  }
  EXPECT_EQ(shown("lblcurrentfolder"), "");
  // Text dropped on Text1 is not typed into it.
  auto* typed = new QMimeData;
  typed->setText("Brain");
  testing::dropAt(&window, pointOn(widget("Text1")), typed);
  EXPECT_EQ(widget<QLineEdit>("Text1")->text(), "");
  EXPECT_EQ(messages.seen.size(), 2u);
}

TEST_F(WindowTest, AFolderThatCannotBeListedIsReportedAndLeavesTheLoadsState) {
  testing::dropOn(widget("Frame1"), {"/exam"});
  fs.failOn(MemoryFileSystem::Op::list, "/other", "Permission denied");
  MessageCatcher messages;
  testing::dropOn(widget("Frame1"), {"/other"});
  ASSERT_EQ(messages.seen.size(), 1u);
  EXPECT_TRUE(messages.seen[0].text.contains("/other"));
  EXPECT_TRUE(messages.seen[0].text.contains("Permission denied"));
  EXPECT_EQ(messages.seen[0].icon, QMessageBox::Warning);
  // The load had disabled Start and cleared the displays before it failed.
  EXPECT_FALSE(widget("btnstart")->isEnabled());
  EXPECT_EQ(shown("lblcurrentfolder"), "/exam");
  EXPECT_EQ(form.lblcurrentfolder.text(), "/exam");

  testing::dropOn(widget("Frame1"), {"/nowhere"});
  ASSERT_EQ(messages.seen.size(), 2u);
  EXPECT_TRUE(messages.seen[1].text.contains("/nowhere"));
}

TEST_F(WindowTest, ALoadPaintsTheFolderAndCountBeforeItEnds) {
  // A slow disk: reading the folder takes a while, as a big one does.
  fs.onList = [] { std::this_thread::sleep_for(std::chrono::milliseconds(200)); };
  std::vector<QString> paintedWhileBusy;
  for (const char* name : {"lblcurrentfolder", "lblcountoffiles"}) {
    QLabel* label = widget<QLabel>(name);
    new testing::PaintWatcher(label, [&, label] {
      if (form.busy()) paintedWhileBusy.push_back(label->text());
    });
  }
  testing::dropOn(widget("Frame1"), {"/exam"});
  EXPECT_NE(std::find(paintedWhileBusy.begin(), paintedWhileBusy.end(), "/exam"),
            paintedWhileBusy.end());
  EXPECT_NE(std::find(paintedWhileBusy.begin(), paintedWhileBusy.end(), "3"),
            paintedWhileBusy.end());
}

// --- Options ---------------------------------------------------------------

TEST_F(WindowTest, OptionsFollowClicksAndTyping) {
  auto* check2 = widget<QCheckBox>("Check2");
  auto* check3 = widget<QCheckBox>("Check3");
  auto* check4 = widget<QCheckBox>("Check4");
  auto* text1 = widget<QLineEdit>("Text1");
  const auto background = [&] { return text1->palette().color(QPalette::Base); };
  const QPalette system = QApplication::palette();

  QTest::mouseClick(check3, Qt::LeftButton);  // disabled at open
  EXPECT_FALSE(check3->isChecked());

  // Folders on, own name off.
  QTest::mouseClick(check2, Qt::LeftButton);
  EXPECT_TRUE(check2->isChecked());
  EXPECT_TRUE(check3->isEnabled() && check4->isEnabled() && widget("Label2")->isEnabled());
  EXPECT_FALSE(text1->isEnabled() || widget("Label4")->isEnabled());
  EXPECT_EQ(form.folderBaseName, "Series");

  // Own name on with Text1 empty, then typed, then deleted.
  QTest::mouseClick(check3, Qt::LeftButton);
  EXPECT_TRUE(text1->isEnabled());
  EXPECT_EQ(background(), system.color(QPalette::Base));
  EXPECT_FALSE(widget("Label4")->isEnabled());
  QTest::keyClicks(text1, "Brain");
  EXPECT_TRUE(widget("Label4")->isEnabled());
  EXPECT_EQ(form.folderBaseName, "Brain");
  for (int i = 0; i < 5; ++i) QTest::keyClick(text1, Qt::Key_Backspace);
  EXPECT_FALSE(widget("Label4")->isEnabled());
  EXPECT_EQ(form.folderBaseName, "Series");
  QTest::keyClicks(text1, "  ");
  EXPECT_EQ(form.folderBaseName, "  ");  // taken as typed
  QTest::keyClick(text1, Qt::Key_Backspace);
  QTest::keyClick(text1, Qt::Key_Backspace);
  QTest::keyClicks(text1, "Knee");

  // Own name off keeps the word in the greyed box; on again takes it back.
  QTest::mouseClick(check3, Qt::LeftButton);
  EXPECT_FALSE(text1->isEnabled());
  EXPECT_EQ(text1->text(), "Knee");
  EXPECT_EQ(background(), system.color(QPalette::Midlight));
  EXPECT_NE(background(), system.color(QPalette::Base));
  EXPECT_EQ(form.folderBaseName, "Series");
  QTest::mouseClick(check3, Qt::LeftButton);
  EXPECT_EQ(form.folderBaseName, "Knee");
  EXPECT_TRUE(widget("Label4")->isEnabled());

  // Check4 lights only its hint.
  QTest::mouseClick(check4, Qt::LeftButton);
  EXPECT_TRUE(widget("Label8")->isEnabled());
  QTest::mouseClick(check4, Qt::LeftButton);
  EXPECT_FALSE(widget("Label8")->isEnabled());
  QTest::mouseClick(check4, Qt::LeftButton);

  // Folders off again.
  form.Label3.setText("/exam/Knee_S1");
  EXPECT_EQ(shown("Label3"), "/exam/Knee_S1");
  QTest::mouseClick(check2, Qt::LeftButton);
  EXPECT_FALSE(check3->isChecked() || check3->isEnabled());
  EXPECT_FALSE(text1->isEnabled() || widget("Label2")->isEnabled() ||
               widget("Label4")->isEnabled());
  EXPECT_TRUE(check4->isChecked());  // value kept, but greyed
  EXPECT_FALSE(check4->isEnabled());
  EXPECT_TRUE(widget("Label8")->isEnabled());
  EXPECT_EQ(shown("Label3"), "");
  EXPECT_EQ(form.folderBaseName, "Series");
}

TEST_F(WindowTest, StartWithAnEmptyNameUnticksTheOwnNameOnScreen) {
  testing::dropOn(widget("Frame1"), {"/exam"});
  QTest::mouseClick(widget("Check2"), Qt::LeftButton);
  QTest::mouseClick(widget("Check3"), Qt::LeftButton);
  ASSERT_TRUE(widget<QCheckBox>("Check3")->isChecked());
  QTest::mouseClick(widget("btnstart"), Qt::LeftButton);
  EXPECT_FALSE(widget<QCheckBox>("Check3")->isChecked());
  EXPECT_FALSE(widget("Text1")->isEnabled());
  EXPECT_EQ(form.runStartTime, 500);
}

// --- Messages --------------------------------------------------------------

TEST_F(WindowTest, StartWithNoListedFilesShowsTheErrorBox) {
  testing::dropOn(widget("Frame1"), {"/exam"});
  form.File2.setPattern("*.none");
  ASSERT_TRUE(form.File2.refresh());
  MessageCatcher messages;
  QTest::mouseClick(widget("btnstart"), Qt::LeftButton);
  ASSERT_EQ(messages.seen.size(), 1u);
  EXPECT_EQ(messages.seen[0].text, "No IMA Files!");
  EXPECT_EQ(messages.seen[0].title, "ERROR");
  EXPECT_EQ(messages.seen[0].icon, QMessageBox::Critical);
  EXPECT_EQ(messages.seen[0].buttons, QMessageBox::Ok);
  EXPECT_EQ(form.runStartTime, 0);
}

TEST_F(WindowTest, FailuresOfARunAreReportedInOneBox) {
  testing::dropOn(widget("Frame1"), {"/exam"});
  std::vector<app::RunFailure> failures = {
      {"", "/exam/Series_S1", "File exists"},  // a folder not made
      {"/exam", "", "Permission denied"},      // a folder not listed
  };
  for (int i = 1; i <= 5; ++i) {
    const std::string name = "/exam/P.MR.S.1." + std::to_string(i) + ".IMA";
    failures.push_back({name, name + ".new", "File exists"});
  }
  MessageCatcher messages;
  window.runFailed(failures);
  ASSERT_EQ(messages.seen.size(), 1u);
  const MessageCatcher::Seen& box = messages.seen[0];
  EXPECT_EQ(box.icon, QMessageBox::Warning);
  EXPECT_EQ(box.text,
            "7 files or folders in /exam could not be renamed, made or listed. Nothing was "
            "overwritten.");
  EXPECT_EQ(box.informative,
            "Series_S1: File exists\n"
            "/exam: Permission denied\n"
            "P.MR.S.1.1.IMA -> P.MR.S.1.1.IMA.new: File exists\n"
            "P.MR.S.1.2.IMA -> P.MR.S.1.2.IMA.new: File exists\n"
            "P.MR.S.1.3.IMA -> P.MR.S.1.3.IMA.new: File exists\n"
            "... and 2 more.");
  EXPECT_TRUE(box.details.contains("P.MR.S.1.5.IMA -> P.MR.S.1.5.IMA.new: File exists"));
}

// --- Busy ------------------------------------------------------------------

TEST_F(WindowTest, TakesNoInputWhileALoadWorks) {
  // Input comes the way the platform sends it: to the window, at a place.
  QWindow* screen = window.windowHandle();
  const auto click = [&](const char* name) {
    QTest::mouseClick(screen, Qt::LeftButton, {}, pointOn(widget(name)));
  };
  int hooks = 0;
  fs.onList = [&] {
    if (hooks++ > 0) return;
    // The user clicks, types and drops while the folder is being read.
    click("Check1");
    click("Check2");
    QTest::keyClick(screen, Qt::Key_Space);
    QTest::keyClick(screen, Qt::Key_Tab);
    QTest::mousePress(screen, Qt::LeftButton, {}, pointOn(widget("btnExit")));
    QTest::keyClick(screen, Qt::Key_E, Qt::AltModifier);
    testing::dropOn(widget("Frame1"), {"/other"});
    window.close();
    QTest::qWait(150);
  };
  testing::dropOn(widget("Frame1"), {"/exam"});
  QTest::mouseRelease(screen, Qt::LeftButton, {}, pointOn(widget("btnExit")));
  QTest::qWait(150);
  EXPECT_GT(hooks, 0);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(QApplication::focusWidget(), widget("Check2"));
  EXPECT_FALSE(widget<QCheckBox>("Check1")->isChecked());
  EXPECT_FALSE(widget<QCheckBox>("Check2")->isChecked());
  EXPECT_EQ(form.Check1.value() + form.Check2.value(), 0);
  EXPECT_EQ(shown("lblcurrentfolder"), "/exam");
  // And takes it again once the load is over.
  click("Check1");
  EXPECT_EQ(form.Check1.value(), 1);
  QTest::keyClick(screen, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), widget("btnstart"));
}

TEST(WindowArgumentsTest, PathsHelpVersionAndMistakes) {
  using Action = WindowArguments::Action;
  const WindowArguments open = parseWindowArguments({"/exam", "/other"});
  EXPECT_EQ(open.action, Action::open);
  EXPECT_EQ(open.paths, (std::vector<std::string>{"/exam", "/other"}));
  EXPECT_EQ(parseWindowArguments({"--", "-odd"}).paths, std::vector<std::string>{"-odd"});
  EXPECT_EQ(parseWindowArguments({"/exam", "--help"}).action, Action::help);
  EXPECT_EQ(parseWindowArguments({"-V"}).action, Action::version);
  const WindowArguments bad = parseWindowArguments({"--bogus", "/exam"});
  EXPECT_EQ(bad.action, Action::bad);
  EXPECT_FALSE(bad.toolkitMayTakeIt);  // refused at once, without a display
  EXPECT_TRUE(parseWindowArguments({"-platform", "offscreen"}).toolkitMayTakeIt);
  EXPECT_EQ(parseWindowArguments({""}).action, Action::bad);
}

// `slicery PATH`, as main() opens the window with it.
TEST_F(WindowTest, APathGivenAtOpenLoadsAsItsDropWould) {
  MessageCatcher messages;
  int dialogs = 0;
  window.onExams = [&dialogs](QDialog* dialog) {
    ++dialogs;
    dialog->reject();
  };
  window.openPaths({"/exam/P.MR.S.1.2.IMA", "/other"});
  QTest::qWait(20);
  EXPECT_EQ(dialogs, 1);  // two folders: the exams dialog, as their drop opens it
  window.openPaths({"/exam/P.MR.S.1.2.IMA"});
  QTest::qWait(20);
  EXPECT_EQ(shown("lblcurrentfolder"), "/exam");
  EXPECT_EQ(shown("lblcountoffiles"), "3");
  EXPECT_TRUE(widget("btnstart")->isEnabled());
  EXPECT_TRUE(messages.seen.empty());
  EXPECT_EQ(window.focusWidget(), widget("Check2"));
}

TEST_F(WindowTest, CtrlOLoadsTheFolderChosenInTheDialog) {
  std::vector<QString> starts;
  QString answer = QStringLiteral("/other");
  window.setFolderChooser([&](QWidget* parent, const QString& start) {
    EXPECT_EQ(parent, &window);
    starts.push_back(start);
    return answer;
  });
  QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(shown("lblcurrentfolder"), "/other");
  EXPECT_EQ(shown("lblseriesnum"), "1");

  answer.clear();  // the dialog is cancelled: the loaded folder stays
  QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(shown("lblcurrentfolder"), "/other");
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1], "/other");  // the dialog opens where the last load was

  MessageCatcher messages;
  answer = QStringLiteral("/missing");
  QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(messages.seen.size(), 1u);
  EXPECT_TRUE(messages.seen[0].text.contains("/missing"));
}

TEST_F(WindowTest, TheFolderHintShowsOnlyWhileNoFolderIsLoaded) {
  auto* folder = widget<ValueLabel>("lblcurrentfolder");
  EXPECT_EQ(folder->shownText(), kFolderHint);
  EXPECT_EQ(folder->text(), "");
  EXPECT_EQ(form.lblcurrentfolder.text(), "");
  testing::dropOn(widget("Frame1"), {"/exam"});
  EXPECT_EQ(folder->shownText(), "/exam");
  // The other value labels have no hint.
  EXPECT_EQ(widget<ValueLabel>("lbloldfilename")->shownText(), "");
}

TEST_F(WindowTest, TheTooltipsOfStartAndOfTheFolderHintNameTheKeys) {
  const QString start = widget("btnstart")->toolTip();
  const QString hint = widget<ValueLabel>("lblcurrentfolder")->tip();
  for (const char* key : {"Ctrl+P", "Ctrl+Z", "Esc"}) {
    EXPECT_TRUE(start.contains(key) && hint.contains(key)) << key;
  }
  EXPECT_TRUE(hint.contains("Ctrl+O"));
  testing::dropOn(widget("Frame1"), {"/exam"});
  EXPECT_EQ(widget<ValueLabel>("lblcurrentfolder")->tip(), "");  // the path fits
}

TEST_F(WindowTest, ALongPathIsElidedInTheMiddleWithTheWholeAsTooltip) {
  const std::string deep = "/" + std::string(150, 'a') + "/" + std::string(150, 'b') + "/end";
  fs.addFolder(deep);
  fs.addFile(deep + "/P.MR.S.1.1.IMA");
  auto* folder = widget<ValueLabel>("lblcurrentfolder");
  testing::dropOn(widget("Frame1"), {"/exam"});
  EXPECT_EQ(folder->tip(), "");  // fits

  testing::dropOn(widget("Frame1"), {deep});
  const QString whole = QString::fromStdString(deep);
  EXPECT_EQ(folder->text(), whole);
  EXPECT_EQ(folder->tip(), whole);
  const QString painted = folder->shownText();
  EXPECT_LE(folder->fontMetrics().horizontalAdvance(painted), folder->contentsRect().width());
  EXPECT_TRUE(painted.startsWith("/aaa")) << painted.toStdString();
  EXPECT_TRUE(painted.endsWith("bbb/end")) << painted.toStdString();
  EXPECT_TRUE(painted.contains(QChar(0x2026)));
}

}  // namespace
}  // namespace slicery::qt
