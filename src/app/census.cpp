// The folder load and the series census: list the loaded folder's .ima files,
// reset the displays of an earlier load or run, and collect the series
// numbers in list order.
#include <string>

#include "app/form1.h"
#include "platform/pattern.h"
#include "scan/ima_file_name.h"

namespace slicery::app {

void Form1::IMAFileNameParser(std::string_view IMAFileName) {
  scan::splitImaFileName(IMAFileName, nameFields);
}

platform::Status Form1::IMADragDrop() {
  btnstart.setEnabled(false);
  prgtotal.setValue(0);
  PRGSeries.setValue(0);
  for (LabelModel* label : {&lbloldfilename, &lblnewfilename, &lblcurrentslice, &lblcurrentseries,
                            &lbltotalfiles, &Label6, &Label3}) {
    label->setText("");
  }
  List1.clear();

  // One reading of the folder serves File1, File2 and the run after; read
  // under the folder's lock when the run follows at once.
  if (lockBeforeReading_ && journaling_ && !dryRun_) facts_.lock(File1.path());
  loadError_ = readLoadedFolder(File1.path());
  if (!loadError_) return loadError_;
  File2.setPath(File1.path());
  File2.setPattern("*.ima");
  File2.assign(listing_.index.store(), listing_.index.names());

  lblcurrentfolder.setText(File2.path());
  lblcountoffiles.setText(std::to_string(File2.count()));
  lbltimetaken.setText("");
  IMASeriesCounter();
  if (seriesCount > 0) btnstart.setEnabled(true);
  return loadError_;
}

void Form1::IMASeriesCounter() {
  lastSeries.clear();
  seriesCount = 0;
  List1.clear();
  for (const std::string_view name : File2.entries()) {
    IMAFileNameParser(name);
    const std::string_view series = nameFields[scan::kSeriesField];
    if (!series.empty() && series != lastSeries) {
      ++seriesCount;
      lastSeries = series;
      List1.append(std::string(series));
    }
  }
  lblseriesnum.setText(std::to_string(seriesCount));
}

std::vector<std::string> Form1::subfoldersWithImaFiles() {
  std::vector<std::string> found;
  for (const auto& [name, kind] : listing_.others) {
    if (kind != platform::PathKind::folder || hiddenOthers_.count(name) != 0) continue;
    std::vector<std::string> names;
    if (fileSystem().listFiles(platform::joinPath(File2.path(), name), scan::endsInIma, names) &&
        !names.empty()) {
      found.push_back(name);
    }
  }
  platform::sortIgnoringCase(found);
  return found;
}

void Form1::tellDeadEnds(size_t unloaded) {
  if (view_ == nullptr) return;
  const std::string& folder = File2.path();
  if (seriesCount == 0) {
    std::string text;
    if (File2.count() > 0) {
      text = "None of the " + std::to_string(File2.count()) + " .ima files in " + folder +
             " has a series number in its name, so there is nothing to rename.";
    } else if (const std::vector<std::string> exams = subfoldersWithImaFiles(); !exams.empty()) {
      text =
          folder + " holds no .ima files, but " +
          (exams.size() == 1 ? "its subfolder " + exams.front() + " does"
                             : std::to_string(exams.size()) + " of its subfolders do (" + exams[0] +
                                   ", " + exams[1] + (exams.size() > 2 ? ", ..." : "") + ")") +
          ". Drop " + (exams.size() == 1 ? "it" : "one of them") +
          " on the window, or choose it with Ctrl+O.";
    } else {
      text = folder +
             " holds no .ima files. Drop the folder of a Siemens export on the window, or "
             "choose it with Ctrl+O.";
    }
    view_->notice({text, "No IMA Files", Message::Icon::information});
  }
  if (unloaded > 0) {
    view_->notice({"Only the first folder, " + File1.path() + ", was loaded. " +
                       (unloaded == 1 ? "The other one was not: drop it on its own."
                                      : "The other " + std::to_string(unloaded) +
                                            " were not: drop each on its own."),
                   "Slicery", Message::Icon::information});
  }
}

}  // namespace slicery::app
