#include "support/killing_file_system.h"

#include <cerrno>
#include <cstring>

namespace slicery::testing {

using platform::PathKind;
using platform::Status;

bool KillingFileSystem::enter(std::string what, bool changes, bool journalWrite) {
  if (dead_) return false;
  log_.push_back({std::move(what), changes, journalWrite});
  if (operations() == killAt_ &&
      (when_ == When::before || (when_ == When::torn && !journalWrite))) {
    die();
  }
  return true;
}

void KillingFileSystem::leave() {
  if (operations() == killAt_ && when_ == When::after) {
    die();
  }
}

void KillingFileSystem::die() {
  dead_ = true;
  if (onKill_) onKill_();
  throw Killed();
}

Status KillingFileSystem::dead(const char* operation, const std::string& path) const {
  return Status::error(operation, path, "the process was killed", EIO);
}

// --- Links, as a cut move leaves them --------------------------------------

bool KillingFileSystem::hasLinkedNames(const std::string& a, const std::string& b) const {
  const auto x = links_.find(a);
  const auto y = links_.find(b);
  return a != b && x != links_.end() && y != links_.end() && x->second == y->second &&
         disk_.kindAt(a) == PathKind::file && disk_.kindAt(b) == PathKind::file;
}

void KillingFileSystem::renamedLinks(const std::string& from, const std::string& to) {
  const std::string prefix = from + "/";
  std::map<std::string, int> moved;
  for (auto it = links_.begin(); it != links_.end();) {
    if (it->first == from || it->first.compare(0, prefix.size(), prefix) == 0) {
      moved[to + it->first.substr(from.size())] = it->second;
      it = links_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& [name, id] : moved) links_[name] = id;
}

// --- Renames ---------------------------------------------------------------

Status KillingFileSystem::moveFile(const std::string& from, const std::string& to,
                                   platform::RenameIntent* intent) {
  if (renames_ == Renames::atomic || from == to) {
    if (!enter("rename " + from + " -> " + to, true)) return dead("rename", from);
    const Status s = disk_.renameFile(from, to);
    if (s && from != to) {
      renamedLinks(from, to);
      moves_.emplace_back(from, to);
    }
    leave();
    return s;
  }
  if (renames_ == Renames::cutMove) {
    if (intent != nullptr) {
      if (Status told = intent->before(platform::RenameIntent::Kind::cutMove); !told) return told;
    }
    if (!enter("link " + from + " -> " + to, true)) return dead("rename", from);
    // Renaming a name onto itself changes nothing: it only asks whether the
    // double was told to refuse this file.
    Status s = disk_.renameFile(from, from);
    if (s && disk_.kindAt(from) != PathKind::file)
      s = Status::systemError("rename", from, ENOENT, to);
    if (s && disk_.exists(to)) s = Status::systemError("rename", from, EEXIST, to);
    if (s && disk_.kindAt(platform::parentPath(to)) != PathKind::folder) {
      s = Status::systemError("rename", from, ENOENT, to);
    }
    if (s) {
      disk_.addFile(to, disk_.contents(from));
      const auto known = links_.find(from);
      const int id = known != links_.end() ? known->second : nextLink_++;
      links_[from] = id;
      links_[to] = id;
    }
    leave();
    if (!s) return s;
    if (!enter("unlink " + from, true)) return dead("rename", from);
    disk_.remove(from);
    links_.erase(from);
    moves_.emplace_back(from, to);
    leave();
    return Status::ok();
  }
  // Onto an empty placeholder made at the new name first.
  if (intent != nullptr) {
    if (Status told = intent->before(platform::RenameIntent::Kind::placeholder); !told) return told;
  }
  if (!enter("make placeholder " + to, true)) return dead("rename", from);
  Status made;
  if (disk_.exists(to)) {
    made = Status::systemError("rename", from, EEXIST, to);
  } else if (disk_.kindAt(platform::parentPath(to)) != PathKind::folder) {
    made = Status::systemError("rename", from, ENOENT, to);
  } else {
    disk_.addFile(to, "");
    links_.erase(to);
  }
  leave();
  if (!made) return made;
  if (!enter("rename " + from + " onto placeholder " + to, true)) return dead("rename", from);
  disk_.remove(to);
  const Status s = disk_.renameFile(from, to);
  if (s) {
    renamedLinks(from, to);
    moves_.emplace_back(from, to);
  } else {
    disk_.addFile(to, "");
  }
  leave();
  if (s) return s;
  // The placeholder of a rename that failed goes again.
  if (!enter("remove placeholder " + to, true)) return dead("rename", from);
  disk_.remove(to);
  leave();
  return s;
}

Status KillingFileSystem::moveFolder(const std::string& from, const std::string& to) {
  if (renames_ == Renames::atomic || from == to) {
    if (!enter("rename folder " + from + " -> " + to, true)) return dead("rename folder", from);
    const Status s = disk_.renameFolder(from, to);
    if (s) renamedLinks(from, to);
    leave();
    return s;
  }
  // Folders take no links: onto an empty folder made first.
  if (!enter("make placeholder folder " + to, true)) return dead("rename folder", from);
  Status made = disk_.kindAt(from) == PathKind::folder
                    ? disk_.makeFolder(to)
                    : Status::systemError("rename folder", from, ENOENT, to);
  leave();
  if (!made) return Status::error("rename folder", from, made.reason(), made.code(), to);
  if (!enter("rename folder " + from + " onto placeholder " + to, true)) {
    return dead("rename folder", from);
  }
  disk_.removeEmptyFolder(to);
  const Status s = disk_.renameFolder(from, to);
  if (s) {
    renamedLinks(from, to);
  } else {
    disk_.makeFolder(to);
  }
  leave();
  if (s) return s;
  if (!enter("remove placeholder folder " + to, true)) return dead("rename folder", from);
  disk_.removeEmptyFolder(to);
  leave();
  return s;
}

// --- The open folder -------------------------------------------------------

class KillingFileSystem::Folder : public platform::OpenFolder {
 public:
  Folder(KillingFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}

  Status renameFile(const std::string& from, const std::string& to,
                    platform::RenameIntent* intent) override {
    return fs_.moveFile(full(from), full(to), intent);
  }
  Status renameFolder(const std::string& from, const std::string& to) override {
    return fs_.moveFolder(full(from), full(to));
  }
  Status makeFolder(const std::string& name) override { return fs_.makeFolder(full(name)); }
  Status removeEmptyFolder(const std::string& name) override {
    return fs_.removeEmptyFolder(full(name));
  }
  PathKind kind(const std::string& name) override {
    std::string target;
    return fs_.entryKind(full(name), target);
  }
  bool completeCutMove(const std::string& from, const std::string& to) override {
    if (!fs_.enter("complete cut move " + from + " -> " + to, true)) return false;
    const bool done = fs_.hasLinkedNames(full(from), full(to));
    if (done) {
      fs_.disk_.remove(full(from));
      fs_.links_.erase(full(from));
    }
    fs_.leave();
    return done;
  }
  bool removePlaceholder(const std::string& name) override {
    if (!fs_.enter("remove placeholder " + name, true)) return false;
    const std::string path = full(name);
    bool done = false;
    if (fs_.disk_.kindAt(path) == PathKind::folder) {
      done = fs_.disk_.removeEmptyFolder(path).isOk();
    } else if (fs_.disk_.kindAt(path) == PathKind::file && fs_.disk_.contents(path).empty()) {
      fs_.disk_.remove(path);
      fs_.links_.erase(path);
      done = true;
    }
    fs_.leave();
    return done;
  }

 private:
  std::string full(const std::string& name) const { return platform::joinPath(path_, name); }

  KillingFileSystem& fs_;
  std::string path_;
};

std::unique_ptr<platform::OpenFolder> KillingFileSystem::openFolder(const std::string& path) {
  return std::make_unique<Folder>(*this, path);
}

// --- Files read ------------------------------------------------------------

class KillingFileSystem::File : public platform::ReadableFile {
 public:
  File(KillingFileSystem& fs, std::unique_ptr<platform::ReadableFile> real, std::string path)
      : fs_(fs), real_(std::move(real)), path_(std::move(path)) {}
  Status readAt(std::uint64_t offset, void* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    if (!fs_.enter("read " + path_, false)) return fs_.dead("read", path_);
    const Status s = real_->readAt(offset, buffer, size, got);
    fs_.leave();
    return s;
  }

 private:
  KillingFileSystem& fs_;
  std::unique_ptr<platform::ReadableFile> real_;
  std::string path_;
};

// --- The journal's files ---------------------------------------------------

class KillingFileSystem::Journal : public platform::AppendFile {
 public:
  Journal(KillingFileSystem& fs, std::unique_ptr<platform::AppendFile> real)
      : fs_(fs), real_(std::move(real)) {}
  Status append(std::string_view data) override {
    if (!fs_.enter("write journal", true, true)) {
      return fs_.dead("write journal", path());
    }
    if (fs_.tornHere()) {
      // The kill falls in the middle of the write.
      real_->append(data.substr(0, data.size() / 2));
      fs_.die();
    }
    const Status s = real_->append(data);
    fs_.leave();
    return s;
  }
  Status sync() override {
    if (!fs_.enter("flush journal", true)) {
      return fs_.dead("flush journal", path());
    }
    const Status s = real_->sync();
    fs_.leave();
    return s;
  }
  const std::string& path() const override { return real_->path(); }

 private:
  KillingFileSystem& fs_;
  std::unique_ptr<platform::AppendFile> real_;
};

Status KillingFileSystem::openJournal(
    const std::string& path, bool fresh,
    const std::function<Status(std::unique_ptr<platform::AppendFile>&)>& open,
    std::unique_ptr<platform::AppendFile>& out) {
  out.reset();
  if (!enter(fresh ? "create journal" : "reopen journal", true)) {
    return dead("open journal", path);
  }
  std::unique_ptr<platform::AppendFile> real;
  const Status opened = open(real);
  leave();
  if (opened) out = std::make_unique<Journal>(*this, std::move(real));
  return opened;
}

// --- The rest, passed on ---------------------------------------------------

PathKind KillingFileSystem::kindOf(const std::string& path) {
  if (!enter("kind of " + path, false)) return PathKind::missing;
  const PathKind kind = disk_.kindOf(path);
  leave();
  return kind;
}

PathKind KillingFileSystem::entryKind(const std::string& path, std::string& linkTarget) {
  linkTarget.clear();
  if (!enter("kind of " + path, false)) return PathKind::missing;
  const PathKind kind = disk_.entryKind(path, linkTarget);
  leave();
  return kind;
}

long KillingFileSystem::nameLimit(const std::string& folder) {
  if (!enter("name limit of " + folder, false)) return 255;
  const long limit = disk_.nameLimit(folder);
  leave();
  return limit;
}

Status KillingFileSystem::listEntries(const std::string& folder, Entries& entries) {
  entries.clear();
  if (!enter("list " + folder, false)) return dead("list", folder);
  const Status s = disk_.listEntries(folder, entries);
  leave();
  return s;
}

Status KillingFileSystem::listEntriesMarked(const std::string& folder, Entries& entries,
                                            std::vector<bool>& hidden) {
  entries.clear();
  hidden.clear();
  if (!enter("list " + folder, false)) return dead("list", folder);
  const Status s = disk_.listEntriesMarked(folder, entries, hidden);
  leave();
  return s;
}

Status KillingFileSystem::makeFolder(const std::string& path) {
  if (!enter("make folder " + path, true)) return dead("make folder", path);
  const Status s = disk_.makeFolder(path);
  leave();
  return s;
}

Status KillingFileSystem::renameFile(const std::string& from, const std::string& to) {
  return moveFile(from, to, nullptr);
}

Status KillingFileSystem::renameFolder(const std::string& from, const std::string& to) {
  return moveFolder(from, to);
}

Status KillingFileSystem::removeEmptyFolder(const std::string& path) {
  if (!enter("remove folder " + path, true)) return dead("remove folder", path);
  const Status s = disk_.removeEmptyFolder(path);
  leave();
  return s;
}

Status KillingFileSystem::openForReading(const std::string& path,
                                         std::unique_ptr<platform::ReadableFile>& file) {
  file.reset();
  if (!enter("open " + path, false)) return dead("open", path);
  std::unique_ptr<platform::ReadableFile> real;
  const Status s = disk_.openForReading(path, real);
  if (s) file = std::make_unique<File>(*this, std::move(real), path);
  leave();
  return s;
}

Status KillingFileSystem::lockFolder(const std::string& folder,
                                     std::unique_ptr<platform::FolderLock>& lock) {
  lock.reset();
  if (!enter("lock " + folder, false)) return dead("lock", folder);
  const Status s = disk_.lockFolder(folder, lock);
  leave();
  return s;
}

bool KillingFileSystem::folderLockedElsewhere(const std::string& folder) {
  if (!enter("probe lock " + folder, false)) return false;
  const bool held = disk_.folderLockedElsewhere(folder);
  leave();
  return held;
}

}  // namespace slicery::testing
