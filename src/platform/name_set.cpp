#include "platform/name_set.h"

#include <functional>

namespace slicery::platform {

std::uint64_t NameSet::hashOf(std::string_view name) {
  return std::hash<std::string_view>{}(name);
}

void NameSet::reserve(size_t count) {
  names_.reserve(count);
  signatures_.reserve(count);
  hashes_.reserve(count);
  grow(count);
}

void NameSet::grow(size_t count) {
  // Keep the table at most half full.
  size_t capacity = 16;
  while (capacity < 2 * count) capacity *= 2;
  if (capacity <= slots_.size()) return;
  slots_.assign(capacity, 0);
  for (size_t i = 0; i < names_.size(); ++i) place(i);
}

size_t NameSet::findSlot(std::string_view name, std::uint64_t hash) const {
  if (slots_.empty()) return kNone;
  const size_t mask = slots_.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const std::uint32_t held = slots_[slot];
    if (held == 0) return kNone;
    if (hashes_[held - 1] == hash && names_[held - 1] == name) return slot;
  }
}

size_t NameSet::find(std::string_view name) const {
  return findSlot(name, hashOf(name));
}

void NameSet::place(size_t index) {
  const size_t mask = slots_.size() - 1;
  size_t slot = hashes_[index] & mask;
  while (slots_[slot] != 0) slot = (slot + 1) & mask;
  slots_[slot] = static_cast<std::uint32_t>(index + 1);
}

void NameSet::removeSlot(size_t slot) {
  // Backward-shift deletion: move up every later entry of the probe run that
  // would no longer be found past the hole.
  const size_t mask = slots_.size() - 1;
  size_t hole = slot;
  slots_[hole] = 0;
  for (size_t next = (hole + 1) & mask; slots_[next] != 0; next = (next + 1) & mask) {
    const size_t home = hashes_[slots_[next] - 1] & mask;
    // The entry may stay when its home lies cyclically in (hole, next].
    const bool stays = hole <= next ? (home > hole && home <= next) : (home > hole || home <= next);
    if (stays) continue;
    slots_[hole] = slots_[next];
    slots_[next] = 0;
    hole = next;
  }
}

void NameSet::insert(std::string name) {
  const std::uint64_t hash = hashOf(name);
  if (findSlot(name, hash) != kNone) return;
  grow(names_.size() + 1);
  signatures_.push_back(fieldSignatureOf(name));
  hashes_.push_back(hash);
  names_.push_back(std::move(name));
  place(names_.size() - 1);
}

void NameSet::erase(std::string_view name) {
  const size_t slot = find(name);
  if (slot == kNone) return;
  const size_t index = slots_[slot] - 1;
  removeSlot(slot);
  const size_t last = names_.size() - 1;
  if (index != last) {
    // The last name takes the freed place; its slot follows it.
    const size_t lastSlot = findSlot(names_[last], hashes_[last]);
    slots_[lastSlot] = static_cast<std::uint32_t>(index + 1);
    names_[index] = std::move(names_[last]);
    signatures_[index] = signatures_[last];
    hashes_[index] = hashes_[last];
  }
  names_.pop_back();
  signatures_.pop_back();
  hashes_.pop_back();
}

void NameSet::rename(std::string_view from, std::string to) {
  const size_t slot = find(from);
  const std::uint64_t hash = hashOf(to);
  if (slot == kNone || findSlot(to, hash) != kNone) {
    erase(from);
    insert(std::move(to));
    return;
  }
  const size_t index = slots_[slot] - 1;
  removeSlot(slot);
  signatures_[index] = fieldSignatureOf(to);
  hashes_[index] = hash;
  names_[index] = std::move(to);
  place(index);
}

}  // namespace slicery::platform
