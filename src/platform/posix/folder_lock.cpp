#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/journal_files.h"
#include "platform/state_folder.h"

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

// Where the folder takes no flock (a network share may refuse one on a
// folder opened only for reading), a file in the private state folder named
// after the folder's path stands in for it: it keeps out the runs of this
// machine that name the folder by the same path.
int openStandIn(const std::string& folder) {
  std::string file;
  if (!journalPathFor(folder, file) || !ensurePrivateFolder(parentPath(file))) return -1;
  file += ".lock";
  return ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

bool refusesLocks(int code) {
  return code != 0 && code != EWOULDBLOCK;
}

}  // namespace

Status FolderLock::acquire(const std::string& folder, std::unique_ptr<FolderLock>& lock) {
  lock.reset();
  int fd = openFolder(folder);
  if (fd < 0) return Status::systemError("lock folder", folder, errno);
  int code = tryLock(fd, LOCK_EX);
  if (refusesLocks(code)) {
    ::close(fd);
    fd = openStandIn(folder);
    if (fd < 0) return Status::systemError("lock folder", folder, code);
    code = tryLock(fd, LOCK_EX);
  }
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
  int fd = openFolder(folder);
  if (fd < 0) return false;
  int code = tryLock(fd, LOCK_SH);
  if (refusesLocks(code)) {
    ::close(fd);
    fd = openStandIn(folder);
    if (fd < 0) return false;
    code = tryLock(fd, LOCK_SH);
  }
  ::close(fd);  // drops the shared lock, if taken
  return code == EWOULDBLOCK;
}

FolderLock::~FolderLock() {
  ::close(static_cast<int>(handle_));
}

}  // namespace slicery::platform
