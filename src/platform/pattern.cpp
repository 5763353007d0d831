#include "platform/pattern.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace slicery::platform {
namespace {

unsigned char lowerAscii(char c) {
  auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

// Position of the first occurrence of `needle` in `hay` at or after `from`.
size_t findIgnoringCase(std::string_view hay, std::string_view needle, size_t from) {
  if (needle.size() > hay.size()) return std::string_view::npos;
  for (size_t i = from; i + needle.size() <= hay.size(); ++i) {
    if (equalIgnoringCase(hay.substr(i, needle.size()), needle)) return i;
  }
  return std::string_view::npos;
}

}  // namespace

bool matchesPattern(std::string_view name, std::string_view pattern) {
  // "*.*" is the customary pattern for every file: it takes names without a
  // full stop too.
  if (pattern == "*.*") return true;
  // With `*` as the only wildcard, the text before the first star must start
  // the name, the text after the last star must end it, and each piece
  // between stars can take its leftmost place in what lies between: an
  // earlier place never rules out a match that a later one allows. No
  // backtracking, so the cost is at most name.size() * pattern.size().
  const size_t firstStar = pattern.find('*');
  if (firstStar == std::string_view::npos) return equalIgnoringCase(name, pattern);
  const size_t lastStar = pattern.rfind('*');
  const std::string_view head = pattern.substr(0, firstStar);
  const std::string_view tail = pattern.substr(lastStar + 1);
  if (head.size() + tail.size() > name.size()) return false;
  if (!equalIgnoringCase(name.substr(0, head.size()), head)) return false;
  if (!equalIgnoringCase(name.substr(name.size() - tail.size()), tail)) return false;

  const std::string_view middle = name.substr(head.size(), name.size() - head.size() - tail.size());
  size_t at = 0;
  size_t p = firstStar + 1;
  while (p < lastStar) {
    const size_t nextStar = pattern.find('*', p);
    const std::string_view piece = pattern.substr(p, nextStar - p);
    p = nextStar + 1;
    if (piece.empty()) continue;
    const size_t found = findIgnoringCase(middle, piece, at);
    if (found == std::string_view::npos) return false;
    at = found + piece.size();
  }
  return true;
}

bool lessIgnoringCase(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  size_t i = 0;
  // Names in one folder share long prefixes: skip equal bytes a word at a time.
  for (; i + sizeof(std::uint64_t) <= common; i += sizeof(std::uint64_t)) {
    std::uint64_t wa, wb;
    std::memcpy(&wa, a.data() + i, sizeof wa);
    std::memcpy(&wb, b.data() + i, sizeof wb);
    if (wa != wb) break;
  }
  for (; i < common; ++i) {
    if (a[i] == b[i]) continue;
    const unsigned char ca = lowerAscii(a[i]);
    const unsigned char cb = lowerAscii(b[i]);
    if (ca != cb) return ca < cb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

}  // namespace slicery::platform
