#include "run/exams.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <iterator>
#include <string_view>
#include <thread>
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

namespace {

// A folder still to search: its path, its name in the folder above, and
// that folder's place among those searched (kAbove: the folder a search
// began below).
struct Pending {
  std::string path;
  std::string name;
  size_t parent;
};
constexpr size_t kAbove = SIZE_MAX;

// What the search below one folder found, in listing order.
struct Subtree {
  // Every folder searched; those that are neither exams nor hold series
  // folders are dropped at the end.
  std::vector<FoundFolder> searched;
  std::vector<platform::Status> unreadable;
  bool aboveHoldsResults = false;  // the folder searched first is a run's series folder
};

// Searches `start` and the folders below it, depth first in listing order;
// `listed`, where given, is called after each listing.
void searchBelow(platform::FileSystem& fs, Pending start, Subtree& out,
                 std::atomic<size_t>& listings, const std::function<void()>& listed) {
  std::vector<Pending> pending;
  pending.push_back(std::move(start));
  while (!pending.empty()) {
    Pending next = std::move(pending.back());
    pending.pop_back();
    Listed here;
    const platform::Status read = listFolder(fs, next.path, here);
    ++listings;
    if (listed) listed();
    if (!read) {
      out.unreadable.push_back(read);
      continue;
    }
    if (isSeriesFolder(next.name, here.series)) {
      (next.parent == kAbove ? out.aboveHoldsResults
                             : out.searched[next.parent].holdsSeriesFolders) = true;
      continue;
    }
    const size_t at = out.searched.size();
    FoundFolder& folder = out.searched.emplace_back();
    folder.path = std::move(next.path);
    folder.exam = holdsSeries(here);
    folder.files = here.series.size();
    // Taken last first, so the first subfolder is searched next.
    for (auto it = here.subfolders.rbegin(); it != here.subfolders.rend(); ++it) {
      pending.push_back({platform::joinPath(folder.path, *it), std::move(*it), at});
    }
  }
}

}  // namespace

platform::Status findExams(platform::FileSystem& fs, const std::string& root, ExamSearch& found,
                           const std::function<void(size_t searched)>& progress) {
  found = {};
  FoundFolder top;
  top.path = platform::withoutTrailingSeparator(root);
  Listed listed;
  if (const platform::Status read = listFolder(fs, top.path, listed); !read) return read;
  std::atomic<size_t> listings = 1;
  if (progress) progress(listings);
  // A series folder given as the root is a result all the same.
  if (isSeriesFolder(lastName(top.path), listed.series)) return platform::Status::ok();
  top.exam = holdsSeries(listed);
  top.files = listed.series.size();

  // The folders in the root are searched one by one, by two threads where
  // the file system lists two folders at once; their results are put
  // together in listing order.
  std::vector<Subtree> subtrees(listed.subfolders.size());
  std::atomic<size_t> claimed = 0;
  // Only the thread that called tells the progress.
  const std::function<void()> tell = [&] { progress(listings); };
  const auto search = [&](bool tells) {
    for (size_t i; (i = claimed++) < subtrees.size();) {
      const std::string& name = listed.subfolders[i];
      searchBelow(fs, {platform::joinPath(top.path, name), name, kAbove}, subtrees[i], listings,
                  tells && progress ? tell : std::function<void()>());
    }
  };
  if (subtrees.size() > 1 && fs.listsInParallel()) {
    std::exception_ptr thrown;
    std::thread helper([&] {
      try {
        search(false);
      } catch (...) {
        thrown = std::current_exception();
        claimed = subtrees.size();
      }
    });
    try {
      search(true);
    } catch (...) {
      claimed = subtrees.size();
      helper.join();
      throw;
    }
    helper.join();
    if (thrown) std::rethrow_exception(thrown);
    if (progress) progress(listings);  // the helper's last listings too
  } else {
    search(true);
  }

  for (const Subtree& subtree : subtrees) top.holdsSeriesFolders |= subtree.aboveHoldsResults;
  if (top.exam || top.holdsSeriesFolders) found.folders.push_back(std::move(top));
  for (Subtree& subtree : subtrees) {
    for (FoundFolder& folder : subtree.searched) {
      if (folder.exam || folder.holdsSeriesFolders) found.folders.push_back(std::move(folder));
    }
    std::move(subtree.unreadable.begin(), subtree.unreadable.end(),
              std::back_inserter(found.unreadable));
  }
  return platform::Status::ok();
}

}  // namespace slicery::run
