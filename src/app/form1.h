// Form1: the tool's one window without any toolkit. It owns the window's
// state, a model of every control, and the procedures that act on them: the
// folder load with its census (scan/), the rename run and the series folder
// renamer, planned by rename/ and performed, finished and undone by the
// engine (run/), the option handlers and the commands (app/). It turns what
// the engine tells into the controls' models. A view (the Qt window, the
// command line) shows the models and forwards the user's actions to the
// public entry points below.
#pragma once

#include <array>
#include <atomic>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/controls.h"
#include "app/preview.h"
#include "journal/journal.h"
#include "journal/last_run.h"
#include "journal/store.h"
#include "journal/writer.h"
#include "platform/clock.h"
#include "platform/file_list.h"
#include "platform/file_system.h"
#include "platform/folder_lock.h"
#include "platform/status.h"
#include "rename/plan.h"
#include "run/engine.h"
#include "run/facts.h"
#include "run/finish.h"
#include "scan/ima_file_name.h"
#include "scan/series_index.h"

namespace slicery::app {

struct Message {
  enum class Icon { critical, warning, information };
  Message() = default;
  Message(std::string text_, std::string title_, Icon icon_ = Icon::critical,
          std::string details_ = {})
      : text(std::move(text_)),
        title(std::move(title_)),
        icon(icon_),
        details(std::move(details_)) {}
  std::string text;
  std::string title;
  Icon icon = Icon::critical;
  std::string details;  // a longer text a window may fold away
};

using run::RunFailure;

// One line of a failure report: the paths from `folder` on, then the reason.
std::string failureLine(const std::string& folder, const RunFailure& failure);
// The first few lines of a failure report, then "... and N more."; when
// some were left out, `details` gets every line, else it is emptied.
std::string failureList(const std::string& folder, const std::vector<RunFailure>& failures,
                        std::string& details);

// What a view offers the form beyond watching its controls.
class Form1View : public ControlObserver {
 public:
  void controlChanged(ControlId, int) override {}
  // Shows a modal message; returns when the user has closed it.
  virtual void showMessage(const Message&) {}
  // Closes the window, which ends the tool.
  virtual void closeWindow() {}
  // A file was renamed or moved, a series folder renamed (paths are full).
  virtual void fileRenamed(const std::string& /*oldPath*/, const std::string& /*newPath*/) {}
  virtual void folderRenamed(const std::string& /*oldPath*/, const std::string& /*newPath*/) {}
  // Told once at the end of a run in which some steps failed.
  virtual void runFailed(const std::vector<RunFailure>&) {}

  // What to do with a folder whose last run did not finish.
  enum class UnfinishedRunChoice { finish, undo, cancel };
  virtual UnfinishedRunChoice askUnfinishedRun(const std::string& /*text*/) {
    return UnfinishedRunChoice::cancel;
  }
  // Asks a yes-or-no question; true for yes.
  virtual bool confirm(const std::string& /*text*/, const std::string& /*title*/) { return false; }
  // Asks whether to stop the work in hand (Stop or Continue); true to stop.
  virtual bool askStop(const std::string& /*text*/) { return false; }
  // A load that leads nowhere, or that left dropped paths unloaded. A
  // window shows it; the command line says it in words of its own.
  virtual void notice(const Message&) {}
  // Start, finish or undo did not run: the folder's last run stands in the
  // way, another run works on it, or no journal could be kept.
  virtual void runRefused(const journal::LastRun& last) {
    showMessage({last.advice(), last.title(), Message::Icon::warning});
  }
};

// The project's version (CMakeLists.txt), which configuring checks these
// against: the title, --version, the version resources and the packages
// say one and the same.
inline constexpr const char* kWindowTitle = "Slicery - Version 2.0";
inline constexpr const char* kVersion = "2.0";
// The light hint a window shows in the "Current Folder:" value while it is
// empty, and the keys it names in its tooltips.
inline constexpr const char* kFolderHint = "Drop an exam folder here, or press Ctrl+O";
inline constexpr const char* kStartTip =
    "Rename the loaded folder's files (Alt+S). Ctrl+P shows what Start would do first; "
    "Esc stops a run after the file in hand; Ctrl+Z undoes the last run.";
inline constexpr const char* kFolderHintTip =
    "Drop a folder of a Siemens export (or a file in it) anywhere on the window, or press "
    "Ctrl+O to choose one. Then Ctrl+P previews the run, Esc stops it, Ctrl+Z undoes it. "
    "Right-click the window for these commands.";

class Form1 : private run::Observer, private run::UndoObserver {
 public:
  Form1(platform::FileSystem& fs, platform::Clock& clock);
  // Gives back a run made ready and never performed (prepareStart).
  ~Form1() override { abandonPrepared(); }
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  void setView(Form1View* view);

