// The folder load and the series census: list the loaded folder's .ima files,
// reset the displays of an earlier load or run, and collect the series
// numbers in list order.
#include <string>

#include "app/form1.h"
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

  // One reading of the folder serves File1, File2 and the run after.
  loadError_ = readLoadedFolder(File1.path());
  if (!loadError_) return loadError_;
  File2.setPath(File1.path());
  File2.setPattern("*.ima");
  File2.assign(index_.store(), index_.names());

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

}  // namespace slicery::app
