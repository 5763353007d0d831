// A folder's lock and last run, learned once per command, and the journal
// of its runs.
#include "run/facts.h"

#include <algorithm>
#include <cerrno>

#include "run/finish.h"

namespace slicery::run {

using journal::LastRun;
using platform::Status;

Status Facts::lock(const std::string& folder) {
  if (lock_ != nullptr && lockedFolder_ == folder) return Status::ok();
  release();
  const Status locked = fs_->lockFolder(folder, lock_);
  if (locked) lockedFolder_ = folder;
  return locked;
}

void Facts::release() {
  lock_.reset();
  lockedFolder_.clear();
  known_.reset();
}

LastRun Facts::lastRun(const std::string& folder, const rename::Listing& listing) {
  // Asked without the lock: a run working on the folder comes first.
  if (lock_ == nullptr && fs_->folderLockedElsewhere(folder)) {
    LastRun busy;
    busy.state = LastRun::State::busy;
    return busy;
  }
  if (lock_ != nullptr && known_ && known_->first == folder) return known_->second;
  LastRun last = journal::findLastRun(*journals_, folder, listing.index, listing.others);
  if (lock_ != nullptr) known_.emplace(folder, last);
  return last;
}

bool Facts::beginRun(const std::string& folder, const rename::Listing& listing,
                     const rename::Plan& plan, LastRun& refusal,
                     std::unique_ptr<journal::Writer>& journal) {
  journal.reset();
  const auto refuse = [this, &refusal](LastRun why) {
    refusal = std::move(why);
    release();
    return false;
  };
  if (const Status locked = lock(folder); !locked) {
    LastRun busy;
    busy.state = locked.code() == EWOULDBLOCK ? LastRun::State::busy : LastRun::State::noJournal;
    busy.why = "cannot lock the folder: " + locked.reason();
    return refuse(std::move(busy));
  }
  // Asked under the lock: no other run can change the answer now.
  LastRun last = lastRun(folder, listing);
  if (!last.allowsRun()) return refuse(std::move(last));
  // A run that changes nothing keeps the journal of the run before it.
  if (!plan.changesSomething()) return true;
  const journal::Header header{last.folderKey, {}, plan.options, listing};
  // The run changes the answer.
  known_.reset();
  if (const Status created =
          aside_ != nullptr ? journal::Writer::writeAside(*journals_, last.journal, header, journal)
                            : journals_->create(last.journal, header, journal);
      !created) {
    LastRun cannot;
    cannot.state = LastRun::State::noJournal;
    cannot.why = created.toString();
    return refuse(std::move(cannot));
  }
  if (aside_ != nullptr) {
    aside_->writers.push_back(journal.get());
    journal->removeLater(aside_->later);
  }
  return true;
}

Status Facts::readLastRun(const std::string& folder, const rename::Listing& listing,
                          const char* operation, const char* verb, bool salvage,
                          journal::Contents& contents, std::string& file) {
  if (const Status locked = lock(folder); !locked) {
    return Status::error(operation, folder, locked.reason(), locked.code());
  }
  const LastRun last = lastRun(folder, listing);
  switch (last.state) {
    case LastRun::State::none:
      return Status::error(operation, folder, std::string("no run on this folder to ") + verb,
                           ENOENT);
    case LastRun::State::noJournal:
      return Status::error(operation, folder, last.reason(), ENOENT);
    default:
      break;
  }
  if (!last.alsoFrom.empty()) return Status::error(operation, folder, last.reason());
  file = last.journal;
  if (!last.movedFrom.empty()) {
    // The run is this folder's from now on, wherever it began.
    std::string here;
    std::string key;
    if (Status where = journals_->locate(folder, here, key); !where) return where;
    if (Status moved = journals_->move(file, here); !moved) return moved;
    file = here;
    known_.reset();
  }
  return journals_->read(file, contents, salvage);
}

Status Facts::forget(const std::string& folder, const rename::Listing& listing, bool force,
                     LastRun& forgotten) {
  // Held while the journal goes, so that no run begins meanwhile; a folder
  // that is gone has no run to keep out.
  if (const Status locked = lock(folder); !locked && locked.code() != ENOENT) {
    return Status::error("forget run", folder, locked.reason(), locked.code());
  }
  forgotten = journal::findLastRun(*journals_, folder, listing.index, listing.others);
  const Status gone = [&] {
    switch (forgotten.state) {
      case LastRun::State::none:
        return Status::error("forget run", folder, "no journal is kept for this folder", ENOENT);
      case LastRun::State::noJournal:
        return Status::error("forget run", folder, forgotten.reason(), ENOENT);
      case LastRun::State::unfinished:
      case LastRun::State::damaged:
        if (!force) return Status::error("forget run", folder, forgotten.reason());
        break;
      default:
        break;
    }
    return journals_->remove(forgotten.journal);
  }();
  release();
  return gone;
}

Status Facts::beginFinish(const std::string& folder, const rename::Listing& listing,
                          journal::Contents& contents, std::unique_ptr<journal::Writer>& journal) {
  std::string file;
  if (Status read = readLastRun(folder, listing, "finish run", "finish", false, contents, file);
      !read) {
    return read;
  }
  if (contents.finished) {
    return Status::error("finish run", folder,
                         "the last run on this folder finished; there is nothing to finish");
  }
  if (Status reopened = journals_->reopen(file, journal); !reopened) return reopened;
  return journal->command(journal::Command::finish);
}

Status Facts::undoLastRun(const std::string& folder, const rename::Listing& listing,
                          UndoObserver& observer, Undone& undone) {
  undone = {};
  journal::Contents contents;
  std::string file;
  if (Status read = readLastRun(folder, listing, "undo run", "undo", true, contents, file); !read) {
    return read;
  }
  // A damaged journal takes no records.
  std::unique_ptr<journal::Writer> journal;
  if (contents.damage.empty()) {
    if (Status reopened = journals_->reopen(file, journal); !reopened) return reopened;
    if (Status begun = journal->command(journal::Command::undo); !begun) return begun;
  }
  observer.undoRead(contents.header);
  const rename::Plan plan = rename::makePlan(contents.header.listing, contents.header.options);
  const std::unique_ptr<platform::OpenFolder> loaded = fs_->openFolder(folder);
  Target target;
  target.fs = fs_;
  target.folder = folder;
  target.open = loaded.get();
  target.journal = journal.get();
  undone = undo(plan, contents.header.listing.index, contents, target, observer);
  if (!contents.damage.empty()) {
    undone.failures.push_back({file,
                               {},
                               "the journal is damaged (" + contents.damage +
                                   "); what it held after that could not be checked, "
                                   "and it is kept"});
  } else if (!undone.stopped && undone.failures.empty()) {
    // A run cut short before it changed anything leaves the folder as the
    // run before it did: that run's journal takes its place again, as it
    // does after a run that changes nothing, so that it can still be undone.
    const bool changedNothing =
        undone.steps == 0 && undone.putBack == 0 && undone.foldersRemoved == 0;
    Status gone;
    if (changedNothing) {
      gone = journal->keepPrevious();
    } else {
      journal.reset();  // closed first: Windows removes no open file
      gone = journals_->remove(file);
    }
    if (!gone) undone.failures.push_back({file, {}, gone.toString()});
  } else if (!undone.stopped && contents.finished) {
    // What could not be put back stays as the finished run left it.
    if (Status ended = journal->finish(); !ended) {
      undone.failures.push_back({file, {}, "cannot write the run journal: " + ended.toString()});
    }
  }
  return Status::ok();
}

Status closeJournal(journal::Writer& journal, bool reachedEnd, bool changed) {
  Status closed = reachedEnd ? journal.finish() : Status::ok();
  if (!changed) {
    if (const Status kept = journal.keepPrevious(); !kept && closed) closed = kept;
  } else {
    journal.discardPrevious();
  }
  return closed;
}

int filesInEffect(platform::FileSystem& fs, const std::string& folder,
                  const journal::Contents& contents, int* foldersNamed) {
  const rename::Listing& listing = contents.header.listing;
  const rename::Plan plan = rename::makePlan(listing, contents.header.options);
  const std::unique_ptr<platform::OpenFolder> loaded = fs.openFolder(folder);
  // Where each series folder is now: under the name a description gave it.
  const auto folders = describedFolders(fs, folder, plan, contents, *loaded);
  if (foldersNamed != nullptr) *foldersNamed = static_cast<int>(folders.size());
  const std::vector<Outcome> outcomes =
      judgeRun(fs, folder, plan, listing.index, contents, folders).progress.outcomes;
  return static_cast<int>(std::count(outcomes.begin(), outcomes.end(), Outcome::inEffect));
}

}  // namespace slicery::run
