// Where journals live: one file per folder in the private state folder.
#include <cerrno>
#include <cstdlib>

#include "platform/journal.h"
#include "platform/journal_records.h"
#include "platform/state_files.h"
#include "platform/state_folder.h"

namespace slicery::platform {

using journal_records::kFreshInfix;
using journal_records::kPreviousSuffix;
using journal_records::kSuffix;

std::string journalFolderKey(const std::string& folder) {
  return finalPath(folder);
}

Status journalPathFor(const std::string& folder, std::string& file) {
  std::string key;
  return journalPathFor(folder, file, key);
}

Status journalPathFor(const std::string& folder, std::string& file, std::string& key) {
  std::string state;
  if (Status found = stateFolder(state); !found) return found;
  if (Status usable = checkStateFolder(state); !usable) return usable;
  key = journalFolderKey(folder);
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : key) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name;
  for (int shift = 60; shift >= 0; shift -= 4) name.push_back(kDigits[(hash >> shift) & 0xFU]);
  file = joinPath(state, name + kSuffix);
  return Status::ok();
}

std::vector<std::string> listJournals() {
  std::vector<std::string> files;
  std::string state;
  if (!stateFolder(state)) return files;
  const std::string_view suffix = kSuffix;
  for (const std::string& name : namesIn(state)) {
    // What is no regular file is never opened; tidyJournals tells of it.
    if (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix &&
        isRegularFile(joinPath(state, name))) {
      files.push_back(joinPath(state, name));
    }
  }
  return files;
}

Status removeJournal(const std::string& file) {
  for (const std::string& path : {file, file + kPreviousSuffix}) {
    const Status removed = removeStateFile(path);
    if (!removed && removed.code() != ENOENT) {
      return Status::error("remove journal", path, removed.reason(), removed.code());
    }
  }
  return Status::ok();
}

std::vector<Status> tidyJournals(std::chrono::seconds keep) {
  std::string state;
  if (!stateFolder(state)) return {};
  const std::vector<std::string> names = namesIn(state);
  // Nothing is made where no journal was ever kept.
  if (names.empty()) return {};
  if (Status made = ensurePrivateFolder(state); !made) return {std::move(made)};
  std::vector<Status> failures = makeFilesPrivate(state);
  const auto oldest = std::chrono::system_clock::now() - keep;
  const std::string previous = std::string(kSuffix) + kPreviousSuffix;
  const std::string fresh = std::string(kSuffix) + kFreshInfix;
  for (const std::string& name : names) {
    const std::size_t freshAt = name.find(fresh);
    // What a batch over a tree kept of itself names the tree's exams: it
    // goes by age alone.
    const bool batch = name.ends_with(".batch");
    if (!name.ends_with(kSuffix) && !name.ends_with(previous) && freshAt == std::string::npos &&
        !batch) {
      continue;
    }
    const std::string path = joinPath(state, name);
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
    } else if (written >= oldest || (!batch && journalState(path) != JournalState::finished)) {
      continue;
    }
    if (const Status removed = removeStateFile(path); !removed && removed.code() != ENOENT) {
      failures.push_back(Status::error("remove journal", path, removed.reason(), removed.code()));
    }
  }
  return failures;
}

Status moveJournal(const std::string& from, const std::string& to) {
  const Status moved = moveStateFile(from, to);
  if (moved) return moved;
  return Status::error("move journal", from, moved.reason(), moved.code(), to);
}

}  // namespace slicery::platform
