#include "platform/dry_run_file_system.h"

#include <cerrno>
#include <cstring>

namespace slicery::platform {
namespace {

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

DryRunFileSystem::Resolved DryRunFileSystem::resolve(const std::string& path) {
  const std::string clean = withoutTrailingSeparator(path);
  // The nearest changed path at or above `clean` decides where it leads;
  // only a folder made, renamed or renamed away can stand above another.
  const auto through = [&](const Entry& entry, size_t at) -> Resolved {
    const std::string rest = clean.substr(at);
    if (entry.kind == PathKind::missing) return {};
    if (entry.kind != PathKind::folder) {
      return rest.empty() ? Resolved{entry.kind, entry.origin, false} : Resolved{};
    }
    if (entry.origin.empty()) {
      // Whatever lies in a made folder was recorded under its own path.
      return rest.empty() ? Resolved{PathKind::folder, {}, true} : Resolved{};
    }
    if (rest.empty()) return {PathKind::folder, entry.origin, false};
    const std::string real = entry.origin + rest;
    return {realKind(real), real, false};
  };
  if (const auto it = changed_.find(clean); it != changed_.end())
    return through(it->second, clean.size());
  for (size_t end = clean.rfind(kPathSeparator);
       end != std::string::npos && !changedFolders_.empty();
       end = end == 0 ? std::string::npos : clean.rfind(kPathSeparator, end - 1)) {
    const size_t length = end == 0 ? 1 : end;  // the root keeps its separator
    const std::string_view above(clean.data(), length);
    if (changedFolders_.count(above) == 0) continue;
    if (const auto it = changed_.find(std::string(above)); it != changed_.end()) {
      return through(it->second, length);
    }
  }
  return {realKind(clean), clean, false};
}

bool DryRunFileSystem::strikeReal(const std::string& real) {
  if (real.empty() || realKind(real) == PathKind::missing) return false;
  const auto known = realEntries_.find(parentPath(real));
  if (known == realEntries_.end()) return false;
  const auto entry = known->second.find(real.substr(real.rfind(kPathSeparator) + 1));
  if (entry == known->second.end()) return false;
  entry->second = PathKind::missing;
  return true;
}

bool DryRunFileSystem::movedAway(const std::string& realFolder, const std::string& name) const {
  const auto known = realEntries_.find(withoutTrailingSeparator(realFolder));
  if (known == realEntries_.end()) return false;
  const auto entry = known->second.find(name);
  return entry != known->second.end() && entry->second == PathKind::missing;
}

PathKind DryRunFileSystem::realKind(const std::string& path) {
  const std::string folder = parentPath(path);
  if (folder == path) return real_->kindOf(path);
  auto known = realEntries_.find(folder);
  if (known == realEntries_.end()) {
    Entries entries;
    if (!real_->listEntries(folder, entries)) return real_->kindOf(path);
    known = realEntries_.emplace(folder, std::unordered_map<std::string, PathKind>()).first;
    known->second.reserve(entries.size());
    for (auto& [name, kind] : entries) known->second.emplace(std::move(name), kind);
  }
  const auto entry = known->second.find(path.substr(path.rfind(kPathSeparator) + 1));
  if (entry == known->second.end()) return PathKind::missing;
  if (entry->second != PathKind::link) return entry->second;
  // A link that leads nowhere still takes its name.
  const PathKind target = real_->kindOf(path);
  return target == PathKind::missing ? PathKind::other : target;
}

PathKind DryRunFileSystem::kindOf(const std::string& path) {
  return resolve(path).kind;
}

PathKind DryRunFileSystem::entryKind(const std::string& path, std::string& linkTarget) {
  linkTarget.clear();
  const Resolved at = resolve(path);
  if (at.kind == PathKind::missing || at.madeFolder) return at.kind;
  return real_->entryKind(at.real, linkTarget);
}

long DryRunFileSystem::nameLimit(const std::string& folder) {
  if (const auto known = nameLimits_.find(folder); known != nameLimits_.end()) return known->second;
  const Resolved at = resolve(folder);
  const long limit = at.madeFolder ? nameLimit(parentPath(folder))
                                   : real_->nameLimit(at.real.empty() ? folder : at.real);
  nameLimits_.emplace(folder, limit);
  return limit;
}

Status DryRunFileSystem::listEntries(const std::string& folder, Entries& entries) {
  entries.clear();
  const std::string clean = withoutTrailingSeparator(folder);
  const Resolved at = resolve(clean);
  if (at.kind == PathKind::missing) return Status::systemError("list", folder, ENOENT);
  if (at.kind != PathKind::folder) return Status::systemError("list", folder, ENOTDIR);
  if (!at.madeFolder) {
    Entries real;
    if (Status status = real_->listEntries(at.real, real); !status) {
      return Status::error("list", folder, status.reason(), status.code());
    }
    for (auto& entry : real) {
      if (changed_.count(joinPath(clean, entry.first)) == 0 && !movedAway(at.real, entry.first)) {
        entries.push_back(std::move(entry));
      }
    }
  }
  const std::string prefix = joinPath(clean, "");
  for (auto it = changed_.lower_bound(prefix); it != changed_.end(); ++it) {
    if (!startsWith(it->first, prefix)) break;
    const std::string name = it->first.substr(prefix.size());
    if (it->second.kind == PathKind::missing || name.find(kPathSeparator) != std::string::npos) {
      continue;
    }
    entries.emplace_back(name, it->second.kind);
  }
  return Status::ok();
}

Status DryRunFileSystem::makeFolder(const std::string& path) {
  const std::string clean = withoutTrailingSeparator(path);
  if (resolve(clean).kind != PathKind::missing)
    return Status::systemError("make folder", path, EEXIST);
  const PathKind parent = resolve(parentPath(clean)).kind;
  if (parent != PathKind::folder) {
    return Status::systemError("make folder", path, parent == PathKind::missing ? ENOENT : ENOTDIR);
  }
  changed_[clean] = {PathKind::folder, {}};
  changedFolders_.insert(clean);
  return Status::ok();
}

Status DryRunFileSystem::checkRename(const char* operation, const std::string& from,
                                     const std::string& to, PathKind wanted) {
  const PathKind kind = resolve(from).kind;
  if (kind == PathKind::missing) return Status::systemError(operation, from, ENOENT, to);
  if (wanted == PathKind::folder && kind != PathKind::folder) {
    return Status::systemError(operation, from, ENOTDIR, to);
  }
  if (from == to) return Status::ok();
  const std::string newName = to.substr(to.rfind(kPathSeparator) + 1);
  if (static_cast<long>(newName.size()) > nameLimit(parentPath(to))) {
    return Status::systemError(operation, from, ENAMETOOLONG, to);
  }
  const PathKind parent = resolve(parentPath(to)).kind;
  if (parent != PathKind::folder) {
    return Status::systemError(operation, from, parent == PathKind::missing ? ENOENT : ENOTDIR, to);
  }
  if (resolve(to).kind != PathKind::missing)
    return Status::systemError(operation, from, EEXIST, to);
  return Status::ok();
}

Status DryRunFileSystem::renameFile(const std::string& from, const std::string& to) {
  if (Status status = checkRename("rename", from, to, PathKind::file); !status || from == to) {
    return status;
  }
  const Resolved source = resolve(from);
  if (source.kind == PathKind::folder) return renameFolder(from, to);
  changed_[to] = {source.kind, source.real};
  // A real file moved away is struck from its folder's listing, which costs
  // nothing more; anything else is recorded as gone.
  if (const auto it = changed_.find(from); it != changed_.end()) {
    it->second = {PathKind::missing, {}};
  } else if (!strikeReal(source.real)) {
    changed_[from] = {PathKind::missing, {}};
  }
  return Status::ok();
}

Status DryRunFileSystem::renameFolder(const std::string& from, const std::string& to) {
  if (Status status = checkRename("rename folder", from, to, PathKind::folder);
      !status || from == to) {
    return status;
  }
  const Resolved source = resolve(from);
  // What was recorded inside the folder moves with it, over nothing.
  const std::string target = joinPath(to, "");
  for (auto it = changed_.lower_bound(target);
       it != changed_.end() && startsWith(it->first, target);) {
    it = changed_.erase(it);
  }
  const std::string prefix = joinPath(from, "");
  std::map<std::string, Entry> moved;
  for (auto it = changed_.lower_bound(prefix);
       it != changed_.end() && startsWith(it->first, prefix);) {
    moved[joinPath(to, it->first.substr(prefix.size()))] = std::move(it->second);
    it = changed_.erase(it);
  }
  changed_.merge(moved);
  changed_[to] = {PathKind::folder, source.madeFolder ? std::string() : source.real};
  changed_[from] = {PathKind::missing, {}};
  changedFolders_.insert(to);
  changedFolders_.insert(from);
  return Status::ok();
}

Status DryRunFileSystem::openForReading(const std::string& path,
                                        std::unique_ptr<ReadableFile>& file) {
  file.reset();
  const Resolved at = resolve(path);
  if (at.kind == PathKind::missing) return Status::systemError("open", path, ENOENT);
  if (at.madeFolder) return Status::systemError("open", path, EISDIR);
  if (Status status = real_->openForReading(at.real, file); !status) {
    return Status::error("open", path, status.reason(), status.code());
  }
  return Status::ok();
}

}  // namespace slicery::platform
