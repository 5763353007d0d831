// Journal: the record a rename run keeps of itself outside the loaded folder,
// so that a run cut short by a crash, a kill or a power failure can be
// finished, and any last run undone. It holds what determines the run's plan
// (its options and the folder's listing, as the plan takes them), written and
// flushed before the first change; then what a kill could leave half done,
// each written before it is done, and each failed step as it fails; then an
// end record. A finish or an undo records that it begins and goes on
// writing the same journal. The bytes are told in doc/journal-format.md;
// their framing is platform/record_log.h's. It is read here (reader.cpp),
// written by Writer (writer.h), and kept by a Store (store.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"
#include "rename/plan.h"

namespace slicery::journal {

// What a run began with: where, the studies of its names, and what
// determines its plan.
struct Header {
  std::string folder;  // absolute, where the run began
  // The studies its .ima names belong to, as study() gives them; empty
  // where there were too many to keep (a journal of version 3 has none).
  std::vector<std::uint64_t> studies;
  rename::PlanOptions options;
  rename::Listing listing;
};

// A step recorded before it is taken: paths relative to the folder.
struct Intent {
  enum class Kind : std::uint8_t { cutMove = 1, placeholder = 2, folderRenaming = 3 };
  Kind kind;
  std::string from;
  std::string to;
};

// The outcome of one series pass: how many files it renamed, and which of
// its planned files (numbered across the plan) failed. Journals of earlier
// runs hold it; a run now records each failed step on its own (Failure).
struct Pass {
  std::uint32_t pass = 0;
  std::uint32_t renamed = 0;
  std::vector<std::uint32_t> failed;
};

// A step that failed, recorded as it failed: the planned file, and why.
struct Failure {
  std::uint32_t file = 0;
  std::string reason;
};

// A command that went on with a journal's run after it: a finish or an undo.
enum class Command : std::uint8_t { run = 0, finish = 1, undo = 2 };

struct Contents {
  Header header;
  std::vector<Intent> intents;
  std::vector<Pass> passes;
  std::vector<Failure> failures;
  // The last command that worked on the run; `finished` tells whether it
  // reached its end.
  Command last = Command::run;
  bool finished = false;
  // Read with `salvage`: why the records after the last good one are lost.
  std::string damage;
};

// The study an .ima name belongs to, by its pieces before the series
// number, which a run never changes: a hash of them, letter case folded; 0
// for a name of fewer pieces.
std::uint64_t study(std::string_view imaName);
// The most studies a header keeps.
inline constexpr std::size_t kMostStudies = 64;
enum class State { none, unfinished, finished, damaged };

// Tidies the state folder, where there is one: makes it this account's
// only (0700) and every file in it too (0600), and removes each journal of a
// finished run, each journal a later one replaced and each batch file
// (platform/batch_record.h), last written longer than `keep` ago, and each
// journal being written aside whose writer is gone or that is as old. A
// journal of a run that did not finish, or that cannot be read, stays.
// Returns what could not be done.
std::vector<platform::Status> tidy(std::chrono::seconds keep);

}  // namespace slicery::journal
