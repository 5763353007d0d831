#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace slicery::platform {
namespace {

int openFolder(const std::string& folder) {
  return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// flock, retried when a signal interrupts it; returns 0 or the errno.
int tryLock(int fd, int operation) {
  while (::flock(fd, operation | LOCK_NB) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

Status FolderLock::acquire(const std::string& folder, std::unique_ptr<FolderLock>& lock) {
  lock.reset();
  const int fd = openFolder(folder);
  if (fd < 0) return Status::systemError("lock folder", folder, errno);
  const int code = tryLock(fd, LOCK_EX);
  if (code != 0) {
    ::close(fd);
    if (code == EWOULDBLOCK) {
      return Status::error("lock folder", folder, "another run is working on this folder",
                           EWOULDBLOCK);
    }
    return Status::systemError("lock folder", folder, code);
  }
  lock.reset(new FolderLock(fd));
  return Status::ok();
}

bool FolderLock::heldElsewhere(const std::string& folder) {
  const int fd = openFolder(folder);
  if (fd < 0) return false;
  const bool held = tryLock(fd, LOCK_SH) == EWOULDBLOCK;
  ::close(fd);  // drops the shared lock, if taken
  return held;
}

FolderLock::~FolderLock() {
  ::close(fd_);
}

}  // namespace slicery::platform
