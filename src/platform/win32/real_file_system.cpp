#include "platform/real_file_system.h"

#include <windows.h>
#include <winioctl.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/win32/wide.h"

namespace slicery::platform {
namespace {

using win32::failure;
using win32::Handle;
using win32::longPath;

class WindowsReadableFile : public ReadableFile {
 public:
  WindowsReadableFile(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}

  Status readAt(std::uint64_t offset, void* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    auto* out = static_cast<char*>(buffer);
    while (got < size) {
      OVERLAPPED at{};
      const std::uint64_t position = offset + got;
      at.Offset = static_cast<DWORD>(position & 0xFFFFFFFFU);
      at.OffsetHigh = static_cast<DWORD>(position >> 32);
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - got, 1U << 30));
      DWORD read = 0;
      if (!::ReadFile(handle_.get(), out + got, want, &read, &at)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_HANDLE_EOF) break;
        return failure("read", path_, error);
      }
      if (read == 0) break;
      got += read;
    }
    return Status::ok();
  }

 private:
  Handle handle_;
  std::string path_;
};

// Reparse points that stand for another path; others (a cloud file, a
// deduplicated one) are the file or folder they hold.
bool isLinkTag(DWORD tag) {
  return IsReparseTagNameSurrogate(tag) || tag == IO_REPARSE_TAG_SYMLINK ||
         tag == IO_REPARSE_TAG_MOUNT_POINT;
}

PathKind kindFrom(DWORD attributes, DWORD reparseTag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && isLinkTag(reparseTag)) {
    return PathKind::link;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::folder;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return PathKind::other;
  return PathKind::file;
}

// Calls `each(name, kind, attributes)` for every entry of `folder` but "."
// and "..".
template <typename Each>
Status forEachEntry(const std::string& folder, Each each) {
  std::wstring pattern = longPath(folder);
  if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  const HANDLE search =
      ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                         FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return Status::ok();  // nothing, not even "."
    return failure("list", folder, error);
  }
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    each(win32::narrow(name), kindFrom(found.dwFileAttributes, found.dwReserved0),
         found.dwFileAttributes);
  } while (::FindNextFileW(search, &found));
  const DWORD error = ::GetLastError();
  ::FindClose(search);
  if (error != ERROR_NO_MORE_FILES) return failure("list", folder, error);
  return Status::ok();
}

// The text of the symbolic link or junction at `path`; empty when it cannot
// be read.
std::string linkText(const std::wstring& path) {
  Handle handle(::CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.valid()) return {};
  std::vector<unsigned char> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
  DWORD got = 0;
  if (!::DeviceIoControl(handle.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                         static_cast<DWORD>(data.size()), &got, nullptr)) {
    return {};
  }
  return reparseLinkText(data.data(), got);
}

// Whether the last names of two paths differ in letter case only.
bool sameButForCase(const std::wstring& from, const std::wstring& to) {
  const std::size_t a = from.find_last_of(L'\\') + 1;
  const std::size_t b = to.find_last_of(L'\\') + 1;
  return from.compare(a, std::wstring::npos, to, b, std::wstring::npos) != 0 &&
         ::CompareStringOrdinal(from.c_str() + a, -1, to.c_str() + b, -1, TRUE) == CSTR_EQUAL;
}

Status moveWithoutReplacing(const char* operation, const std::string& from, const std::string& to) {
  if (from == to) return Status::ok();
  const std::wstring source = longPath(from);
  const std::wstring target = longPath(to);
  if (!::MoveFileExW(source.c_str(), target.c_str(), 0)) {
    return failure(operation, from, ::GetLastError(), to);
  }
  if (sameButForCase(source, target)) {
    // A file system may take the new spelling for the old name and change
    // nothing (Wine on a case-sensitive disk does); that is told, not
    // passed off as done.
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileExW(target.c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0);
    if (search != INVALID_HANDLE_VALUE) {
      ::FindClose(search);
      if (target.compare(target.find_last_of(L'\\') + 1, std::wstring::npos, found.cFileName) !=
          0) {
        return Status::error(operation, from, "the file system kept the old letter case", ENOTSUP,
                             to);
      }
    }
  }
  return Status::ok();
}

}  // namespace

