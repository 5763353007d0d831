// File-name pattern matching as the file lists use it: `*` matches any run of
// characters (the empty run and full stops included), every other character
// matches itself, ASCII letter case is ignored. "*.*" matches every name,
// also one without a full stop. Runs in O(name x pattern) time
// at worst, never exponentially.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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

}  // namespace slicery::platform
