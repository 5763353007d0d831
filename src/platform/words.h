// Eight bytes of a text at a time, for the scans that run over every name of
// a folder: a test of a whole word costs a few steps where a loop over its
// bytes costs several per byte.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace slicery::platform {

inline constexpr std::uint64_t kEveryByte = 0x0101010101010101ULL;

// Whether bytes can be told by their place in a loaded word: the first byte
// in the lowest bits.
inline constexpr bool kWordsByteByByte = std::endian::native == std::endian::little;

// The eight bytes at `at`.
inline std::uint64_t loadWord(const char* at) {
  std::uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

// The top bit of each zero byte of `word`, and no other bit. Exact: no carry
// crosses from one byte to the next.
inline std::uint64_t zeroBytes(std::uint64_t word) {
  constexpr std::uint64_t kLow7 = kEveryByte * 0x7F;
  return ~(((word & kLow7) + kLow7) | word | kLow7);
}

// The place in its word of the byte whose top bit is the lowest set in `bits`.
inline unsigned firstByte(std::uint64_t bits) {
  return static_cast<unsigned>(std::countr_zero(bits)) / 8;
}

}  // namespace slicery::platform
