#include "scan/series_index.h"

#include <algorithm>
#include <limits>

#include "platform/pattern.h"
#include "scan/ima_file_name.h"

namespace slicery::scan {
namespace {

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// The fourth piece in lower case (empty for a name without one) and the
// number of pieces.
std::string seriesKey(std::string_view name, std::uint16_t& pieces) {
  size_t stops = 0;
  size_t start = std::string_view::npos;
  size_t stop = std::string_view::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '.') continue;
    ++stops;
    if (stops == kSeriesField) start = i + 1;
    if (stops == kSeriesField + 1) stop = i;
  }
  pieces = static_cast<std::uint16_t>(
      std::min<size_t>(stops + 1, std::numeric_limits<std::uint16_t>::max()));
  if (stop == std::string_view::npos) return {};
  std::string key(name.substr(start, stop - start));
  for (char& c : key) c = lowerAscii(c);
  return key;
}

}  // namespace

bool endsInIma(std::string_view name) {
  if (name.size() < 4 || name[name.size() - 4] != '.') return false;
  return lowerAscii(name[name.size() - 3]) == 'i' && lowerAscii(name[name.size() - 2]) == 'm' &&
         lowerAscii(name[name.size() - 1]) == 'a';
}

void SeriesIndex::clear() {
  store_ = std::make_shared<platform::NameStore>();
  entries_.clear();
  groups_.clear();
  groupIds_.clear();
  renamed_.clear();
  lastGroup_ = kNoGroup;
  ordered_ = true;
}

void SeriesIndex::assign(platform::FileSystem::Entries names) {
  clear();
  entries_.reserve(names.size());
  for (auto& [name, kind] : names) {
    if (!endsInIma(name)) continue;
    Entry& entry = entries_.emplace_back();
    entry.name = store_->add(name);
    entry.link = kind == platform::PathKind::link;
    std::string().swap(name);  // one copy of each name at a time
  }
  platform::FileSystem::Entries().swap(names);
  platform::sortIgnoringCase(entries_, [](const Entry& entry) { return entry.name; });
  for (size_t i = 0; i < entries_.size(); ++i) place(static_cast<Id>(i), true);
}

void SeriesIndex::place(Id id, bool inOrder) {
  Entry& entry = entries_[id];
  const std::string key = seriesKey(entry.name, entry.pieces);
  if (!inOrder) ordered_ = false;
  std::uint32_t group = kNoGroup;
  if (entry.pieces > kSeriesField + 1) {  // it has a fourth piece
    // Names come series by series, so the group is mostly the last one.
    if (lastGroup_ == kNoGroup || key != lastKey_) {
      const auto [it, added] =
          groupIds_.try_emplace(key, static_cast<std::uint32_t>(groups_.size()));
      if (added) groups_.emplace_back();
      lastGroup_ = it->second;
      lastKey_ = key;
    }
    group = lastGroup_;
  }
  if (group != kNoGroup && !inOrder) groups_[group].ordered = false;
  if (group != kNoGroup && group != entry.group) groups_[group].ids.push_back(id);
  entry.group = group;
}

void SeriesIndex::order(std::vector<Id>& ids) const {
  platform::sortIgnoringCase(ids, [this](Id id) { return entries_[id].name; });
}

std::vector<std::string_view> SeriesIndex::names() const {
  std::vector<std::string_view> names;
  names.reserve(entries_.size());
  for (const Entry& entry : entries_) {
    if (entry.live) names.push_back(entry.name);
  }
  if (!ordered_) platform::sortIgnoringCase(names);
  return names;
}

void SeriesIndex::listing(std::vector<std::string_view>& names, std::vector<bool>& links) const {
  std::vector<Id> ids;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].live) ids.push_back(static_cast<Id>(i));
  }
  if (!ordered_) order(ids);
  names.clear();
  links.clear();
  names.reserve(ids.size());
  links.reserve(ids.size());
  for (const Id id : ids) {
    names.push_back(entries_[id].name);
    links.push_back(entries_[id].link);
  }
}

void SeriesIndex::seriesNames(std::string_view series, int leastPieces,
                              std::vector<std::string_view>& names, std::vector<Id>& ids) {
  names.clear();
  ids.clear();
  placeRenamed();
  std::string key(series);
  for (char& c : key) c = lowerAscii(c);
  const auto it = groupIds_.find(key);
  if (it == groupIds_.end()) return;
  const std::uint32_t number = it->second;
  Group& group = groups_[number];
  // Drop the names that have gone or changed series; order the ones that
  // came since.
  std::erase_if(group.ids, [this, number](Id id) {
    return !entries_[id].live || entries_[id].group != number;
  });
  if (!group.ordered) {
    order(group.ids);
    group.ordered = true;
  }
  for (const Id id : group.ids) {
    if (entries_[id].pieces >= leastPieces) {
      ids.push_back(id);
      names.push_back(entries_[id].name);
    }
  }
}

std::string_view SeriesIndex::renamed(Id id, std::string_view newName, bool inStore) {
  Entry& entry = entries_.at(id);
  if (newName == entry.name) return entry.name;
  if (newName.empty() || !endsInIma(newName) || newName[0] == '.') {
    entry.live = false;
    entry.group = kNoGroup;
    return {};
  }
  // The same entry under its new name, in the group of its new fourth piece
  // once a series is next asked for.
  entry.name = inStore ? newName : store_->add(newName);
  ordered_ = false;
  renamed_.push_back(id);
  return entry.name;
}

void SeriesIndex::placeRenamed() {
  for (const Id id : renamed_) {
    if (entries_[id].live) place(id, false);
  }
  renamed_.clear();
}

}  // namespace slicery::scan
