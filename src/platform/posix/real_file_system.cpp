#include "platform/real_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace slicery::platform {
namespace {

class PosixReadableFile : public ReadableFile {
 public:
  PosixReadableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixReadableFile() override { ::close(fd_); }
  PosixReadableFile(const PosixReadableFile&) = delete;
  PosixReadableFile& operator=(const PosixReadableFile&) = delete;

  Status readAt(std::uint64_t offset, void* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    auto* out = static_cast<char*>(buffer);
    while (got < size) {
      const ssize_t n = ::pread(fd_, out + got, size - got, static_cast<off_t>(offset + got));
      if (n < 0) {
        if (errno == EINTR) continue;
        return Status::systemError("read", path_, errno);
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return Status::ok();
  }

 private:
  int fd_;
  std::string path_;
};

bool sameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The errors by which renameat2 says it does not know RENAME_NOREPLACE here.
bool noReplaceUnsupported(int code) {
  return code == EINVAL || code == ENOSYS || code == ENOTSUP || code == EOPNOTSUPP;
}

// The errors by which link says this file system (or this file) takes no
// further hard link; exFAT and FAT through FUSE answer EPERM.
bool linkUnsupported(int code) {
  return code == EPERM || code == ENOSYS || code == ENOTSUP || code == EOPNOTSUPP || code == EMLINK;
}

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.rfind(kPathSeparator);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether two spellings may name one directory entry: the same folder and
// names equal but for letter case, as a case-insensitive file system (exFAT,
// FAT) takes them.
bool maySpellOneEntry(int dir, const std::string& from, const std::string& to) {
  const std::string a = baseName(from);
  const std::string b = baseName(to);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  struct stat parentA;
  struct stat parentB;
  if (::fstatat(dir, parentPath(from).c_str(), &parentA, 0) != 0 ||
      ::fstatat(dir, parentPath(to).c_str(), &parentB, 0) != 0) {
    return true;  // cannot tell: assume the worst
  }
  return sameInode(parentA, parentB);
}

// A link-then-unlink move cut after its link leaves two names on one regular
// file. Removing the old name completes it; true when it did. Anything else
// at the new name (another file, a symbolic link, a folder) is left alone, and
// so is one entry reached by two spellings, where the unlink would remove the
// very name that was to stay. Only a caller that knows the move was begun
// may ask: a user's own hard link looks the same.
bool completesCutMove(int dir, const std::string& from, const std::string& to) {
  struct stat a;
  struct stat b;
  if (::fstatat(dir, from.c_str(), &a, AT_SYMLINK_NOFOLLOW) != 0 ||
      ::fstatat(dir, to.c_str(), &b, AT_SYMLINK_NOFOLLOW) != 0)
    return false;
  if (!S_ISREG(a.st_mode) || !S_ISREG(b.st_mode) || !sameInode(a, b) || a.st_nlink < 2) {
    return false;
  }
  if (maySpellOneEntry(dir, from, to)) return false;
  return ::unlinkat(dir, from.c_str(), 0) == 0;
}

bool isEmptyFolder(int at, const std::string& path) {
  const int fd = ::openat(at, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return false;
  }
  bool empty = true;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") {
      empty = false;
      break;
    }
  }
  ::closedir(dir);
  return empty;
}

// The failure for a new name that exists. An empty file or folder there may
// be the placeholder of a rename that was killed; it is not removed (a user's
// empty file looks the same), but the reason says what it may be.
Status existsFailure(int dir, const char* operation, const std::string& from,
                     const std::string& to) {
  struct stat st;
  if (::fstatat(dir, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    const char* what = nullptr;
    if (S_ISREG(st.st_mode) && st.st_size == 0) what = "an empty file";
    if (S_ISDIR(st.st_mode) && isEmptyFolder(dir, to)) what = "an empty folder";
    if (what != nullptr) {
      return Status::error(operation, from,
                           std::string(std::strerror(EEXIST)) + " (" + what +
                               ", perhaps left by an interrupted rename)",
                           EEXIST, to);
    }
  }
  return Status::systemError(operation, from, EEXIST, to);
}

// Creates `to` exclusively, as an empty file or folder, and renames `from`
// onto it, so rename() replaces nothing but that placeholder. When the rename
// fails the placeholder goes again, if it is still the one made here. Only a
// process that removes the placeholder and puts its own file in its place in
// the moment before the rename could lose that file; the last look narrows
// that moment to one system call.
Status renameOntoPlaceholder(int dir, const char* operation, const std::string& from,
                             const std::string& to, bool folder) {
  struct stat made;
  if (folder) {
    if (::mkdirat(dir, to.c_str(), 0700) != 0)
      return Status::systemError(operation, from, errno, to);
    if (::fstatat(dir, to.c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0) {
      const int code = errno;
      ::unlinkat(dir, to.c_str(), AT_REMOVEDIR);
      return Status::systemError(operation, from, code, to);
    }
  } else {
    const int fd =
        ::openat(dir, to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) return Status::systemError(operation, from, errno, to);
    const int statted = ::fstat(fd, &made);
    const int code = errno;
    ::close(fd);
    if (statted != 0) {
      ::unlinkat(dir, to.c_str(), 0);
      return Status::systemError(operation, from, code, to);
    }
  }
  struct stat now;
  if (::fstatat(dir, to.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || !sameInode(now, made)) {
    return Status::systemError(operation, from, EEXIST, to);
  }
  if (::renameat(dir, from.c_str(), dir, to.c_str()) == 0) return Status::ok();
  const int code = errno;
  if (::fstatat(dir, to.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameInode(now, made)) {
    if (folder) {
      ::unlinkat(dir, to.c_str(), AT_REMOVEDIR);
    } else if (now.st_size == 0) {
      ::unlinkat(dir, to.c_str(), 0);
    }
  }
  return Status::systemError(operation, from, code, to);
}

// A folder held by its descriptor. Failures are told with full paths.
class DescriptorFolder : public OpenFolder {
 public:
  DescriptorFolder(RealFileSystem& fs, int fd, std::string path)
      : fs_(fs), fd_(fd), path_(std::move(path)) {}
  ~DescriptorFolder() override { ::close(fd_); }
  DescriptorFolder(const DescriptorFolder&) = delete;
  DescriptorFolder& operator=(const DescriptorFolder&) = delete;

  Status renameFile(const std::string& from, const std::string& to, RenameIntent* intent) override {
    return withPaths(fs_.renameFileIn(fd_, from, to, intent), from, to);
  }
  Status renameFolder(const std::string& from, const std::string& to) override {
    return withPaths(fs_.renameFolderIn(fd_, from, to), from, to);
  }
  Status makeFolder(const std::string& name) override {
    if (::mkdirat(fd_, name.c_str(), 0777) == 0) return Status::ok();
    return Status::systemError("make folder", joinPath(path_, name), errno);
  }
  Status removeEmptyFolder(const std::string& name) override {
    if (::unlinkat(fd_, name.c_str(), AT_REMOVEDIR) == 0) return Status::ok();
    return Status::systemError("remove folder", joinPath(path_, name), errno);
  }
  PathKind kind(const std::string& name) override {
    struct stat st;
    if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return PathKind::missing;
    if (S_ISLNK(st.st_mode)) return PathKind::link;
    if (S_ISDIR(st.st_mode)) return PathKind::folder;
    return S_ISREG(st.st_mode) ? PathKind::file : PathKind::other;
  }
  bool completeCutMove(const std::string& from, const std::string& to) override {
    return completesCutMove(fd_, from, to);
  }
  bool removePlaceholder(const std::string& name) override {
    struct stat st;
    if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISDIR(st.st_mode)) return ::unlinkat(fd_, name.c_str(), AT_REMOVEDIR) == 0;
    return S_ISREG(st.st_mode) && st.st_size == 0 && ::unlinkat(fd_, name.c_str(), 0) == 0;
  }

 private:
  Status withPaths(Status status, const std::string& from, const std::string& to) const {
    if (status) return status;
    return Status::error(status.operation(), joinPath(path_, from), status.reason(), status.code(),
                         joinPath(path_, to));
  }

  RealFileSystem& fs_;
  int fd_;
  std::string path_;
};

}  // namespace

std::unique_ptr<OpenFolder> RealFileSystem::openFolder(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return FileSystem::openFolder(path);  // its operations tell why
  return std::make_unique<DescriptorFolder>(*this, fd, path);
}

PathKind RealFileSystem::kindOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return PathKind::missing;
  if (S_ISDIR(st.st_mode)) return PathKind::folder;
  if (S_ISREG(st.st_mode)) return PathKind::file;
  return PathKind::other;
}

PathKind RealFileSystem::entryKind(const std::string& path, std::string& linkTarget) {
  linkTarget.clear();
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return PathKind::missing;
  if (S_ISLNK(st.st_mode)) {
    std::string text(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
    if (n > 0) linkTarget.assign(text.data(), static_cast<size_t>(n));
    return PathKind::link;
  }
  if (S_ISDIR(st.st_mode)) return PathKind::folder;
  if (S_ISREG(st.st_mode)) return PathKind::file;
  return PathKind::other;
}

long RealFileSystem::nameLimit(const std::string& folder) {
  errno = 0;
  const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  return limit > 0 ? limit : FileSystem::nameLimit(folder);
}

bool RealFileSystem::foldsCase(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  const auto swapCase = [](char c) {
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return lowerAscii(c);
  };
  std::string name;
  while (const dirent* entry = ::readdir(dir)) {
    name = entry->d_name;
    if (std::any_of(name.begin(), name.end(), [&](char c) { return swapCase(c) != c; })) break;
    name.clear();
  }
  bool folds = false;
  std::string swapped = name;
  std::transform(swapped.begin(), swapped.end(), swapped.begin(), swapCase);
  struct stat own;
  struct stat other;
  if (!name.empty() && ::fstatat(::dirfd(dir), name.c_str(), &own, AT_SYMLINK_NOFOLLOW) == 0 &&
      ::fstatat(::dirfd(dir), swapped.c_str(), &other, AT_SYMLINK_NOFOLLOW) == 0) {
    // One entry by both spellings; or two entries, which the listing shows
    // (a FUSE layer may number one entry differently by each spelling).
    folds = true;
    if (!sameInode(own, other)) {
      ::rewinddir(dir);
      while (const dirent* entry = ::readdir(dir)) {
        if (swapped == entry->d_name) {
          folds = false;
          break;
        }
      }
    }
  }
  ::closedir(dir);
  return folds;
}

Status RealFileSystem::listEntries(const std::string& folder, Entries& entries) {
  entries.clear();
  const Status status = visitEntries(folder, [&entries](std::string_view name, PathKind kind) {
    entries.emplace_back(name, kind);
  });
  if (!status) entries.clear();
  return status;
}

Status RealFileSystem::visitEntries(const std::string& folder, const EntryVisit& visit) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return Status::systemError("list", folder, errno);
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    PathKind kind = PathKind::other;
    if (entry->d_type == DT_REG) {
      kind = PathKind::file;
    } else if (entry->d_type == DT_DIR) {
      kind = PathKind::folder;
    } else if (entry->d_type == DT_LNK) {
      kind = PathKind::link;
    } else if (entry->d_type == DT_UNKNOWN) {
      std::string target;
      kind = entryKind(joinPath(folder, std::string(name)), target);
    }
    visit(name, kind);
    errno = 0;
  }
  const int readError = errno;
  ::closedir(dir);
  if (readError != 0) return Status::systemError("list", folder, readError);
  return Status::ok();
}

Status RealFileSystem::listEntriesMarked(const std::string& folder, Entries& entries,
                                         std::vector<bool>& hidden) {
  const Status status = listEntries(folder, entries);
  hidden.resize(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) hidden[i] = entries[i].first[0] == '.';
  return status;
}

Status RealFileSystem::makeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) return Status::systemError("make folder", path, errno);
  return Status::ok();
}

