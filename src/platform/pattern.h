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

// A summary of the interior fields of a name (each text between two full
// stops), letter case ignored. A pattern holding ".X." can only match names
// with an interior field X, so a name whose signature does not cover the
// pattern's fields cannot match it; a name that covers them may or may not.
// Lets a remembered listing skip most names without reading them.
struct FieldSignature {
  std::uint64_t bits[2] = {0, 0};
  bool covers(const FieldSignature& wanted) const {
    return (bits[0] & wanted.bits[0]) == wanted.bits[0] &&
           (bits[1] & wanted.bits[1]) == wanted.bits[1];
  }
};

FieldSignature fieldSignatureOf(std::string_view name);
// The fields every name matching `pattern` holds, as a signature.
FieldSignature fieldsRequiredBy(std::string_view pattern);

}  // namespace slicery::platform
