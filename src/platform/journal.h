// Journal: the record a rename run keeps of itself outside the loaded folder,
// so that a run cut short by a crash, a kill or a power failure can be
// finished or undone. All file access of the journal lives here.
//
// Where: $XDG_STATE_HOME/slicery/ (else ~/.local/state/slicery/), one file
// per folder, "<16 hex digits>.journal", the digits the 64-bit FNV-1a hash of
// the folder's absolute path. The path is written inside too and checked.
//
// Format, version 2. The file is a sequence of records, each
//   u32 size      bytes of type and payload
//   u32 checksum  CRC-32 (IEEE) of type and payload
//   u8  type
//   payload
// with every integer little-endian and every string a u32 byte count and its
// bytes. A record that runs past the end of the file or fails its checksum
// while nothing follows it is a torn tail from a crash and is dropped; one
// with more bytes after it means the file is damaged, and so does a file that
// does not begin with a whole header. The records:
//   1 header   u32 version (2), folder path, u8 Check1, u8 Check2, u8 Check4,
//              folderBaseName, u32 seriesCount, u32 n + n strings (List1),
//              u32 n + n names (the run's .ima names in list order), each
//              as a change of the one before it: u8 bytes it shares with
//              the start of that one, u8 bytes it shares with its end, the
//              size of the rest in 7-bit groups (low first, the top bit set
//              in all but the last), and the rest,
//              u32 n + n strings (series folders that existed before the run,
//              relative to the folder)
//              Version 1, still read, had n strings for the names.
//   2 file renamed    from, to   (paths relative to the folder)
//   3 folder made     path
//   4 folder renaming from, to   written and flushed before the rename
//   5 end             no payload: the run reached its end
//   6 file renamed    from, to as a change of from (as the header's names);
//                     version 2 writes it in place of 2
// The header is flushed to the disk before the run's first change; outcome
// records are gathered, written in blocks and flushed in batches, so a crash
// may lose the last of them (the folder's state tells those steps).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace slicery::platform {

struct JournalHeader {
  std::string folder;  // absolute
  bool check1 = false;
  bool check2 = false;
  bool check4 = false;
  std::string folderBaseName;
  int seriesCount = 0;
  std::vector<std::string> list1;
  std::vector<std::string> names;  // as read; a writer is given them apart
  std::vector<std::string> existingFolders;
};

struct JournalStep {
  enum class Kind : std::uint8_t { fileRenamed = 2, folderMade = 3, folderRenaming = 4 };
  Kind kind = Kind::fileRenamed;
  std::string from;  // empty for folderMade
  std::string to;
};

struct JournalContents {
  JournalHeader header;
  std::vector<JournalStep> steps;
  bool finished = false;
};

// The folder's absolute path, as journals know it.
std::string journalFolderKey(const std::string& folder);
// The journal file of `folder` (any path naming it).
std::string journalPathFor(const std::string& folder);

enum class JournalState { none, unfinished, finished, damaged };

// Reads the journal at `file`. Fails with a reason a user can act on when the
// file cannot be read, is damaged, is of another version, or belongs to
// another folder than `folderKey`. A missing file fails with code ENOENT.
Status readJournal(const std::string& file, const std::string& folderKey, JournalContents& out);
// The state of the journal at `file`, reading no more than it must: a
// journal that ends in a whole end record is finished; any other is read in
// full. `why` receives the reason a damaged one cannot be read.
JournalState journalState(const std::string& file, const std::string& folderKey,
                          std::string* why = nullptr);

Status removeJournal(const std::string& file);

// Appends records to a journal file.
class JournalWriter {
 public:
  ~JournalWriter();
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  // Replaces any journal at `file` with one holding `header` with `names`
  // as its names, flushed to the disk (folders made as needed).
  static Status create(const std::string& file, const JournalHeader& header,
                       const std::vector<std::string_view>& names,
                       std::unique_ptr<JournalWriter>& writer);
  // Opens an existing, readable journal to go on writing after its last
  // whole record; a torn tail is cut off first.
  static Status reopen(const std::string& file, std::unique_ptr<JournalWriter>& writer);

  // Adds a record; it reaches the file once some are gathered, or at sync().
  Status append(JournalStep::Kind kind, std::string_view from, std::string_view to);
  // Writes the gathered records and flushes everything to the disk.
  Status sync();
  // Writes the end record (without waiting for the disk).
  Status finish();
  const std::string& path() const { return path_; }

 private:
  JournalWriter(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  Status writeHeader(const JournalHeader& header, const std::vector<std::string_view>& names);
  // Starts a record of `type` in gathered_; returns where it begins.
  size_t begin(std::uint8_t type);
  // Puts the size and checksum into the record that begins at `at` in
  // gathered_ and ends with it; writes what is gathered once it fills a block.
  Status sealed(size_t at);
  Status writeGathered();

  int fd_;
  std::string gathered_;
  std::string path_;
};

}  // namespace slicery::platform
