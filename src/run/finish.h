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

}  // namespace slicery::run
