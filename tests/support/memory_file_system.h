// MemoryFileSystem: an in-memory FileSystem for tests. It keeps folders and
// files with their contents, follows the contract of FileSystem, and can be
// told to fail any chosen operation on a chosen path, so tests can show that
// a failing step is skipped, reported and loses nothing.
#pragma once

#include <cerrno>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/folder_lock.h"

namespace slicery::testing {

class MemoryFileSystem : public platform::FileSystem {
 public:
  enum class Op { kindOf, list, makeFolder, renameFile, renameFolder, open, read };

  MemoryFileSystem();  // holds the root folder "/"

  // Adds a folder (and its missing parents) or a file (parents must exist).
  void addFolder(const std::string& path);
  void addFile(const std::string& path, std::string contents = {});
  // Something that is neither a file nor a folder (a socket, a device).
  void addOther(const std::string& path);
  void remove(const std::string& path);

  bool exists(const std::string& path) const { return nodes_.count(path) != 0; }
  platform::PathKind kindAt(const std::string& path) const;
  // Contents of a file; throws std::out_of_range for anything else.
  const std::string& contents(const std::string& path) const;
  // Every file below `folder`, path -> contents.
  std::map<std::string, std::string> filesUnder(const std::string& folder) const;
  // Every entry below `folder`, folders included, path -> kind.
  std::map<std::string, platform::PathKind> entriesUnder(const std::string& folder) const;

  // Makes `op` fail on `path` (any path when empty) from now on.
  void failOn(Op op, std::string path, std::string reason = "Permission denied", int code = EACCES);
  void clearFailures() { failures_.clear(); }

  int openFiles() const { return openFiles_; }
  std::uint64_t bytesRead() const { return bytesRead_; }

  platform::PathKind kindOf(const std::string& path) override;
  // Its listings only read, so two threads may list at once once a test says so.
  void listInParallel(bool on) { parallel_ = on; }
  bool listsInParallel() const override { return parallel_; }
  // Holds no symbolic links.
  platform::PathKind entryKind(const std::string& path, std::string& linkTarget) override {
    linkTarget.clear();
    return kindOf(path);
  }
  platform::Status listEntries(const std::string& folder, Entries& entries) override;
  // As on POSIX: names beginning with '.' are hidden.
  platform::Status listEntriesMarked(const std::string& folder, Entries& entries,
                                     std::vector<bool>& hidden) override;
  platform::Status makeFolder(const std::string& path) override;
  platform::Status renameFile(const std::string& from, const std::string& to) override;
  platform::Status renameFolder(const std::string& from, const std::string& to) override;
  platform::Status removeEmptyFolder(const std::string& path) override;
  platform::Status openForReading(const std::string& path,
                                  std::unique_ptr<platform::ReadableFile>& file) override;
  // Its folders are in memory, out of any other process's reach.
  platform::Status lockFolder(const std::string&,
                              std::unique_ptr<platform::FolderLock>& lock) override {
    lock.reset();
    return platform::Status::ok();
  }
  bool folderLockedElsewhere(const std::string&) override { return false; }

 private:
  struct Node {
    platform::PathKind kind;
    std::string contents;
  };
  struct Failure {
    Op op;
    std::string path;
    std::string reason;
    int code;
  };
  class File;

  const Failure* failureFor(Op op, const std::string& path) const;
  platform::Status check(Op op, const char* name, const std::string& path,
                         const std::string& newPath = {}) const;

  std::map<std::string, Node> nodes_;
  std::vector<Failure> failures_;
  int openFiles_ = 0;
  bool parallel_ = false;
  std::uint64_t bytesRead_ = 0;
};

}  // namespace slicery::testing
