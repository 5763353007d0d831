// The journal's record types and version, shared by its reader and writer
// (doc/journal-format.md tells the bytes).
#pragma once

#include <cstdint>

namespace slicery::journal::records {

inline constexpr std::uint32_t kVersion = 4;
// The oldest version still read: its numbers' widths are the counts' digits,
// and it lacks whether the folder folds letter case, which its runs took as
// this platform's way.
inline constexpr std::uint32_t kOldestVersion = 3;
inline constexpr std::uint8_t kHeaderType = 1;
inline constexpr std::uint8_t kIntentType = 2;
inline constexpr std::uint8_t kPassType = 3;
inline constexpr std::uint8_t kEndType = 5;
inline constexpr std::uint8_t kFailureType = 6;
inline constexpr std::uint8_t kCommandType = 7;

}  // namespace slicery::journal::records
