#include "platform/append_file.h"

#include <algorithm>
#include <cerrno>

#include "platform/win32/wide.h"

namespace slicery::platform {
namespace {

using win32::failure;
using win32::Handle;

class WindowsAppendFile : public AppendFile {
 public:
  WindowsAppendFile(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}

  Status append(std::string_view data) override {
    while (!data.empty()) {
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1U << 30));
      DWORD put = 0;
      if (!::WriteFile(handle_.get(), data.data(), want, &put, nullptr)) {
        return failure("write journal", path_, ::GetLastError());
      }
      data.remove_prefix(put);
    }
    return Status::ok();
  }
  Status sync() override {
    if (!::FlushFileBuffers(handle_.get())) {
      return failure("write journal", path_, ::GetLastError());
    }
    return Status::ok();
  }
  const std::string& path() const override { return path_; }

 private:
  Handle handle_;
  std::string path_;
};

// A file opened for `access`; a reparse point is refused, as O_NOFOLLOW does.
HANDLE openFile(const std::string& path, DWORD access, DWORD disposition) {
  return ::CreateFileW(win32::longPath(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

Status openAppendFile(const std::string& path, bool fresh, std::size_t keep,
                      std::unique_ptr<AppendFile>& file) {
  file.reset();
  Handle handle(openFile(path, GENERIC_WRITE, fresh ? CREATE_NEW : OPEN_EXISTING));
  if (!handle.valid()) return failure("write journal", path, ::GetLastError());
  if (!fresh) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(keep);
    if (!::SetFilePointerEx(handle.get(), at, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(handle.get())) {
      return failure("write journal", path, ::GetLastError());
    }
  }
  file = std::make_unique<WindowsAppendFile>(handle.release(), path);
  return Status::ok();
}

Status readWholeFile(const std::string& path, std::string& data, std::size_t most) {
  data.clear();
  Handle handle(openFile(path, GENERIC_READ, OPEN_EXISTING));
  if (!handle.valid()) {
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(win32::longPath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return Status::error("read journal", path, kNotRegular, EINVAL);
    }
    return failure("read journal", path, error);
  }
  LARGE_INTEGER size;
  if (::GetFileSizeEx(handle.get(), &size) && size.QuadPart > 0) {
    data.reserve(std::min(most, static_cast<std::size_t>(size.QuadPart)));
  }
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(handle.get(), buffer, sizeof buffer, &got, nullptr)) {
      const DWORD error = ::GetLastError();
      data.clear();
      return failure("read journal", path, error);
    }
    if (got == 0) break;
    data.append(buffer, got);
    if (data.size() >= most) break;
  }
  return Status::ok();
}

}  // namespace slicery::platform
