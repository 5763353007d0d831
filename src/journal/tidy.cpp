// Tidying the state folder: journals of finished runs, and journals written
// aside by writers that are gone, go after a while.
#include <cerrno>
#include <cstdlib>

#include "journal/journal.h"
#include "journal/store.h"
#include "platform/append_file.h"
#include "platform/journal_files.h"
#include "platform/state_files.h"
#include "platform/state_folder.h"

namespace slicery::journal {

using namespace platform;

std::vector<Status> tidy(std::chrono::seconds keep) {
  std::string folder;
  if (!stateFolder(folder)) return {};
  // One reading of the folder, which makes its files private on the way.
  std::vector<std::string> names;
  std::vector<Status> failures = makeFilesPrivate(folder, names);
  // Nothing is made where no journal was ever kept.
  if (names.empty()) return failures;
  if (Status made = ensurePrivateFolder(folder); !made) return {std::move(made)};
  const auto oldest = std::chrono::system_clock::now() - keep;
  const std::string previous = std::string(kJournalSuffix) + kPreviousJournalSuffix;
  const std::string fresh = std::string(kJournalSuffix) + kFreshJournalInfix;
  for (const std::string& name : names) {
    const std::size_t freshAt = name.find(fresh);
    // What a batch over a tree kept of itself names the tree's exams: it
    // goes by age alone.
    const bool batch = name.ends_with(kBatchSuffix);
    if (!name.ends_with(kJournalSuffix) && !name.ends_with(previous) &&
        freshAt == std::string::npos && !batch) {
      continue;
    }
    const std::string path = joinPath(folder, name);
    if (!isRegularFile(path)) {
      failures.push_back(Status::error("read journal", path, kNotRegular, EINVAL));
      continue;
    }
    std::chrono::system_clock::time_point written;
    if (!lastWritten(path, written)) continue;
    if (freshAt != std::string::npos) {
      // A journal being written aside: of no use once its writer is gone,
      // and none is written for long, so an old one is left over too.
      const long writer = std::strtol(name.c_str() + freshAt + fresh.size(), nullptr, 10);
      if (written >= oldest && (writer <= 0 || !processGone(writer))) continue;
    } else if (written >= oldest || (!batch && fileStore().state(path) != State::finished)) {
      continue;
    }
    if (const Status removed = removeStateFile(path); !removed && removed.code() != ENOENT) {
      failures.push_back(Status::error("remove journal", path, removed.reason(), removed.code()));
    }
  }
  return failures;
}

}  // namespace slicery::journal
