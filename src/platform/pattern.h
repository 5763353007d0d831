// File-name pattern matching as the file lists use it: `*` matches any run of
// characters (the empty run and full stops included), every other character
// matches itself, ASCII letter case is ignored. "*.*" matches every name,
// also one without a full stop. Runs in O(name x pattern) time
// at worst, never exponentially.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace slicery::platform {

bool matchesPattern(std::string_view name, std::string_view pattern);

// One pattern taken apart once, for testing many names against it.
class PatternMatcher {
 public:
  explicit PatternMatcher(std::string_view pattern);
  bool matches(std::string_view name) const;

 private:
  bool everything_ = false;  // "*.*"
  bool wild_ = false;
  std::string head_;                 // before the first star (the whole pattern without one)
  std::string tail_;                 // after the last star
  std::vector<std::string> pieces_;  // between stars, empty ones left out
};

// Orders names character by character with ASCII letter case ignored; names
// equal but for case are ordered by their bytes so the order is total.
bool lessIgnoringCase(std::string_view a, std::string_view b);

// The eight bytes of `name` from `from` on, in lower case, as one number
// that orders as lessIgnoringCase orders them; past the name's end, zeros.
std::uint64_t orderKey(std::string_view name, size_t from);

// Sorts `items` as lessIgnoringCase orders their names, `nameOf(item)` (the
// items themselves when they are names). The names of one folder share long
// beginnings: each item is first told by the key of the bytes after the part
// all names share, so most comparisons touch no name.
template <class T, class NameOf = std::identity>
void sortIgnoringCase(std::vector<T>& items, NameOf nameOf = {}) {
  if (items.size() < 2) return;
  const std::string_view first = nameOf(items.front());
  size_t shared = first.size();
  for (const T& item : items) {
    const std::string_view name = nameOf(item);
    const size_t common = std::min(shared, name.size());
    shared = 0;
    while (shared < common && name[shared] == first[shared]) ++shared;
  }
  std::vector<std::pair<std::uint64_t, T>> keyed;
  keyed.reserve(items.size());
  for (T& item : items) keyed.emplace_back(orderKey(nameOf(item), shared), std::move(item));
  std::sort(keyed.begin(), keyed.end(), [&nameOf](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return lessIgnoringCase(nameOf(a.second), nameOf(b.second));
  });
  for (size_t i = 0; i < items.size(); ++i) items[i] = std::move(keyed[i].second);
}

}  // namespace slicery::platform
