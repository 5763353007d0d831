// The rename run: the plan of the loaded folder is worked out from its one
// reading, then performed series by series, each step shown as it is made.
// A step that fails is skipped and recorded, and so are the steps that
// depend on it; the run always reaches its end, shows the time taken and
// then tells the view about the failures. A dry run shows the same steps
// with what the plan foresees for each, and a finish does each step that
// the disk shows undone.
#include <cerrno>
#include <string>

#include "app/busy_scope.h"
#include "app/form1.h"
#include "run/describe.h"
#include "run/finish.h"

namespace slicery::app {
namespace {

using platform::Status;

constexpr long kSecondsPerDay = 86400;

}  // namespace

rename::PlanOptions Form1::planOptions() {
  rename::PlanOptions options;
  options.shortNames = Check1.ticked();
  options.folders = Check2.ticked();
  options.describe = Check4.ticked();
  options.folderBaseName = folderBaseName;
  options.seriesCount = seriesCount;
  options.list1.reserve(static_cast<size_t>(List1.count()));
  for (int i = 0; i < List1.count(); ++i) options.list1.push_back(List1.entry(i));
  options.nameLimit = fileSystem().nameLimit(File2.path());
  options.foldsCase = fileSystem().foldsCase(File2.path());
  return options;
}

void Form1::IMARenamer() {
  if (!prepared_ && !prepareRun()) return;
  const rename::Plan plan = std::move(*prepared_);
  prepared_.reset();
  performRun(plan, nullptr);
}

bool Form1::prepareRun() {
  startDisplays();
  const std::string folder = File2.path();
  // The run's one reading of the folder, unless it takes the load's; read
  // under the lock the run then holds.
  if (startRereads_) {
    if (journaling_ && !dryRun_) facts_.lock(folder);
    if (const Status read = readLoadedFolder(folder); !read) {
      runFailures.push_back({folder, {}, "cannot be listed: " + read.reason()});
    }
  }
  rename::Plan plan = rename::makePlan(listing_, planOptions());
  if (!beginRun(plan)) return false;
  prepared_ = std::move(plan);
  return true;
}

bool Form1::prepareStart() {
  if (prepared_) return true;
  if (busy_ || !btnstart.enabled()) return false;
  const BusyScope busy(busy_);
  return readyToStart() && prepareRun();
}

Status Form1::abandonPrepared() {
  if (!prepared_) return Status::ok();
  prepared_.reset();
  Status closed = Status::ok();
  if (journal_ != nullptr) {
    closed = run::closeJournal(*journal_, false, false);
    journal_.reset();
  }
  facts_.release();
  return closed;
}

void Form1::startDisplays() {
  // Each run reports its own failures and names only its own series folders.
  runFailures.clear();
  List2.clear();
  lastListedFolder.clear();
  prgtotal.setMaximum(File2.count());
  prgtotal.setValue(0);
  filesProcessed = 0;
  filesRenamed = 0;
}

void Form1::performRun(const rename::Plan& plan, const journal::Contents* finishing) {
  // Steps are taken relative to the loaded folder, held open.
  const std::unique_ptr<platform::OpenFolder> loaded =
      dryRun_ ? nullptr : fileSystem().openFolder(File2.path());
  run::Finish finish;
  if (finishing != nullptr) {
    finish =
        run::prepareFinish(fileSystem(), File2.path(), plan, listing_.index, *finishing, *loaded);
  }
  bool changed = performPlan(plan, loaded.get(), finishing != nullptr ? &finish : nullptr);

  if (listsAfterRun_) {
    File2.setPattern("*.ima");
    File2.assign(listing_.index.store(), listing_.index.names());
    IMASeriesCounter();
  }
  for (LabelModel* label :
       {&lblnewfilename, &lbloldfilename, &lblcurrentslice, &lblcurrentseries, &Label3}) {
    label->setText("");
  }
  if (Check4.ticked() && !stopRequested()) {
    running_ = &plan;
    finishing_ = finishing != nullptr ? &finish : nullptr;
    foldersRenamed_ = 0;
    FolderRenamer();
    running_ = nullptr;
    finishing_ = nullptr;
    changed = changed || (foldersRenamed_ > 0 && !dryRun_);
  }
  // The journal a finished run replaced is of no more use: the run being
  // finished changed the folder before it stopped.
  endRun(changed || finishing != nullptr);
  showTimeTaken();
  if (!runFailures.empty() && view() != nullptr) view()->runFailed(runFailures);
}

void Form1::showTimeTaken() {
  runEndTime = platform::roundHalfToEven(clock().secondsSinceMidnight());
  long taken = runEndTime - runStartTime;
  if (taken < 0) taken += kSecondsPerDay;  // the work passed midnight
  lbltimetaken.setText(std::to_string(taken) + " Seconds");
}

bool Form1::performPlan(const rename::Plan& plan, platform::OpenFolder* folder,
                        const run::Finish* finish) {
  run::Target target = runTarget(folder);
  target.finish = finish;
  const run::Performed performed = run::perform(plan, target, *this);
  if (!performed.journalError) journalError_ = performed.journalError;
  // A run that tried to rename shows its own count, none included.
  if (performed.attempted) lbltotalfiles.setText(std::to_string(filesRenamed));
  return performed.changed;
}

void Form1::seriesBegins(const rename::PlannedSeries& s, const std::string& folderPath,
                         bool folderReady) {
  seriesPadWidth = s.padWidth;
  paddedSeries = s.padded;
  seriesSubfolder = s.hasFolder ? platform::joinPath(s.folderName, "") : std::string();
  if (s.hasFolder) seriesFolderPath = folderPath;
  seriesFolderReady_ = folderReady;
  lblcurrentseries.setText(s.text);
  PRGSeries.setValue(0);
  if (s.listed > 0) PRGSeries.setMaximum(s.listed);
}

void Form1::fileBegins(const rename::PlannedSeries& s, const rename::PlannedFile& f,
                       const std::string& oldPath, const std::string& newPath) {
  oldFileName = f.oldName;
  newFileName = f.newName;
  if (s.hasFolder) Label3.setText(seriesFolderPath);
  PRGSeries.setValue(PRGSeries.value() + 1);
  ++filesProcessed;
  if (!f.renamed) return;
  lblcurrentslice.setText(f.slice);
  lbloldfilename.setText(oldFileName);
  lblnewfilename.setText(newFileName);
  oldFilePath = oldPath;
  newFilePath = newPath;
  // The folder renamer works on the folders this run actually has.
  if (Check4.ticked() && seriesFolderReady_ && seriesFolderPath != lastListedFolder) {
    List2.append(s.folderName);
    lastListedFolder = seriesFolderPath;
  }
}

void Form1::fileRenamed(const rename::PlannedFile&, const std::string& oldPath,
                        const std::string& newPath) {
  ++filesRenamed;
  // Both counts shown before the view hears of the step, so that whatever
  // it asks meanwhile never sees more renamed than processed.
  Label6.setText(std::to_string(filesProcessed));
  lbltotalfiles.setText(std::to_string(filesRenamed));
  if (view() != nullptr) view()->fileRenamed(oldPath, newPath);
}

void Form1::fileEnds(const rename::PlannedFile&) {
  Label6.setText(std::to_string(filesProcessed));
  prgtotal.setValue(filesProcessed);
}

void Form1::FolderRenamer() {
  // A dry run names the folders as its plan leaves them; outside a run, the
  // folders are named as they stand.
  const bool dry = dryRun_ && running_ != nullptr;
  const std::unique_ptr<platform::OpenFolder> loaded =
      dry ? nullptr : fileSystem().openFolder(File2.path());
  run::Target target = runTarget(loaded.get());
  target.finish = finishing_;
  static const rename::Plan kNoPlan;
  const run::Named named =
      run::nameFolders(running_ != nullptr ? *running_ : kNoPlan, List2.items(), target, *this);
  foldersRenamed_ += named.folders;
  if (!named.journalError) journalError_ = named.journalError;
}

run::Target Form1::runTarget(platform::OpenFolder* open) {
  run::Target target;
  target.fs = &fileSystem();
  target.folder = File2.path();
  target.open = open;
  target.journal = journal_.get();
  target.listing = &listing_.index;
  return target;
}

void Form1::folderNamed(const std::string& oldPath, const std::string& newPath) {
  if (view_ != nullptr) view_->folderRenamed(oldPath, newPath);
}

void Form1::failed(RunFailure failure) {
  runFailures.push_back(std::move(failure));
}

bool Form1::stopWanted() {
  return stopRequested();
}

}  // namespace slicery::app
