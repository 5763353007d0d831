// KillingFileSystem: a FileSystem over a MemoryFileSystem that counts every
// operation a command makes on the disk, its run journal's writes and
// flushes included, and can cut the command off at a chosen one as a kill
// would: it throws Killed there, and from then on every operation fails
// without effect, so nothing a command does while it unwinds reaches the
// disk or the journal. A fresh command on the same disk and journal files
// then finds what the kill left.
//
// Renames can be taken the way file systems without a no-replace rename
// force them (renames in real_file_system.cpp): onto an empty placeholder
// made first (exFAT, FAT), or as a link at the new name and an unlink of the
// old one; each part is an operation of its own, so a kill can fall between.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "journal/store.h"
#include "platform/append_file.h"
#include "platform/file_system.h"
#include "support/memory_file_system.h"

namespace slicery::testing {

class KillingFileSystem : public platform::FileSystem {
 public:
  enum class Renames { atomic, placeholder, cutMove };
  // Where the kill falls on the chosen operation: before it, after it took
  // effect, or (for a journal write) with half its bytes written.
  enum class When { before, after, torn };
  struct Killed {};

  KillingFileSystem(MemoryFileSystem& disk, Renames renames) : disk_(disk), renames_(renames) {}

  // Called at the kill, before anything unwinds: to take what the disk and
  // the journal hold at that instant.
  void onKill(std::function<void()> call) { onKill_ = std::move(call); }
  // Kills the command at operation `k` (counted from 1); 0 for none.
  void killAt(long k, When when) {
    killAt_ = k;
    when_ = when;
  }
  // The operations counted so far, and which of them could change the disk
  // or the journal (the others only look).
  long operations() const { return static_cast<long>(log_.size()); }
  bool changes(long k) const { return log_[static_cast<size_t>(k - 1)].changes; }
  bool isJournalWrite(long k) const { return log_[static_cast<size_t>(k - 1)].journalWrite; }
  const std::string& describe(long k) const { return log_[static_cast<size_t>(k - 1)].what; }
  bool killed() const { return dead_; }
  // The files moved so far, old path and new, in order.
  const std::vector<std::pair<std::string, std::string>>& moves() const { return moves_; }

  // Opens the journal file at `path` through `open`, its opening, writes
  // and flushes counted and killed with the disk's operations.
  platform::Status openJournal(
      const std::string& path, bool fresh,
      const std::function<platform::Status(std::unique_ptr<platform::AppendFile>&)>& open,
      std::unique_ptr<platform::AppendFile>& out);

  platform::PathKind kindOf(const std::string& path) override;
  platform::PathKind entryKind(const std::string& path, std::string& linkTarget) override;
  long nameLimit(const std::string& folder) override;
  platform::Status listEntries(const std::string& folder, Entries& entries) override;
  platform::Status listEntriesMarked(const std::string& folder, Entries& entries,
                                     std::vector<bool>& hidden) override;
  platform::Status makeFolder(const std::string& path) override;
  platform::Status renameFile(const std::string& from, const std::string& to) override;
  platform::Status renameFolder(const std::string& from, const std::string& to) override;
  platform::Status removeEmptyFolder(const std::string& path) override;
  platform::Status openForReading(const std::string& path,
                                  std::unique_ptr<platform::ReadableFile>& file) override;
  std::unique_ptr<platform::OpenFolder> openFolder(const std::string& path) override;
  platform::Status lockFolder(const std::string& folder,
                              std::unique_ptr<platform::FolderLock>& lock) override;
  bool folderLockedElsewhere(const std::string& folder) override;

 private:
  class Folder;
  class File;
  class Journal;
  struct Op {
    std::string what;
    bool changes;
    bool journalWrite;
  };

  // Counts an operation. False when the command is dead already (the
  // operation then fails without effect); throws Killed when the kill falls
  // before it.
  bool enter(std::string what, bool changes, bool journalWrite = false);
  // After an operation took effect: throws Killed when the kill falls there.
  void leave();
  [[noreturn]] void die();
  bool tornHere() const {
    return when_ == When::torn && killAt_ == operations() && log_.back().journalWrite;
  }
  platform::Status dead(const char* operation, const std::string& path) const;

  // The parts of a rename, each an operation.
  platform::Status moveFile(const std::string& from, const std::string& to,
                            platform::RenameIntent* intent);
  platform::Status moveFolder(const std::string& from, const std::string& to);
  bool hasLinkedNames(const std::string& a, const std::string& b) const;
  void renamedLinks(const std::string& from, const std::string& to);

  MemoryFileSystem& disk_;
  Renames renames_;
  long killAt_ = 0;
  When when_ = When::before;
  bool dead_ = false;
  std::function<void()> onKill_;
  std::vector<Op> log_;
  std::vector<std::pair<std::string, std::string>> moves_;
  // Two names of one file, as a link leaves them: each name's file number.
  std::map<std::string, int> links_;
  int nextLink_ = 1;
};

// Journals in memory, as a command of `fs` finds them: their files' opening,
// writes and flushes are operations of `fs`, counted and killed with the
// disk's.
class KillingStore : public journal::MemoryStore {
 public:
  explicit KillingStore(KillingFileSystem& fs) : fs_(fs) {}
  platform::Status open(const std::string& file, bool fresh, std::size_t keep,
                        std::unique_ptr<platform::AppendFile>& out) override {
    return fs_.openJournal(
        file, fresh,
        [&](std::unique_ptr<platform::AppendFile>& real) {
          return MemoryStore::open(file, fresh, keep, real);
        },
        out);
  }

 private:
  KillingFileSystem& fs_;
};

}  // namespace slicery::testing
