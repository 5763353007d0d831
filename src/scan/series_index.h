// SeriesIndex: the .ima names of the loaded folder as one read of it found
// them, grouped by their fourth piece (ASCII letter case ignored) in list
// order, and kept current by the run's own renames. A series pass asks for
// its names and so costs the size of its series, not the size of the
// folder. As long as only the run changes the folder, every answer is what
// re-reading the folder would give.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace slicery::scan {

class SeriesIndex {
 public:
  using Id = std::uint32_t;

  // Replaces the index with `names`, the folder's file names in any order,
  // each with whether it is a symbolic link (to a file); those that do not
  // end in ".ima" (any case) are left out.
  void assign(std::vector<std::pair<std::string, bool>> names);
  void clear();

  // Every name, in list order.
  std::vector<std::string> names();
  // The names a pass over `series` takes (see belongsToSeries), in list order,
  // with their ids for renamed().
  void seriesNames(std::string_view series, int leastPieces, std::vector<std::string>& names,
                   std::vector<Id>& ids);
  // The file `id` now has the name `newName` in the folder, or has left it
  // when `newName` is empty.
  void renamed(Id id, std::string newName);
  bool isLink(Id id) const { return entries_.at(id).link; }

 private:
  struct Entry {
    std::string name;
    std::uint16_t pieces = 0;
    bool live = true;
    bool link = false;
  };
  struct Group {
    std::vector<Id> ids;
    bool ordered = true;
  };
  void add(std::string name, bool link, bool inOrder);
  void order(std::vector<Id>& ids) const;

  std::vector<Entry> entries_;
  std::unordered_map<std::string, Group> groups_;
  bool ordered_ = true;  // entries_ live in list order
};

}  // namespace slicery::scan
