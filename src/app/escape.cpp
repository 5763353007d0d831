#include "app/escape.h"

#include <cstdio>

namespace slicery::app {
namespace {

// The length of the control character starting at `at`, or 0: C0 and DEL as
// single bytes, C1 as the two bytes that encode U+0080 to U+009F in UTF-8.
size_t controlAt(const std::string& text, size_t at) {
  const auto byte = static_cast<unsigned char>(text[at]);
  if (byte < 0x20 || byte == 0x7F) return 1;
  if (byte == 0xC2 && at + 1 < text.size()) {
    const auto next = static_cast<unsigned char>(text[at + 1]);
    if (next >= 0x80 && next <= 0x9F) return 2;
  }
  return 0;
}

}  // namespace

std::string escapeControls(std::string text) {
  size_t at = 0;
  while (at < text.size() && controlAt(text, at) == 0) ++at;
  if (at == text.size()) return text;

  std::string shown = text.substr(0, at);
  while (at < text.size()) {
    const size_t length = controlAt(text, at);
    if (length == 0) {
      shown.push_back(text[at++]);
      continue;
    }
    const auto byte = static_cast<unsigned char>(text[at + length - 1]);
    char escaped[8];
    if (length == 2) {
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(byte));
    } else if (byte == '\n') {
      std::snprintf(escaped, sizeof escaped, "\\n");
    } else if (byte == '\t') {
      std::snprintf(escaped, sizeof escaped, "\\t");
    } else if (byte == '\r') {
      std::snprintf(escaped, sizeof escaped, "\\r");
    } else {
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(byte));
    }
    shown += escaped;
    at += length;
  }
  return shown;
}

}  // namespace slicery::app