Status RealFileSystem::renameFile(const std::string& from, const std::string& to) {
  return renameFileIn(AT_FDCWD, from, to, nullptr);
}

Status RealFileSystem::renameFolder(const std::string& from, const std::string& to) {
  return renameFolderIn(AT_FDCWD, from, to);
}

Status RealFileSystem::renameFileIn(int dir, const std::string& from, const std::string& to,
                                    RenameIntent* intent) {
  static constexpr const char* kOperation = "rename";
  if (from == to) return Status::ok();
  if (tries(RenameStrategy::noReplaceFlag)) {
    if (::renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0) {
      return Status::ok();
    }
    const int code = errno;
    if (!noReplaceUnsupported(code)) return Status::systemError(kOperation, from, code, to);
  }
  if (tries(RenameStrategy::linkThenUnlink)) {
    if (intent != nullptr) {
      if (Status told = intent->before(RenameIntent::Kind::cutMove); !told) return told;
    }
    if (::linkat(dir, from.c_str(), dir, to.c_str(), 0) == 0) {
      if (::unlinkat(dir, from.c_str(), 0) == 0) return Status::ok();
      const int code = errno;
      ::unlinkat(dir, to.c_str(), 0);
      return Status::systemError(kOperation, from, code, to);
    }
    const int code = errno;
    if (code == EEXIST) return existsFailure(dir, kOperation, from, to);
    if (!linkUnsupported(code)) return Status::systemError(kOperation, from, code, to);
  }
  if (intent != nullptr) {
    if (Status told = intent->before(RenameIntent::Kind::placeholder); !told) return told;
  }
  Status status = renameOntoPlaceholder(dir, kOperation, from, to, false);
  if (status.code() == EEXIST) return existsFailure(dir, kOperation, from, to);
  return status;
}

