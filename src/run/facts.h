// Facts: what one command learns of a folder, and learns once: its lock
// (taken, or only probed) and what its last run left, as journal::findLastRun
// decides it. While the lock is held no other run can change that answer,
// so it is worked out once. Through it a run keeps its journal, and a finish,
// an undo or a forget reads and removes the journal of the folder's last
// run; a view or the command line only words what it answers.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "journal/last_run.h"
#include "journal/store.h"
#include "journal/writer.h"
#include "platform/file_system.h"
#include "platform/folder_lock.h"
#include "platform/status.h"
#include "rename/plan.h"
#include "run/finish.h"

namespace slicery::run {

class Facts {
 public:
  Facts(platform::FileSystem& fs, journal::Store& journals) : fs_(&fs), journals_(&journals) {}

  // Where journals are kept.
  void setStore(journal::Store& journals) { journals_ = &journals; }
  journal::Store& journals() { return *journals_; }
  // Runs begun while `aside` is set write their journals aside and add
  // them to it (journal::Aside), to be put in place before their first
  // step; null (the default) puts each in place at once.
  void setJournalsAside(journal::Aside* aside) { aside_ = aside; }

  // Takes the lock on `folder`, unless it holds that already; it is held
  // until release().
  platform::Status lock(const std::string& folder);
  bool locked() const { return lock_ != nullptr; }
  // Lets go of the lock, and of the last run worked out under it.
  void release();

  // The last run on `folder`, whose listing is `listing`. Without the lock,
  // another run working on the folder comes first.
  journal::LastRun lastRun(const std::string& folder, const rename::Listing& listing);

  // Before a run of `plan`, planned from `listing`: takes the lock and
  // keeps the run's journal, written before its first change. False when
  // the run must not go on, with `refusal` telling why (the lock is let go);
  // a run that changes nothing keeps no journal.
  bool beginRun(const std::string& folder, const rename::Listing& listing, const rename::Plan& plan,
                journal::LastRun& refusal, std::unique_ptr<journal::Writer>& journal);

  // Reads the journal of the last run on `folder` for `operation` (its
  // failures say there is nothing to `verb`); with `salvage`, what stands
  // before a damaged record. A run found moved here becomes the folder's
  // own. `file` receives the journal's path. Takes the lock first.
  platform::Status readLastRun(const std::string& folder, const rename::Listing& listing,
                               const char* operation, const char* verb, bool salvage,
                               journal::Contents& contents, std::string& file);

  // Removes the journal of the last run on `folder`, under the folder's
  // lock; without `force`, one that did not finish or cannot be read stays
  // (fails with code 0). Fails with ENOENT when no journal is kept.
  // `forgotten` tells what the journal was.
  platform::Status forget(const std::string& folder, const rename::Listing& listing, bool force,
                          journal::LastRun& forgotten);

  // Before a finish of the last run on `folder`, cut short: reads its
  // journal into `contents` and goes on writing it in `journal`, having
  // recorded that the finish begins. Fails, changing nothing, when there
  // is no run cut short to finish or its journal cannot be read or written.
  platform::Status beginFinish(const std::string& folder, const rename::Listing& listing,
                               journal::Contents& contents,
                               std::unique_ptr<journal::Writer>& journal);

  // Undoes the last run on `folder`, whose listing is `listing` (run::undo),
  // telling `observer` each step. The undo is recorded in the run's journal
  // before its first change, so that the next command knows of an undo cut
  // short. The journal goes once everything is back; when something could
  // not be put back, a finished run's journal is ended again. Fails,
  // changing nothing, when the journal cannot be read or taken on;
  // `undone.failures` then tells only what the undo met, the journal's own
  // included.
  platform::Status undoLastRun(const std::string& folder, const rename::Listing& listing,
                               UndoObserver& observer, Undone& undone);

 private:
  platform::FileSystem* fs_;
  journal::Store* journals_;
  journal::Aside* aside_ = nullptr;
  std::unique_ptr<platform::FolderLock> lock_;
  std::string lockedFolder_;
  // The last run as worked out under the lock, for the folder named.
  std::optional<std::pair<std::string, journal::LastRun>> known_;
};

// Closes a run's journal: with an end record when the run reached its end;
// when it changed nothing, the journal before it takes its place again.
// Returns what could not be written (ok when all was).
platform::Status closeJournal(journal::Writer& journal, bool reachedEnd, bool changed);

// The files of a journal's run that the disk shows renamed or moved in
// `folder`, and in `foldersNamed` the folders it shows named after their
// description.
int filesInEffect(platform::FileSystem& fs, const std::string& folder,
                  const journal::Contents& contents, int* foldersNamed = nullptr);

}  // namespace slicery::run