  // --- What a user can do (views call these) -------------------------------
  // A drop of paths: the first one is loaded. Returns the failure that ended
  // the load, if any (also kept in loadError()). An empty list changes nothing.
  platform::Status drop(const std::vector<std::string>& paths);
  // Sets a check box's value; when it changed, runs the box's handler.
  void changeCheck(CheckBoxModel& box, int value);
  // Replaces Text1's text; when it changed, runs its handler.
  void changeText1(std::string text);
  void pressStart();
  // Everything Start does before the run's first change, ahead of the
  // press: the checks, the plan, the folder's lock and the run's journal on
  // the disk. The next pressStart() performs that plan. False, with the
  // view told why, when Start would not run. Made for a batch that readies
  // its next exam while the one before it renames.
  bool prepareStart();
  // Gives back a prepared run that will not be performed: its journal
  // leaves the place to the one before it and the lock goes.
  platform::Status abandonPrepared();
  // Exit: closes the window; during a run, a finish or an undo, asks
  // whether to stop it and closes once it has stopped.
  void pressExit();
  // The window's close button: true when the window may close now; during
  // a run, asks as Exit does.
  bool closeRequested();
  // Esc: during a run, a finish or an undo, asks whether to stop it after
  // the file in hand.
  void pressEscape();
  // True while a load or a run is under way; input then takes no effect.
  bool busy() const { return busy_; }
  // True while a run, a finish or an undo works: it can be stopped.
  bool working() const { return work_ != Work::none; }

  // When each of the window's commands applies now.
  bool canOpenFolder() const { return !busy_; }
  bool canPreview() const { return !busy_ && btnstart.enabled(); }
  bool canStop() const { return working() && !stopAsked_; }
  // The question Esc, Exit and the close button ask during the work.
  std::string stopQuestion() const;

  // Ctrl+P: the run Start would make now, worked out as Start does and
  // changing nothing.
  Preview preview();
  // Whether Start reads the folder afresh (the window, where time passes
  // between the load and Start) or takes the load's reading of it (the
  // command line, which presses Start right after the load).
  void setStartRereadsFolder(bool reread) { startRereads_ = reread; }
  // Whether a load takes the folder's lock before it reads the folder and
  // holds it for the run that follows (the command line), so that no other
  // run changes the folder between the reading and the run.
  void setLockBeforeReading(bool on) { lockBeforeReading_ = on; }
  // Whether the file list and the series count show the folder anew after a
  // run (the window), or are left as the load showed them (the command
  // line, which lets the form go once its run is told).
  void setListsFolderAfterRun(bool on) { listsAfterRun_ = on; }

  // A dry run works out the run and shows it step by step, as the run
  // would, and changes nothing.
  void setDryRun(bool on) { dryRun_ = on; }
  bool dryRun() const { return dryRun_; }

