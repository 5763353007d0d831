#include "platform/folder_lock.h"

#include <cerrno>

#include "platform/journal_files.h"
#include "platform/state_folder.h"
#include "platform/win32/wide.h"

namespace slicery::platform {
namespace {

using win32::Handle;

// The lock file of `folder` in the private state folder, opened; a folder
// that is missing or a file fails as the system tells.
Status openLockFile(const std::string& folder, Handle& handle) {
  const DWORD attributes = ::GetFileAttributesW(win32::longPath(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return win32::failure("lock folder", folder, ::GetLastError());
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return Status::systemError("lock folder", folder, ENOTDIR);
  }
  std::string file;
  if (Status found = journalPathFor(folder, file); !found) return found;
  if (Status made = ensurePrivateFolder(parentPath(file)); !made) return made;
  file += ".lock";
  handle.reset(::CreateFileW(win32::longPath(file).c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.valid()) return win32::failure("lock folder", folder, ::GetLastError());
  return Status::ok();
}

// LockFileEx without waiting; 0, or the Windows error.
DWORD tryLock(HANDLE handle, DWORD flags) {
  OVERLAPPED at{};
  if (::LockFileEx(handle, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return 0;
  return ::GetLastError();
}

}  // namespace

Status FolderLock::acquire(const std::string& folder, std::unique_ptr<FolderLock>& lock) {
  lock.reset();
  Handle handle;
  if (Status opened = openLockFile(folder, handle); !opened) return opened;
  if (const DWORD error = tryLock(handle.get(), LOCKFILE_EXCLUSIVE_LOCK); error != 0) {
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
      return Status::error("lock folder", folder, "another run is working on this folder",
                           EWOULDBLOCK);
    }
    return win32::failure("lock folder", folder, error);
  }
  lock.reset(new FolderLock(reinterpret_cast<std::intptr_t>(handle.release())));
  return Status::ok();
}

bool FolderLock::heldElsewhere(const std::string& folder) {
  Handle handle;
  if (!openLockFile(folder, handle)) return false;
  const DWORD error = tryLock(handle.get(), 0);
  if (error == 0) {
    OVERLAPPED at{};
    ::UnlockFileEx(handle.get(), 0, 1, 0, &at);
  }
  return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING;
}

FolderLock::~FolderLock() {
  ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace slicery::platform
