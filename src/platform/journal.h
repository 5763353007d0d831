// Journal: the record a rename run keeps of itself outside the loaded folder,
// so that a run cut short by a crash, a kill or a power failure can be
// finished, and any last run undone. It holds what determines the run's plan
// (its options and the folder's listing), written and flushed before the
// first change; then what a kill could leave half done, each written before
// it is done; then each series pass's outcome; then an end record. The bytes
// are told in doc/journal-format.md. Its framing is record_log.h's; it is
// read here (journal_reader.cpp), written by JournalWriter
// (journal_writer.h) and kept where journal_location.cpp says.
//
// Where: the private state folder (state_folder.h), one file per folder,
// "<16 hex digits>.journal", the digits the 64-bit FNV-1a hash of the
// folder's absolute path, which is written inside too.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/append_file.h"
#include "platform/file_system.h"
#include "platform/status.h"

namespace slicery::platform {

struct JournalHeader {
  std::string folder;  // absolute, where the run began
  // The studies its .ima names belong to, as journalStudy gives them; empty
  // where there were too many to keep (a journal of version 3 has none).
  std::vector<std::uint64_t> studies;
  bool check1 = false;
  bool check2 = false;
  bool check4 = false;
  // The numbers' widths sort (version 4); else the count's digits alone.
  bool sortableWidths = true;
  std::string folderBaseName;
  int seriesCount = 0;
  std::vector<std::string> list1;
  long nameLimit = 255;
  bool foldsCase = kNamesIgnoreCase;
  // The .ima files in list order, each a symbolic link or not; every other
  // entry of the folder by name and kind. A writer is given the names apart.
  std::vector<std::string> names;
  std::vector<bool> links;
  FileSystem::Entries others;
};

// A step recorded before it is taken: paths relative to the folder.
struct JournalIntent {
  enum class Kind : std::uint8_t { cutMove = 1, placeholder = 2, folderRenaming = 3 };
  Kind kind;
  std::string from;
  std::string to;
};

// The outcome of one series pass: how many files it renamed, and which of
// its planned files (numbered across the plan) failed.
struct JournalPass {
  std::uint32_t pass = 0;
  std::uint32_t renamed = 0;
  std::vector<std::uint32_t> failed;
};

// A step that failed, recorded as it failed: the planned file, and why.
struct JournalFailure {
  std::uint32_t file = 0;
  std::string reason;
};

// A command that went on with a journal's run after it: a finish or an undo.
enum class JournalCommand : std::uint8_t { run = 0, finish = 1, undo = 2 };

struct JournalContents {
  JournalHeader header;
  std::vector<JournalIntent> intents;
  std::vector<JournalPass> passes;
  std::vector<JournalFailure> failures;
  // The last command that worked on the run; `finished` tells whether it
  // reached its end.
  JournalCommand last = JournalCommand::run;
  bool finished = false;
  // Read with `salvage`: why the records after the last good one are lost.
  std::string damage;
};

// The study an .ima name belongs to, by its pieces before the series
// number, which a run never changes: a hash of them, letter case folded; 0
// for a name of fewer pieces.
std::uint64_t journalStudy(std::string_view imaName);
// The most studies a header keeps.
inline constexpr std::size_t kMostJournalStudies = 64;
// The start of the journal at `file`, read without reading the rest: the
// folder its run began at and its studies. `known` is false where the start
// does not tell (a journal of version 3, a long header start): read it whole.
Status readJournalStart(const std::string& file, std::string& folder,
                        std::vector<std::uint64_t>& studies, bool& known);

// The folder's absolute path, as journals know it.
std::string journalFolderKey(const std::string& folder);
// The journal file of `folder` (any path naming it); fails when there is no
// private place for journals.
Status journalPathFor(const std::string& folder, std::string& file);
// The same, with the folder's key (journalFolderKey) worked out on the way.
Status journalPathFor(const std::string& folder, std::string& file, std::string& key);
// Every journal file in the state folder.
std::vector<std::string> listJournals();

enum class JournalState { none, unfinished, finished, damaged };

// Reads the journal at `file`. Fails with a reason a user can act on when the
// file cannot be read, is damaged or of another version. A missing file fails
// with code ENOENT. With `salvage`, a journal whose header is whole is read up
// to its first bad record, and `damage` tells what was lost.
Status readJournal(const std::string& file, JournalContents& out, bool salvage = false);
// The state of the journal at `file`, reading no more than it must: one that
// ends in a whole end record is finished; any other is read in full, into
// `contents` when given. `why` receives the reason a damaged one cannot be
// read.
JournalState journalState(const std::string& file, std::string* why = nullptr,
                          JournalContents* contents = nullptr);

// Removes the journal at `file`, and the journal it replaced where that
// still stands beside it.
Status removeJournal(const std::string& file);
// Tidies the state folder, where there is one: makes it this account's
// only (0700) and every file in it too (0600), and removes each journal of a
// finished run, each journal a later one replaced and each batch file
// (batch_record.h), last written longer than `keep` ago. A journal of a run
// that did not finish, or that cannot be read, stays. Returns what could not
// be done.
std::vector<Status> tidyJournals(std::chrono::seconds keep);
// Gives the journal at `from` the name `to`, in place of any there.
Status moveJournal(const std::string& from, const std::string& to);

}  // namespace slicery::platform
