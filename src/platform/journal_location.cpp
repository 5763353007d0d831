// Where journals live: one file per folder in the private state folder.
#include <cerrno>
#include <cstdlib>

#include "platform/journal_files.h"
#include "platform/state_files.h"
#include "platform/state_folder.h"

namespace slicery::platform {

namespace {
constexpr const char* kSuffix = kJournalSuffix;
constexpr const char* kPreviousSuffix = kPreviousJournalSuffix;
}  // namespace

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

Status moveJournal(const std::string& from, const std::string& to) {
  const Status moved = moveStateFile(from, to);
  if (moved) return moved;
  return Status::error("move journal", from, moved.reason(), moved.code(), to);
}

}  // namespace slicery::platform
