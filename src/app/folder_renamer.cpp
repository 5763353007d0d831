// The series folder renamer: puts each series folder's Series Description,
// read from the first file listed in it, in front of the folder's name, when
// every other image in the folder carries it too; an empty description, or
// one that cannot be read, names no folder. The characters some disks refuse
// in a name are written as '_' (rename::folderDescription). A folder that
// cannot be renamed keeps its name, the reason goes to the run's failures,
// and the renamer goes on with the next folder. Each rename is
// recorded in the run's journal, and flushed, before it is made: only the
// journal can tell where a renamed folder went. A dry run names the folders
// as the run would leave them, reading each file where it is now.
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include "app/form1.h"
#include "dicom/dicom_hdr.h"
#include "platform/pattern.h"
#include "rename/new_name.h"
#include "scan/series_index.h"

namespace slicery::app {

using platform::joinPath;
using platform::Status;

namespace {

// A description that names nothing: empty, or only the spaces (read as '_')
// and NULs that pad a value.
bool blankDescription(std::string_view description) {
  return description.find_first_not_of(std::string_view("_\0", 2)) == std::string_view::npos;
}

}  // namespace

Status Form1::plannedFolderFiles(const std::string& entry, std::vector<std::string>& names,
                                 std::vector<std::string>& readFrom) {
  names.clear();
  readFrom.clear();
  const std::string folder = joinPath(File2.path(), entry);
  const rename::Plan& plan = *running_;
  // What the folder held before the run, if it was there.
  bool existed = false;
  for (const rename::PlannedSeries& s : plan.series)
    existed = existed || (s.folderName == entry && s.folderListed);
  if (existed) {
    std::vector<std::string> before;
    if (Status listed = fileSystem().listFiles(folder, {}, before); !listed) return listed;
    for (std::string& name : before) {
      readFrom.push_back(joinPath(folder, name));
      names.push_back(std::move(name));
    }
  }
  // Each file moved in, read under the name the listing gave it.
  std::unordered_map<scan::SeriesIndex::Id, std::string_view> listed;
  for (const rename::PlannedFile& f : plan.files) listed.try_emplace(f.id, f.oldName);
  for (const rename::PlannedSeries& s : plan.series) {
    if (!s.hasFolder || s.folderName != entry || !s.refusal.empty()) continue;
    for (size_t i = s.firstFile; i < s.endFile; ++i) {
      const rename::PlannedFile& f = plan.files[i];
      if (!plan.moves(s, f) || f.foreseen != rename::Foresight::none) continue;
      names.emplace_back(f.newName);
      readFrom.push_back(joinPath(File2.path(), listed[f.id]));
    }
  }
  // In list order, each name with its path.
  std::vector<size_t> order(names.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  platform::sortIgnoringCase(order, [&names](size_t i) { return std::string_view(names[i]); });
  std::vector<std::string> sortedNames;
  std::vector<std::string> sortedPaths;
  for (const size_t i : order) {
    sortedNames.push_back(std::move(names[i]));
    sortedPaths.push_back(std::move(readFrom[i]));
  }
  names = std::move(sortedNames);
  readFrom = std::move(sortedPaths);
  return Status::ok();
}

std::string Form1::describedName(const std::string& entry, std::string& why) {
  why.clear();
  std::vector<std::string> names;
  std::vector<std::string> readFrom;
  if (const Status listed = plannedFolderFiles(entry, names, readFrom); !listed) {
    why = "cannot be listed: " + listed.reason();
    return {};
  }
  if (names.empty()) {
    why = "no file in the folder to read the series description from";
    return {};
  }
  std::string description;
  try {
    description = dicom::DICOM_hdr(fileSystem(), "8", "103E", readFrom.front());
  } catch (const dicom::HeaderError& e) {
    why = std::string("cannot read the series description: ") + e.what();
    return {};
  }
  if (blankDescription(description)) {
    why = "the series description of " + names.front() + " is empty; the folder keeps its name";
    return {};
  }
  std::string newName = rename::folderDescription(description) + "_" + entry;
  why = rename::unsafeFolderName(newName);
  return newName;
}

void Form1::FolderRenamer() {
  const bool dry = dryRun_ && running_ != nullptr;
  std::vector<std::string> names;
  std::vector<std::string> readFrom;

  // Why the images after the first file do not all carry `first`, or empty
  // when they do: a folder is named after a description only when every
  // image in it has that description.
  std::string folder;
  // Why file `k` cannot be read, naming it where the run leaves it: a dry
  // run reads it where it is now.
  const auto unreadable = [&](size_t k, const dicom::HeaderError& e) {
    std::string why = e.what();
    if (const size_t at = why.find(readFrom[k]); at != std::string::npos) {
      why.replace(at, readFrom[k].size(), joinPath(folder, names[k]));
    }
    return why;
  };
  const auto disagreement = [&](const std::string& first) -> std::string {
    for (size_t k = 1; k < names.size(); ++k) {
      if (!scan::endsInIma(names[k])) continue;
      try {
        const std::string other = dicom::DICOM_hdr(fileSystem(), "8", "103E", readFrom[k]);
        if (blankDescription(other)) return "the series description of " + names[k] + " is empty";
        if (other != first) {
          return "its files carry different series descriptions (\"" + first + "\" and \"" + other +
                 "\")";
        }
      } catch (const dicom::HeaderError& e) {
        return "the series description of " + names[k] + " cannot be read (" + unreadable(k, e) +
               ")";
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
    folder = joinPath(File2.path(), entry);
    if (!visited.insert(folder).second) continue;
    const auto fail = [&](std::string newPath, std::string reason) {
      runFailures.push_back({folder, std::move(newPath), std::move(reason)});
    };
    // Named by the run being finished already.
    if (const auto done = renamedFolders_.find(entry); done != renamedFolders_.end()) {
      const std::string newPath = joinPath(File2.path(), done->second);
      ++foldersRenamed_;
      visited.insert(newPath);
      if (view() != nullptr) view()->folderRenamed(folder, newPath);
      continue;
    }

    if (dry) {
      if (const Status listed = plannedFolderFiles(entry, names, readFrom); !listed) {
        fail({}, "cannot be listed: " + listed.reason());
        continue;
      }
    } else {
      File1.setPattern("*.*");
      File1.setPath(folder);
      if (const Status listed = File1.refresh(); !listed) {
        fail({}, "cannot be listed: " + listed.reason());
        continue;
      }
      names.assign(File1.entries().begin(), File1.entries().end());
      readFrom.clear();
      for (const std::string& name : names) readFrom.push_back(joinPath(File1.path(), name));
    }
    if (names.empty()) {
      fail({}, "no file in the folder to read the series description from");
      continue;
    }
    std::string description;
    try {
      description = dicom::DICOM_hdr(fileSystem(), "8", "103E", readFrom.front());
    } catch (const dicom::HeaderError& e) {
      fail({}, "cannot read the series description: " + unreadable(0, e));
      continue;
    }

    if (blankDescription(description)) {
      fail({},
           "the series description of " + names.front() + " is empty; the folder keeps its name");
      continue;
    }
    // Two studies in one folder share its series folders, and their names
    // may begin alike: every file is asked.
    if (const std::string why = disagreement(description); !why.empty()) {
      fail({}, why + "; the folder keeps its name");
      continue;
    }
    const std::string newName = rename::folderDescription(description) + "_" + entry;
    const std::string newPath = joinPath(File2.path(), newName);
    if (std::string refusal = rename::unsafeFolderName(newName); !refusal.empty()) {
      fail(newPath, std::move(refusal));
      continue;
    }
    if (dry) {
      std::string target;
      if (visited.count(newPath) != 0 ||
          fileSystem().entryKind(newPath, target) != platform::PathKind::missing) {
        fail(newPath, Status::systemError("rename folder", folder, EEXIST).reason());
        continue;
      }
    } else {
      if (journal_ != nullptr) {
        const Status recorded =
            journal_->intent(journal::Intent::Kind::folderRenaming, entry, newName, true);
        if (!recorded) {
          journalError_ = recorded;
          fail(newPath, "cannot write the run journal: " + recorded.toString());
          return;
        }
      }
      if (const Status renamed = fileSystem().renameFolder(folder, newPath); !renamed) {
        fail(newPath, renamed.reason());
        continue;
      }
    }
    ++foldersRenamed_;
    visited.insert(newPath);
    if (view() != nullptr) view()->folderRenamed(folder, newPath);
  }
}

}  // namespace slicery::app
