// Finish and undo ask the disk what a journal's run did: they settle the one
// step a kill can have left half done, judge each file step of the plan
// (progress.h), and find where the series folders stand after a
// description named them. Each function takes the folder and the journal as
// they are given; none keeps anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "journal/journal.h"
#include "platform/file_system.h"
#include "rename/plan.h"
#include "run/engine.h"
#include "run/progress.h"
#include "scan/series_index.h"

namespace slicery::run {

// By the plan's name of a series folder, the name a description gave it.
using DescribedFolders = std::unordered_map<std::string, std::string>;

// A journal's run against the disk: its file steps, which of them took
// effect, and why those the journal records as failed failed.
struct JudgedRun {
  platform::NameStore targets;  // the steps' new names inside series folders
  std::vector<Step> steps;
  Progress progress;
  std::unordered_map<std::uint32_t, std::string> reasons;
};

// Judges the run of `contents` on `folder`, whose plan is `plan`, begun from
// `listing`; `described` tells where its series folders stand now.
JudgedRun judgeRun(platform::FileSystem& fs, const std::string& folder, const rename::Plan& plan,
                   const scan::SeriesIndex& listing, const journal::Contents& contents,
                   const DescribedFolders& described);

// Whether `name` stood among the entries the journal's run began with.
bool listedBefore(const journal::Contents& contents, std::string_view name);

// Settles the one step that the last command on the journal's run can have
// been in the middle of when it was cut short: the step of its last intent,
// where both names stand. A cut move is completed (its new name holds the
// file); a placeholder goes (the old name holds it).
void settleLastIntent(const journal::Contents& contents, platform::OpenFolder& loaded);

// Removes the empty folder that a series folder renaming cut short left at
// its new name where the old name still stands; returns the renamings
// whose new name holds more than that.
std::vector<const journal::Intent*> removeFolderPlaceholders(const journal::Contents& contents,
                                                             platform::OpenFolder& loaded);

// Where the series folders of `plan` stand after a description named them,
// by the disk: each renaming `contents` recorded that took effect, and
// where the journal lost one, the one folder named "<description>_" and
// the series folder's name.
DescribedFolders describedFolders(platform::FileSystem& fs, const std::string& folder,
                                  const rename::Plan& plan, const journal::Contents& contents,
                                  platform::OpenFolder& loaded);

// Before a finish: settles what its journal's run was in the middle of, and
// judges which of its steps took effect.
Finish prepareFinish(platform::FileSystem& fs, const std::string& folder, const rename::Plan& plan,
                     const scan::SeriesIndex& listing, const journal::Contents& contents,
                     platform::OpenFolder& loaded);

// Told of an undo as it goes, in order.
class UndoObserver {
 public:
  virtual ~UndoObserver() = default;
  // The journal of the run to undo was read: what the run began with.
  virtual void undoRead(const journal::Header& /*run*/) {}
  // The disk was asked: `steps` file steps are to go back.
  virtual void undoBegins(int steps) = 0;
  // A series' steps begin to go back: `steps` of them.
  virtual void undoSeriesBegins(const rename::PlannedSeries& s, int steps) = 0;
  // The step of `f` is about to go back.
  virtual void undoStepBegins(const rename::PlannedFile& f) = 0;
  // A file or a series folder went back from `now` to `before` (full paths).
  virtual void filePutBack(const std::string& now, const std::string& before) = 0;
  virtual void folderPutBack(const std::string& now, const std::string& before) = 0;
  // Asked between two steps: whether to stop after the step in hand.
  virtual bool undoStopWanted() = 0;
};

struct Undone {
  int steps = 0;  // file steps found to put back
  int putBack = 0;
  int foldersRemoved = 0;
  bool stopped = false;
  std::vector<RunFailure> failures;
};

// Undoes the run of `contents`, whose plan is `plan` (begun from `listing`),
// on `target`'s folder, held open: puts back every name the disk shows the
// run changed, newest step first, the series folders named after their
// description first of all, and then removes the series folders the run
// made, once empty. Nothing is replaced and no folder that stood before the
// run is removed or renamed. What cannot be put back is told in the
// failures, unless the disk shows the folder back as it was whatever
// records were lost.
Undone undo(const rename::Plan& plan, const scan::SeriesIndex& listing,
            const journal::Contents& contents, const Target& target, UndoObserver& observer);

}  // namespace slicery::run
