#include "support/memory_file_system.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace slicery::testing {

using platform::PathKind;
using platform::Status;

namespace {

bool isDirectChild(const std::string& folder, const std::string& path) {
  const std::string prefix = platform::joinPath(folder, "");
  return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
         path.find('/', prefix.size()) == std::string::npos;
}

std::string baseName(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

}  // namespace

class MemoryFileSystem::File : public platform::ReadableFile {
 public:
  File(MemoryFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {
    ++fs_.openFiles_;
  }
  ~File() override { --fs_.openFiles_; }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  Status readAt(std::uint64_t offset, void* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    if (Status s = fs_.check(Op::read, "read", path_); !s) return s;
    const std::string& data = fs_.contents(path_);
    if (offset >= data.size()) return Status::ok();
    got = std::min<std::uint64_t>(size, data.size() - offset);
    std::memcpy(buffer, data.data() + offset, got);
    fs_.bytesRead_ += got;
    return Status::ok();
  }

 private:
  MemoryFileSystem& fs_;
  std::string path_;
};

MemoryFileSystem::MemoryFileSystem() {
  nodes_["/"] = {PathKind::folder, {}};
}

void MemoryFileSystem::addFolder(const std::string& path) {
  const std::string clean = platform::withoutTrailingSeparator(path);
  if (clean == "/" || exists(clean)) return;
  addFolder(platform::parentPath(clean));
  nodes_[clean] = {PathKind::folder, {}};
}

void MemoryFileSystem::addFile(const std::string& path, std::string contents) {
  if (kindAt(platform::parentPath(path)) != PathKind::folder) {
    throw std::invalid_argument("no folder for " + path);
  }
  nodes_[path] = {PathKind::file, std::move(contents)};
}

void MemoryFileSystem::addOther(const std::string& path) {
  nodes_[path] = {PathKind::other, {}};
}

void MemoryFileSystem::remove(const std::string& path) {
  const std::string prefix = platform::joinPath(path, "");
  std::erase_if(nodes_, [&](const auto& node) {
    return node.first == path || node.first.compare(0, prefix.size(), prefix) == 0;
  });
}

PathKind MemoryFileSystem::kindAt(const std::string& path) const {
  const auto it = nodes_.find(path);
  return it == nodes_.end() ? PathKind::missing : it->second.kind;
}

const std::string& MemoryFileSystem::contents(const std::string& path) const {
  const auto it = nodes_.find(path);
  if (it == nodes_.end() || it->second.kind != PathKind::file) {
    throw std::out_of_range("no file " + path);
  }
  return it->second.contents;
}

std::map<std::string, std::string> MemoryFileSystem::filesUnder(const std::string& folder) const {
  const std::string prefix = platform::joinPath(folder, "");
  std::map<std::string, std::string> files;
  for (const auto& [path, node] : nodes_) {
    if (node.kind == PathKind::file && path.compare(0, prefix.size(), prefix) == 0) {
      files[path] = node.contents;
    }
  }
  return files;
}

std::map<std::string, PathKind> MemoryFileSystem::entriesUnder(const std::string& folder) const {
  const std::string prefix = platform::joinPath(folder, "");
  std::map<std::string, PathKind> entries;
  for (auto it = nodes_.lower_bound(prefix); it != nodes_.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    entries[it->first] = it->second.kind;
  }
  return entries;
}

void MemoryFileSystem::failOn(Op op, std::string path, std::string reason, int code) {
  failures_.push_back({op, std::move(path), std::move(reason), code});
}

const MemoryFileSystem::Failure* MemoryFileSystem::failureFor(Op op,
                                                              const std::string& path) const {
  for (const Failure& f : failures_) {
    if (f.op == op && (f.path.empty() || f.path == path)) return &f;
  }
  return nullptr;
}

Status MemoryFileSystem::check(Op op, const char* name, const std::string& path,
                               const std::string& newPath) const {
  if (const Failure* f = failureFor(op, path)) {
    return Status::error(name, path, f->reason, f->code, newPath);
  }
  return Status::ok();
}

PathKind MemoryFileSystem::kindOf(const std::string& path) {
  if (failureFor(Op::kindOf, path) != nullptr) return PathKind::missing;
  return kindAt(platform::withoutTrailingSeparator(path));
}

Status MemoryFileSystem::listEntries(const std::string& folder, Entries& entries) {
  entries.clear();
  if (Status s = check(Op::list, "list", folder); !s) return s;
  const PathKind kind = kindAt(folder);
  if (kind == PathKind::missing) return Status::systemError("list", folder, ENOENT);
  if (kind != PathKind::folder) return Status::systemError("list", folder, ENOTDIR);
  const std::string prefix = platform::joinPath(folder, "");
  for (auto it = nodes_.lower_bound(prefix); it != nodes_.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    if (isDirectChild(folder, it->first))
      entries.emplace_back(baseName(it->first), it->second.kind);
  }
  return Status::ok();
}

Status MemoryFileSystem::listEntriesMarked(const std::string& folder, Entries& entries,
                                           std::vector<bool>& hidden) {
  const Status status = listEntries(folder, entries);
  hidden.resize(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) hidden[i] = entries[i].first[0] == '.';
  return status;
}

Status MemoryFileSystem::makeFolder(const std::string& path) {
  if (Status s = check(Op::makeFolder, "make folder", path); !s) return s;
  if (exists(path)) return Status::systemError("make folder", path, EEXIST);
  const PathKind parent = kindAt(platform::parentPath(path));
  if (parent != PathKind::folder) {
    return Status::systemError("make folder", path, parent == PathKind::missing ? ENOENT : ENOTDIR);
  }
  nodes_[path] = {PathKind::folder, {}};
  return Status::ok();
}

Status MemoryFileSystem::renameFile(const std::string& from, const std::string& to) {
  if (Status s = check(Op::renameFile, "rename", from, to); !s) return s;
  if (kindAt(from) == PathKind::missing) return Status::systemError("rename", from, ENOENT, to);
  if (from == to) return Status::ok();
  const PathKind parent = kindAt(platform::parentPath(to));
  if (parent != PathKind::folder) {
    return Status::systemError("rename", from, parent == PathKind::missing ? ENOENT : ENOTDIR, to);
  }
  if (exists(to)) return Status::systemError("rename", from, EEXIST, to);
  auto node = nodes_.extract(from);
  node.key() = to;
  nodes_.insert(std::move(node));
  return Status::ok();
}

Status MemoryFileSystem::renameFolder(const std::string& from, const std::string& to) {
  if (Status s = check(Op::renameFolder, "rename folder", from, to); !s) return s;
  if (kindAt(from) != PathKind::folder)
    return Status::systemError("rename folder", from, ENOENT, to);
  if (from == to) return Status::ok();
  if (kindAt(platform::parentPath(to)) != PathKind::folder) {
    return Status::systemError("rename folder", from, ENOENT, to);
  }
  if (exists(to)) return Status::systemError("rename folder", from, EEXIST, to);
  const std::string prefix = platform::joinPath(from, "");
  std::map<std::string, Node> moved;
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    if (it->first == from || it->first.compare(0, prefix.size(), prefix) == 0) {
      moved[to + it->first.substr(from.size())] = std::move(it->second);
      it = nodes_.erase(it);
    } else {
      ++it;
    }
  }
  nodes_.merge(moved);
  return Status::ok();
}

Status MemoryFileSystem::removeEmptyFolder(const std::string& path) {
  if (kindAt(path) != PathKind::folder) return Status::systemError("remove folder", path, ENOTDIR);
  const std::string prefix = platform::joinPath(path, "");
  const auto next = nodes_.lower_bound(prefix);
  if (next != nodes_.end() && next->first.compare(0, prefix.size(), prefix) == 0) {
    return Status::systemError("remove folder", path, ENOTEMPTY);
  }
  nodes_.erase(path);
  return Status::ok();
}

Status MemoryFileSystem::openForReading(const std::string& path,
                                        std::unique_ptr<platform::ReadableFile>& file) {
  file.reset();
  if (Status s = check(Op::open, "open", path); !s) return s;
  const PathKind kind = kindAt(path);
  if (kind == PathKind::missing) return Status::systemError("open", path, ENOENT);
  if (kind == PathKind::folder) return Status::systemError("open", path, EISDIR);
  file = std::make_unique<File>(*this, path);
  return Status::ok();
}

}  // namespace slicery::testing