  // --- The run journal (journal_commands.cpp) ------------------------------
  // Runs keep a journal of themselves outside the folder, so that an
  // interrupted run can be finished or any last run undone, and hold the
  // folder's lock while they work. Off by default.
  void setJournaling(bool on) { journaling_ = on; }
  bool journaling() const { return journaling_; }
  // Where journals are kept: the state folder's files unless a test gives
  // a store of its own.
  void setJournalStore(journal::Store& store) { facts_.setStore(store); }
  // See run::Facts::setJournalsAside: a batch puts the journals of the
  // exams it makes ready in place together.
  void setJournalsAside(journal::Aside* aside) { facts_.setJournalsAside(aside); }
  // Whether the run made ready (prepareStart) has its journal in place, or
  // needs none: it may take its steps.
  bool preparedJournalPlaced() const { return journal_ == nullptr || journal_->placed(); }
  // A run stops between two files once `*flag` is set, leaving its journal
  // ready to be finished or undone.
  void setStopFlag(const std::atomic<bool>* flag) { stopFlag_ = flag; }
  bool stopRequested() const;
  // Why the last run could not keep its journal (ok when it could): the run
  // stopped there, and its journal stays to finish or undo it.
  const platform::Status& journalError() const { return journalError_; }
  // What the loaded folder's last run left, found by its path or, when the
  // folder was moved since, by its names.
  journal::LastRun lastRun();
  // Why the last Start did not run (state none when it ran).
  const journal::LastRun& refusal() const { return refusal_; }
  // Finishes the loaded folder's interrupted run: each step of its plan
  // that the disk shows undone is done now, so the tree, counts and
  // failures end as the uninterrupted run would have left them. Fails,
  // changing nothing, when there is nothing to finish, the journal cannot
  // be read or another run holds the folder.
  platform::Status resumeRun();
  // Puts back every name the loaded folder's last run changed that the disk
  // shows changed, newest first, and removes the series folders it made
  // once empty; never overwrites. What could not be put back goes to
  // runFailures, and to the view's failure report unless `reportFailures`
  // is false. The journal is removed when everything was put back.
  platform::Status undoRun(bool reportFailures = true);
  // Removes the journal of the loaded folder's last run (File1's folder,
  // loaded or not), so that no record of its names is kept; the run can no
  // longer be finished or undone. Without `force`, one that did not finish
  // or cannot be read stays (fails with code 0). Fails with EWOULDBLOCK
  // while another run holds the folder, with ENOENT when no journal is
  // kept. `forgotten` tells what the journal was.
  platform::Status forgetRun(bool force, journal::LastRun& forgotten);
  // The window's offer after a load: finish or undo an unfinished run.
  void offerUnfinishedRun();
  // Whether Ctrl+Z would undo something now: the last run's journal can be
  // read and the folder still holds some of what the run made. `message` is
  // the question to ask when it applies, else why there is nothing to undo
  // (empty when there is nothing to say).
  struct UndoOffer {
    bool applies = false;
    Message message;
  };
  UndoOffer undoOffer();
  // Ctrl+Z: asks, then undoes the last run and tells what was put back.
  void pressUndo();
  // What the last undo put back and what it could not, for a message.
  Message undoSummary() const;
  int stepsPutBack = 0;
  int foldersRemoved = 0;

  // --- Procedures ----------------------------------------------------------
  void IMAFileNameParser(std::string_view IMAFileName);
  platform::Status IMADragDrop();
  void IMASeriesCounter();
  void Start();
  void CheckFilesPresent();
  void IMARenamer();
  void FolderRenamer();
  // Start's checks before a run: false when there is nothing to run.
  bool readyToStart();

  // --- Option handlers, run after a value or the text changed --------------
  // Sets a check box's value from code; when it changed, runs its handler
  // at once, as a click would.
  void setCheck(CheckBoxModel& box, int value);
  void Check2Changed();
  void Check3Changed();
  void Check4Changed();
  void Text1Changed();

  // --- State ---------------------------------------------------------------
  scan::NameFields nameFields;
  int seriesCount = 0;
  std::string lastSeries;
  std::string folderBaseName;
  int filesPresent = 0;
  long runStartTime = 0;

  // The rename run's state.
  int filesProcessed = 0;
  int filesRenamed = 0;
  int seriesPadWidth = 0;
  std::string paddedSeries;
  int slicePadWidth = 0;
  std::string paddedSlice;
  std::string newFileName;
  std::string seriesFolderPath;
  std::string seriesSubfolder;
  std::string oldFileName;
  std::string oldFilePath;
  std::string newFilePath;
  std::string lastListedFolder;
  long runEndTime = 0;
  std::vector<RunFailure> runFailures;

  const platform::Status& loadError() const { return loadError_; }

  // --- Controls ------------------------------------------------------------
 private:
  // Declared before the models and file lists that point at them.
  ControlNotifier notifier_;
  platform::FileSystem* fs_;

