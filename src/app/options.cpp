// The naming options: how the folder check boxes and the folder name box
// enable one another, light the hint labels and set the folder base word.
#include "app/form1.h"

namespace slicery::app {

namespace {
constexpr const char* kDefaultFolderBaseName = "Series";
}

void Form1::Check2Changed() {
  if (Check2.ticked()) {
    Check3.setEnabled(true);
    Label2.setEnabled(true);
    Check4.setEnabled(true);
    folderBaseName = kDefaultFolderBaseName;
    return;
  }
  Text1.setEnabled(false);
  Label3.setText("");
  setCheck(Check3, 0);
  Check3.setEnabled(false);
  Label2.setEnabled(false);
  Check4.setEnabled(false);
}

void Form1::Check3Changed() {
  if (Check3.ticked()) {
    Text1.setEnabled(true);
    Label2.setEnabled(true);
    Text1.setBackground(ColourRole::windowBackground);
    if (!Text1.text().empty()) {
      Label4.setEnabled(true);
      folderBaseName = Text1.text();
    }
    return;
  }
  Text1.setEnabled(false);
  Text1.setBackground(ColourRole::inactiveCaptionText);
  Label4.setEnabled(false);
  folderBaseName = kDefaultFolderBaseName;
}

void Form1::Check4Changed() {
  Label8.setEnabled(Check4.ticked());
}

void Form1::Text1Changed() {
  if (!Text1.text().empty()) {
    Label4.setEnabled(true);
    folderBaseName = Text1.text();
  } else {
    Label4.setEnabled(false);
    folderBaseName = kDefaultFolderBaseName;
  }
}

}  // namespace slicery::app
