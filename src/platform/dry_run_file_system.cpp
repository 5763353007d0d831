#include "platform/dry_run_file_system.h"

#include "platform/name_change.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>

namespace slicery::platform {
namespace {

// No record: DryRunFileSystem::kNone.
constexpr std::uint32_t kAbsent = UINT32_MAX;
constexpr std::uint32_t kFree = 0;

// `path` spelled as the records and real folders are keyed: no empty or "."
// parts and no trailing separator ("./a//b/" -> "a/b"). `scratch` holds it
// when it differs from `path`.
std::string_view canonical(std::string_view path, std::string& scratch) {
  while (path.size() > 1 && path.back() == kPathSeparator) path.remove_suffix(1);
  bool plain = path.substr(0, 2) != "./";
  for (size_t at = path.find(kPathSeparator); plain && at != path.npos;
       at = path.find(kPathSeparator, at + 1)) {
    const std::string_view next = path.substr(at + 1, 2);
    plain = !next.starts_with(kPathSeparator) && next != "." && next != "./";
  }
  if (plain) return path;
  scratch.assign(path.substr(0, 1) == "/" ? "/" : "");
  for (size_t at = 0; at <= path.size();) {
    const size_t end = std::min(path.find(kPathSeparator, at), path.size());
    const std::string_view part = path.substr(at, end - at);
    if (!part.empty() && part != ".") {
      if (!scratch.empty() && scratch.back() != kPathSeparator) scratch += kPathSeparator;
      scratch += part;
    }
    at = end + 1;
  }
  if (scratch.empty()) scratch = ".";
  return scratch;
}

// The folder and name parts of a canonical path, as parentPath tells them
// ("/a/b" -> "/a" and "b", "/a" -> "/", "b" -> ".").
std::string_view folderPart(std::string_view path) {
  const size_t cut = path.rfind(kPathSeparator);
  if (cut == std::string_view::npos) return ".";
  return path.substr(0, cut == 0 ? 1 : cut);
}

std::string_view namePart(std::string_view path) {
  const size_t cut = path.rfind(kPathSeparator);
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// A canonical folder and a name joined; joined(folderPart(p), namePart(p))
// is p.
std::string joined(std::string_view folder, std::string_view name) {
  if (folder == ".") return std::string(name);
  std::string path(folder);
  if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
  path += name;
  return path;
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::size_t hashOf(std::string_view name) {
  return std::hash<std::string_view>{}(name);
}

// Open hash tables of record numbers: a slot holds a record's number plus
// one, or kFree, and at most three quarters of the slots are taken.
template <class Matches>
std::uint32_t findSlot(const std::vector<std::uint32_t>& slots, std::size_t hash,
                       const Matches& matches) {
  if (slots.empty()) return kAbsent;
  const std::size_t mask = slots.size() - 1;
  for (std::size_t at = hash & mask; slots[at] != kFree; at = (at + 1) & mask) {
    if (matches(slots[at] - 1)) return slots[at] - 1;
  }
  return kAbsent;
}

void placeSlot(std::vector<std::uint32_t>& slots, std::size_t hash, std::uint32_t record) {
  const std::size_t mask = slots.size() - 1;
  std::size_t at = hash & mask;
  while (slots[at] != kFree) at = (at + 1) & mask;
  slots[at] = record + 1;
}

// Makes room for `count` records; when the table grows, the first `records`
// are placed again, each by the hash `hashAt` gives it (none: left out).
template <class HashAt>
void reserveSlots(std::vector<std::uint32_t>& slots, std::size_t count, std::uint32_t records,
                  const HashAt& hashAt) {
  if (count * 4 <= slots.size() * 3) return;
  std::size_t size = 16;
  while (count * 4 > size * 3) size *= 2;
  slots.assign(size, kFree);
  for (std::uint32_t i = 0; i < records; ++i) {
    if (const std::optional<std::size_t> hash = hashAt(i)) placeSlot(slots, *hash, i);
  }
}

}  // namespace

std::uint32_t DryRunFileSystem::RealFolder::find(std::string_view wanted) const {
  return findSlot(slots, hashOf(wanted),
                  [&](std::uint32_t index) { return name(index) == wanted; });
}

std::uint32_t DryRunFileSystem::RealFolder::add(std::string_view entry, PathKind kind) {
  const auto count = static_cast<std::uint32_t>(names.size());
  reserveSlots(slots, count + 1, count,
               [this](std::uint32_t index) { return std::optional(hashOf(name(index))); });
  names.push_back({static_cast<std::uint32_t>(text.size()),
                   static_cast<std::uint16_t>(entry.size()), static_cast<std::uint8_t>(kind)});
  text += entry;
  placeSlot(slots, hashOf(entry), count);
  return count;
}

std::string_view DryRunFileSystem::middleOf(const Folder& folder, std::uint32_t record) {
  const std::vector<Moved>& files = folder.files;
  const size_t end = record + 1 < files.size() ? files[record + 1].at : folder.text.size();
  return std::string_view(folder.text).substr(files[record].at, end - files[record].at);
}

std::string DryRunFileSystem::movedName(const Folder& folder, std::uint32_t record) const {
  const Moved& file = folder.files[record];
  const std::string_view origin = reals_[file.real].name(file.index);
  std::string name(origin.substr(0, file.head));
  name += middleOf(folder, record);
  name += origin.substr(origin.size() - file.tail);
  return name;
}

bool DryRunFileSystem::movedNameIs(const Folder& folder, std::uint32_t record,
                                   std::string_view name) const {
  const Moved& file = folder.files[record];
  const std::string_view origin = reals_[file.real].name(file.index);
  const std::string_view middle = middleOf(folder, record);
  return name.size() == file.head + middle.size() + file.tail &&
         name.substr(0, file.head) == origin.substr(0, file.head) &&
         name.substr(file.head, middle.size()) == middle &&
         name.substr(file.head + middle.size()) == origin.substr(origin.size() - file.tail);
}

std::uint32_t DryRunFileSystem::findMoved(const Folder& folder, std::string_view name) const {
  return findSlot(folder.slots, hashOf(name), [&](std::uint32_t record) {
    return folder.files[record].kind != static_cast<std::uint8_t>(PathKind::missing) &&
           movedNameIs(folder, record, name);
  });
}

void DryRunFileSystem::addMoved(Folder& folder, std::string_view name, PathKind kind,
                                std::uint32_t real, std::uint32_t index) {
  const NameChange change = changeFrom(reals_[real].name(index), name);
  const auto count = static_cast<std::uint32_t>(folder.files.size());
  reserveSlots(folder.slots, count + 1, count,
               [&](std::uint32_t record) -> std::optional<std::size_t> {
                 if (folder.files[record].kind == static_cast<std::uint8_t>(PathKind::missing)) {
                   return {};
                 }
                 return hashOf(movedName(folder, record));
               });
  folder.files.push_back({real, index, static_cast<std::uint32_t>(folder.text.size()), change.head,
                          change.tail, static_cast<std::uint8_t>(kind)});
  folder.text += change.middle;
  placeSlot(folder.slots, hashOf(name), count);
}

std::uint32_t DryRunFileSystem::realFolder(std::string_view path) {
  if (const auto known = realIds_.find(path); known != realIds_.end()) return known->second;
  RealFolder folder;
  folder.path = path;
  {
    Entries entries;
    if (Status listed = real_->listEntries(folder.path, entries); !listed) {
      folder.failure = std::move(listed);
    } else {
      size_t bytes = 0;
      for (const auto& entry : entries) bytes += entry.first.size();
      folder.text.reserve(bytes);
      folder.names.reserve(entries.size());
      reserveSlots(folder.slots, entries.size(), 0,
                   [](std::uint32_t) { return std::optional<std::size_t>(); });
      for (const auto& [name, kind] : entries) folder.add(name, kind);
    }
  }
  const auto id = static_cast<std::uint32_t>(reals_.size());
  reals_.push_back(std::move(folder));
  realIds_.emplace(std::string(path), id);
  return id;
}

DryRunFileSystem::Resolved DryRunFileSystem::entryIn(std::uint32_t real, std::string_view name) {
  RealFolder& folder = reals_[real];
  std::uint32_t index = folder.find(name);
  if (index == kNone) {
    // A folder that cannot be listed is asked one name at a time.
    if (folder.failure) return {};
    const PathKind kind = real_->kindOf(joined(folder.path, name));
    if (kind == PathKind::missing) return {};
    index = folder.add(name, kind);
  }
  Resolved at;
  at.kind = folder.kind(index);
  if (at.kind == PathKind::missing) return {};
  if (at.kind == PathKind::link) {
    // A link that leads nowhere still takes its name.
    const PathKind target = real_->kindOf(joined(folder.path, name));
    at.kind = target == PathKind::missing ? PathKind::other : target;
  }
  at.real = real;
  at.index = index;
  return at;
}

DryRunFileSystem::Resolved DryRunFileSystem::resolveReal(std::string_view path) {
  const std::string_view folder = folderPart(path);
  if (folder == path) {
    Resolved at;
    at.kind = real_->kindOf(std::string(path));
    return at;
  }
  return entryIn(realFolder(folder), namePart(path));
}

DryRunFileSystem::Resolved DryRunFileSystem::resolve(std::string_view clean) {
  if (folders_.empty()) return resolveReal(clean);
  // A folder renamed away leaves a record, which hides the real one; a file
  // may have been moved to its place since.
  const auto own = folders_.find(clean);
  if (own != folders_.end() && !own->second.gone) {
    Resolved at;
    at.kind = PathKind::folder;
    at.folder = &own->second;
    return at;
  }
  const bool gone = own != folders_.end();
  // The nearest folder recorded above decides where the path leads; only one
  // made, renamed or renamed away can stand above another.
  const std::string_view name = namePart(clean);
  std::string_view above = folderPart(clean);
  for (bool parent = true; above != clean; parent = false) {
    if (const auto it = folders_.find(above); it != folders_.end()) {
      Folder& folder = it->second;
      if (folder.gone) return {};
      if (parent) {
        if (const std::uint32_t record = findMoved(folder, name); record != kNone) {
          Resolved at;
          at.kind = static_cast<PathKind>(folder.files[record].kind);
          at.movedIn = &folder;
          at.record = record;
          return at;
        }
        return folder.real == kNone || gone ? Resolved{} : entryIn(folder.real, name);
      }
      // Whatever lies in a made folder was recorded in its own folder.
      if (folder.real == kNone || gone) return {};
      std::string_view rest = above == "." ? clean : clean.substr(above.size());
      if (!rest.empty() && rest.front() == kPathSeparator) rest.remove_prefix(1);
      return resolveReal(joined(reals_[folder.real].path, rest));
    }
    const std::string_view up = folderPart(above);
    if (up == above) break;  // the root, or "." for a relative path
    above = up;
  }
  return gone ? Resolved{} : resolveReal(clean);
}

std::string DryRunFileSystem::realPath(const Resolved& at, std::string_view path) const {
  if (at.folder != nullptr) return at.folder->real == kNone ? "" : reals_[at.folder->real].path;
  if (at.movedIn != nullptr) {
    const Moved& file = at.movedIn->files[at.record];
    return joined(reals_[file.real].path, reals_[file.real].name(file.index));
  }
  if (at.real != kNone) return joined(reals_[at.real].path, reals_[at.real].name(at.index));
  return std::string(path);
}

DryRunFileSystem::Folder& DryRunFileSystem::folderRecord(std::string_view path,
                                                         const Resolved& at) {
  if (at.folder != nullptr) return *at.folder;
  const std::uint32_t real = realFolder(realPath(at, path));
  Folder& record = folders_[std::string(path)];
  record.real = real;
  return record;
}

PathKind DryRunFileSystem::kindOf(const std::string& path) {
  std::string scratch;
  return resolve(canonical(path, scratch)).kind;
}

PathKind DryRunFileSystem::entryKind(const std::string& path, std::string& linkTarget) {
  linkTarget.clear();
  std::string scratch;
  const std::string_view clean = canonical(path, scratch);
  const Resolved at = resolve(clean);
  if (at.kind == PathKind::missing) return at.kind;
  if (at.folder != nullptr && at.folder->real == kNone) return PathKind::folder;
  return real_->entryKind(realPath(at, clean), linkTarget);
}

long DryRunFileSystem::nameLimit(const std::string& folder) {
  std::string scratch;
  return limitOf(canonical(folder, scratch));
}

long DryRunFileSystem::limitOf(std::string_view folder) {
  if (const auto known = nameLimits_.find(folder); known != nameLimits_.end()) {
    return known->second;
  }
  const Resolved at = resolve(folder);
  const long limit = at.folder != nullptr && at.folder->real == kNone
                         ? limitOf(folderPart(folder))
                         : real_->nameLimit(realPath(at, folder));
  nameLimits_.emplace(folder, limit);
  return limit;
}

Status DryRunFileSystem::listEntries(const std::string& folder, Entries& entries) {
  entries.clear();
  std::string scratch;
  const std::string_view clean = canonical(folder, scratch);
  const Resolved at = resolve(clean);
  if (at.kind == PathKind::missing) return Status::systemError("list", folder, ENOENT);
  if (at.kind != PathKind::folder) return Status::systemError("list", folder, ENOTDIR);
  const Folder* record = at.folder;
  const std::uint32_t real = record != nullptr ? record->real : realFolder(realPath(at, clean));

  // The folders recorded right inside it, in name order: made, renamed in
  // or renamed away.
  std::vector<std::pair<std::string_view, const Folder*>> inside;
  const std::string prefix = joined(clean, "");
  for (const auto& [path, inner] : folders_) {
    if (!startsWith(path, prefix)) continue;
    const std::string_view name = std::string_view(path).substr(prefix.size());
    if (!name.empty() && name != "." && name.find(kPathSeparator) == std::string_view::npos) {
      inside.emplace_back(name, &inner);
    }
  }
  std::sort(inside.begin(), inside.end());
  const auto recordedInside = [&inside](std::string_view name) {
    const auto it =
        std::lower_bound(inside.begin(), inside.end(), name,
                         [](const auto& entry, std::string_view n) { return entry.first < n; });
    return it != inside.end() && it->first == name;
  };

  if (real != kNone) {
    const RealFolder& listing = reals_[real];
    if (!listing.failure) {
      return Status::error("list", folder, listing.failure.reason(), listing.failure.code());
    }
    for (std::uint32_t index = 0; index < listing.names.size(); ++index) {
      const PathKind kind = listing.kind(index);
      const std::string_view name = listing.name(index);
      if (kind == PathKind::missing || recordedInside(name) ||
          (record != nullptr && findMoved(*record, name) != kNone)) {
        continue;
      }
      entries.emplace_back(name, kind);
    }
  }
  if (record != nullptr) {
    for (std::uint32_t file = 0; file < record->files.size(); ++file) {
      const auto kind = static_cast<PathKind>(record->files[file].kind);
      if (kind != PathKind::missing) entries.emplace_back(movedName(*record, file), kind);
    }
  }
  for (const auto& [name, inner] : inside) {
    if (!inner->gone) entries.emplace_back(name, PathKind::folder);
  }
  return Status::ok();
}

Status DryRunFileSystem::makeFolder(const std::string& path) {
  std::string scratch;
  const std::string_view clean = canonical(path, scratch);
  if (resolve(clean).kind != PathKind::missing) {
    return Status::systemError("make folder", path, EEXIST);
  }
  const PathKind parent = resolve(folderPart(clean)).kind;
  if (parent != PathKind::folder) {
    return Status::systemError("make folder", path, parent == PathKind::missing ? ENOENT : ENOTDIR);
  }
  // A folder renamed away leaves a record that the new one takes over.
  folders_[std::string(clean)] = Folder();
  return Status::ok();
}

Status DryRunFileSystem::checkRename(const char* operation, const std::string& from,
                                     const std::string& to, PathKind wanted, Resolved& source,
                                     Resolved& parent) {
  std::string fromScratch;
  const std::string_view origin = canonical(from, fromScratch);
  source = resolve(origin);
  if (source.kind == PathKind::missing) return Status::systemError(operation, from, ENOENT, to);
  if (wanted == PathKind::folder && source.kind != PathKind::folder) {
    return Status::systemError(operation, from, ENOTDIR, to);
  }
  if (from == to) return Status::ok();
  std::string toScratch;
  const std::string_view target = canonical(to, toScratch);
  if (static_cast<long>(namePart(target).size()) > limitOf(folderPart(target))) {
    return Status::systemError(operation, from, ENAMETOOLONG, to);
  }
  parent = resolve(folderPart(target));
  if (parent.kind != PathKind::folder) {
    return Status::systemError(operation, from, parent.kind == PathKind::missing ? ENOENT : ENOTDIR,
                               to);
  }
  if (resolve(target).kind != PathKind::missing) {
    return Status::systemError(operation, from, EEXIST, to);
  }
  // No folder goes into itself.
  if (source.kind == PathKind::folder && startsWith(target, joined(origin, ""))) {
    return Status::systemError(operation, from, EINVAL, to);
  }
  return Status::ok();
}

Status DryRunFileSystem::renameFile(const std::string& from, const std::string& to) {
  Resolved source;
  Resolved parent;
  if (Status status = checkRename("rename", from, to, PathKind::file, source, parent);
      !status || from == to) {
    return status;
  }
  if (source.kind == PathKind::folder) return renameFolder(from, to);
  std::string scratch;
  const std::string_view target = canonical(to, scratch);
  const std::string_view folder = folderPart(target);
  Folder& into = folderRecord(folder, parent);
  // The file keeps the real entry it came from, which moves away.
  std::uint32_t real = source.real;
  std::uint32_t index = source.index;
  if (source.movedIn != nullptr) {
    Moved& file = source.movedIn->files[source.record];
    real = file.real;
    index = file.index;
    file.kind = static_cast<std::uint8_t>(PathKind::missing);
  } else {
    reals_[real].names[index].kind = static_cast<std::uint8_t>(PathKind::missing);
  }
  addMoved(into, namePart(target), source.kind, real, index);
  return Status::ok();
}

Status DryRunFileSystem::renameFolder(const std::string& from, const std::string& to) {
  Resolved source;
  Resolved parent;
  if (Status status = checkRename("rename folder", from, to, PathKind::folder, source, parent);
      !status || from == to) {
    return status;
  }
  std::string scratch;
  const std::string origin(canonical(from, scratch));
  const std::string target(canonical(to, scratch));
  const std::uint32_t real =
      source.folder != nullptr ? source.folder->real : realFolder(realPath(source, origin));

  // Only a folder renamed away can have left records at and below the
  // target; what was recorded at and below the folder moves there.
  const std::string targetPrefix = joined(target, "");
  std::erase_if(folders_, [&](const auto& entry) {
    return entry.first == target || startsWith(entry.first, targetPrefix);
  });
  std::vector<decltype(folders_)::node_type> moved;
  const std::string originPrefix = joined(origin, "");
  for (auto it = folders_.begin(); it != folders_.end();) {
    const bool inside = it->first == origin || startsWith(it->first, originPrefix);
    if (inside)
      moved.push_back(folders_.extract(it++));
    else
      ++it;
  }
  for (auto& node : moved) {
    node.key() = target + node.key().substr(origin.size());
    folders_.insert(std::move(node));
  }
  if (source.folder == nullptr) folders_[target].real = real;
  folders_[origin].gone = true;
  return Status::ok();
}

Status DryRunFileSystem::openForReading(const std::string& path,
                                        std::unique_ptr<ReadableFile>& file) {
  file.reset();
  std::string scratch;
  const std::string_view clean = canonical(path, scratch);
  const Resolved at = resolve(clean);
  if (at.kind == PathKind::missing) return Status::systemError("open", path, ENOENT);
  if (at.folder != nullptr && at.folder->real == kNone) {
    return Status::systemError("open", path, EISDIR);
  }
  if (Status status = real_->openForReading(realPath(at, clean), file); !status) {
    return Status::error("open", path, status.reason(), status.code());
  }
  return Status::ok();
}

}  // namespace slicery::platform
