#include "run/exams.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "platform/pattern.h"
#include "rename/new_name.h"
#include "scan/ima_file_name.h"
#include "scan/series_index.h"

namespace slicery::run {
namespace {

// What one listing of a folder tells.
struct Listed {
  std::vector<std::string> subfolders;  // sorted as a listing sorts names
  // The series piece of each listed .ima file; empty for a name without one.
  std::vector<std::string_view> series;
  platform::FileSystem::Entries entries;  // the names `series` views
};

platform::Status listFolder(platform::FileSystem& fs, const std::string& folder, Listed& listed) {
  std::vector<bool> hidden;
  if (platform::Status read = fs.listEntriesMarked(folder, listed.entries, hidden); !read) {
    return read;
  }
  scan::NameFields fields;
  for (size_t i = 0; i < listed.entries.size(); ++i) {
    const auto& [name, kind] = listed.entries[i];
    if (hidden[i]) continue;
    if (kind == platform::PathKind::folder) {
      listed.subfolders.push_back(name);
      continue;
    }
    // A link counts as the file it leads to, as a listing counts it; it is
    // asked only where its name could change the answer.
    if (!scan::endsInIma(name) ||
        (kind != platform::PathKind::file && kind != platform::PathKind::link)) {
      continue;
    }
    if (kind == platform::PathKind::link &&
        fs.kindOf(platform::joinPath(folder, name)) != platform::PathKind::file) {
      continue;
    }
    scan::splitImaFileName(name, fields);
    listed.series.push_back(fields[scan::kSeriesField]);
  }
  platform::sortIgnoringCase(listed.subfolders);
  return platform::Status::ok();
}

// Whether a folder named `name` whose .ima files have `series` is one a
// run made for one of its series.
bool isSeriesFolder(std::string_view name, const std::vector<std::string_view>& series) {
  return !series.empty() && std::all_of(series.begin(), series.end(), [name](std::string_view s) {
    return rename::namesSeriesFolder(name, s);
  });
}

std::string_view lastName(std::string_view path) {
  size_t start = path.size();
  while (start > 0 && !platform::isPathSeparator(path[start - 1])) --start;
  return path.substr(start);
}

bool holdsSeries(const Listed& listed) {
  return std::any_of(listed.series.begin(), listed.series.end(),
                     [](std::string_view s) { return !s.empty(); });
}

}  // namespace

platform::Status isExam(platform::FileSystem& fs, const std::string& folder, bool& exam) {
  Listed listed;
  const platform::Status read = listFolder(fs, folder, listed);
  exam = read && holdsSeries(listed);
  return read;
}

platform::Status findExams(platform::FileSystem& fs, const std::string& root, ExamSearch& found,
                           const std::function<void(size_t searched)>& progress) {
  found = {};
  // Every folder searched, in listing order; those that are neither exams
  // nor hold series folders are dropped at the end.
  std::vector<FoundFolder> searched;
  struct Pending {
    std::string path;
    std::string name;
    size_t parent;  // in `searched`; SIZE_MAX for the root
  };
  std::vector<Pending> pending{{platform::withoutTrailingSeparator(root), {}, SIZE_MAX}};
  size_t listings = 0;
  while (!pending.empty()) {
    Pending next = std::move(pending.back());
    pending.pop_back();
    Listed listed;
    const platform::Status read = listFolder(fs, next.path, listed);
    if (progress) progress(++listings);
    if (!read) {
      if (next.parent == SIZE_MAX) return read;
      found.unreadable.push_back(read);
      continue;
    }
    // The root too: a series folder given as the root is a result all the same.
    if (isSeriesFolder(next.parent == SIZE_MAX ? lastName(next.path) : next.name, listed.series)) {
      if (next.parent != SIZE_MAX) searched[next.parent].holdsSeriesFolders = true;
      continue;
    }
    const size_t here = searched.size();
    FoundFolder& folder = searched.emplace_back();
    folder.path = next.path;
    folder.exam = holdsSeries(listed);
    folder.files = listed.series.size();
    // Taken last first, so the first subfolder is searched next.
    for (auto it = listed.subfolders.rbegin(); it != listed.subfolders.rend(); ++it) {
      pending.push_back({platform::joinPath(next.path, *it), std::move(*it), here});
    }
  }
  for (FoundFolder& folder : searched) {
    if (folder.exam || folder.holdsSeriesFolders) found.folders.push_back(std::move(folder));
  }
  return platform::Status::ok();
}

}  // namespace slicery::run
