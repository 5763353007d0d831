// NameChange: a name told as a change of another it resembles, as the names
// of one folder and a file's old and new names do: the bytes it shares with
// the start and the end of the other (at most 255 each) and the bytes between.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace slicery::platform {

struct NameChange {
  std::uint8_t head;
  std::uint8_t tail;
  std::string_view middle;  // of the name
};

inline NameChange changeFrom(std::string_view before, std::string_view name) {
  size_t head = 0;
  const size_t most = std::min<size_t>({before.size(), name.size(), 255});
  while (head < most && before[head] == name[head]) ++head;
  size_t tail = 0;
  const size_t mostTail = std::min<size_t>({before.size() - head, name.size() - head, 255});
  while (tail < mostTail && before[before.size() - 1 - tail] == name[name.size() - 1 - tail]) {
    ++tail;
  }
  return {static_cast<std::uint8_t>(head), static_cast<std::uint8_t>(tail),
          name.substr(head, name.size() - head - tail)};
}

}  // namespace slicery::platform
