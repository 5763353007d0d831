#include "platform/file_system.h"

#include <algorithm>
#include <filesystem>

namespace slicery::platform {

bool isPathSeparator(char c) {
  return c == '/';
}

std::size_t pathRootLength(std::string_view path) {
  return !path.empty() && path.front() == '/' ? 1 : 0;
}

std::string foreignNameReason(std::string_view) {
  return {};
}

std::string absolutePath(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) return path;
  const bool up = std::any_of(absolute.begin(), absolute.end(),
                              [](const fs::path& part) { return part == ".."; });
  if (up) {
    fs::path resolved = fs::weakly_canonical(absolute, error);
    if (!error) absolute = std::move(resolved);
  }
  return withoutTrailingSeparator(absolute.lexically_normal().string());
}

}  // namespace slicery::platform
