// The rename run: every .ima file of the loaded folder, series by series, gets
// its padded name in place or is moved into its series folder. A step that
// fails is skipped and recorded; the run always reaches its end, shows the
// time taken and then tells the view about the failures.
#include <cerrno>
#include <string>

#include "app/form1.h"
#include "rename/new_name.h"
#include "scan/ima_file_name.h"

namespace slicery::app {
namespace {

constexpr long kSecondsPerDay = 86400;

std::string seriesFolderName(const std::string& base, const std::string& paddedSeries) {
  return base + "_S" + paddedSeries;
}

// Why an existing entry at a series folder's path cannot take the series'
// files; they never go anywhere but into a real folder of the loaded folder.
std::string notAFolder(platform::PathKind kind) {
  switch (kind) {
    case platform::PathKind::link:
      return "exists as a symbolic link, which could lead out of the loaded folder";
    case platform::PathKind::missing:
      return "cannot be made";
    default:
      return "exists and is not a folder";
  }
}

}  // namespace

void Form1::IMARenamer() {
  using platform::joinPath;
  using platform::PathKind;
  using platform::Status;

  // Each run reports its own failures and names only its own series folders.
  runFailures.clear();
  List2.clear();
  lastListedFolder.clear();
  auto record = [this](std::string oldPath, std::string newPath, const Status& status) {
    runFailures.push_back({std::move(oldPath), std::move(newPath), status.reason()});
  };
  auto recordListing = [this](const std::string& folder, const Status& status) {
    runFailures.push_back({folder, {}, "cannot be listed: " + status.reason()});
  };

  bool renameAttempted = false;
  prgtotal.setMaximum(File2.count());
  prgtotal.setValue(0);
  filesProcessed = 0;
  filesRenamed = 0;

  const std::string folder = File2.path();
  // The run's one reading of the folder, unless it takes the load's.
  if (startRereads_) {
    if (const Status read = readLoadedFolder(folder); !read) recordListing(folder, read);
  }
  if (!beginRunJournal()) return;
  // Renames and folders are made relative to the loaded folder, held open.
  const std::unique_ptr<platform::OpenFolder> loaded = fileSystem().openFolder(folder);
  std::vector<std::string_view> seriesNames;
  std::string newTarget;
  std::vector<scan::SeriesIndex::Id> seriesIds;
  for (int series = 0; series < List1.count() && !stopRequested(); ++series) {
    const std::string seriesText = List1.entry(series);
    seriesPadWidth = rename::padWidth(seriesCount, seriesText);
    paddedSeries = rename::padded(seriesText, seriesPadWidth);

    // The series' folder. One that exists already is used only when it is a
    // real folder, never a link; a name that would lead out of the loaded
    // folder or hide the series is never made or moved into.
    const bool hasFolder = Check2.ticked() && rename::seriesGetsFolder(paddedSeries);
    const std::string folderName = seriesFolderName(folderBaseName, paddedSeries);
    seriesSubfolder = hasFolder ? joinPath(folderName, "") : std::string();
    std::string refusal;
    bool folderReady = false;
    PathKind kind = PathKind::missing;
    if (hasFolder) {
      seriesFolderPath = joinPath(folder, folderName);
      refusal = rename::unsafeFolderName(folderName);
      if (!refusal.empty()) {
        record({}, seriesFolderPath, Status::error("make folder", seriesFolderPath, refusal));
      } else if (const Status made = loaded->makeFolder(folderName); made) {
        folderReady = true;
      } else if (std::string target;
                 (kind = fileSystem().entryKind(seriesFolderPath, target)) == PathKind::folder) {
        folderReady = true;
      } else {
        refusal =
            made.code() == EEXIST && kind != PathKind::file ? notAFolder(kind) : made.reason();
        record({}, seriesFolderPath, Status::error("make folder", seriesFolderPath, refusal));
      }
    }

    lblcurrentseries.setText(seriesText);

    // The series' names: its full names, or failing those its short ones,
    // each selected by its own fourth piece alone.
    index_.seriesNames(seriesText, scan::kFullNamePieces, seriesNames, seriesIds);
    if (seriesNames.empty()) {
      index_.seriesNames(seriesText, scan::kShortNamePieces, seriesNames, seriesIds);
    }
    File2.assign(index_.store(), std::move(seriesNames));
    PRGSeries.setValue(0);
    if (File2.count() > 0) PRGSeries.setMaximum(File2.count());

    const int seriesFiles = File2.count();
    for (int file = 0; file < seriesFiles && !stopRequested(); ++file) {
      IMAFileNameParser(File2.entry(file));
      slicePadWidth = rename::padWidth(seriesFiles, nameFields[scan::kSliceField]);
      paddedSlice = rename::padded(nameFields[scan::kSliceField], slicePadWidth);
      oldFileName = File2.entry(file);
      if (hasFolder) Label3.setText(seriesFolderPath);
      // The file's own series piece takes the zeros: it may differ from the
      // series text in letter case only.
      newFileName = rename::newFileName(
          nameFields, rename::padded(nameFields[scan::kSeriesField], seriesPadWidth), paddedSlice,
          oldFileName, Check1.ticked());

      if (nameFields[0].empty() || nameFields[scan::kSeriesField] == "0") continue;
      PRGSeries.setValue(PRGSeries.value() + 1);
      ++filesProcessed;

      if (seriesPadWidth > 0 || slicePadWidth > 0 || Check1.ticked() || Check2.ticked()) {
        lblcurrentslice.setText(nameFields[scan::kSliceField]);
        lbloldfilename.setText(oldFileName);
        lblnewfilename.setText(newFileName);
        // The new name as the loaded folder knows it: in its series folder.
        newTarget.assign(seriesSubfolder).append(newFileName);
        platform::joinPathInto(oldFilePath, folder, oldFileName);
        platform::joinPathInto(newFilePath, folder, newTarget);

        // The folder renamer works on the folders this run actually has.
        if (Check4.ticked() && folderReady && seriesFolderPath != lastListedFolder) {
          List2.append(folderName);
          lastListedFolder = seriesFolderPath;
        }

        // A name that stays the same is no failure and no rename.
        renameAttempted = true;
        std::string linkTarget;
        if (!refusal.empty()) {
          record(oldFilePath, newFilePath,
                 Status::error("rename", oldFilePath,
                               "its series folder cannot be used (" + refusal +
                                   "); the file stays where it is"));
        } else if (hasFolder && index_.isLink(seriesIds[static_cast<size_t>(file)]) &&
                   fileSystem().entryKind(oldFilePath, linkTarget) == PathKind::link &&
                   linkTarget.rfind('/', 0) != 0) {
          record(oldFilePath, newFilePath,
                 Status::error("rename", oldFilePath,
                               "a symbolic link with a relative target would break in the "
                               "series folder; the link stays where it is"));
        } else if (oldFilePath != newFilePath) {
          if (const Status renamed = loaded->renameFile(oldFileName, newTarget); renamed) {
            index_.renamed(seriesIds[static_cast<size_t>(file)],
                           hasFolder ? std::string() : newFileName);
            ++filesRenamed;
            lbltotalfiles.setText(std::to_string(filesRenamed));
            if (view() != nullptr) view()->fileRenamed(oldFilePath, newFilePath);
          } else {
            record(oldFilePath, newFilePath, renamed);
          }
        }
      }

      Label6.setText(std::to_string(filesProcessed));
      prgtotal.setValue(filesProcessed);
    }
  }

  // A run that tried to rename shows its own count, none included.
  if (renameAttempted) lbltotalfiles.setText(std::to_string(filesRenamed));

  File2.setPattern("*.ima");
  File2.assign(index_.store(), index_.names());
  IMASeriesCounter();
  for (LabelModel* label :
       {&lblnewfilename, &lbloldfilename, &lblcurrentslice, &lblcurrentseries, &Label3}) {
    label->setText("");
  }
  if (Check4.ticked() && !stopRequested()) FolderRenamer();
  endRunJournal();

  runEndTime = platform::roundHalfToEven(clock().secondsSinceMidnight());
  long taken = runEndTime - runStartTime;
  if (taken < 0) taken += kSecondsPerDay;  // the run passed midnight
  lbltimetaken.setText(std::to_string(taken) + " Seconds");

  if (!runFailures.empty() && view() != nullptr) view()->runFailed(runFailures);
}

}  // namespace slicery::app
