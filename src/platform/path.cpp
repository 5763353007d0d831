#include "platform/file_system.h"

#include <algorithm>

#include "platform/folder_lock.h"

namespace slicery::platform {
namespace {

// An open folder that is only a path: every name is joined to it.
class PathFolder : public OpenFolder {
 public:
  PathFolder(FileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
  Status renameFile(const std::string& from, const std::string& to, RenameIntent*) override {
    return fs_.renameFile(joinPath(path_, from), joinPath(path_, to));
  }
  Status renameFolder(const std::string& from, const std::string& to) override {
    return fs_.renameFolder(joinPath(path_, from), joinPath(path_, to));
  }
  Status makeFolder(const std::string& name) override {
    return fs_.makeFolder(joinPath(path_, name));
  }
  Status removeEmptyFolder(const std::string& name) override {
    return fs_.removeEmptyFolder(joinPath(path_, name));
  }
  PathKind kind(const std::string& name) override {
    std::string target;
    return fs_.entryKind(joinPath(path_, name), target);
  }
  // A file system reached by paths alone has no cut moves or placeholders
  // of its own to complete.
  bool completeCutMove(const std::string&, const std::string&) override { return false; }
  bool removePlaceholder(const std::string&) override { return false; }

 private:
  FileSystem& fs_;
  std::string path_;
};

}  // namespace

Status FileSystem::listFiles(const std::string& folder, const NameFilter& keep,
                             std::vector<std::string>& names) {
  names.clear();
  Entries entries;
  std::vector<bool> hidden;
  if (Status status = listEntriesMarked(folder, entries, hidden); !status) return status;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    auto& [name, kind] = entries[i];
    if (hidden[i] || (keep && !keep(name))) continue;
    if (kind == PathKind::file ||
        (kind == PathKind::link && kindOf(joinPath(folder, name)) == PathKind::file)) {
      names.push_back(std::move(name));
    }
  }
  return Status::ok();
}

Status FileSystem::visitEntries(const std::string& folder, const EntryVisit& entry) {
  Entries entries;
  const Status status = listEntries(folder, entries);
  for (const auto& [name, kind] : entries) entry(name, kind);
  return status;
}

std::unique_ptr<OpenFolder> FileSystem::openFolder(const std::string& path) {
  return std::make_unique<PathFolder>(*this, path);
}

Status FileSystem::lockFolder(const std::string& folder, std::unique_ptr<FolderLock>& lock) {
  return FolderLock::acquire(folder, lock);
}

bool FileSystem::folderLockedElsewhere(const std::string& folder) {
  return FolderLock::heldElsewhere(folder);
}

std::string joinPath(std::string_view folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  joinPathInto(path, folder, name);
  return path;
}

void joinPathInto(std::string& path, std::string_view folder, std::string_view name) {
  path.assign(folder);
  if (folder.empty() || !isPathSeparator(folder.back())) path.push_back(kPathSeparator);
  path.append(name);
}

std::string parentPath(const std::string& path) {
  const std::string trimmed = withoutTrailingSeparator(path);
  const std::size_t root = pathRootLength(trimmed);
  std::size_t cut = trimmed.size();
  while (cut > root && !isPathSeparator(trimmed[cut - 1])) --cut;
  if (cut <= root) return root > 0 ? trimmed.substr(0, root) : ".";
  return withoutTrailingSeparator(trimmed.substr(0, cut - 1));
}

std::string withoutTrailingSeparator(std::string path) {
  const std::size_t root = std::max<std::size_t>(pathRootLength(path), 1);
  while (path.size() > root && isPathSeparator(path.back())) path.pop_back();
  return path;
}

}  // namespace slicery::platform
