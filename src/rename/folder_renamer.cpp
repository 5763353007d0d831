// The series folder renamer: puts each series folder's Series Description,
// read from the first file listed in it, in front of the folder's name. A
// folder that cannot be renamed keeps its name, the reason goes to the run's
// failures, and the renamer goes on with the next folder.
#include <set>
#include <string>

#include "app/form1.h"
#include "dicom/dicom_hdr.h"
#include "rename/new_name.h"

namespace slicery::app {

void Form1::FolderRenamer() {
  using platform::joinPath;
  using platform::Status;

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
