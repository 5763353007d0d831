#include "platform/file_system.h"

namespace slicery::platform {

std::string joinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == kPathSeparator) return folder + name;
  return folder + kPathSeparator + name;
}

std::string parentPath(const std::string& path) {
  const std::string trimmed = withoutTrailingSeparator(path);
  const auto cut = trimmed.rfind(kPathSeparator);
  if (cut == std::string::npos) return ".";
  if (cut == 0) return std::string(1, kPathSeparator);
  return trimmed.substr(0, cut);
}

std::string withoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && path.back() == kPathSeparator) path.pop_back();
  return path;
}

}  // namespace slicery::platform
