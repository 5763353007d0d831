#include "platform/state_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>

#include "platform/file_system.h"

namespace slicery::platform {

std::string finalPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return path;
  return withoutTrailingSeparator(absolute.lexically_normal().string());
}

std::vector<Status> makeFilesPrivate(const std::string& folder, std::vector<std::string>& names) {
  names.clear();
  std::vector<Status> failures;
  // A link where the folder belongs is not followed.
  const int listed = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  DIR* dir = listed < 0 ? nullptr : ::fdopendir(listed);
  if (dir == nullptr) {
    if (listed >= 0) ::close(listed);
    return {};
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    names.emplace_back(name);
    struct stat st;
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode) || (st.st_mode & 07777) == 0600) {
      continue;
    }
    // Links are left alone; the file is judged again through the descriptor
    // whose mode is changed, so it cannot be swapped in between.
    const int fd =
        ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    struct stat opened;
    if (fd >= 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
        ::fchmod(fd, 0600) != 0) {
      failures.push_back(
          Status::systemError("make journal private", joinPath(folder, entry->d_name), errno));
    }
    if (fd >= 0) ::close(fd);
  }
  ::closedir(dir);
  return failures;
}

bool isRegularFile(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool lastWritten(const std::string& path, std::chrono::system_clock::time_point& when) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  when = std::chrono::system_clock::from_time_t(st.st_mtime);
  return true;
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(dir);
  return names;
}

Status removeStateFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return Status::systemError("remove", path, errno);
  return Status::ok();
}

Status moveStateFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return Status::systemError("move", from, errno, to);
  return Status::ok();
}

void syncFolder(const std::string& folder) {
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

bool readFileEnd(const std::string& path, std::size_t size, std::string& data) {
  data.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  std::string tail(size, '\0');
  const bool read = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                    st.st_size > static_cast<off_t>(size) &&
                    ::pread(fd, tail.data(), size, st.st_size - static_cast<off_t>(size)) ==
                        static_cast<ssize_t>(size);
  ::close(fd);
  if (read) data = std::move(tail);
  return read;
}

long currentProcessId() {
  return static_cast<long>(::getpid());
}

bool processGone(long id) {
  return ::kill(static_cast<pid_t>(id), 0) != 0 && errno == ESRCH;
}

}  // namespace slicery::platform
