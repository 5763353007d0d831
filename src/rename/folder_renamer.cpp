// The series folder renamer: puts each series folder's Series Description,
// read from the first file listed in it, in front of the folder's name. A
// folder that cannot be renamed keeps its name, the reason goes to the run's
// failures, and the renamer goes on with the next folder.
#include <set>
#include <string>
#include <string_view>

#include "app/form1.h"
#include "dicom/dicom_hdr.h"
#include "rename/new_name.h"

namespace slicery::app {

void Form1::FolderRenamer() {
  using platform::joinPath;
  using platform::Status;

  // The description of the first file of a study in File1 other than the
  // first file's, or empty when every study agrees with `first`.
  const auto otherDescription = [this](const std::string& first) -> std::string {
    std::set<std::string_view> studies;
    for (const std::string_view name : File1.entries()) {
      size_t stops = 0;
      size_t end = 0;
      while (stops < 3 && (end = name.find('.', end)) != std::string_view::npos) {
        ++stops;
        ++end;
      }
      if (stops < 3 || !studies.insert(name.substr(0, end)).second) continue;
      if (studies.size() == 1) continue;  // the first file's own study
      try {
        std::string description =
            dicom::DICOM_hdr(fileSystem(), "8", "103E", platform::joinPath(File1.path(), name));
        if (description != first) return description;
      } catch (const dicom::HeaderError&) {
        // A file that is no image names no study.
      }
    }
    return {};
  };

  // Every folder met so far, by its old and its new path: each one is
  // renamed at most once, however often List2 names it.
  std::set<std::string> visited;
  const int entries = List2.count();
  for (int i = 0; i < entries; ++i) {
    const std::string entry = List2.entry(i);
    const std::string folder = joinPath(File2.path(), entry);
    if (!visited.insert(folder).second) continue;
    const auto fail = [&](std::string newPath, std::string reason) {
      runFailures.push_back({folder, std::move(newPath), std::move(reason)});
    };

    File1.setPattern("*.*");
    File1.setPath(folder);
    if (const Status listed = File1.refresh(); !listed) {
      fail({}, "cannot be listed: " + listed.reason());
      continue;
    }
    if (File1.count() == 0) {
      fail({}, "no file in the folder to read the series description from");
      continue;
    }
    std::string description;
    try {
      description =
          dicom::DICOM_hdr(fileSystem(), "8", "103E", joinPath(File1.path(), File1.entry(0)));
    } catch (const dicom::HeaderError& e) {
      fail({}, std::string("cannot read the series description: ") + e.what());
      continue;
    }

    // Two studies in one folder share its series folders: a description
    // names the folder only when the first file of every study in it
    // (every first three pieces) carries it too.
    if (std::string other = otherDescription(description); !other.empty()) {
      fail({}, "its files carry different series descriptions (\"" + description + "\" and \"" +
                   other + "\"); the folder keeps its name");
      continue;
    }
    const std::string newName = description + "_" + entry;
    const std::string newPath = joinPath(File2.path(), newName);
    if (std::string refusal = rename::unsafeFolderName(newName); !refusal.empty()) {
      fail(newPath, std::move(refusal));
      continue;
    }
    if (const Status renamed = fileSystem().renameFolder(folder, newPath); !renamed) {
      fail(newPath, renamed.reason());
      continue;
    }
    visited.insert(newPath);
    if (view() != nullptr) view()->folderRenamed(folder, newPath);
  }
}

}  // namespace slicery::app
