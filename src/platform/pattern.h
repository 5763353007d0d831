// File-name pattern matching as the file lists use it: `*` matches any run of
// characters (the empty run and full stops included), every other character
// matches itself, ASCII letter case is ignored. "*.*" matches every name,
// also one without a full stop. Runs in O(name x pattern) time
// at worst, never exponentially.
#pragma once

#include <string_view>

namespace slicery::platform {

bool matchesPattern(std::string_view name, std::string_view pattern);

// Orders names character by character with ASCII letter case ignored; names
// equal but for case are ordered by their bytes so the order is total.
bool lessIgnoringCase(std::string_view a, std::string_view b);

}  // namespace slicery::platform
