#include "platform/real_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

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

bool isRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool existsNoFollow(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool noReplaceUnsupported(int code) {
  return code == EINVAL || code == ENOSYS || code == ENOTSUP;
}

}  // namespace

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

Status RealFileSystem::listFiles(const std::string& folder, const NameFilter& keep,
                                 std::vector<std::string>& names) {
  names.clear();
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return Status::systemError("list", folder, errno);
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' || (keep && !keep(name))) continue;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      regular = isRegularFile(joinPath(folder, name));
    }
    if (regular) names.emplace_back(name);
    errno = 0;
  }
  const int readError = errno;
  ::closedir(dir);
  if (readError != 0) {
    names.clear();
    return Status::systemError("list", folder, readError);
  }
  return Status::ok();
}

Status RealFileSystem::makeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) return Status::systemError("make folder", path, errno);
  return Status::ok();
}

Status RealFileSystem::renameFile(const std::string& from, const std::string& to) {
  if (from == to) return Status::ok();
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return Status::ok();
  }
  if (!noReplaceUnsupported(errno)) return Status::systemError("rename", from, errno, to);
  // No RENAME_NOREPLACE here: a hard link refuses an existing target just as
  // well, and only after it exists is the old name removed.
  if (::link(from.c_str(), to.c_str()) != 0) return Status::systemError("rename", from, errno, to);
  if (::unlink(from.c_str()) != 0) {
    const int code = errno;
    ::unlink(to.c_str());
    return Status::systemError("rename", from, code, to);
  }
  return Status::ok();
}

Status RealFileSystem::renameFolder(const std::string& from, const std::string& to) {
  if (from == to) return Status::ok();
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return Status::ok();
  }
  if (!noReplaceUnsupported(errno)) return Status::systemError("rename folder", from, errno, to);
  if (existsNoFollow(to)) return Status::systemError("rename folder", from, EEXIST, to);
  if (::rename(from.c_str(), to.c_str()) != 0) {
    return Status::systemError("rename folder", from, errno, to);
  }
  return Status::ok();
}

Status RealFileSystem::openForReading(const std::string& path,
                                      std::unique_ptr<ReadableFile>& file) {
  file.reset();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Status::systemError("open", path, errno);
  struct stat st;
  int code = 0;
  if (::fstat(fd, &st) != 0) {
    code = errno;
  } else if (!S_ISREG(st.st_mode)) {
    code = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  }
  if (code != 0) {
    ::close(fd);
    return Status::systemError("open", path, code);
  }
  file = std::make_unique<PosixReadableFile>(fd, path);
  return Status::ok();
}

}  // namespace slicery::platform
