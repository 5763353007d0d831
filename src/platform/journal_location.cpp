// Where journals live: one file per folder in the private state folder.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>

#include "platform/journal.h"
#include "platform/journal_records.h"
#include "platform/state_folder.h"

namespace slicery::platform {

using journal_records::kPreviousSuffix;
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
  for (const std::string& path : {file, file + kPreviousSuffix}) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
      return Status::systemError("remove journal", path, errno);
    }
  }
  return Status::ok();
}

std::vector<Status> tidyJournals(std::chrono::seconds keep) {
  std::vector<Status> failures;
  std::string state;
  struct stat st;
  if (!stateFolder(state) || ::lstat(state.c_str(), &st) != 0) return failures;
  if (Status made = ensurePrivateFolder(state); !made) {
    failures.push_back(std::move(made));
    return failures;
  }
  DIR* dir = ::opendir(state.c_str());
  if (dir == nullptr) {
    failures.push_back(Status::systemError("tidy journals", state, errno));
    return failures;
  }
  const auto oldest = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() - keep);
  const std::string_view suffix = kSuffix;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = joinPath(state, name);
    // Links are left alone; a file whose mode is changed is judged again
    // through the descriptor changed, so it cannot be swapped in between.
    const bool regular = ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                         S_ISREG(st.st_mode);
    if (regular && (st.st_mode & 07777) != 0600) {
      const int fd =
          ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
      struct stat opened;
      if (fd >= 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
          ::fchmod(fd, 0600) != 0) {
        failures.push_back(Status::systemError("make journal private", path, errno));
      }
      if (fd >= 0) ::close(fd);
    }
    const bool journal =
        name.ends_with(suffix) || name.ends_with(std::string(suffix) + kPreviousSuffix);
    if (!journal || !regular || st.st_mtime >= oldest ||
        journalState(path) != JournalState::finished) {
      continue;
    }
    if (::unlinkat(::dirfd(dir), entry->d_name, 0) != 0 && errno != ENOENT) {
      failures.push_back(Status::systemError("remove journal", path, errno));
    }
  }
  ::closedir(dir);
  return failures;
}

Status moveJournal(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    return Status::systemError("move journal", from, errno, to);
  }
  return Status::ok();
}

}  // namespace slicery::platform
