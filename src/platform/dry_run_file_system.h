// DryRunFileSystem: a FileSystem that reads the one below it but changes
// nothing there. Folders made and files or folders renamed are remembered
// and shown by its own listings, kinds and opens, so a procedure run over it
// sees the folder as a real run would leave it. A file opened at its new path
// reads the original file; listing a renamed folder lists the original
// folder's files plus what was moved into it. What the layer below would
// refuse for reasons it alone knows (permissions, a full disk) is not
// foreseen.
#pragma once

#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "platform/file_system.h"

namespace slicery::platform {

class DryRunFileSystem : public FileSystem {
 public:
  explicit DryRunFileSystem(FileSystem& real) : real_(&real) {}

  PathKind kindOf(const std::string& path) override;
  PathKind entryKind(const std::string& path, std::string& linkTarget) override;
  long nameLimit(const std::string& folder) override;
  Status listEntries(const std::string& folder, Entries& entries) override;
  Status makeFolder(const std::string& path) override;
  Status renameFile(const std::string& from, const std::string& to) override;
  Status renameFolder(const std::string& from, const std::string& to) override;
  Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>& file) override;

 private:
  // What stands at a path the dry run changed. `origin` is the real path the
  // file or folder came from; it is empty for a folder the dry run made.
  struct Entry {
    PathKind kind;
    std::string origin;
  };
  // Where a path leads: to a real path (`real`), to something only the dry
  // run knows (`madeFolder`), or nowhere.
  struct Resolved {
    PathKind kind = PathKind::missing;
    std::string real;
    bool madeFolder = false;
  };
  Resolved resolve(const std::string& path);
  Status checkRename(const char* operation, const std::string& from, const std::string& to,
                     PathKind wanted);

  // The kind of a real path, from one listing of its folder: the layer below
  // does not change, so each folder is read once however many names a
  // procedure asks about.
  PathKind realKind(const std::string& path);
  // Strikes the real file at `real` from its folder's listing; false when
  // the listing does not hold it.
  bool strikeReal(const std::string& real);
  bool movedAway(const std::string& realFolder, const std::string& name) const;

  FileSystem* real_;
  std::map<std::string, Entry> changed_;
  // Every path of changed_ that is or was a folder.
  std::set<std::string, std::less<>> changedFolders_;
  std::unordered_map<std::string, std::unordered_map<std::string, PathKind>> realEntries_;
  std::unordered_map<std::string, long> nameLimits_;
};

}  // namespace slicery::platform
