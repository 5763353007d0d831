// RealFileSystem: FileSystem over the POSIX calls of this machine. Renames use
// renameat2(RENAME_NOREPLACE); where the file system lacks it, a hard link plus
// unlink (files) or an existence check (folders) stands in, still refusing to
// replace.
#pragma once

#include "platform/file_system.h"

namespace slicery::platform {

class RealFileSystem : public FileSystem {
 public:
  PathKind kindOf(const std::string& path) override;
  PathKind entryKind(const std::string& path, std::string& linkTarget) override;
  long nameLimit(const std::string& folder) override;
  Status listFiles(const std::string& folder, const NameFilter& keep,
                   std::vector<std::string>& names) override;
  Status makeFolder(const std::string& path) override;
  Status renameFile(const std::string& from, const std::string& to) override;
  Status renameFolder(const std::string& from, const std::string& to) override;
  Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>& file) override;
};

}  // namespace slicery::platform
