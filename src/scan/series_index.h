// SeriesIndex: the .ima names of the loaded folder as one read of it found
// them, grouped by their fourth piece (ASCII letter case ignored) in list
// order, and kept current by the run's own renames. A series pass asks for
// its names and so costs the size of its series, not the size of the
// folder. As long as only the run changes the folder, every answer is what
// re-reading the folder would give.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/name_store.h"

namespace slicery::scan {

// Whether `name` ends in ".ima", letter case ignored.
bool endsInIma(std::string_view name);

class SeriesIndex {
 public:
  using Id = std::uint32_t;

  // Replaces the index with `names`, the folder's files in any order, each
  // a regular file or a symbolic link to one (`link`); those that do not end
  // in ".ima" (any case) are left out.
  void assign(platform::FileSystem::Entries names);
  void clear();

  // Every name, in list order. The names view store(), where they stay for
  // as long as anyone holds it, whatever the index does after.
  std::vector<std::string_view> names() const;
  // The same, each with whether it is a symbolic link.
  void listing(std::vector<std::string_view>& names, std::vector<bool>& links) const;
  std::shared_ptr<const platform::NameStore> store() const { return store_; }
  // The names a pass over `series` takes (see belongsToSeries), in list order,
  // with their ids for renamed().
  void seriesNames(std::string_view series, int leastPieces, std::vector<std::string_view>& names,
                   std::vector<Id>& ids);
  // The file `id` now has the name `newName` in the folder, or has left it
  // when `newName` is empty.
  // `newName` may be a view of store() already (from a copy of this index),
  // and is then kept as it is. Returns the name as the index keeps it.
  std::string_view renamed(Id id, std::string_view newName, bool inStore = false);
  bool isLink(Id id) const { return entries_.at(id).link; }

 private:
  struct Group {
    std::vector<Id> ids;  // may still hold entries that left it
    bool ordered = true;
  };
  static constexpr std::uint32_t kNoGroup = UINT32_MAX;
  struct Entry {
    std::string_view name;           // in store_
    std::uint32_t group = kNoGroup;  // in groups_; none for a name without a fourth piece
    std::uint16_t pieces = 0;
    bool live = true;
    bool link = false;
  };
  // Files entry `id` under the group of its name's fourth piece.
  void place(Id id, bool inOrder);
  // Files the entries renamed since the last call: a run renames thousands
  // of files that nothing may look up by series before it ends.
  void placeRenamed();
  void order(std::vector<Id>& ids) const;

  // Every name the index has held since assign(), old ones included: views
  // of them handed out stay valid.
  std::shared_ptr<platform::NameStore> store_ = std::make_shared<platform::NameStore>();
  std::vector<Entry> entries_;
  // Groups by number, so that a copy of the index is a whole index of its
  // own: a plan works out a run on a copy.
  std::vector<Group> groups_;
  std::unordered_map<std::string, std::uint32_t> groupIds_;
  std::vector<Id> renamed_;             // renamed, not yet filed under their new group
  std::uint32_t lastGroup_ = kNoGroup;  // the group of lastKey_
  std::string lastKey_;
  bool ordered_ = true;  // entries_ live in list order
};

}  // namespace slicery::scan
