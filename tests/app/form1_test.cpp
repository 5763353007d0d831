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

// One row of the options' state: what each control shows.
struct OptionsRow {
  bool check2Ticked, check3Enabled, check3Ticked, check4Enabled, text1Enabled, label2, label4,
      label8;
  const char* folderBaseName;
};

OptionsRow rowOf(const Form1& form) {
  return {form.Check2.ticked(),  form.Check3.enabled(), form.Check3.ticked(),
          form.Check4.enabled(), form.Text1.enabled(),  form.Label2.enabled(),
          form.Label4.enabled(), form.Label8.enabled(), form.folderBaseName.c_str()};
}

void expectRow(const Form1& form, const OptionsRow& want, const std::string& state) {
  SCOPED_TRACE(state);
  const OptionsRow got = rowOf(form);
  EXPECT_EQ(got.check2Ticked, want.check2Ticked);
  EXPECT_EQ(got.check3Enabled, want.check3Enabled);
  EXPECT_EQ(got.check3Ticked, want.check3Ticked);
  EXPECT_EQ(got.check4Enabled, want.check4Enabled);
  EXPECT_EQ(got.text1Enabled, want.text1Enabled);
  EXPECT_EQ(got.label2, want.label2);
  EXPECT_EQ(got.label4, want.label4);
  EXPECT_EQ(got.label8, want.label8);
  EXPECT_STREQ(got.folderBaseName, want.folderBaseName);
}

TEST_F(Form1Test, OptionsWalkEveryStateAndTransition) {
  // check2, check3 enabled/ticked, check4 enabled, Text1, Label2, Label4, Label8, base word
  const OptionsRow opened{false, false, false, false, false, false, false, false, ""};
  const OptionsRow foldersOn{true, true, false, true, false, true, false, false, "Series"};
  const OptionsRow ownNameEmpty{true, true, true, true, true, true, false, false, "Series"};
  const OptionsRow ownNameKnee{true, true, true, true, true, true, true, false, "Knee"};
  const OptionsRow foldersOff{false, false, false, false, false, false, false, false, "Series"};

  expectRow(form, opened, "window opened");
  form.changeCheck(form.Check2, 1);
  expectRow(form, foldersOn, "folders on");
  form.changeCheck(form.Check3, 1);
  expectRow(form, ownNameEmpty, "own name on, Text1 empty");
  form.changeText1("Knee");
  expectRow(form, ownNameKnee, "own name on, Text1 not empty");
  form.changeText1("");
  expectRow(form, ownNameEmpty, "Text1 emptied");
  form.changeText1("Knee");
  form.changeCheck(form.Check3, 0);
  expectRow(form, foldersOn, "own name off");
  form.changeCheck(form.Check3, 1);
  expectRow(form, ownNameKnee, "own name on again");
  form.changeCheck(form.Check2, 0);
  expectRow(form, foldersOff, "folders off again");
  EXPECT_EQ(form.Text1.text(), "Knee");
  form.changeText1("Brain");  // the disabled box takes no typing
  EXPECT_EQ(form.Text1.text(), "Knee");
  form.changeCheck(form.Check2, 1);
  expectRow(form, foldersOn, "folders on after off");

  // Label8 follows Check4 in every folders-on state and stays as left.
  OptionsRow withHint = foldersOn;
  withHint.label8 = true;
  form.changeCheck(form.Check4, 1);
  expectRow(form, withHint, "folders on, description on");
  form.changeCheck(form.Check2, 0);
  OptionsRow offWithHint = foldersOff;
  offWithHint.label8 = true;
  expectRow(form, offWithHint, "folders off, description kept");
  form.changeCheck(form.Check4, 0);  // disabled: a click does nothing
  EXPECT_EQ(form.Check4.value(), 1);
  // Check1 is independent of all of these.
  form.changeCheck(form.Check1, 1);
  expectRow(form, offWithHint, "short names on");
}

