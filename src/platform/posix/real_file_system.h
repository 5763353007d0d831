// RealFileSystem: FileSystem over the POSIX calls of this machine.
//
// Renames never replace, whatever the file system offers. They try, in order:
//  1. renameat2(RENAME_NOREPLACE), one atomic step;
//  2. files only: link(from, to) then unlink(from), where the kernel refuses
//     the no-replace flag (FUSE, some network file systems);
//  3. a placeholder: the new name is created exclusively (an empty file with
//     O_CREAT|O_EXCL, or an empty folder with mkdir), then rename() moves the
//     old name onto that placeholder, replacing nothing but it. This serves
//     exFAT and FAT through FUSE, which have neither the flag nor hard links.
// A later step runs only when the one before reports that the file system
// does not support it. A process killed inside a step leaves the data under
// at least one name: after step 2's link, both names on one file; after step
// 3's create, an empty file or folder at the new name. A rename never takes
// such leftovers for its own (a user's hard link or empty file looks the
// same): the caller hears of each fallback step before it is taken
// (RenameIntent), records it, and only a finish or undo that finds the
// record completes the move or removes the placeholder.
#pragma once

#include "platform/file_system.h"

namespace slicery::platform {

class RealFileSystem : public FileSystem {
 public:
  enum class RenameStrategy { noReplaceFlag, linkThenUnlink, placeholder };

  RealFileSystem() = default;
  // Starts renames at `first`, treating the strategies before it as
  // unsupported; lets the fallbacks run on a disk that has everything.
  explicit RealFileSystem(RenameStrategy first) : first_(first) {}

  PathKind kindOf(const std::string& path) override;
  bool listsInParallel() const override { return true; }
  PathKind entryKind(const std::string& path, std::string& linkTarget) override;
  long nameLimit(const std::string& folder) override;
  // Asks the folder: the first name in it with a letter is looked up with
  // every letter's case swapped.
  bool foldsCase(const std::string& folder) override;
  Status listEntries(const std::string& folder, Entries& entries) override;
  Status visitEntries(const std::string& folder, const EntryVisit& entry) override;
  // Names beginning with '.' are hidden.
  Status listEntriesMarked(const std::string& folder, Entries& entries,
                           std::vector<bool>& hidden) override;
  Status makeFolder(const std::string& path) override;
  Status renameFile(const std::string& from, const std::string& to) override;
  Status renameFolder(const std::string& from, const std::string& to) override;
  Status removeEmptyFolder(const std::string& path) override;
  // Refuses anything but a regular file (a FIFO, a device, a folder) without
  // waiting on it.
  Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>& file) override;
  // Holds the folder open: renames go through renameat2 and friends on its
  // descriptor.
  std::unique_ptr<OpenFolder> openFolder(const std::string& path) override;

  // The renames above with both names relative to the folder `dir` (a
  // descriptor, or AT_FDCWD for the working folder).
  Status renameFileIn(int dir, const std::string& from, const std::string& to,
                      RenameIntent* intent);
  Status renameFolderIn(int dir, const std::string& from, const std::string& to);

 private:
  bool tries(RenameStrategy strategy) const { return strategy >= first_; }

  RenameStrategy first_ = RenameStrategy::noReplaceFlag;
};

}  // namespace slicery::platform
