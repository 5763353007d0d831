#include "platform/state_files.h"

#include <cstdint>

#include "platform/file_system.h"
#include "platform/win32/wide.h"

namespace slicery::platform {

using win32::failure;
using win32::Handle;
using win32::longPath;

std::string finalPath(const std::string& path) {
  // The final path of what stands there: links and letter case as the disk
  // has them, so every spelling of one folder gives one key.
  Handle handle(::CreateFileW(longPath(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (handle.valid()) {
    std::wstring final(MAX_PATH, L'\0');
    DWORD size = ::GetFinalPathNameByHandleW(handle.get(), final.data(),
                                             static_cast<DWORD>(final.size()), 0);
    if (size >= final.size()) {
      final.resize(size);
      size = ::GetFinalPathNameByHandleW(handle.get(), final.data(),
                                         static_cast<DWORD>(final.size()), 0);
    }
    if (size > 0 && size < final.size()) {
      final.resize(size);
      return withoutTrailingSeparator(win32::shortForm(final));
    }
  }
  return withoutTrailingSeparator(win32::shortForm(longPath(path)));
}

std::vector<Status> makeFilesPrivate(const std::string& folder, std::vector<std::string>& names) {
  // The state folder lies in the account's own LOCALAPPDATA, whose access
  // list already keeps other accounts out; files take it from there.
  names = namesIn(folder);
  return {};
}

bool isRegularFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(longPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes &
          (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool lastWritten(const std::string& path, std::chrono::system_clock::time_point& when) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(longPath(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return false;
  }
  // 100-nanosecond steps since 1601, of which those before 1970 are left out.
  constexpr std::int64_t kTo1970 = 116444736000000000LL;
  const std::int64_t ticks =
      (static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
      data.ftLastWriteTime.dwLowDateTime;
  when = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>(ticks - kTo1970)));
  return true;
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileExW((longPath(folder) + L"\\*").c_str(), FindExInfoBasic,
                                           &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring_view name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(win32::narrow(name));
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return names;
}

Status removeStateFile(const std::string& path) {
  if (::DeleteFileW(longPath(path).c_str())) return Status::ok();
  return failure("remove", path, ::GetLastError());
}

Status moveStateFile(const std::string& from, const std::string& to) {
  if (::MoveFileExW(longPath(from).c_str(), longPath(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Status::ok();
  }
  return failure("move", from, ::GetLastError(), to);
}

// MOVEFILE_WRITE_THROUGH has put the names on the disk already.
void syncFolder(const std::string&) {}

bool readFileEnd(const std::string& path, std::size_t size, std::string& data) {
  data.clear();
  Handle handle(::CreateFileW(longPath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  LARGE_INTEGER length;
  if (!handle.valid() || !::GetFileSizeEx(handle.get(), &length) ||
      length.QuadPart <= static_cast<LONGLONG>(size)) {
    return false;
  }
  std::string tail(size, '\0');
  OVERLAPPED at{};
  const auto start = static_cast<std::uint64_t>(length.QuadPart) - size;
  at.Offset = static_cast<DWORD>(start & 0xFFFFFFFFU);
  at.OffsetHigh = static_cast<DWORD>(start >> 32);
  DWORD got = 0;
  if (!::ReadFile(handle.get(), tail.data(), static_cast<DWORD>(size), &got, &at) || got != size) {
    return false;
  }
  data = std::move(tail);
  return true;
}

long currentProcessId() {
  return static_cast<long>(::GetCurrentProcessId());
}

bool processGone(long id) {
  Handle process(::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
  if (!process.valid()) return ::GetLastError() == ERROR_INVALID_PARAMETER;
  return ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
}

}  // namespace slicery::platform
