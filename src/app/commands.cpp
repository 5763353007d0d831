// The Start and Exit commands.
#include "app/form1.h"

namespace slicery::app {

void Form1::Start() {
  if (!prepared_ && !readyToStart()) return;
  lbltimetaken.setText("");
  runStartTime = platform::roundHalfToEven(clock_->secondsSinceMidnight());
  IMARenamer();
}

bool Form1::readyToStart() {
  if (Text1.text().empty()) setCheck(Check3, 0);
  CheckFilesPresent();
  return filesPresent == -1;
}

void Form1::CheckFilesPresent() {
  if (File2.count() != 0) {
    filesPresent = -1;
    return;
  }
  filesPresent = 0;
  if (view_ != nullptr) view_->showMessage({"No IMA Files!", "ERROR", Message::Icon::critical});
}

std::string failureLine(const std::string& folder, const RunFailure& failure) {
  // Paths are told from the loaded folder on, which the report names.
  const std::string prefix = folder.empty() ? std::string() : platform::joinPath(folder, "");
  const auto shortened = [&prefix](const std::string& path) {
    return !prefix.empty() && path.starts_with(prefix) ? path.substr(prefix.size()) : path;
  };
  std::string where = shortened(failure.oldPath);
  if (!where.empty() && !failure.newPath.empty()) where += " -> ";
  where += shortened(failure.newPath);
  return platform::escapeControls((where.empty() ? folder : where) + ": " + failure.reason);
}

std::string failureList(const std::string& folder, const std::vector<RunFailure>& failures,
                        std::string& details) {
  constexpr size_t kListed = 5;
  std::string listed;
  details.clear();
  for (size_t i = 0; i < failures.size(); ++i) {
    const std::string line = failureLine(folder, failures[i]);
    if (i < kListed) listed += (i > 0 ? "\n" : "") + line;
    details += line + "\n";
  }
  if (failures.size() > kListed) {
    listed += "\n... and " + std::to_string(failures.size() - kListed) + " more.";
  } else {
    details.clear();
  }
  return listed;
}

}  // namespace slicery::app
