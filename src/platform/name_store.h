// NameStore: names kept end to end in blocks that never move, so a view of a
// name stays valid for as long as the store lives, however many names are
// added after it. A folder's names cost their bytes and little more, and
// lists of them (the file lists, the series index) share one copy.
#pragma once

#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace slicery::platform {

class NameStore {
 public:
  std::string_view add(std::string_view name) {
    if (name.size() > room_) {
      const size_t size = name.size() > kBlock ? name.size() : kBlock;
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
      next_ = blocks_.back().get();
      room_ = size;
    }
    // An empty name has no bytes to point to, but an empty view is valid.
    if (name.empty()) return {};
    std::memcpy(next_, name.data(), name.size());
    const std::string_view kept(next_, name.size());
    next_ += name.size();
    room_ -= name.size();
    return kept;
  }

 private:
  static constexpr size_t kBlock = 64 * 1024;
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* next_ = nullptr;
  size_t room_ = 0;
};

}  // namespace slicery::platform
