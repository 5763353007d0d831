#include "platform/state_folder.h"

#include <cerrno>

#include "platform/file_system.h"
#include "platform/win32/wide.h"

namespace slicery::platform {
namespace {

constexpr char kOperation[] = "make private folder";

// The variable `name` as UTF-8 when it holds an absolute path, else "".
std::string absoluteVariable(const wchar_t* name) {
  const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD got = ::GetEnvironmentVariableW(name, value.data(), size);
  if (got == 0 || got >= size) return {};
  value.resize(got);
  const std::string text = win32::narrow(value);
  return pathRootLength(text) > 2 ? text : std::string();
}

}  // namespace

Status stateFolder(std::string& folder) {
  folder.clear();
  if (std::string local = absoluteVariable(L"LOCALAPPDATA"); !local.empty()) {
    folder = joinPath(local, "Slicery");
    return Status::ok();
  }
  if (std::string profile = absoluteVariable(L"USERPROFILE"); !profile.empty()) {
    folder = joinPath(joinPath(joinPath(profile, "AppData"), "Local"), "Slicery");
    return Status::ok();
  }
  return Status::error("find state folder", "",
                       "neither LOCALAPPDATA nor USERPROFILE names a folder to keep it in");
}

Status checkStateFolder(const std::string& folder) {
  const DWORD attributes = ::GetFileAttributesW(win32::longPath(folder).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return Status::error("keep run journals in", folder,
                         "the state folder " + folder + " is not a folder", ENOTDIR);
  }
  return Status::ok();
}

// The folder is the account's own through the rights of the profile it
// lies in; here it is only made, and refused when it is a link or a file.
Status ensurePrivateFolder(const std::string& folder) {
  const std::string path = withoutTrailingSeparator(folder);
  for (std::size_t at = pathRootLength(path); at <= path.size(); ++at) {
    if (at < path.size() && !isPathSeparator(path[at])) continue;
    const std::string step = path.substr(0, at);
    if (!::CreateDirectoryW(win32::longPath(step).c_str(), nullptr) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS) {
      return win32::failure(kOperation, step, ::GetLastError());
    }
  }
  const DWORD attributes = ::GetFileAttributesW(win32::longPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return win32::failure(kOperation, path, ::GetLastError());
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return Status::error(kOperation, path, "is a symbolic link", ELOOP);
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return Status::error(kOperation, path, "is not a folder", ENOTDIR);
  }
  return Status::ok();
}

}  // namespace slicery::platform
