// Journal files: where the journal of a folder's run is kept, one file per
// folder in the private state folder (state_folder.h), named
// "<16 hex digits>.journal", the digits the 64-bit FNV-1a hash of the
// folder's final path. What a journal holds and means is journal/'s; this is
// only where its files are and how they are listed, removed and moved.
#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/status.h"

namespace slicery::platform {

inline constexpr const char* kJournalSuffix = ".journal";
// Beside a journal, while a run has not yet told whether it changed
// anything: the journal it replaced.
inline constexpr const char* kPreviousJournalSuffix = ".prev";
// A journal being written aside before it takes its place:
// "<journal>.new.<process id>".
inline constexpr const char* kFreshJournalInfix = ".new.";
// After the infix and the process id: a journal no run needs any more, put
// out of the way to be removed.
inline constexpr const char* kGoneJournalSuffix = ".gone";

// Beside the journals: what a batch over a tree of exams keeps of itself
// (batch_record.h), "<16 hex digits>.batch" by the tree's path.
inline constexpr const char* kBatchSuffix = ".batch";

// The folder's absolute path, as journals know it.
std::string journalFolderKey(const std::string& folder);
// The journal file of `folder` (any path naming it); fails when there is no
// private place for journals.
Status journalPathFor(const std::string& folder, std::string& file);
// The same, with the folder's key (journalFolderKey) worked out on the way.
Status journalPathFor(const std::string& folder, std::string& file, std::string& key);
// Every journal file in the state folder; what is no regular file is left
// out, never opened.
std::vector<std::string> listJournals();
// Removes the journal at `file`, and the journal it replaced where that
// still stands beside it.
Status removeJournal(const std::string& file);
// Gives the journal at `from` the name `to`, in place of any there.
Status moveJournal(const std::string& from, const std::string& to);

}  // namespace slicery::platform
