#include "platform/escape.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/words.h"

namespace slicery::platform {
namespace {

// What stands at `at`: the length of a well-formed UTF-8 character there and
// whether it is a control character (C0, DEL, or C1 as U+0080 to U+009F).
// A byte that starts no well-formed character counts as a control of one
// byte: a terminal may take it as an eight-bit control.
struct Character {
  size_t length;
  bool control;
};

Character characterAt(std::string_view text, size_t at) {
  const auto byte = static_cast<unsigned char>(text[at]);
  if (byte < 0x80) return {1, byte < 0x20 || byte == 0x7F};
  size_t length = 0;
  if (byte >= 0xC2 && byte <= 0xDF) length = 2;
  if (byte >= 0xE0 && byte <= 0xEF) length = 3;
  if (byte >= 0xF0 && byte <= 0xF4) length = 4;
  if (length == 0 || at + length > text.size()) return {1, true};
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return {1, true};
  }
  const auto next = static_cast<unsigned char>(text[at + 1]);
  // The second byte rules out what the first allows too much of: overlong
  // forms (E0 80-9F, F0 80-8F), surrogates (ED A0-BF) and values above
  // U+10FFFF (F4 90-BF).
  if ((byte == 0xE0 && next < 0xA0) || (byte == 0xED && next > 0x9F) ||
      (byte == 0xF0 && next < 0x90) || (byte == 0xF4 && next > 0x8F)) {
    return {1, true};
  }
  return {length, byte == 0xC2 && next <= 0x9F};
}

}  // namespace

bool hasControlCharacters(std::string_view text) {
  // Names are nearly always printable ASCII, which a plain loop tells, or
  // eight bytes at a time where the text has eight (the last word may
  // overlap the one before). A word is printable when no byte has its top
  // bit set, adding 0x60 to each sets it (none below 0x20) and adding 1
  // sets none (no DEL): with the top bits clear, no sum carries.
  const auto printableWord = [](std::uint64_t word) {
    constexpr std::uint64_t kTop = kEveryByte * 0x80;
    return (word & kTop) == 0 && ((word + kEveryByte * 0x60) & kTop) == kTop &&
           ((word + kEveryByte) & kTop) == 0;
  };
  bool printable = false;
  if (text.size() >= 8) {
    printable = printableWord(loadWord(text.data() + text.size() - 8));
    for (size_t at = 0; printable && at + 8 < text.size(); at += 8) {
      printable = printableWord(loadWord(text.data() + at));
    }
  } else {
    printable = std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
  }
  if (printable) return false;
  for (size_t at = 0; at < text.size();) {
    const Character c = characterAt(text, at);
    if (c.control) return true;
    at += c.length;
  }
  return false;
}

bool isValidUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      ++at;
      continue;
    }
    const Character c = characterAt(text, at);
    // Only a malformed byte stands alone; C1 controls are whole characters.
    if (c.length == 1) return false;
    at += c.length;
  }
  return true;
}

std::string escapeControls(std::string text) {
  if (!hasControlCharacters(text)) return text;
  std::string shown;
  for (size_t at = 0; at < text.size();) {
    const Character c = characterAt(text, at);
    if (!c.control) {
      shown.append(text, at, c.length);
      at += c.length;
      continue;
    }
    const auto byte = static_cast<unsigned char>(text[at + c.length - 1]);
    char escaped[8];
    if (c.length == 2) {
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
    at += c.length;
  }
  return shown;
}

}  // namespace slicery::platform