 public:
  TextListModel List1{notifier_, ControlId::List1};
  TextListModel List2{notifier_, ControlId::List2};
  CheckBoxModel Check4{notifier_, ControlId::Check4, "Use DICOM Series Description in Folder Name"};
  ProgressBarModel PRGSeries{notifier_, ControlId::PRGSeries};
  ProgressBarModel prgtotal{notifier_, ControlId::prgtotal};
  platform::FileList File2;
  platform::FileList File1;
  ButtonModel btnExit{notifier_, ControlId::btnExit, "&Exit"};
  ButtonModel btnstart{notifier_, ControlId::btnstart, "&Start"};
  CheckBoxModel Check1{notifier_, ControlId::Check1,
                       "Drop Everything After the Slice Number in New Filenames"};
  CheckBoxModel Check2{
      notifier_, ControlId::Check2,
      "Sort Series into Seperate Folders [ default folder name is \"Series_S#\" ]"};
  CheckBoxModel Check3{notifier_, ControlId::Check3, "Use Folder Name:"};
  TextBoxModel Text1{notifier_, ControlId::Text1};
  LabelModel lbltimetaken{notifier_, ControlId::lbltimetaken};
  LabelModel Label7{notifier_, ControlId::Label7, "Time Taken:"};
  LabelModel lbltotalfiles{notifier_, ControlId::lbltotalfiles};
  LabelModel Label5{notifier_, ControlId::Label5, "Files Processed:"};
  LabelModel Label6{notifier_, ControlId::Label6};
  std::array<LabelModel, 10> Label1{{
      {notifier_, ControlId::Label1, "Current Folder:", 0},
      {notifier_, ControlId::Label1, "Number of Files:", 1},
      {notifier_, ControlId::Label1, "Number of Unique Series:", 2},
      {notifier_, ControlId::Label1, "Current Series Number:", 3},
      {notifier_, ControlId::Label1, "Current Slice Number:", 4},
      {notifier_, ControlId::Label1, "Old File Name:", 5},
      {notifier_, ControlId::Label1, "New File Name:", 6},
      {notifier_, ControlId::Label1, "Series Progress:", 7},
      {notifier_, ControlId::Label1, "Total Progress:", 8},
      {notifier_, ControlId::Label1, "Total Files Renamed/moved:", 9},
  }};
  LabelModel Label3{notifier_, ControlId::Label3};
  LabelModel Label2{notifier_, ControlId::Label2, "Destination Folder:"};
  LabelModel lblcurrentfolder{notifier_, ControlId::lblcurrentfolder};
  LabelModel lblseriesnum{notifier_, ControlId::lblseriesnum};
  LabelModel lblcountoffiles{notifier_, ControlId::lblcountoffiles};
  LabelModel lblcurrentslice{notifier_, ControlId::lblcurrentslice};
  LabelModel lbloldfilename{notifier_, ControlId::lbloldfilename};
  LabelModel lblnewfilename{notifier_, ControlId::lblnewfilename};
  LabelModel lblcurrentseries{notifier_, ControlId::lblcurrentseries};
  LabelModel Label8{notifier_, ControlId::Label8,
                    "\"SERIES_DESCRIPTION_\" will be added to the begining of the folder name"};
  LabelModel Label4{notifier_, ControlId::Label4,
                    "Series number \"_S#\" will be appended to the folder name"};

  // The file system every procedure works through.
  platform::FileSystem& fileSystem() { return *fs_; }
  platform::Clock& clock() { return *clock_; }
  Form1View* view() { return view_; }

  // The subfolders of the loaded folder that hold .ima files.
  std::vector<std::string> subfoldersWithImaFiles();

 private:
  platform::Clock* clock_;
  Form1View* view_ = nullptr;
  // Reads the loaded folder's names into listing_, the one reading a load
  // or a run makes of it.
  platform::Status readLoadedFolder(const std::string& folder);

