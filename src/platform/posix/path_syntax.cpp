#include "platform/file_system.h"

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

}  // namespace slicery::platform
