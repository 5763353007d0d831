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
#include "run/facts.h"
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

journal::LastRun Form1::lastRun() {
  return facts_.lastRun(File2.path(), listing_);
}

bool Form1::beginRun(const rename::Plan& plan) {
  refusal_ = {};
  journalError_ = Status::ok();
  if (dryRun_ || !journaling_) return true;
  if (facts_.beginRun(File2.path(), listing_, plan, refusal_, journal_)) return true;
  if (view_ != nullptr) view_->runRefused(refusal_);
  return false;
}

void Form1::endRun(bool changed) {
  if (journal_ != nullptr) {
    const Status closed = run::closeJournal(*journal_, journalError_ && !stopRequested(), changed);
    if (journalError_ && !closed) journalError_ = closed;
    if (!journalError_) {
      runFailures.push_back({File2.path(),
                             {},
                             "cannot write the run journal: " + journalError_.toString() +
                                 "; the run stopped there and can be finished "
                                 "or undone"});
    }
    journal_.reset();
  }
  facts_.release();
}

void Form1::loadJournalInputs(const journal::Header& header, bool names) {
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
  if (!names) return;
  listing_.index = header.listing.index;
  listing_.others = header.listing.others;
  File2.setPattern("*.ima");
  File2.assign(listing_.index.store(), listing_.index.names());
}

Form1::JournalScope::~JournalScope() {
  form_.facts_.release();
  form_.journal_.reset();
}

Status Form1::resumeRun() {
  const std::string folder = File2.path();
  if (busy_) return Status::error("finish run", folder, "busy");
  BusyScope busy(busy_);
  const WorkScope work(*this, Work::run);
  const JournalScope scope(*this);
  journal::Contents contents;
  if (Status begun = facts_.beginFinish(folder, listing_, contents, journal_); !begun) {
    return begun;
  }
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
  const JournalScope scope(*this);
  run::Undone undone;
  if (Status s = facts_.undoLastRun(folder, listing_, *this, undone); !s) return s;
  stepsPutBack = undone.putBack;
  foldersRemoved = undone.foldersRemoved;
  runFailures = std::move(undone.failures);
  for (LabelModel* label :
       {&lblnewfilename, &lbloldfilename, &lblcurrentslice, &lblcurrentseries, &Label3}) {
    label->setText("");
  }
  if (reportFailures && !runFailures.empty() && view_ != nullptr) view_->runFailed(runFailures);
  // The folder as it now is, with the undo's counts as a run leaves them.
  const int seriesDone = PRGSeries.value();
  File1.setFileName(folder);
  IMADragDrop();
  prgtotal.setMaximum(undone.steps);
  prgtotal.setValue(filesProcessed);
  PRGSeries.setValue(seriesDone);
  Label6.setText(std::to_string(filesProcessed));
  lbltotalfiles.setText(std::to_string(filesRenamed));
  showTimeTaken();
  return Status::ok();
}

void Form1::undoRead(const journal::Header& run) {
  // The window shows the options of the run it undoes; the folder is read
  // again once the undo is over, so the run's names are not copied.
  loadJournalInputs(run, false);
  runFailures.clear();
  stepsPutBack = 0;
  foldersRemoved = 0;
  lbltimetaken.setText("");
  runStartTime = platform::roundHalfToEven(clock_->secondsSinceMidnight());
  filesProcessed = 0;
  filesRenamed = 0;
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
  return facts_.forget(folder, listing_, force, forgotten);
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
  if (const Status read = facts_.journals().read(last.journal, contents, true); !read) {
    offer.message = {read.toString(), "Cannot Undo", Message::Icon::warning};
    return offer;
  }
  int folders = 0;
  const int files = run::filesInEffect(fileSystem(), File2.path(), contents, &folders);
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
