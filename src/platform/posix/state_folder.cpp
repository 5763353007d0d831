#include "platform/state_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/file_system.h"

namespace slicery::platform {
namespace {

constexpr char kOperation[] = "make private folder";

bool isAbsolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

// The account's home folder as the password database has it, or "".
std::string accountHome() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  int code;
  while ((code = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found)) ==
         ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (code != 0 || found == nullptr || !isAbsolute(found->pw_dir)) return {};
  return found->pw_dir;
}

// mkdir, where a folder (or anything) standing at `path` already counts as
// done; returns 0 or the errno.
int makeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return 0;
  return errno;
}

// A folder of this account's alone, where `path` names one.
bool isPrivateFolder(const std::string& path) {
  struct stat seen;
  return ::lstat(path.c_str(), &seen) == 0 && S_ISDIR(seen.st_mode) && seen.st_uid == ::geteuid() &&
         (seen.st_mode & 07777) == 0700;
}

}  // namespace

Status stateFolder(std::string& folder) {
  folder.clear();
  if (const char* state = std::getenv("XDG_STATE_HOME"); isAbsolute(state)) {
    folder = joinPath(state, "slicery");
    return Status::ok();
  }
  std::string home;
  if (const char* variable = std::getenv("HOME"); isAbsolute(variable)) {
    home = variable;
  } else {
    home = accountHome();
  }
  if (home.empty()) {
    return Status::error("find state folder", "", "this account has no home folder to keep it in");
  }
  folder = joinPath(joinPath(home, ".local/state"), "slicery");
  return Status::ok();
}

Status checkStateFolder(const std::string& folder) {
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return Status::ok();
    return Status::error("keep run journals in", folder,
                         "the state folder " + folder + " is not a folder", ENOTDIR);
  }
  if (errno == ENOTDIR) {
    return Status::error("keep run journals in", folder,
                         "a part of the state folder's path " + folder + " is not a folder",
                         ENOTDIR);
  }
  return Status::ok();
}

Status ensurePrivateFolder(const std::string& folder) {
  const std::string path = withoutTrailingSeparator(folder);
  // Asked before each journal is written: one look when it stands already.
  if (isPrivateFolder(path)) return Status::ok();
  // Each parent from the top down; one that stands already is left as it is.
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (const int code = makeFolder(path.substr(0, slash)); code != 0) {
      return Status::systemError(kOperation, path.substr(0, slash), code);
    }
  }
  if (const int code = makeFolder(path); code != 0) {
    return Status::systemError(kOperation, path, code);
  }

  // A folder of this account's alone already needs nothing.
  if (isPrivateFolder(path)) return Status::ok();
  // What stands there now is judged through one descriptor, so it cannot be
  // swapped between the checks and the chmod. O_NOFOLLOW refuses a link.
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    const int code = errno;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
      if (S_ISLNK(st.st_mode)) return Status::error(kOperation, path, "is a symbolic link", code);
      if (!S_ISDIR(st.st_mode)) return Status::error(kOperation, path, "is not a folder", code);
    }
    return Status::systemError(kOperation, path, code);
  }
  struct stat st;
  Status status;
  if (::fstat(fd, &st) != 0) {
    status = Status::systemError(kOperation, path, errno);
  } else if (st.st_uid != ::geteuid()) {
    status = Status::error(kOperation, path, "belongs to another user", EPERM);
  } else if ((st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) {
    status = Status::systemError(kOperation, path, errno);
  }
  ::close(fd);
  return status;
}

}  // namespace slicery::platform
