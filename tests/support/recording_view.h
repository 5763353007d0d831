// RecordingView: a Form1 view for tests that keeps what the form told it.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/form1.h"

namespace slicery::testing {

class RecordingView : public app::Form1View {
 public:
  void controlChanged(app::ControlId id, int index) override { changes.emplace_back(id, index); }
  void showMessage(const app::Message& message) override { messages.push_back(message); }
  void closeWindow() override { ++closeRequests; }
  void fileRenamed(const std::string& from, const std::string& to) override {
    renamedFiles.emplace_back(from, to);
    if (onFileRenamed) onFileRenamed(from, to);
  }
  void folderRenamed(const std::string& from, const std::string& to) override {
    renamedFolders.emplace_back(from, to);
  }
  void runFailed(const std::vector<app::RunFailure>& failures) override {
    failureReports.push_back(failures);
    if (onRunFailed) onRunFailed();
  }

  int changesOf(app::ControlId id) const {
    int n = 0;
    for (const auto& change : changes) n += change.first == id ? 1 : 0;
    return n;
  }

  std::vector<std::pair<app::ControlId, int>> changes;
  std::vector<app::Message> messages;
  int closeRequests = 0;
  std::vector<std::pair<std::string, std::string>> renamedFiles;
  std::vector<std::pair<std::string, std::string>> renamedFolders;
  std::vector<std::vector<app::RunFailure>> failureReports;
  // Run at the moment of the event, to look at the form as it is then.
  std::function<void(const std::string&, const std::string&)> onFileRenamed;
  std::function<void()> onRunFailed;
};

}  // namespace slicery::testing
