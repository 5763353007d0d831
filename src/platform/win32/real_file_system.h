// RealFileSystem: FileSystem over the Win32 calls. Names are UTF-8 here and
// UTF-16 at the calls, every path in its "\\?\" form (win32/wide.h), so long
// paths and shares work.
//
// Listing follows Windows: hidden and system files are left out by their
// attributes, whatever their names; a reparse point that stands for another
// path (a symbolic link, a junction) is told as `link`, never as a folder.
// Renames are MoveFileExW without MOVEFILE_REPLACE_EXISTING, one step that
// never replaces: the file system itself refuses a new name that is taken,
// also when it differs from the taken one in letter case only (NTFS and FAT
// ignore case), while a rename that changes only the letter case of one name
// goes through.
#pragma once

#include "platform/file_system.h"

namespace slicery::platform {

class RealFileSystem : public FileSystem {
 public:
  PathKind kindOf(const std::string& path) override;
  bool listsInParallel() const override { return true; }
  // A symbolic link's or junction's text is read from its reparse data:
  // relative as its maker gave it, else its print name ("C:\exam\a.ima").
  PathKind entryKind(const std::string& path, std::string& linkTarget) override;
  Status listFiles(const std::string& folder, const NameFilter& keep,
                   std::vector<std::string>& names) override;
  Status listEntries(const std::string& folder, Entries& entries) override;
  // Entries marked hidden or system are hidden, whatever their names.
  Status listEntriesMarked(const std::string& folder, Entries& entries,
                           std::vector<bool>& hidden) override;
  Status makeFolder(const std::string& path) override;
  Status renameFile(const std::string& from, const std::string& to) override;
  Status renameFolder(const std::string& from, const std::string& to) override;
  Status removeEmptyFolder(const std::string& path) override;
  // Refuses a folder or anything but a file on a disk.
  Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>& file) override;
};

// The text of a symbolic link or junction from its reparse data (`size`
// bytes at `data`, as FSCTL_GET_REPARSE_POINT gives them): its print name
// (a relative one as its maker gave it), else its substitute name in its
// "\\?\" form; empty for another kind of reparse point or data cut short.
std::string reparseLinkText(const unsigned char* data, std::size_t size);

}  // namespace slicery::platform
