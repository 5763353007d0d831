// Where journals live: one file per folder in the private state folder.
#include <dirent.h>
#include <stdlib.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>

#include "platform/journal.h"
#include "platform/journal_records.h"
#include "platform/state_folder.h"

namespace slicery::platform {

using journal_records::kSuffix;

std::string journalFolderKey(const std::string& folder) {
  char resolved[PATH_MAX];
  if (::realpath(folder.c_str(), resolved) != nullptr) return resolved;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
  if (error) return folder;
  return withoutTrailingSeparator(absolute.lexically_normal().string());
}

Status journalPathFor(const std::string& folder, std::string& file) {
  std::string state;
  if (Status found = stateFolder(state); !found) return found;
  const std::string key = journalFolderKey(folder);
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
  DIR* dir = ::opendir(state.c_str());
  if (dir == nullptr) return files;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    const std::string_view suffix = kSuffix;
    if (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix) {
      files.push_back(joinPath(state, name));
    }
  }
  ::closedir(dir);
  return files;
}

Status removeJournal(const std::string& file) {
  if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
    return Status::systemError("remove journal", file, errno);
  }
  return Status::ok();
}

Status moveJournal(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    return Status::systemError("move journal", from, errno, to);
  }
  return Status::ok();
}

}  // namespace slicery::platform