TEST_F(Form1Test, CodeThatSetsABoxRunsItsHandlerOnlyOnAChange) {
  form.setCheck(form.Check2, 1);
  form.setCheck(form.Check3, 1);  // from code, as Start and the folder switch do
  EXPECT_TRUE(form.Text1.enabled());
  view.changes.clear();
  form.setCheck(form.Check3, 1);  // the value it has: nothing runs
  EXPECT_TRUE(view.changes.empty());
  form.Text1.setText("Hip");
  form.setCheck(form.Check3, 0);
  EXPECT_EQ(form.folderBaseName, "Series");
  EXPECT_FALSE(form.Text1.enabled());
  // A value other than 1 counts as unticked.
  form.setCheck(form.Check3, 2);
  EXPECT_FALSE(form.Text1.enabled());
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

TEST_F(Form1Test, StartPressedTwiceWorksOnWhatTheFirstRunLeft) {
  fs.addFolder("/exam");
  for (int i = 1; i <= 12; ++i) {
    fs.addFile("/exam/P.MR.S.1." + std::to_string(i) + ".a.b.c.d.e.f.g.h.IMA");
  }
  ASSERT_TRUE(form.drop({"/exam"}));
  form.pressStart();
  EXPECT_EQ(form.filesRenamed, 9);  // slices 1 to 9 gain a zero
  EXPECT_TRUE(fs.exists("/exam/P.MR.S.1.01.a.b.c.d.e.f.g.h.IMA"));
  form.pressStart();
  EXPECT_EQ(form.filesRenamed, 0);  // nothing left to pad
  EXPECT_EQ(form.filesProcessed, 12);

  form.changeCheck(form.Check2, 1);
  form.pressStart();
  EXPECT_EQ(form.filesRenamed, 12);
  EXPECT_EQ(form.List1.count(), 0);
  EXPECT_TRUE(form.btnstart.enabled());
  clock.set(50.0);
  form.pressStart();  // every file moved: nothing listed any more
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].text, "No IMA Files!");
  EXPECT_EQ(form.lbltimetaken.text(), "0 Seconds");
  EXPECT_EQ(form.runStartTime, 0);
}

TEST_F(Form1Test, InputDuringARunTakesNoEffect) {
  fs.addFolder("/exam");
  fs.addFolder("/other");
  for (int i = 1; i <= 10; ++i) fs.addFile("/exam/P.MR.S.1." + std::to_string(i) + ".a.IMA");
  ASSERT_TRUE(form.drop({"/exam"}));
  int reentered = 0;
  view.onFileRenamed = [&](const std::string&, const std::string&) {
    EXPECT_TRUE(form.busy());
    form.changeCheck(form.Check2, 1);
    form.drop({"/other"});
    form.pressExit();
    if (reentered++ == 0) form.pressStart();
  };
  form.pressStart();
  EXPECT_FALSE(form.busy());
  EXPECT_EQ(form.Check2.value(), 0);
  EXPECT_EQ(form.File2.path(), "/exam");
  EXPECT_EQ(view.closeRequests, 0);
  EXPECT_EQ(view.renamedFiles.size(), 9u);  // one run, not two
}

// The counts a user sees never contradict each other: while a file is told
// renamed, no more are counted renamed than processed; the preview says why
// it handles fewer files than the load counted.
TEST_F(Form1Test, TheCountsShownAgreeWithEachOther) {
  fs.addFolder("/exam");
  for (int i = 1; i <= 10; ++i) fs.addFile("/exam/P.MR.S.1." + std::to_string(i) + ".a.IMA");
  fs.addFile("/exam/NOSERIES.IMA");
  ASSERT_TRUE(form.drop({"/exam"}));
  EXPECT_EQ(form.lblcountoffiles.text(), "11");
  EXPECT_NE(form.preview().summary().find(
                "The other 1 .ima file listed carries no series number and keeps its name."),
            std::string::npos)
      << form.preview().summary();
  int told = 0;
  view.onFileRenamed = [&](const std::string&, const std::string&) {
    ++told;
    EXPECT_LE(std::stoi(form.lbltotalfiles.text()), std::stoi(form.Label6.text()));
  };
  form.pressStart();
  EXPECT_EQ(told, 9);
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
