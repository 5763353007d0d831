#include <string>

#include "platform/file_system.h"
#include "platform/win32/wide.h"

namespace slicery::platform {
namespace {

bool isLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Where the name that starts at `from` ends: at the next separator or the end.
std::size_t nameEnd(std::string_view path, std::size_t from) {
  while (from < path.size() && !isPathSeparator(path[from])) ++from;
  return from;
}

// The root of a share, "//server/share/": the two names after the leading
// separators and the separator after them.
std::size_t shareRoot(std::string_view path, std::size_t server) {
  const std::size_t share = nameEnd(path, server);
  if (share >= path.size()) return path.size();
  const std::size_t end = nameEnd(path, share + 1);
  return end < path.size() ? end + 1 : end;
}

}  // namespace

bool isPathSeparator(char c) {
  return c == '\\' || c == '/';
}

std::size_t pathRootLength(std::string_view path) {
  const auto separatorAt = [&path](std::size_t at) {
    return at < path.size() && isPathSeparator(path[at]);
  };
  if (separatorAt(0) && separatorAt(1)) {
    // "\\?\C:\", "\\?\UNC\server\share\", "\\server\share\".
    if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && separatorAt(3)) {
      const std::string_view rest = path.substr(4);
      if (rest.size() >= 4 && (rest.substr(0, 3) == "UNC" || rest.substr(0, 3) == "unc") &&
          isPathSeparator(rest[3])) {
        return 8 + shareRoot(rest.substr(4), 0);
      }
      if (rest.size() >= 2 && isLetter(rest[0]) && rest[1] == ':') {
        return 4 + (rest.size() > 2 && isPathSeparator(rest[2]) ? 3 : 2);
      }
      return 4 + nameEnd(rest, 0) + (nameEnd(rest, 0) < rest.size() ? 1 : 0);
    }
    return shareRoot(path, 2);
  }
  if (path.size() >= 2 && isLetter(path[0]) && path[1] == ':') return separatorAt(2) ? 3 : 2;
  return separatorAt(0) ? 1 : 0;
}

std::string foreignNameReason(std::string_view name) {
  for (const char c : std::string_view("\\:*?\"<>|")) {
    if (name.find(c) != std::string_view::npos) {
      return std::string("a name on Windows may not contain '") + c + "'";
    }
  }
  if (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
    return "a name on Windows may not end in a dot or a space";
  }
  // CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9, with any extension.
  std::string stem(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  const bool numbered = stem.size() == 4 &&
                        (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
                        stem[3] >= '1' && stem[3] <= '9';
  if (numbered || stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") {
    return "'" + stem + "' names a device on Windows";
  }
  return {};
}

std::string absolutePath(const std::string& path) {
  // The full path Windows makes of it, "." and ".." taken by their names.
  return withoutTrailingSeparator(win32::shortForm(win32::longPath(path)));
}

}  // namespace slicery::platform
