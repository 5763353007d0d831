// The Start and Exit commands.
#include "app/form1.h"

namespace slicery::app {

void Form1::Start() {
  if (Text1.text().empty()) setCheck(Check3, 0);
  CheckFilesPresent();
  if (filesPresent != -1) return;
  lbltimetaken.setText("");
  runStartTime = platform::roundHalfToEven(clock_->secondsSinceMidnight());
  IMARenamer();
}

void Form1::CheckFilesPresent() {
  if (File2.count() != 0) {
    filesPresent = -1;
    return;
  }
  filesPresent = 0;
  if (view_ != nullptr) view_->showMessage({"No IMA Files!", "ERROR", Message::Icon::critical});
}

}  // namespace slicery::app
