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
  if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
  if (needle.size() > hay.size()) return std::string_view::npos;
  const size_t last = hay.size() - needle.size();
  const unsigned char first = lowerAscii(needle[0]);
  const bool firstIsLetter = first >= 'a' && first <= 'z';
  for (size_t i = from; i <= last; ++i) {
    if (!firstIsLetter) {
      // Jump to the next place where the first character can match.
      const void* hit = std::memchr(hay.data() + i, first, last - i + 1);
      if (hit == nullptr) return std::string_view::npos;
      i = static_cast<size_t>(static_cast<const char*>(hit) - hay.data());
    } else if (lowerAscii(hay[i]) != first) {
      continue;
    }
    if (equalIgnoringCase(hay.substr(i + 1, needle.size() - 1), needle.substr(1))) return i;
  }
  return std::string_view::npos;
}

}  // namespace

PatternMatcher::PatternMatcher(std::string_view pattern) {
  // "*.*" is the customary pattern for every file: it takes names without a
  // full stop too.
  everything_ = pattern == "*.*";
  const size_t firstStar = pattern.find('*');
  wild_ = firstStar != std::string_view::npos;
  if (!wild_) {
    head_ = pattern;
    return;
  }
  const size_t lastStar = pattern.rfind('*');
  head_ = pattern.substr(0, firstStar);
  tail_ = pattern.substr(lastStar + 1);
  for (size_t p = firstStar + 1; p < lastStar;) {
    const size_t nextStar = pattern.find('*', p);
    if (nextStar > p) pieces_.emplace_back(pattern.substr(p, nextStar - p));
    p = nextStar + 1;
  }
}

bool PatternMatcher::matches(std::string_view name) const {
  if (everything_) return true;
  // With `*` as the only wildcard, the text before the first star must start
  // the name, the text after the last star must end it, and each piece
  // between stars can take its leftmost place in what lies between: an
  // earlier place never rules out a match that a later one allows. No
  // backtracking, so the cost is at most name.size() * pattern.size().
  if (!wild_) return equalIgnoringCase(name, head_);
  if (head_.size() + tail_.size() > name.size()) return false;
  if (!equalIgnoringCase(name.substr(0, head_.size()), head_)) return false;
  if (!equalIgnoringCase(name.substr(name.size() - tail_.size()), tail_)) return false;
  const std::string_view middle =
      name.substr(head_.size(), name.size() - head_.size() - tail_.size());
  size_t at = 0;
  for (const std::string& piece : pieces_) {
    const size_t found = findIgnoringCase(middle, piece, at);
    if (found == std::string_view::npos) return false;
    at = found + piece.size();
  }
  return true;
}

bool matchesPattern(std::string_view name, std::string_view pattern) {
  return PatternMatcher(pattern).matches(name);
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

std::uint64_t orderKey(std::string_view name, size_t from) {
  std::uint64_t key = 0;
  for (size_t at = from; at < from + sizeof key; ++at) {
    // Names hold no zero byte, so a name that ends first orders first.
    key = key << 8U | (at < name.size() ? lowerAscii(name[at]) : 0U);
  }
  return key;
}

}  // namespace slicery::platform
