// Progress: how far a run's file steps got, judged from what the disk shows.
//
// A run takes its steps one after another, in the plan's order, and a finish
// or an undo of it goes on from where it stopped, forwards or backwards. So
// what stands on the disk after any of them, cut short at any instant, is
// what the first `taken` steps leave of the folder as it was listed: each of
// them renamed its file, unless it failed (the journal records that) or its
// old name was gone or its new name held when it came. A step whose names no
// other step touches tells by its two names what became of it. Where steps
// share names (a name freed by one step and taken by a later one, a file
// renamed twice), the two names of one step cannot tell: the sequence is
// replayed against the listing, and the latest prefix whose outcome matches
// the disk best on those shared names decides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/name_store.h"
#include "rename/plan.h"

namespace slicery::run {

// A file step of a plan in the run's order: the file's name before and after,
// relative to the loaded folder ("Series_S02/x.ima" inside a series folder).
struct Step {
  std::string_view from;
  std::string_view to;
  std::uint32_t file = 0;  // the plan's index of the file
};

// Every step of `plan` that renames or moves a file, in the run's order. A
// new name inside a series folder is kept in `targets`; the others view the
// plan's own names.
std::vector<Step> stepsOf(const rename::Plan& plan, platform::NameStore& targets);

// What became of a step, by the disk.
enum class Outcome : std::uint8_t {
  untried,   // not taken yet: its file stands under the old name
  inEffect,  // its file went to the new name
  noEffect,  // taken without effect: it failed, or its names did not allow it
  blocked,   // both of its names stand, and the journal knows of no failure
};

struct Progress {
  // For each step, in order.
  std::vector<Outcome> outcomes;
  // Steps [0, taken) were tried, as far as names shared between steps tell.
  std::size_t taken = 0;
  // Names of the steps where the disk differs from what the folder as it
  // was listed holds: none once every name is back.
  std::size_t mismatchesAtStart = 0;
};

// A set of names, told one by one to the function it is given (a name
// told twice counts once). A folder's names need not be kept to be judged.
using NameVisits = std::function<void(const std::function<void(std::string_view)>& name)>;

// Judges `steps` against `present`, the names that stand on the disk now
// (relative paths as the steps spell them), starting from `listed`, the
// names that stood before the first step. `failed` tells a step the journal
// recorded as failed. Only the steps' own names are kept.
Progress judge(const std::vector<Step>& steps, const NameVisits& listed, const NameVisits& present,
               const std::function<bool(std::uint32_t)>& failed);

}  // namespace slicery::run
