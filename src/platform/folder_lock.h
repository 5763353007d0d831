// FolderLock: lets one run at a time work on a folder, across processes.
//
// The lock is flock(LOCK_EX) on a descriptor of the folder itself, so it
// needs no file of its own and cannot go stale: the kernel drops it when the
// holder's descriptor closes, which a crash or SIGKILL does too. It belongs
// to the open descriptor, not the process, so two FolderLocks in one process
// exclude each other just as two processes do. The descriptor is close-on-
// exec; a child made by fork() without exec shares it and keeps the lock
// held while it lives.
//
// On Windows a folder takes no lock of its own: the lock is LockFileEx on a
// file in the private state folder named after the folder's final path (the
// same for every spelling of it), which Windows releases when the holder's
// handle closes or its process ends. It excludes the runs of this machine.
//
// Where the file system does not take flock on a folder (a network share may
// refuse it on a folder opened only for reading), a file in the private
// state folder named after the folder's path is locked in its place; it
// excludes the runs of this machine that name the folder by that path. Over
// NFS the kernel keeps a folder's flock on the client, so it excludes runs on
// this machine only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/status.h"

namespace slicery::platform {

class FolderLock {
 public:
  // Takes the lock on `folder` into `lock`. When another holder has it,
  // fails at once with code EWOULDBLOCK and the reason
  // "another run is working on this folder"; any other failure (a missing
  // folder, a file, no flock here) carries the system's error.
  static Status acquire(const std::string& folder, std::unique_ptr<FolderLock>& lock);

  // Whether someone holds the lock on `folder` right now, a FolderLock of
  // this process included. It asks by taking a shared lock and dropping it
  // at once, so an acquire racing with it may be refused in that instant.
  // False when the folder cannot be opened.
  static bool heldElsewhere(const std::string& folder);

  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  // A descriptor, or a Windows handle.
  explicit FolderLock(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_;
};

}  // namespace slicery::platform
