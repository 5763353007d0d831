#include "platform/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace slicery::platform {
namespace {

class PosixAppendFile : public AppendFile {
 public:
  PosixAppendFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixAppendFile() override { ::close(fd_); }
  PosixAppendFile(const PosixAppendFile&) = delete;
  PosixAppendFile& operator=(const PosixAppendFile&) = delete;

  Status append(std::string_view data) override {
    while (!data.empty()) {
      const ssize_t put = ::write(fd_, data.data(), data.size());
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return Status::systemError("write journal", path_, errno);
      data.remove_prefix(static_cast<std::size_t>(put));
    }
    return Status::ok();
  }
  Status sync() override {
    if (::fdatasync(fd_) != 0) return Status::systemError("write journal", path_, errno);
    return Status::ok();
  }
  void startSync() override {
#ifdef __linux__
    ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
  }
  const std::string& path() const override {
    return path_;
  }

 private:
  int fd_;
  std::string path_;
};

}  // namespace

Status openAppendFile(const std::string& path, bool fresh, std::size_t keep,
                      std::unique_ptr<AppendFile>& file) {
  file.reset();
  const int flags = fresh ? O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW
                          : O_WRONLY | O_CLOEXEC | O_NOFOLLOW;
  // O_NONBLOCK: a FIFO standing at the name must not hold the open; what
  // is no regular file is refused below.
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK, 0600);
  if (fd < 0) return Status::systemError("write journal", path, errno);
  if (struct stat st; ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Status::error("write journal", path, kNotRegular, EINVAL);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (!fresh && (::ftruncate(fd, static_cast<off_t>(keep)) != 0 ||
                 ::lseek(fd, static_cast<off_t>(keep), SEEK_SET) < 0)) {
    const int code = errno;
    ::close(fd);
    return Status::systemError("write journal", path, code);
  }
  file = std::make_unique<PosixAppendFile>(fd, path);
  return Status::ok();
}

Status readWholeFile(const std::string& path, std::string& data, std::size_t most) {
  data.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return Status::systemError("read journal", path, errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Status::error("read journal", path, kNotRegular, EINVAL);
  }
  if (st.st_size > 0) data.reserve(std::min(most, static_cast<std::size_t>(st.st_size)));
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int code = errno;
      ::close(fd);
      return Status::systemError("read journal", path, code);
    }
    if (got == 0) break;
    data.append(buffer, static_cast<std::size_t>(got));
    if (data.size() >= most) break;
  }
  ::close(fd);
  return Status::ok();
}

}  // namespace slicery::platform
