#include "scan/ima_file_name.h"

#include <cstdint>

#include "platform/words.h"

namespace slicery::scan {
void splitImaFileName(std::string_view name, NameFields& fields) {
  // One pass over the name: its pieces are short, so a search call per
  // piece costs more than it finds. The full stops of eight bytes at a time
  // are found at once, where the bytes' order in a word allows it.
  size_t field = 0;
  size_t start = 0;
  const auto cut = [&](size_t at) {
    fields[field++] = name.substr(start, at - start);
    start = at + 1;
  };
  size_t i = 0;
  if constexpr (platform::kWordsByteByByte) {
    constexpr std::uint64_t kStops = platform::kEveryByte * '.';
    for (; i + 8 <= name.size() && field < fields.size(); i += 8) {
      for (std::uint64_t stops = platform::zeroBytes(platform::loadWord(name.data() + i) ^ kStops);
           stops != 0 && field < fields.size(); stops &= stops - 1) {
        cut(i + platform::firstByte(stops));
      }
    }
  }
  for (; i <= name.size() && field < fields.size(); ++i) {
    if (i == name.size() || name[i] == '.') cut(i);
  }
  for (; field < fields.size(); ++field) fields[field] = {};
}

}  // namespace slicery::scan
