// The edge between the core's UTF-8 and the UTF-16 of the Windows calls, and
// Windows' error codes told as the errno values the core compares.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/status.h"

namespace slicery::platform::win32 {

// UTF-8 to UTF-16 and back, losing nothing either way: a byte that starts no
// well-formed character travels as the lone surrogate U+DC80 to U+DCFF (and
// comes back as that byte), and any other lone surrogate of a Windows name as
// its three-byte form.
std::wstring wide(std::string_view text);
std::string narrow(std::wstring_view text);

// `path` as the Windows calls take it: absolute, "." and ".." resolved, every
// '/' a backslash, in the "\\?\" form ("\\?\UNC\server\share\..." for a
// share), so that no limit of 260 characters applies.
std::wstring longPath(const std::string& path);

// A long form as a person writes it: "C:\..." and "\\server\..."; longPath
// gives the long form back.
std::string shortForm(std::wstring_view path);

// The errno value that stands for Windows error `error` (EIO for one without
// a counterpart).
int errnoOf(DWORD error);
// A failure Windows reported as `error`: its errno value, with that value's
// text where there is one and Windows' own message otherwise.
Status failure(const char* operation, const std::string& path, DWORD error,
               const std::string& newPath = {});

// A handle closed when it goes.
class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  void reset(HANDLE handle) {
    if (valid()) ::CloseHandle(handle_);
    handle_ = handle;
  }
  HANDLE release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

 private:
  HANDLE handle_;
};

}  // namespace slicery::platform::win32
