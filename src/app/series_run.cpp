// The rename run: the plan of the loaded folder is worked out from its one
// reading, then performed series by series, each step shown as it is made.
// A step that fails is skipped and recorded, and so are the steps that
// depend on it; the run always reaches its end, shows the time taken and
// then tells the view about the failures. A dry run shows the same steps
// with what the plan foresees for each, and a finish does each step that
// the disk shows undone.
#include <cerrno>
#include <string>

#include "app/form1.h"
#include "journal/recorded_intent.h"
#include "rename/new_name.h"

namespace slicery::app {
namespace {

using platform::PathKind;
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
  // Each run reports its own failures and names only its own series folders.
  runFailures.clear();
  List2.clear();
  lastListedFolder.clear();

  prgtotal.setMaximum(File2.count());
  prgtotal.setValue(0);
  filesProcessed = 0;
  filesRenamed = 0;

  const std::string folder = File2.path();
  // The run's one reading of the folder, unless it takes the load's; read
  // under the lock the run then holds.
  if (startRereads_ && finishing_ == nullptr) {
    if (journaling_ && !dryRun_) lockLoadedFolder();
    if (const Status read = readLoadedFolder(folder); !read) {
      runFailures.push_back({folder, {}, "cannot be listed: " + read.reason()});
    }
  }
  rename::PlanOptions options = planOptions();
  if (finishing_ != nullptr) {
    options.nameLimit = finishing_->header.options.nameLimit;
    options.sortableWidths = finishing_->header.options.sortableWidths;
    options.foldsCase = finishing_->header.options.foldsCase;
  }
  const rename::Plan plan = rename::makePlan({index_, others_}, std::move(options));
  if (!beginRun(plan)) return;
  // Steps are taken relative to the loaded folder, held open.
  const std::unique_ptr<platform::OpenFolder> loaded =
      dryRun_ ? nullptr : fileSystem().openFolder(folder);
  if (finishing_ != nullptr) prepareFinish(plan, *loaded);
  bool changed = performPlan(plan, loaded.get());

