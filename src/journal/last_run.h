// LastRun: what the last run on a folder left behind, and what it allows
// now. This is the one place that decides; the window turns its answer into
// a dialog and the command line into an exit status.
//
// A run is found by the folder's path, and failing that by the folder's
// names: a folder that was moved, renamed or mounted elsewhere after a run
// was cut short holds what that run's plan began to make of the names its
// journal recorded.
#pragma once

#include <string>
#include <vector>

#include "journal/store.h"
#include "platform/file_system.h"
#include "scan/series_index.h"

namespace slicery::journal {

struct LastRun {
  enum class State {
    none,        // no run on record: a run may go ahead
    finished,    // the last run reached its end: a run may go ahead
    unfinished,  // the last run was cut short: finish or undo it first
    damaged,     // the journal cannot be read: nothing is known
    busy,        // another run is working on the folder now
    noJournal,   // no journal can be kept: a run would not be undoable
  };
  State state = State::none;
  std::string journal;    // the journal file, where there is one
  std::string folderKey;  // the folder's path as journals know it
  std::string why;        // what cannot be read, or why no journal can be kept
  std::string movedFrom;  // where the run began, when found by its names
  // Where the runs began, when the names of more than one run cut short
  // elsewhere fit the folder: none is taken.
  std::vector<std::string> alsoFrom;
  bool undoing = false;  // an undo of the run was cut short

  bool allowsRun() const { return state == State::none || state == State::finished; }
  // What stops a run, for a user; empty when nothing does.
  std::string reason() const;
  // The state in a few words, for a list of folders.
  std::string words() const;
  // The same with what to do about it in the window, and a title for it.
  std::string advice() const;
  std::string title() const;
};

// The last run on `folder`, whose listing is `index` and `others`, as the
// journals of `store` tell it.
LastRun findLastRun(Store& store, const std::string& folder, const scan::SeriesIndex& index,
                    const platform::FileSystem::Entries& others);

// How long the journal of a finished run is kept after its last change: it
// goes at the first start of either program after that. The journal of a
// run that did not finish stays until it is finished, undone or forgotten.
inline constexpr int kFinishedRunDays = 30;
// Run by both programs as they start: makes the journals private and
// removes those of finished runs older than kFinishedRunDays. Returns what
// could not be done, a message a line.
std::vector<std::string> forgetOldRuns();

}  // namespace slicery::journal
