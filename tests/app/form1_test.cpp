// The window's model: its state at open, the naming options and the Start and
// Exit commands, driven the way a user drives them.
#include "app/form1.h"

#include <gtest/gtest.h>

#include "support/memory_file_system.h"
#include "support/recording_view.h"

namespace slicery::app {
namespace {

using testing::MemoryFileSystem;
using testing::RecordingView;

class Form1Test : public ::testing::Test {
 protected:
  Form1Test() { form.setView(&view); }

  MemoryFileSystem fs;
  platform::SettableClock clock;
  Form1 form{fs, clock};
  RecordingView view;
};

TEST_F(Form1Test, OpensInItsInitialState) {
  EXPECT_FALSE(form.btnstart.enabled());
  EXPECT_TRUE(form.btnExit.enabled());
  EXPECT_TRUE(form.Check1.enabled());
  EXPECT_TRUE(form.Check2.enabled());
  for (const ControlModel* off : std::initializer_list<const ControlModel*>{
           &form.Check3, &form.Check4, &form.Text1, &form.Label2, &form.Label4, &form.Label8}) {
    EXPECT_FALSE(off->enabled()) << static_cast<int>(off->id());
  }
  for (const CheckBoxModel* box : {&form.Check1, &form.Check2, &form.Check3, &form.Check4}) {
    EXPECT_EQ(box->value(), 0);
  }
  EXPECT_EQ(form.Text1.text(), "");
  EXPECT_EQ(form.Text1.background(), ColourRole::inactiveBorder);
  for (const LabelModel* value :
       {&form.lblcurrentfolder, &form.lblseriesnum, &form.lblcountoffiles, &form.lblcurrentseries,
        &form.lblcurrentslice, &form.lbloldfilename, &form.lblnewfilename, &form.Label3,
        &form.Label6, &form.lbltotalfiles, &form.lbltimetaken}) {
    EXPECT_EQ(value->text(), "");
  }
  EXPECT_EQ(form.Label1[0].text(), "Current Folder:");
  EXPECT_EQ(form.Label1[9].text(), "Total Files Renamed/moved:");
  EXPECT_EQ(form.prgtotal.value(), 0);
  EXPECT_EQ(form.PRGSeries.maximum(), 100);
  EXPECT_EQ(form.List1.count() + form.List2.count(), 0);
  EXPECT_EQ(form.folderBaseName, "");
}

TEST_F(Form1Test, FolderOptionsFollowTheFolderSwitch) {
  form.changeCheck(form.Check3, 1);  // disabled: a click does nothing
  EXPECT_EQ(form.Check3.value(), 0);

  form.changeCheck(form.Check2, 1);
  EXPECT_EQ(form.folderBaseName, "Series");
  EXPECT_TRUE(form.Check3.enabled());
  EXPECT_TRUE(form.Check4.enabled());
  EXPECT_TRUE(form.Label2.enabled());
  EXPECT_FALSE(form.Text1.enabled());
  EXPECT_FALSE(form.Label4.enabled());

  form.changeCheck(form.Check3, 1);  // own name on, Text1 empty
  EXPECT_TRUE(form.Text1.enabled());
  EXPECT_EQ(form.Text1.background(), ColourRole::windowBackground);
  EXPECT_FALSE(form.Label4.enabled());
  EXPECT_EQ(form.folderBaseName, "Series");

  form.changeText1("Brain");
  EXPECT_TRUE(form.Label4.enabled());
  EXPECT_EQ(form.folderBaseName, "Brain");
  form.changeText1("");
  EXPECT_FALSE(form.Label4.enabled());
  EXPECT_EQ(form.folderBaseName, "Series");
  form.changeText1("  ");
  EXPECT_EQ(form.folderBaseName, "  ");  // taken as typed
  form.changeText1("Brain");

  form.changeCheck(form.Check3, 0);  // own name off keeps the text
  EXPECT_FALSE(form.Text1.enabled());
  EXPECT_EQ(form.Text1.background(), ColourRole::inactiveCaptionText);
  EXPECT_EQ(form.Text1.text(), "Brain");
  EXPECT_EQ(form.folderBaseName, "Series");
  form.changeCheck(form.Check3, 1);
  EXPECT_EQ(form.folderBaseName, "Brain");
  EXPECT_TRUE(form.Label4.enabled());

  form.changeCheck(form.Check4, 1);
  EXPECT_TRUE(form.Label8.enabled());
  form.Label3.setText("/exam/Brain_S01");

  form.changeCheck(form.Check2, 0);  // folders off again
  EXPECT_EQ(form.Check3.value(), 0);
  EXPECT_FALSE(form.Check3.enabled());
  EXPECT_FALSE(form.Text1.enabled());
  EXPECT_FALSE(form.Label2.enabled());
  EXPECT_FALSE(form.Label4.enabled());
  EXPECT_EQ(form.Label3.text(), "");
  EXPECT_EQ(form.folderBaseName, "Series");
  EXPECT_EQ(form.Check4.value(), 1);  // value kept, but disabled
  EXPECT_FALSE(form.Check4.enabled());
  EXPECT_TRUE(form.Label8.enabled());
}

TEST_F(Form1Test, Check4TogglesOnlyItsHint) {
  form.changeCheck(form.Check2, 1);
  view.changes.clear();
  form.changeCheck(form.Check4, 1);
  form.changeCheck(form.Check4, 0);
  EXPECT_FALSE(form.Label8.enabled());
  for (const auto& change : view.changes) {
    EXPECT_TRUE(change.first == ControlId::Check4 || change.first == ControlId::Label8);
  }
}

TEST_F(Form1Test, StartWithAnEmptyNameUnticksTheOwnNameFirst) {
  fs.addFolder("/exam");
  fs.addFile("/exam/P.MR.S.1.1.IMA");
  ASSERT_TRUE(form.drop({"/exam"}));
  form.changeCheck(form.Check2, 1);
  form.changeCheck(form.Check3, 1);
  form.pressStart();
  EXPECT_EQ(form.Check3.value(), 0);
  EXPECT_FALSE(form.Text1.enabled());
  EXPECT_EQ(form.folderBaseName, "Series");
  EXPECT_EQ(form.filesPresent, -1);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(Form1Test, StartWithANameOfSpacesKeepsTheOwnName) {
  fs.addFolder("/exam");
  fs.addFile("/exam/P.MR.S.1.1.IMA");
  ASSERT_TRUE(form.drop({"/exam"}));
  form.changeCheck(form.Check2, 1);
  form.changeCheck(form.Check3, 1);
  form.changeText1(" ");
  form.pressStart();
  EXPECT_EQ(form.Check3.value(), 1);
  EXPECT_EQ(form.folderBaseName, " ");
}

TEST_F(Form1Test, StartWithNoListedFilesSaysSoAndChangesNothing) {
  fs.addFolder("/exam");
  fs.addFile("/exam/P.MR.S.1.1.IMA");
  ASSERT_TRUE(form.drop({"/exam"}));
  form.File2.setPattern("*.none");
  ASSERT_TRUE(form.File2.refresh());
  form.lbltimetaken.setText("4 Seconds");
  clock.set(500.0);
  form.pressStart();
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].text, "No IMA Files!");
  EXPECT_EQ(view.messages[0].title, "ERROR");
  EXPECT_EQ(view.messages[0].icon, Message::Icon::critical);
  EXPECT_EQ(form.filesPresent, 0);
  EXPECT_EQ(form.lbltimetaken.text(), "4 Seconds");
  EXPECT_EQ(form.runStartTime, 0);
}

TEST_F(Form1Test, StartRecordsTheStartTimeRoundedHalfToEven) {
  fs.addFolder("/exam");
  fs.addFile("/exam/P.MR.S.1.1.IMA");
  ASSERT_TRUE(form.drop({"/exam"}));
  clock.set(3600.5);
  form.pressStart();
  EXPECT_EQ(form.runStartTime, 3600);
}

TEST_F(Form1Test, ExitAsksTheViewToClose) {
  form.pressExit();
  EXPECT_EQ(view.closeRequests, 1);
}

TEST_F(Form1Test, StartDoesNothingWhileDisabled) {
  form.pressStart();
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(form.filesPresent, 0);
}

}  // namespace
}  // namespace slicery::app