Status RealFileSystem::renameFolderIn(int dir, const std::string& from, const std::string& to) {
  static constexpr const char* kOperation = "rename folder";
  if (from == to) return Status::ok();
  if (tries(RenameStrategy::noReplaceFlag)) {
    if (::renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0) {
      return Status::ok();
    }
    const int code = errno;
    if (!noReplaceUnsupported(code)) return Status::systemError(kOperation, from, code, to);
  }
  // Folders take no hard links: the placeholder is the only fallback.
  Status status = renameOntoPlaceholder(dir, kOperation, from, to, true);
  if (status.code() == EEXIST) return existsFailure(dir, kOperation, from, to);
  return status;
}

Status RealFileSystem::removeEmptyFolder(const std::string& path) {
  if (::rmdir(path.c_str()) != 0) return Status::systemError("remove folder", path, errno);
  return Status::ok();
}

Status RealFileSystem::openForReading(const std::string& path,
                                      std::unique_ptr<ReadableFile>& file) {
  file.reset();
  const auto refusal = [&path](const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return Status::systemError("open", path, EISDIR);
    if (!S_ISREG(st.st_mode)) return Status::error("open", path, "not a regular file", EINVAL);
    return Status::ok();
  };
  // A device or FIFO is refused before it is opened, where opening may act on
  // it. O_NONBLOCK covers one that takes the name after this check: a FIFO
  // with no writer opens at once, and fstat on the descriptor has the last word.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return Status::systemError("open", path, errno);
  if (Status status = refusal(st); !status) return status;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return Status::systemError("open", path, errno);
  Status status = ::fstat(fd, &st) != 0 ? Status::systemError("open", path, errno) : refusal(st);
  if (status) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
      status = Status::systemError("open", path, errno);
    }
  }
  if (!status) {
    ::close(fd);
    return status;
  }
  file = std::make_unique<PosixReadableFile>(fd, path);
  return Status::ok();
}

}  // namespace slicery::platform