std::string reparseLinkText(const unsigned char* data, std::size_t size) {
  // The reparse data: tag, size and a reserved word; then the offsets and
  // sizes in bytes of the substitute and the print name; a symbolic link
  // has flags after them, a junction none; then the names, UTF-16.
  const auto word = [&](std::size_t at) -> std::size_t {
    return at + 2 <= size ? static_cast<std::size_t>(data[at] | (data[at + 1] << 8)) : 0;
  };
  DWORD tag = 0;
  if (size < 16) return {};
  std::memcpy(&tag, data, sizeof tag);
  std::size_t names = 0;
  if (tag == IO_REPARSE_TAG_SYMLINK) {
    names = 20;
  } else if (tag == IO_REPARSE_TAG_MOUNT_POINT) {
    names = 16;
  } else {
    return {};
  }
  const auto text = [&](std::size_t offset, std::size_t bytes) -> std::wstring {
    if (bytes == 0 || names + offset + bytes > size) return {};
    std::wstring out(bytes / 2, L'\0');
    std::memcpy(out.data(), data + names + offset, out.size() * 2);
    return out;
  };
  std::wstring target = text(word(12), word(14));  // the print name
  if (target.empty()) {
    target = text(word(8), word(10));  // the substitute name, "\??\C:\..."
    if (target.rfind(L"\\??\\", 0) == 0) target[1] = L'\\';
  }
  return win32::narrow(target);
}

PathKind RealFileSystem::kindOf(const std::string& path) {
  std::string target;
  const PathKind kind = entryKind(path, target);
  if (kind != PathKind::link) return kind;
  // Where the link leads, as the handle that follows it tells.
  Handle handle(::CreateFileW(longPath(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle.valid() || !::GetFileInformationByHandle(handle.get(), &info)) {
    return PathKind::missing;
  }
  return kindFrom(info.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT), 0);
}

PathKind RealFileSystem::entryKind(const std::string& path, std::string& linkTarget) {
  linkTarget.clear();
  const std::wstring wide = longPath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::missing;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return kindFrom(attributes, 0);
  WIN32_FIND_DATAW found;
  const HANDLE search =
      ::FindFirstFileExW(wide.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return PathKind::link;  // a root cannot be found so
  ::FindClose(search);
  const PathKind kind = kindFrom(attributes, found.dwReserved0);
  if (kind == PathKind::link) linkTarget = linkText(wide);
  return kind;
}

Status RealFileSystem::listFiles(const std::string& folder, const NameFilter& keep,
                                 std::vector<std::string>& names) {
  names.clear();
  constexpr DWORD kLeftOut = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  Status status = forEachEntry(folder, [&](std::string name, PathKind kind, DWORD attributes) {
    if ((attributes & kLeftOut) != 0 || (keep && !keep(name))) return;
    if (kind == PathKind::file ||
        (kind == PathKind::link && kindOf(joinPath(folder, name)) == PathKind::file)) {
      names.push_back(std::move(name));
    }
  });
  if (!status) names.clear();
  return status;
}

Status RealFileSystem::listEntries(const std::string& folder, Entries& entries) {
  entries.clear();
  Status status = forEachEntry(folder, [&entries](std::string name, PathKind kind, DWORD) {
    entries.emplace_back(std::move(name), kind);
  });
  if (!status) entries.clear();
  return status;
}

Status RealFileSystem::listEntriesMarked(const std::string& folder, Entries& entries,
                                         std::vector<bool>& hidden) {
  entries.clear();
  hidden.clear();
  Status status = forEachEntry(folder, [&](std::string name, PathKind kind, DWORD attributes) {
    entries.emplace_back(std::move(name), kind);
    hidden.push_back((attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0);
  });
  if (!status) {
    entries.clear();
    hidden.clear();
  }
  return status;
}

Status RealFileSystem::makeFolder(const std::string& path) {
  if (::CreateDirectoryW(longPath(path).c_str(), nullptr)) return Status::ok();
  return failure("make folder", path, ::GetLastError());
}

Status RealFileSystem::renameFile(const std::string& from, const std::string& to) {
  return moveWithoutReplacing("rename", from, to);
}

Status RealFileSystem::renameFolder(const std::string& from, const std::string& to) {
  return moveWithoutReplacing("rename folder", from, to);
}

Status RealFileSystem::removeEmptyFolder(const std::string& path) {
  if (::RemoveDirectoryW(longPath(path).c_str())) return Status::ok();
  return failure("remove folder", path, ::GetLastError());
}

Status RealFileSystem::openForReading(const std::string& path,
                                      std::unique_ptr<ReadableFile>& file) {
  file.reset();
  const std::wstring wide = longPath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return failure("open", path, ::GetLastError());
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Status::systemError("open", path, EISDIR);
  }
  Handle handle(::CreateFileW(wide.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.valid()) return failure("open", path, ::GetLastError());
  if (::GetFileType(handle.get()) != FILE_TYPE_DISK) {
    return Status::error("open", path, "not a regular file", EINVAL);
  }
  file = std::make_unique<WindowsReadableFile>(handle.release(), path);
  return Status::ok();
}

}  // namespace slicery::platform