  // The options of the run Start would make now.
  rename::PlanOptions planOptions();
  // Takes the folder's lock and opens the run's journal before its first
  // change; false when the run must not go on (refusal_ tells why).
  bool beginRun(const rename::Plan& plan);
  // The part of a run before its first change: reads the folder where a
  // run does, makes the plan and begins the run; the plan is kept in
  // prepared_. False when the run must not go on.
  bool prepareRun();
  // Where the engine works: the loaded folder, held open as `open` (none
  // for a dry run), with the run's journal and listing.
  run::Target runTarget(platform::OpenFolder* open);
  // Clears what a run shows of the run before it.
  void startDisplays();
  // Performs `plan`, names its series folders after their description when
  // asked, closes the journal and tells the time and the failures;
  // `finishing` is the journal of a run cut short that the plan finishes.
  void performRun(const rename::Plan& plan, const journal::Contents* finishing);
  // Closes the journal: with an end record when the run reached its end;
  // the journal before it stays when the run changed nothing.
  void endRun(bool changed);
  // Performs `plan` through `folder` (none in a dry run), showing each step;
  // `finish` when it finishes a run cut short. Returns whether anything
  // changed on disk.
  bool performPlan(const rename::Plan& plan, platform::OpenFolder* folder,
                   const run::Finish* finish = nullptr);
  // How a run's steps show: each changes the controls' models as it comes.
  void seriesBegins(const rename::PlannedSeries& s, const std::string& folderPath,
                    bool folderReady) override;
  void fileBegins(const rename::PlannedSeries& s, const rename::PlannedFile& f,
                  const std::string& oldPath, const std::string& newPath) override;
  void fileRenamed(const rename::PlannedFile& f, const std::string& oldPath,
                   const std::string& newPath) override;
  void fileEnds(const rename::PlannedFile& f) override;
  void folderNamed(const std::string& oldPath, const std::string& newPath) override;
  void failed(RunFailure failure) override;
  bool stopWanted() override;
  // How an undo's steps show, as a run's do.
  void undoRead(const journal::Header& run) override;
  void undoBegins(int steps) override;
  void undoSeriesBegins(const rename::PlannedSeries& s, int steps) override;
  void undoStepBegins(const rename::PlannedFile& f) override;
  void filePutBack(const std::string& now, const std::string& before) override;
  void folderPutBack(const std::string& now, const std::string& before) override;
  bool undoStopWanted() override;
  // Whether the series folder of the pass in hand can take its files.
  bool seriesFolderReady_ = false;
  // Takes a journal's inputs as the loaded folder's options and, with
  // `names`, its listing.
  void loadJournalInputs(const journal::Header& header, bool names = true);
  // Shows the time taken since runStartTime in lbltimetaken.
  void showTimeTaken();
  // After a load: what a user is told when it leads nowhere, or when
  // `unloaded` other dropped folders were not loaded.
  void tellDeadEnds(size_t unloaded);
  // After a run, a finish or an undo: closes the window when Exit or the
  // close button stopped it, else tells where a stopped run stopped.
  void afterWork();
  // What works now, for the stop question; stopAsked_ once it was answered
  // Stop; closeAfterWork_ when Exit or the close button asked it.
  enum class Work { none, run, undo };
  class WorkScope {
   public:
    WorkScope(Form1& form, Work work) : form_(form) {
      form_.work_ = work;
      form_.stopAsked_ = false;
    }
    ~WorkScope() { form_.work_ = Work::none; }
    WorkScope(const WorkScope&) = delete;
    WorkScope& operator=(const WorkScope&) = delete;

   private:
    Form1& form_;
  };
  void askToStop(bool thenClose);
  // Undoes the last run and tells what was put back in one message.
  void undoAndTell();
  Work work_ = Work::none;
  bool stopAsked_ = false;
  bool closeAfterWork_ = false;
  Work stopped_ = Work::none;
  // For a finish or an undo: lets go of the folder's lock, the journal and
  // what was read from it, whatever way the command ends.
  class JournalScope {
   public:
    explicit JournalScope(Form1& form) : form_(form) {}
    ~JournalScope();
    JournalScope(const JournalScope&) = delete;
    JournalScope& operator=(const JournalScope&) = delete;

   private:
    Form1& form_;
  };

  platform::Status loadError_;
  bool journaling_ = false;
  bool dryRun_ = false;
  // The loaded folder's lock and last run, as this command learns them.
  run::Facts facts_{*fs_, journal::fileStore()};
  std::unique_ptr<journal::Writer> journal_;
  // The plan of a run begun and not yet performed.
  std::optional<rename::Plan> prepared_;
  platform::Status journalError_;
  journal::LastRun refusal_;
  // The plan in hand while its series folders are named, the run it
  // finishes (where it does), and how many folders were named.
  const rename::Plan* running_ = nullptr;
  const run::Finish* finishing_ = nullptr;
  int foldersRenamed_ = 0;
  const std::atomic<bool>* stopFlag_ = nullptr;
  bool busy_ = false;
  bool startRereads_ = true;
  bool lockBeforeReading_ = false;
  bool listsAfterRun_ = true;
  // The loaded folder's names: what the load read, kept current by the run;
  // and every entry of it that is no .ima file.
  rename::Listing listing_;
  // The names among them that the last reading of the folder told hidden.
  std::unordered_set<std::string> hiddenOthers_;
};

}  // namespace slicery::app