  File2.setPattern("*.ima");
  File2.assign(index_.store(), index_.names());
  IMASeriesCounter();
  for (LabelModel* label :
       {&lblnewfilename, &lbloldfilename, &lblcurrentslice, &lblcurrentseries, &Label3}) {
    label->setText("");
  }
  if (Check4.ticked() && !stopRequested()) {
    running_ = &plan;
    foldersRenamed_ = 0;
    FolderRenamer();
    running_ = nullptr;
    changed = changed || (foldersRenamed_ > 0 && !dryRun_);
  }
  endRun(changed);
  showTimeTaken();
  if (!runFailures.empty() && view() != nullptr) view()->runFailed(runFailures);
}

void Form1::showTimeTaken() {
  runEndTime = platform::roundHalfToEven(clock().secondsSinceMidnight());
  long taken = runEndTime - runStartTime;
  if (taken < 0) taken += kSecondsPerDay;  // the work passed midnight
  lbltimetaken.setText(std::to_string(taken) + " Seconds");
}

bool Form1::performPlan(const rename::Plan& plan, platform::OpenFolder* loaded) {
  using platform::joinPath;
  const std::string folder = File2.path();
  const auto record = [this](std::string oldPath, std::string newPath, const Status& status) {
    runFailures.push_back({std::move(oldPath), std::move(newPath), status.reason()});
  };
  bool changed = false;
  bool renameAttempted = false;
  std::string newTarget;
  for (size_t si = 0; si < plan.series.size() && !stopRequested(); ++si) {
    const rename::PlannedSeries& s = plan.series[si];
    seriesPadWidth = s.padWidth;
    paddedSeries = s.padded;
    seriesSubfolder = s.hasFolder ? joinPath(s.folderName, "") : std::string();

    // The series' folder. One that exists already is used only when it is a
    // real folder, never a link; a name that would lead out of the loaded
    // folder or hide the series is never made or moved into.
    std::string refusal;
    bool folderReady = false;
    // A finish finds a series folder named after its description already:
    // its files went in before that.
    const auto described = renamedFolders_.find(s.folderName);
    const bool wasDescribed = s.hasFolder && described != renamedFolders_.end();
    if (s.hasFolder) {
      seriesFolderPath = joinPath(folder, s.folderName);
      if (wasDescribed) {
      } else if (loaded == nullptr) {
        refusal = s.refusal;
      } else if (refusal = rename::unsafeFolderName(s.folderName); !refusal.empty()) {
      } else if (const Status made = loaded->makeFolder(s.folderName); made) {
        changed = true;
      } else if (const PathKind kind = loaded->kind(s.folderName); kind != PathKind::folder) {
        refusal = made.code() == EEXIST ? rename::notAFolder(kind) : made.reason();
      }
      folderReady = refusal.empty();
      if (!folderReady) {
        record({}, seriesFolderPath, Status::error("make folder", seriesFolderPath, refusal));
      }
    }

    lblcurrentseries.setText(s.text);
    PRGSeries.setValue(0);
    if (s.listed > 0) PRGSeries.setMaximum(s.listed);

    journal::Pass outcome;
    outcome.pass = static_cast<std::uint32_t>(si);
    for (size_t i = s.firstFile; i < s.endFile && !stopRequested(); ++i) {
      const rename::PlannedFile& f = plan.files[i];
      oldFileName = f.oldName;
      newFileName = f.newName;
      if (s.hasFolder) Label3.setText(seriesFolderPath);
      PRGSeries.setValue(PRGSeries.value() + 1);
      ++filesProcessed;

      if (f.renamed) {
        lblcurrentslice.setText(std::string(f.slice));
        lbloldfilename.setText(oldFileName);
        lblnewfilename.setText(newFileName);
        newTarget = plan.target(s, f);
        platform::joinPathInto(oldFilePath, folder, oldFileName);
        platform::joinPathInto(newFilePath, folder, newTarget);

        // The folder renamer works on the folders this run actually has.
        if (Check4.ticked() && folderReady && seriesFolderPath != lastListedFolder) {
          List2.append(s.folderName);
          lastListedFolder = seriesFolderPath;
        }

        // A name that stays the same is no failure and no rename.
        renameAttempted = true;
        Status status = blockedStep(s, f, refusal, oldFilePath);
        bool moved = false;
        bool done = false;
        if (status && plan.moves(s, f)) {
          if (loaded == nullptr) {
            status = foreseen(s, f, oldFilePath, newFilePath);
            done = true;
          } else if (finishing_ != nullptr && judgedFiles_[i] == kStepDone) {
            done = true;  // taken before the run stopped
          } else if (finishing_ != nullptr && judgedFiles_[i] == kStepFailed) {
            // Tried before the run stopped, without effect: the finish
            // leaves it as the run did.
            const auto why = failureReasons_.find(static_cast<std::uint32_t>(i));
            status = why != failureReasons_.end()
                         ? Status::error("rename", oldFilePath, why->second)
                         : Status::systemError("rename", oldFilePath, EEXIST, newFilePath);
          } else {
            const std::string to =
                wasDescribed ? joinPath(described->second, f.newName) : newTarget;
            journal::RecordedIntent intent(journal_.get(), oldFileName, to, &journalError_);
            status = loaded->renameFile(oldFileName, to, &intent);
          }
          moved = status.isOk();
        }
        if (!status) {
          record(oldFilePath, newFilePath, status);
          outcome.failed.push_back(static_cast<std::uint32_t>(i));
          // Recorded as it fails, so that a finish or an undo after a kill
          // knows the step changed nothing.
          if (journal_ != nullptr && loaded != nullptr) {
            if (const Status written =
                    journal_->failure(static_cast<std::uint32_t>(i), status.reason());
                !written) {
              journalError_ = written;
            }
          }
        } else if (moved) {
          changed = changed || !done;
          index_.renamed(f.id, s.hasFolder ? std::string_view() : f.newName,
                         !s.hasFolder && f.foreseen == rename::Foresight::none);
          ++filesRenamed;
          ++outcome.renamed;
          // Both counts shown before the view hears of the step, so that
          // whatever it asks meanwhile never sees more renamed than processed.
          Label6.setText(std::to_string(filesProcessed));
          lbltotalfiles.setText(std::to_string(filesRenamed));
          if (view() != nullptr) view()->fileRenamed(oldFilePath, newFilePath);
        }
      }

      Label6.setText(std::to_string(filesProcessed));
      prgtotal.setValue(filesProcessed);
    }
    if (journal_ != nullptr && (outcome.renamed > 0 || !outcome.failed.empty())) {
      if (const Status written = journal_->pass(outcome); !written) journalError_ = written;
    }
  }
  // A run that tried to rename shows its own count, none included.
  if (renameAttempted) lbltotalfiles.setText(std::to_string(filesRenamed));
  return changed;
}

Status Form1::blockedStep(const rename::PlannedSeries& s, const rename::PlannedFile& f,
                          const std::string& refusal, const std::string& oldPath) {
  if (!refusal.empty()) {
    return Status::error(
        "rename", oldPath,
        "its series folder cannot be used (" + refusal + "); the file stays where it is");
  }
  std::string linkTarget;
  if (s.hasFolder && index_.isLink(f.id) &&
      fileSystem().entryKind(oldPath, linkTarget) == PathKind::link &&
      platform::pathRootLength(linkTarget) == 0) {
    return Status::error("rename", oldPath,
                         linkTarget.empty()
                             ? "a symbolic link whose target cannot be read could break in the "
                               "series folder; the link stays where it is"
                             : "a symbolic link with a relative target would break in the "
                               "series folder; the link stays where it is");
  }
  return Status::ok();
}

Status Form1::foreseen(const rename::PlannedSeries& s, const rename::PlannedFile& f,
                       const std::string& oldPath, const std::string& newPath) {
  switch (f.foreseen) {
    case rename::Foresight::taken:
      return Status::systemError("rename", oldPath, EEXIST, newPath);
    case rename::Foresight::tooLong:
      return Status::systemError("rename", oldPath, ENAMETOOLONG, newPath);
    case rename::Foresight::none:
      break;
  }
  // A folder that was there before may hold the name already.
  std::string target;
  if (s.hasFolder && s.folderListed &&
      fileSystem().entryKind(newPath, target) != PathKind::missing) {
    return Status::systemError("rename", oldPath, EEXIST, newPath);
  }
  return Status::ok();
}

}  // namespace slicery::app
