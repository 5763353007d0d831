// The run journal as a user meets it: each run keeps one and holds the
// folder's lock while it works; an interrupted run can be finished and the
// last run undone. Finish and undo work the run's plan out again from what
// the journal recorded and ask the disk, step by step, what took effect.
#include <algorithm>
#include <cerrno>
#include <string>

#include "app/busy_scope.h"
#include "app/form1.h"
#include "journal/recorded_intent.h"
#include "run/finish.h"

namespace slicery::app {

using platform::PathKind;
using platform::Status;

namespace {

constexpr const char* kDefaultFolderBaseName = "Series";

}  // namespace

bool Form1::stopRequested() const {
  return stopAsked_ || (stopFlag_ != nullptr && stopFlag_->load()) || !journalError_;
}

Status Form1::lockLoadedFolder() {
  const std::string& folder = File1.path();
  if (lock_ != nullptr && lockedFolder_ == folder) return Status::ok();
  lock_.reset();
  knownLastRun_.reset();
  const Status locked = fileSystem().lockFolder(folder, lock_);
  lockedFolder_ = locked ? folder : std::string();
  return locked;
}

journal::LastRun Form1::lastRun() {
  // Asked without the lock: a run working on the folder comes first.
  if (lock_ == nullptr && fileSystem().folderLockedElsewhere(File2.path())) {
    journal::LastRun busy;
    busy.state = journal::LastRun::State::busy;
    return busy;
  }
  // While the lock is held, no other run changes the answer: it is worked
  // out once.
  if (lock_ != nullptr && knownLastRun_ && knownLastRun_->first == File2.path()) {
    return knownLastRun_->second;
  }
  journal::LastRun last = journal::findLastRun(*journals_, File2.path(), index_, others_);
  if (lock_ != nullptr) knownLastRun_.emplace(File2.path(), last);
  return last;
}

bool Form1::beginRun(const rename::Plan& plan) {
  refusal_ = {};
  journalError_ = Status::ok();
  if (dryRun_ || !journaling_) return true;
  const std::string folder = File2.path();
  const auto refuse = [this](journal::LastRun why) {
    refusal_ = std::move(why);
    lock_.reset();
    knownLastRun_.reset();
    if (view_ != nullptr) view_->runRefused(refusal_);
    return false;
  };
  if (const Status locked = lockLoadedFolder(); !locked) {
    journal::LastRun busy;
    busy.state = locked.code() == EWOULDBLOCK ? journal::LastRun::State::busy
                                              : journal::LastRun::State::noJournal;
    busy.why = "cannot lock the folder: " + locked.reason();
    return refuse(std::move(busy));
  }
  // Asked under the lock: no other run can change the answer now.
  journal::LastRun last = lastRun();
  if (!last.allowsRun()) return refuse(std::move(last));
  // A run that changes nothing keeps the journal of the run before it.
  if (!plan.changesSomething()) return true;

  journal::Header header;
  header.folder = last.folderKey;
  header.options = plan.options;
  header.listing = {index_, others_};
  knownLastRun_.reset();
  if (const Status created = journals_->create(last.journal, header, journal_); !created) {
    journal::LastRun cannot;
    cannot.state = journal::LastRun::State::noJournal;
    cannot.why = created.toString();
    return refuse(std::move(cannot));
  }
  return true;
}

void Form1::endRun(bool changed) {
  if (journal_ != nullptr) {
    Status closed = journalError_;
    if (closed && !stopRequested()) closed = journal_->finish();
    if (!changed) {
      if (const Status kept = journal_->keepPrevious(); !kept && closed) closed = kept;
    } else {
      journal_->discardPrevious();
    }
    if (!closed) {
      journalError_ = closed;
      runFailures.push_back({File2.path(),
                             {},
                             "cannot write the run journal: " + closed.toString() +
                                 "; the run stopped there and can be finished "
                                 "or undone"});
    }
    journal_.reset();
  }
  lock_.reset();
  knownLastRun_.reset();
}

void Form1::loadJournalInputs(const journal::Header& header) {
  const rename::PlanOptions& o = header.options;
  setCheck(Check1, o.shortNames ? 1 : 0);
  setCheck(Check2, o.folders ? 1 : 0);
  const bool ownWord = o.folders && o.folderBaseName != kDefaultFolderBaseName;
  if (ownWord) Text1.setText(o.folderBaseName);
  setCheck(Check3, ownWord ? 1 : 0);
  setCheck(Check4, o.folders && o.describe ? 1 : 0);
  folderBaseName = o.folderBaseName;
  seriesCount = o.seriesCount;
  List1.clear();
  for (const std::string& series : o.list1) List1.append(series);
  lblseriesnum.setText(std::to_string(seriesCount));
  index_ = header.listing.index;
  others_ = header.listing.others;
  File2.setPattern("*.ima");
  File2.assign(index_.store(), index_.names());
}

Status Form1::readLastJournal(const char* operation, const char* verb, bool salvage,
                              journal::Contents& contents, std::string& file) {
  const std::string folder = File2.path();
  const journal::LastRun last = lastRun();
  switch (last.state) {
    case journal::LastRun::State::none:
      return Status::error(operation, folder, std::string("no run on this folder to ") + verb,
                           ENOENT);
    case journal::LastRun::State::noJournal:
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
  }
  return journals_->read(file, contents, salvage);
}

Form1::JournalScope::~JournalScope() {
  form_.lock_.reset();
  form_.knownLastRun_.reset();
  form_.journal_.reset();
  form_.renamedFolders_.clear();
}

Status Form1::resumeRun() {
  const std::string folder = File2.path();
  if (busy_) return Status::error("finish run", folder, "busy");
  BusyScope busy(busy_);
  const WorkScope work(*this, Work::run);
  if (const Status locked = lockLoadedFolder(); !locked) {
    return Status::error("finish run", folder, locked.reason(), locked.code());
  }
  const JournalScope scope(*this);
  journal::Contents contents;
  std::string file;
  if (Status read = readLastJournal("finish run", "finish", false, contents, file); !read) {
    return read;
  }
  if (contents.finished) {
    return Status::error("finish run", folder,
                         "the last run on this folder finished; there is nothing to finish");
  }
  if (Status reopened = journals_->reopen(file, journal_); !reopened) {
    return reopened;
  }
  if (Status begun = journal_->command(journal::Command::finish); !begun) return begun;
  // The window shows the options of the run it finishes; the plan is the
  // journal's own.
  loadJournalInputs(contents.header);
  lbltimetaken.setText("");
  runStartTime = platform::roundHalfToEven(clock_->secondsSinceMidnight());
  journalError_ = Status::ok();
  startDisplays();
  performRun(rename::makePlan(contents.header.listing, contents.header.options), &contents);
  return Status::ok();
}

Status Form1::undoRun(bool reportFailures) {
  const std::string folder = File2.path();
  if (busy_) return Status::error("undo run", folder, "busy");
  BusyScope busy(busy_);
  const WorkScope work(*this, Work::undo);
  if (const Status locked = lockLoadedFolder(); !locked) {
    return Status::error("undo run", folder, locked.reason(), locked.code());
  }
  const JournalScope scope(*this);
  journal::Contents contents;
  std::string file;
  if (Status read = readLastJournal("undo run", "undo", true, contents, file); !read) return read;
  // The undo keeps its own records in the run's journal, so that the next
  // command knows of an undo cut short; a damaged journal takes none.
  if (contents.damage.empty()) {
    if (Status reopened = journals_->reopen(file, journal_); !reopened) {
      return reopened;
    }
    if (Status begun = journal_->command(journal::Command::undo); !begun) return begun;
  }
  const bool wasFinished = contents.finished;

  loadJournalInputs(contents.header);
  const rename::Plan plan = rename::makePlan({index_, others_}, contents.header.options);
  const std::unique_ptr<platform::OpenFolder> loaded = fileSystem().openFolder(folder);
  runFailures.clear();
  stepsPutBack = 0;
  foldersRemoved = 0;
  lbltimetaken.setText("");
  runStartTime = platform::roundHalfToEven(clock_->secondsSinceMidnight());
  filesProcessed = 0;
  filesRenamed = 0;
  run::Target target;
  target.fs = &fileSystem();
  target.folder = folder;
  target.open = loaded.get();
  target.journal = journal_.get();
  run::Undone undone = run::undo(plan, index_, contents, target, *this);
  stepsPutBack = undone.putBack;
  foldersRemoved = undone.foldersRemoved;
  runFailures = std::move(undone.failures);
  const int undoable = undone.steps;
  const bool stopped = undone.stopped;
  for (LabelModel* label :
       {&lblnewfilename, &lbloldfilename, &lblcurrentslice, &lblcurrentseries, &Label3}) {
    label->setText("");
  }
  if (!contents.damage.empty()) {
    runFailures.push_back({file,
                           {},
                           "the journal is damaged (" + contents.damage +
                               "); what it held after that could not be checked, "
                               "and it is kept"});
  } else if (!stopped && runFailures.empty()) {
    journal_.reset();  // closed first: Windows removes no open file
    if (Status gone = journals_->remove(file); !gone) {
      runFailures.push_back({file, {}, gone.toString()});
    }
  } else if (!stopped && wasFinished && journal_ != nullptr) {
    // What could not be put back stays as the finished run left it.
    if (Status ended = journal_->finish(); !ended) {
      runFailures.push_back({file, {}, "cannot write the run journal: " + ended.toString()});
    }
  }
  if (reportFailures && !runFailures.empty() && view_ != nullptr) view_->runFailed(runFailures);
  // The folder as it now is, with the undo's counts as a run leaves them.
  const int seriesDone = PRGSeries.value();
  File1.setFileName(folder);
  IMADragDrop();
  prgtotal.setMaximum(undoable);
  prgtotal.setValue(filesProcessed);
  PRGSeries.setValue(seriesDone);
  Label6.setText(std::to_string(filesProcessed));
  lbltotalfiles.setText(std::to_string(filesRenamed));
  showTimeTaken();
  return Status::ok();
}

void Form1::undoBegins(int steps) {
  // Progress is shown as a run shows it: the steps to put back.
  prgtotal.setMaximum(steps);
  prgtotal.setValue(0);
}

void Form1::undoSeriesBegins(const rename::PlannedSeries& s, int steps) {
  lblcurrentseries.setText(s.text);
  Label3.setText(s.hasFolder ? platform::joinPath(File2.path(), s.folderName) : std::string());
  PRGSeries.setValue(0);
  PRGSeries.setMaximum(steps);
}

void Form1::undoStepBegins(const rename::PlannedFile& f) {
  lblcurrentslice.setText(std::string(f.slice));
  lbloldfilename.setText(f.newName);
  lblnewfilename.setText(f.oldName);
  PRGSeries.setValue(PRGSeries.value() + 1);
  prgtotal.setValue(++filesProcessed);
  Label6.setText(std::to_string(filesProcessed));
}

void Form1::filePutBack(const std::string& now, const std::string& before) {
  lbltotalfiles.setText(std::to_string(++filesRenamed));
  if (view_ != nullptr) view_->fileRenamed(now, before);
}

void Form1::folderPutBack(const std::string& now, const std::string& before) {
  if (view_ != nullptr) view_->folderRenamed(now, before);
}

bool Form1::undoStopWanted() {
  // Only the window's Stop ends an undo early; on the command line it goes
  // on to its end whatever signal came.
  return stopAsked_;
}

Status Form1::forgetRun(bool force, journal::LastRun& forgotten) {
  const std::string folder = File1.path();
  if (busy_) return Status::error("forget run", folder, "busy");
  BusyScope busy(busy_);
  // Held while the journal goes, so that no run begins meanwhile; a folder
  // that is gone has no run to keep out.
  std::unique_ptr<platform::FolderLock> lock;
  if (const Status locked = fileSystem().lockFolder(folder, lock);
      !locked && locked.code() != ENOENT) {
    return Status::error("forget run", folder, locked.reason(), locked.code());
  }
  forgotten = journal::findLastRun(*journals_, folder, index_, others_);
  switch (forgotten.state) {
    case journal::LastRun::State::none:
      return Status::error("forget run", folder, "no journal is kept for this folder", ENOENT);
    case journal::LastRun::State::noJournal:
      return Status::error("forget run", folder, forgotten.reason(), ENOENT);
    case journal::LastRun::State::unfinished:
    case journal::LastRun::State::damaged:
      if (!force) return Status::error("forget run", folder, forgotten.reason());
      break;
    default:
      break;
  }
  return journals_->remove(forgotten.journal);
}

int Form1::filesInEffect(const journal::Contents& contents, int* foldersNamed) {
  const rename::Listing& listing = contents.header.listing;
  const rename::Plan plan = rename::makePlan(listing, contents.header.options);
  const std::unique_ptr<platform::OpenFolder> loaded = fileSystem().openFolder(File2.path());
  // Where each series folder is now: under the name a description gave it.
  const auto folders = run::describedFolders(fileSystem(), File2.path(), plan, contents, *loaded);
  if (foldersNamed != nullptr) *foldersNamed = static_cast<int>(folders.size());
  const std::vector<run::Outcome> outcomes =
      run::judgeRun(fileSystem(), File2.path(), plan, listing.index, contents, folders)
          .progress.outcomes;
  return static_cast<int>(std::count(outcomes.begin(), outcomes.end(), run::Outcome::inEffect));
}

void Form1::offerUnfinishedRun() {
  if (busy_ || view_ == nullptr) return;
  const journal::LastRun last = lastRun();
  if (last.state == journal::LastRun::State::busy) view_->runRefused(last);
  if (last.state != journal::LastRun::State::unfinished) return;
  const std::string text = "The last run on " + File2.path() +
                           " did not finish. Finish it as it was started, undo what it did, or "
                           "cancel and leave the folder as it is?";
  switch (view_->askUnfinishedRun(text)) {
    case Form1View::UnfinishedRunChoice::finish:
      if (const Status s = resumeRun(); !s) {
        view_->showMessage({s.toString(), "ERROR"});
      } else if (!closeAfterWork_ && stopped_ == Work::none) {
        // What the finished run did in all; its failures were told already.
        view_->showMessage({"The run on " + File2.path() +
                                " was finished: " + std::to_string(filesRenamed) + " of " +
                                std::to_string(filesProcessed) + " files renamed or moved in all" +
                                (runFailures.empty() ? "." : "; the failures were listed."),
                            "Run Finished", Message::Icon::information});
      }
      afterWork();
      break;
    case Form1View::UnfinishedRunChoice::undo:
      undoAndTell();
      break;
    case Form1View::UnfinishedRunChoice::cancel:
      break;
  }
}

Form1::UndoOffer Form1::undoOffer() {
  UndoOffer offer;
  if (busy_ || !journaling_ || File2.path().empty()) return offer;
  const std::string nothing = "Nothing to undo on " + File2.path() + ": ";
  const journal::LastRun last = lastRun();
  switch (last.state) {
    case journal::LastRun::State::none:
      offer.message = {nothing + "no run on this folder is on record.", "Undo Run",
                       Message::Icon::information};
      return offer;
    case journal::LastRun::State::noJournal:
      offer.message = {nothing + last.why, "Undo Run", Message::Icon::warning};
      return offer;
    case journal::LastRun::State::damaged:
      offer.message = {last.why, "Cannot Undo", Message::Icon::warning};
      return offer;
    case journal::LastRun::State::busy:
      offer.message = {last.advice(), last.title(), Message::Icon::warning};
      return offer;
    default:
      break;
  }
  journal::Contents contents;
  if (const Status read = journals_->read(last.journal, contents, true); !read) {
    offer.message = {read.toString(), "Cannot Undo", Message::Icon::warning};
    return offer;
  }
  int folders = 0;
  const int files = filesInEffect(contents, &folders);
  if (files == 0 && folders == 0) {
    // The folder was replaced or put back by other means since.
    offer.message = {nothing + "none of the last run's renames is on the disk.", "Undo Run",
                     Message::Icon::information};
    return offer;
  }
  std::string text = "Undo the last run on " + File2.path() + "? It renamed or moved " +
                     std::to_string(files) + (files == 1 ? " file" : " files");
  if (folders > 0) {
    text += " and named " + std::to_string(folders) + (folders == 1 ? " folder" : " folders") +
            " after their description";
  }
  offer.applies = true;
  offer.message = {text + ".", "Undo Run", Message::Icon::warning};
  return offer;
}

void Form1::pressUndo() {
  if (busy_ || view_ == nullptr) return;
  const UndoOffer offer = undoOffer();
  if (!offer.applies) {
    if (!offer.message.text.empty()) view_->showMessage(offer.message);
    return;
  }
  if (view_->confirm(offer.message.text, offer.message.title)) undoAndTell();
}

void Form1::undoAndTell() {
  // Its failures are told in the summary, not in a report of their own.
  const Status undone = undoRun(false);
  if (!undone) {
    view_->showMessage({undone.toString(), "ERROR"});
  } else if (!closeAfterWork_) {
    view_->showMessage(undoSummary());
  }
  afterWork();
}

Message Form1::undoSummary() const {
  const std::string folder = File2.path();
  Message message{{}, "Undo Run", Message::Icon::information, {}};
  std::string& text = message.text;
  text = (stopped_ == Work::undo ? "The undo was stopped. " : std::string()) + "In " + folder +
         ", " + std::to_string(stepsPutBack) + (stepsPutBack == 1 ? " name was" : " names were") +
         " put back";
  if (foldersRemoved > 0) {
    text += " and " + std::to_string(foldersRemoved) +
            (foldersRemoved == 1 ? " series folder" : " series folders") + " removed";
  }
  text += ".";
  if (stopped_ == Work::undo) text += " Press Ctrl+Z to undo the rest.";
  if (runFailures.empty()) return message;
  message.icon = Message::Icon::warning;
  text += "\n\n" + std::to_string(runFailures.size()) +
          " could not be undone; nothing was overwritten:\n" +
          failureList(folder, runFailures, message.details);
  return message;
}

}  // namespace slicery::app
