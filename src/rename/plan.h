// Plan: a rename run worked out before anything on disk changes. One pure
// function takes the loaded folder's single listing and the run's options
// and gives the ordered steps of the run: for each series pass of List1, the
// series folder to make and the files to rename in place or move into it,
// with what the window shows for each; after the passes, the series folders
// to name after their Series Description. The run performs the plan, the
// preview and the dry run show it, the journal records what determines it,
// and finish and undo work it out again to ask the disk about each step.
//
// The plan foresees what the listing can tell: a new name that another
// entry of the folder or an earlier step holds, a name longer than the
// folder takes, a series folder name that is refused or taken by something
// that is no folder. Whatever else the disk answers is the run's to learn.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/name_store.h"
#include "scan/series_index.h"

namespace slicery::rename {

// What determines a run besides the listing.
struct PlanOptions {
  bool shortNames = false;  // Check1
  bool folders = false;     // Check2
  bool describe = false;    // Check4
  std::string folderBaseName;
  int seriesCount = 0;
  std::vector<std::string> list1;
  long nameLimit = 255;  // the longest name the folder takes, in bytes
  // Each number is made as wide as the longest of its kind where that is
  // more than its count's digits, so that numbers with gaps sort
  // (NumberWidth); false for a run journaled at version 3, which took the
  // count's digits alone and is finished and undone so.
  bool sortableWidths = true;
  // The folder takes names that differ in letter case only for one.
  bool foldsCase = platform::kNamesIgnoreCase;
};

// The loaded folder's single listing: its .ima files (regular files and
// links to them) in `index`, and every other entry by name and kind.
struct Listing {
  scan::SeriesIndex index;
  platform::FileSystem::Entries others;
};

// What the plan foresees for a step.
enum class Foresight : std::uint8_t {
  none,     // nothing known against it
  taken,    // the new name is held by another entry or an earlier step
  tooLong,  // the new name is longer than the folder takes
};

struct PlannedFile {
  scan::SeriesIndex::Id id;
  std::string_view oldName;  // as listed when the pass begins
  std::string_view newName;  // bare, without its series folder
  std::string_view slice;    // the slice piece of the old name
  bool renamed;              // passes the rename test; else only counted
  Foresight foreseen;
};

struct PlannedSeries {
  std::string text;  // as List1 holds it
  int padWidth = 0;
  std::string padded;
  bool hasFolder = false;     // its files go into folderName
  std::string folderName;     // base word, "_S" and the padded series
  std::string refusal;        // why the folder cannot be used, foreseen
  bool folderListed = false;  // an entry by that name was in the listing
  int listed = 0;             // names the pass lists (the series bar's maximum)
  std::size_t firstFile = 0;  // its files: files[firstFile, endFile)
  std::size_t endFile = 0;
};

struct Plan {
  PlanOptions options;
  std::vector<PlannedSeries> series;
  std::vector<PlannedFile> files;
  // The series folders to name after their description, in order.
  std::vector<std::string> described;
  // Keep the bytes the names view: the listing's, and the plan's own.
  std::shared_ptr<const platform::NameStore> store;
  std::shared_ptr<const platform::NameStore> ownNames;

  // A step that changes a name: renamed, and a new path that differs.
  bool moves(const PlannedSeries& s, const PlannedFile& f) const {
    return f.renamed && (s.hasFolder || f.oldName != f.newName);
  }
  // The new name as the loaded folder knows it ("Series_S02/x.ima").
  std::string target(const PlannedSeries& s, const PlannedFile& f) const;
  // The same into `out`, whose storage a loop over the files reuses.
  void targetInto(std::string& out, const PlannedSeries& s, const PlannedFile& f) const;
  // Whether running the plan would change anything at all.
  bool changesSomething() const;
};

// Why what stands at a series folder's name, an entry of `kind`, cannot take
// the series' files: they go nowhere but into a real folder of the loaded
// folder.
std::string notAFolder(platform::PathKind kind);

// The plan of a run over `listing` (taken: the plan works its series passes
// out on it) with `options`.
Plan makePlan(Listing listing, PlanOptions options);

}  // namespace slicery::rename
