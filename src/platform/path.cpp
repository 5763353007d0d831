#include "platform/file_system.h"

#include <algorithm>
#include <filesystem>

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
  if (Status status = listEntries(folder, entries); !status) return status;
  for (auto& [name, kind] : entries) {
    if (name[0] == '.' || (keep && !keep(name))) continue;
    if (kind == PathKind::file ||
        (kind == PathKind::link && kindOf(joinPath(folder, name)) == PathKind::file)) {
      names.push_back(std::move(name));
    }
  }
  return Status::ok();
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
  if (folder.empty() || folder.back() != kPathSeparator) path.push_back(kPathSeparator);
  path.append(name);
}

std::string parentPath(const std::string& path) {
  const std::string trimmed = withoutTrailingSeparator(path);
  const auto cut = trimmed.rfind(kPathSeparator);
  if (cut == std::string::npos) return ".";
  if (cut == 0) return std::string(1, kPathSeparator);
  return trimmed.substr(0, cut);
}

std::string withoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && path.back() == kPathSeparator) path.pop_back();
  return path;
}

std::string absolutePath(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) return path;
  const bool up = std::any_of(absolute.begin(), absolute.end(),
                              [](const fs::path& part) { return part == ".."; });
  if (up) {
    fs::path resolved = fs::weakly_canonical(absolute, error);
    if (!error) absolute = std::move(resolved);
  }
  return withoutTrailingSeparator(absolute.lexically_normal().string());
}

}  // namespace slicery::platform
