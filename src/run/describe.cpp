// Naming series folders after their description, for a run and for a dry
// run.
#include "run/describe.h"

#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include "dicom/dicom_hdr.h"
#include "platform/pattern.h"
#include "rename/new_name.h"
#include "scan/ima_file_name.h"
#include "scan/series_index.h"

namespace slicery::run {

using platform::joinPath;
using platform::Status;

namespace {

// A description that names nothing: empty, or only the spaces (read as '_')
// and NULs that pad a value.
bool blankDescription(std::string_view description) {
  return description.find_first_not_of(std::string_view("_\0", 2)) == std::string_view::npos;
}

}  // namespace

namespace {

// The files series folder `entry` of `plan` holds once the plan is done, in
// list order, each with the path its bytes are read from now.
Status plannedFolderFiles(platform::FileSystem& fs, const std::string& loaded,
                          const rename::Plan& plan, const std::string& entry,
                          std::vector<std::string>& names, std::vector<std::string>& readFrom) {
  names.clear();
  readFrom.clear();
  const std::string folder = joinPath(loaded, entry);
  // What the folder held before the run, if it was there.
  bool existed = false;
  for (const rename::PlannedSeries& s : plan.series)
    existed = existed || (s.folderName == entry && s.folderListed);
  if (existed) {
    std::vector<std::string> before;
    if (Status listed = fs.listFiles(folder, {}, before); !listed) return listed;
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
      readFrom.push_back(joinPath(loaded, listed[f.id]));
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

}  // namespace

std::string describedName(platform::FileSystem& fs, const std::string& folder,
                          const rename::Plan& plan, const std::string& entry, std::string& why) {
  why.clear();
  std::vector<std::string> names;
  std::vector<std::string> readFrom;
  if (const Status listed = plannedFolderFiles(fs, folder, plan, entry, names, readFrom); !listed) {
    why = "cannot be listed: " + listed.reason();
    return {};
  }
  if (names.empty()) {
    why = "no file in the folder to read the series description from";
    return {};
  }
  std::string description;
  try {
    description = dicom::DICOM_hdr(fs, "8", "103E", readFrom.front());
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

Named nameFolders(const rename::Plan& plan, const std::vector<std::string>& entries,
                  const Target& target, Observer& observer) {
  platform::FileSystem& fs = *target.fs;
  const bool dry = target.open == nullptr;
  Named named;
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
        const std::string other = dicom::DICOM_hdr(fs, "8", "103E", readFrom[k]);
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
  for (const std::string& entry : entries) {
    folder = joinPath(target.folder, entry);
    if (!visited.insert(folder).second) continue;
    const auto fail = [&](std::string newPath, std::string reason) {
      observer.failed({folder, std::move(newPath), std::move(reason)});
    };
    // Named by the run being finished already.
    if (target.finish != nullptr) {
      if (const auto done = target.finish->described.find(entry);
          done != target.finish->described.end()) {
        const std::string newPath = joinPath(target.folder, done->second);
        ++named.folders;
        visited.insert(newPath);
        observer.folderNamed(folder, newPath);
        continue;
      }
    }

    if (dry) {
      if (const Status listed = plannedFolderFiles(fs, target.folder, plan, entry, names, readFrom);
          !listed) {
        fail({}, "cannot be listed: " + listed.reason());
        continue;
      }
    } else {
      if (const Status listed = fs.listMatching(folder, "*.*", names); !listed) {
        fail({}, "cannot be listed: " + listed.reason());
        continue;
      }
      platform::sortIgnoringCase(names);
      readFrom.clear();
      for (const std::string& name : names) readFrom.push_back(joinPath(folder, name));
    }
    if (names.empty()) {
      fail({}, "no file in the folder to read the series description from");
      continue;
    }
    std::string description;
    try {
      description = dicom::DICOM_hdr(fs, "8", "103E", readFrom.front());
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
    const std::string newPath = joinPath(target.folder, newName);
    if (std::string refusal = rename::unsafeFolderName(newName); !refusal.empty()) {
      fail(newPath, std::move(refusal));
      continue;
    }
    if (dry) {
      std::string linkTarget;
      if (visited.count(newPath) != 0 ||
          fs.entryKind(newPath, linkTarget) != platform::PathKind::missing) {
        fail(newPath, Status::systemError("rename folder", folder, EEXIST).reason());
        continue;
      }
    } else {
      if (target.journal != nullptr) {
        const Status recorded =
            target.journal->intent(journal::Intent::Kind::folderRenaming, entry, newName, true);
        if (!recorded) {
          named.journalError = recorded;
          fail(newPath, "cannot write the run journal: " + recorded.toString());
          return named;
        }
      }
      if (const Status renamed = fs.renameFolder(folder, newPath); !renamed) {
        fail(newPath, renamed.reason());
        continue;
      }
    }
    ++named.folders;
    visited.insert(newPath);
    observer.folderNamed(folder, newPath);
  }
  return named;
}

}  // namespace slicery::run
