// NameSet: the file names of one folder as a listing remembers them. Names
// and the signatures of their fields lie side by side in flat arrays, so a
// scan for a pattern reads the signatures in sequence and touches only the
// names it may keep; an open-addressing index finds a name for a rename or
// removal without a node per name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pattern.h"

namespace slicery::platform {

class NameSet {
 public:
  void reserve(size_t count);
  // Adds `name` unless it is there already.
  void insert(std::string name);
  void erase(std::string_view name);
  // Gives `from` the name `to`; as erase + insert, in one step.
  void rename(std::string_view from, std::string to);
  bool contains(std::string_view name) const { return find(name) != kNone; }

  // Names in no particular order; the order changes as names come and go.
  size_t size() const { return names_.size(); }
  const std::string& name(size_t i) const { return names_[i]; }
  const FieldSignature& signature(size_t i) const { return signatures_[i]; }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  static std::uint64_t hashOf(std::string_view name);
  // The slot that holds `name`, or kNone.
  size_t find(std::string_view name) const;
  size_t findSlot(std::string_view name, std::uint64_t hash) const;
  void place(size_t index);
  void removeSlot(size_t slot);
  void grow(size_t count);

  std::vector<std::string> names_;
  std::vector<FieldSignature> signatures_;
  std::vector<std::uint64_t> hashes_;
  // Linear probing; 0 is an empty slot, anything else the index + 1.
  std::vector<std::uint32_t> slots_;
};

}  // namespace slicery::platform
