// The run journal as a user meets it: each run keeps one and holds the
// folder's lock while it works; an interrupted run can be finished and the
// last run undone. Finish and undo work the run's plan out again from what
// the journal recorded and ask the disk, step by step, what took effect.
#include <cerrno>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "app/busy_scope.h"
#include "app/form1.h"

namespace slicery::app {

using platform::JournalContents;
using platform::JournalIntent;
using platform::PathKind;
using platform::Status;

namespace {

constexpr const char* kDefaultFolderBaseName = "Series";

std::string intentKey(JournalIntent::Kind kind, std::string_view from, std::string_view to) {
  std::string key(1, static_cast<char>(kind));
  key.append(from).push_back('\0');
  key.append(to);
  return key;
}

std::unordered_set<std::string> intentsOf(const JournalContents& contents) {
  std::unordered_set<std::string> keys;
  for (const JournalIntent& intent : contents.intents) {
    keys.insert(intentKey(intent.kind, intent.from, intent.to));
  }
  return keys;
}

// The planned files whose step the run recorded as failed.
std::unordered_set<std::uint32_t> failedSteps(const JournalContents& contents) {
  std::unordered_set<std::uint32_t> failed;
  for (const platform::JournalPass& pass : contents.passes) {
    failed.insert(pass.failed.begin(), pass.failed.end());
  }
  return failed;
}

}  // namespace

bool Form1::stopRequested() const {
  return stopAsked_ || (stopFlag_ != nullptr && stopFlag_->load()) || !journalError_;
}

LastRun Form1::lastRun() {
  // Asked without the lock: a run working on the folder comes first.
  if (lock_ == nullptr && fileSystem().folderLockedElsewhere(File2.path())) {
    LastRun busy;
    busy.state = LastRun::State::busy;
    return busy;
  }
  return findLastRun(File2.path(), index_, others_);
}

bool Form1::beginRun(const rename::Plan& plan) {
  refusal_ = {};
  journalError_ = Status::ok();
  if (dryRun_ || finishing_ != nullptr || !journaling_) return true;
  const std::string folder = File2.path();
  const auto refuse = [this](LastRun why) {
    refusal_ = std::move(why);
    lock_.reset();
    if (view_ != nullptr) view_->runRefused(refusal_);
    return false;
  };
  if (const Status locked = fileSystem().lockFolder(folder, lock_); !locked) {
    LastRun busy;
    busy.state = locked.code() == EWOULDBLOCK ? LastRun::State::busy : LastRun::State::noJournal;
    busy.why = "cannot lock the folder: " + locked.reason();
    return refuse(std::move(busy));
  }
  // Asked under the lock: no other run can change the answer now.
  LastRun last = lastRun();
  if (!last.allowsRun()) return refuse(std::move(last));
  // A run that changes nothing keeps the journal of the run before it.
  if (!plan.changesSomething()) return true;

  platform::JournalHeader header;
  header.folder = platform::journalFolderKey(folder);
  header.check1 = plan.options.shortNames;
  header.check2 = plan.options.folders;
  header.check4 = plan.options.describe;
  header.folderBaseName = plan.options.folderBaseName;
  header.seriesCount = plan.options.seriesCount;
  header.list1 = plan.options.list1;
  header.nameLimit = plan.options.nameLimit;
  header.foldsCase = plan.options.foldsCase;
  header.others = others_;
  std::vector<std::string_view> names;
  index_.listing(names, header.links);
  if (const Status created =
          platform::JournalWriter::create(last.journal, header, names, openJournal_, journal_);
      !created) {
    LastRun cannot;
    cannot.state = LastRun::State::noJournal;
    cannot.why = created.toString();
    return refuse(std::move(cannot));
  }
  return true;
}

void Form1::endRun(bool changed) {
  if (journal_ != nullptr) {
    Status closed = journalError_;
    if (closed && !stopRequested()) closed = journal_->finish();
    // The journal a finished run replaced is of no more use: the run being
    // finished changed the folder before it stopped.
    if (finishing_ == nullptr && !changed) {
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
}

void Form1::loadJournalInputs(platform::JournalHeader& header) {
  setCheck(Check1, header.check1 ? 1 : 0);
  setCheck(Check2, header.check2 ? 1 : 0);
  const bool ownWord = header.check2 && header.folderBaseName != kDefaultFolderBaseName;
  if (ownWord) Text1.setText(header.folderBaseName);
  setCheck(Check3, ownWord ? 1 : 0);
  setCheck(Check4, header.check2 && header.check4 ? 1 : 0);
  folderBaseName = header.folderBaseName;
  seriesCount = header.seriesCount;
  List1.clear();
  for (const std::string& series : header.list1) List1.append(series);
  lblseriesnum.setText(std::to_string(seriesCount));
  rename::Listing listing = takeListing(header);
  index_ = std::move(listing.index);
  others_ = std::move(listing.others);
  File2.setPattern("*.ima");
  File2.assign(index_.store(), index_.names());
}

Status Form1::readLastJournal(const char* operation, const char* verb, bool salvage,
                              JournalContents& contents, std::string& file) {
  const std::string folder = File2.path();
  const LastRun last = lastRun();
  switch (last.state) {
    case LastRun::State::none:
      return Status::error(operation, folder, std::string("no run on this folder to ") + verb,
                           ENOENT);
    case LastRun::State::noJournal:
      return Status::error(operation, folder, last.reason(), ENOENT);
    default:
      break;
  }
  file = last.journal;
  if (!last.movedFrom.empty()) {
    // The run is this folder's from now on, wherever it began.
    std::string here;
    if (Status where = platform::journalPathFor(folder, here); !where) return where;
    if (Status moved = platform::moveJournal(file, here); !moved) return moved;
    file = here;
  }
  return platform::readJournal(file, contents, salvage);
}

Status Form1::finishStep(platform::OpenFolder& folder, const std::string& from,
                         const std::string& to, bool leftovers, bool& done) {
  done = false;
  Status status = folder.renameFile(from, to);
  if (status) return status;
  const auto recorded = [&](JournalIntent::Kind kind) {
    return leftovers && intents_.count(intentKey(kind, from, to)) != 0;
  };
  if (status.code() == ENOENT && folder.kind(from) == PathKind::missing &&
      folder.kind(to) != PathKind::missing) {
    done = true;  // taken before the run stopped
    return Status::ok();
  }
  if (status.code() == EEXIST) {
    if (recorded(JournalIntent::Kind::cutMove) && folder.completeCutMove(from, to)) {
      return Status::ok();
    }
    if (recorded(JournalIntent::Kind::placeholder) && folder.removePlaceholder(to)) {
      return folder.renameFile(from, to);
    }
  }
  return status;
}

Form1::JournalScope::~JournalScope() {
  form_.lock_.reset();
  form_.journal_.reset();
  form_.finishing_ = nullptr;
  form_.intents_.clear();
  form_.failed_.clear();
  form_.renamedFolders_.clear();
}

std::vector<const JournalIntent*> Form1::removeFolderPlaceholders(const JournalContents& contents,
                                                                  platform::OpenFolder& loaded) {
  std::vector<const JournalIntent*> both;
  for (const JournalIntent& intent : contents.intents) {
    if (intent.kind == JournalIntent::Kind::folderRenaming &&
        loaded.kind(intent.from) == PathKind::folder &&
        loaded.kind(intent.to) == PathKind::folder && !loaded.removePlaceholder(intent.to)) {
      both.push_back(&intent);
    }
  }
  return both;
}

std::unordered_map<std::string, std::string> Form1::describedFolders(
    const rename::Plan& plan, const JournalContents& contents, platform::OpenFolder& loaded) {
  std::unordered_map<std::string, std::string> described;
  for (const JournalIntent& intent : contents.intents) {
    if (intent.kind == JournalIntent::Kind::folderRenaming &&
        loaded.kind(intent.from) == PathKind::missing &&
        loaded.kind(intent.to) == PathKind::folder) {
      described[intent.from] = intent.to;
    }
  }
  // A renaming the journal lost: the one folder named "<description>_" and
  // the series folder's name, where that name is gone, that was not there
  // before the run.
  std::unordered_map<std::string, std::vector<std::string>> candidates;
  for (const rename::PlannedSeries& s : plan.series) {
    if (s.hasFolder && s.refusal.empty() && described.count(s.folderName) == 0 &&
        loaded.kind(s.folderName) == PathKind::missing) {
      candidates.try_emplace(s.folderName);
    }
  }
  if (candidates.empty()) return described;
  platform::FileSystem::Entries entries;
  if (!fileSystem().listEntries(File2.path(), entries)) return described;
  std::unordered_set<std::string_view> before;
  for (const auto& [name, kind] : contents.header.others) before.insert(name);
  for (const auto& [name, kind] : entries) {
    if (kind != PathKind::folder || before.count(name) != 0) continue;
    for (auto& [folder, found] : candidates) {
      if (name.size() > folder.size() + 1 &&
          name.compare(name.size() - folder.size(), folder.size(), folder) == 0 &&
          name[name.size() - folder.size() - 1] == '_') {
        found.push_back(name);
      }
    }
  }
  for (auto& [folder, found] : candidates) {
    if (found.size() == 1) described[folder] = found.front();
  }
  return described;
}

Status Form1::resumeRun() {
  const std::string folder = File2.path();
  if (busy_) return Status::error("finish run", folder, "busy");
  BusyScope busy(busy_);
  const WorkScope work(*this, Work::run);
  if (const Status locked = fileSystem().lockFolder(folder, lock_); !locked) {
    return Status::error("finish run", folder, locked.reason(), locked.code());
  }
  const JournalScope scope(*this);
  JournalContents contents;
  std::string file;
  if (Status read = readLastJournal("finish run", "finish", false, contents, file); !read) {
    return read;
  }
  if (contents.finished) {
    return Status::error("finish run", folder,
                         "the last run on this folder finished; there is nothing to finish");
  }
  if (Status reopened = platform::JournalWriter::reopen(file, openJournal_, journal_); !reopened) {
    return reopened;
  }
  loadJournalInputs(contents.header);
  intents_ = intentsOf(contents);
  failed_ = failedSteps(contents);
  finishing_ = &contents;
  lbltimetaken.setText("");
  runStartTime = platform::roundHalfToEven(clock_->secondsSinceMidnight());
  IMARenamer();
  return Status::ok();
}

Status Form1::undoRun(bool reportFailures) {
  const std::string folder = File2.path();
  if (busy_) return Status::error("undo run", folder, "busy");
  BusyScope busy(busy_);
  const WorkScope work(*this, Work::undo);
  if (const Status locked = fileSystem().lockFolder(folder, lock_); !locked) {
    return Status::error("undo run", folder, locked.reason(), locked.code());
  }
  const JournalScope scope(*this);
  JournalContents contents;
  std::string file;
  if (Status read = readLastJournal("undo run", "undo", true, contents, file); !read) return read;

  loadJournalInputs(contents.header);
  const rename::Plan plan = rename::makePlan({index_, others_}, planOptionsOf(contents.header));
  intents_ = intentsOf(contents);
  failed_ = failedSteps(contents);
  const std::unique_ptr<platform::OpenFolder> loaded = fileSystem().openFolder(folder);
  runFailures.clear();
  stepsPutBack = 0;
  foldersRemoved = 0;
  // Progress is shown as a run shows it: the steps that may be put back.
  const auto undoable = [&](const rename::PlannedSeries& s, size_t i) {
    return s.refusal.empty() && plan.moves(s, plan.files[i]) && mayHaveLeftovers(plan.files[i], i);
  };
  int steps = 0;
  for (const rename::PlannedSeries& s : plan.series) {
    for (size_t i = s.firstFile; i < s.endFile; ++i) steps += undoable(s, i) ? 1 : 0;
  }
  lbltimetaken.setText("");
  runStartTime = platform::roundHalfToEven(clock_->secondsSinceMidnight());
  prgtotal.setMaximum(steps);
  prgtotal.setValue(0);
  filesProcessed = 0;
  filesRenamed = 0;
  const auto full = [&folder](const std::string& name) { return platform::joinPath(folder, name); };
  const auto fail = [this, &full](const std::string& now, const std::string& before,
                                  std::string reason) {
    runFailures.push_back(
        {full(now), before.empty() ? std::string() : full(before), std::move(reason)});
  };

  // The series folders named after their description; a placeholder of a
  // renaming cut short goes.
  for (const auto& [from, to] : describedFolders(plan, contents, *loaded)) {
    if (const Status back = loaded->renameFolder(to, from); !back) {
      fail(to, from, "cannot be put back: " + back.reason());
    } else {
      ++stepsPutBack;
      if (view_ != nullptr) view_->folderRenamed(full(to), full(from));
    }
  }
  for (const JournalIntent* both : removeFolderPlaceholders(contents, *loaded)) {
    fail(both->to, both->from, "cannot be put back: both names exist");
  }

  // The files, newest step first. A step the run did not take leaves its
  // old name in place, and is left alone.
  // Only the window's Stop ends an undo early; on the command line it goes
  // on to its end whatever signal came.
  for (size_t si = plan.series.size(); si-- > 0 && !stopAsked_;) {
    const rename::PlannedSeries& s = plan.series[si];
    int inSeries = 0;
    for (size_t i = s.firstFile; i < s.endFile; ++i) inSeries += undoable(s, i) ? 1 : 0;
    if (inSeries == 0) continue;
    lblcurrentseries.setText(s.text);
    Label3.setText(s.hasFolder ? full(s.folderName) : std::string());
    PRGSeries.setValue(0);
    PRGSeries.setMaximum(inSeries);
    for (size_t i = s.endFile; i-- > s.firstFile && !stopAsked_;) {
      const rename::PlannedFile& f = plan.files[i];
      // A step that failed is left alone: what stands at its new name is not
      // the run's.
      if (!undoable(s, i)) continue;
      const std::string from(f.oldName);
      const std::string to = plan.target(s, f);
      lblcurrentslice.setText(std::string(f.slice));
      lbloldfilename.setText(f.newName);
      lblnewfilename.setText(f.oldName);
      PRGSeries.setValue(PRGSeries.value() + 1);
      prgtotal.setValue(++filesProcessed);
      Label6.setText(std::to_string(filesProcessed));
      const auto putBack = [&] {
        ++stepsPutBack;
        lbltotalfiles.setText(std::to_string(++filesRenamed));
      };
      const bool cutMove = intents_.count(intentKey(JournalIntent::Kind::cutMove, from, to)) != 0;
      const bool placeholder =
          intents_.count(intentKey(JournalIntent::Kind::placeholder, from, to)) != 0;
      const Status back = loaded->renameFile(to, from);
      if (back) {
        putBack();
        if (view_ != nullptr) view_->fileRenamed(full(to), full(from));
        continue;
      }
      // The new name gone and the old one there: a step never taken.
      if (back.code() == ENOENT && loaded->kind(from) != PathKind::missing) continue;
      if (back.code() == EEXIST) {
        // Both names are there: a move cut short, a placeholder of one, or
        // another file at the old name, which is never replaced.
        if (cutMove && loaded->completeCutMove(to, from)) {
          putBack();
          continue;
        }
        if (placeholder && loaded->removePlaceholder(to)) continue;
        fail(to, from, "cannot be put back: its old name is taken too; neither is replaced");
        continue;
      }
      fail(to, from,
           "cannot be put back: " + (back.code() == ENOENT
                                         ? std::string("the file is at neither its old nor its "
                                                       "new name")
                                         : back.reason()));
    }
  }

  for (LabelModel* label :
       {&lblnewfilename, &lbloldfilename, &lblcurrentslice, &lblcurrentseries, &Label3}) {
    label->setText("");
  }
  // The series folders the run made, once empty; a stopped undo leaves them
  // and the journal for the rest.
  const bool stopped = stopAsked_;
  std::unordered_set<std::string> removed;
  for (const rename::PlannedSeries& s : plan.series) {
    if (stopped || !s.hasFolder || !s.refusal.empty() || s.folderListed ||
        !removed.insert(s.folderName).second || loaded->kind(s.folderName) != PathKind::folder) {
      continue;
    }
    if (const Status gone = loaded->removeEmptyFolder(s.folderName); !gone) {
      fail(s.folderName, {},
           "the series folder made by the run cannot be removed: " + gone.reason());
    } else {
      ++foldersRemoved;
    }
  }
  if (!contents.damage.empty()) {
    runFailures.push_back({file,
                           {},
                           "the journal is damaged (" + contents.damage +
                               "); what it held after that could not be checked, "
                               "and it is kept"});
  } else if (runFailures.empty() && !stopped) {
    if (Status gone = platform::removeJournal(file); !gone) {
      runFailures.push_back({file, {}, gone.toString()});
    }
  }
  if (reportFailures && !runFailures.empty() && view_ != nullptr) view_->runFailed(runFailures);
  // The folder as it now is, with the undo's counts as a run leaves them.
  const int seriesDone = PRGSeries.value();
  File1.setFileName(folder);
  IMADragDrop();
  prgtotal.setMaximum(steps);
  prgtotal.setValue(filesProcessed);
  PRGSeries.setValue(seriesDone);
  Label6.setText(std::to_string(filesProcessed));
  lbltotalfiles.setText(std::to_string(filesRenamed));
  showTimeTaken();
  return Status::ok();
}

Status Form1::forgetRun(bool force, LastRun& forgotten) {
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
  forgotten = findLastRun(folder, index_, others_);
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
  return platform::removeJournal(forgotten.journal);
}

int Form1::filesInEffect(const JournalContents& contents, int* foldersNamed) {
  const rename::Plan plan =
      rename::makePlan(listingOf(contents.header), planOptionsOf(contents.header));
  const std::unique_ptr<platform::OpenFolder> loaded = fileSystem().openFolder(File2.path());
  // Where each series folder is now: under the name a description gave it.
  const auto folders = describedFolders(plan, contents, *loaded);
  if (foldersNamed != nullptr) *foldersNamed = static_cast<int>(folders.size());
  const std::unordered_set<std::uint32_t> failed = failedSteps(contents);
  int files = 0;
  for (const rename::PlannedSeries& s : plan.series) {
    if (!s.refusal.empty()) continue;
    const auto renamed = folders.find(s.folderName);
    const std::string folder = renamed == folders.end() ? s.folderName : renamed->second;
    for (size_t i = s.firstFile; i < s.endFile; ++i) {
      const rename::PlannedFile& f = plan.files[i];
      if (!plan.moves(s, f) || f.foreseen != rename::Foresight::none ||
          failed.count(static_cast<std::uint32_t>(i)) != 0) {
        continue;
      }
      const std::string now =
          s.hasFolder ? platform::joinPath(folder, f.newName) : std::string(f.newName);
      if (loaded->kind(now) != PathKind::missing &&
          loaded->kind(std::string(f.oldName)) == PathKind::missing) {
        ++files;
      }
    }
  }
  return files;
}

void Form1::offerUnfinishedRun() {
  if (busy_ || view_ == nullptr) return;
  const LastRun last = lastRun();
  if (last.state == LastRun::State::busy) view_->runRefused(last);
  if (last.state != LastRun::State::unfinished) return;
  const std::string text = "The last run on " + File2.path() +
                           " did not finish. Finish it as it was started, undo what it did, or "
                           "cancel and leave the folder as it is?";
  switch (view_->askUnfinishedRun(text)) {
    case Form1View::UnfinishedRunChoice::finish:
      if (const Status s = resumeRun(); !s) view_->showMessage({s.toString(), "ERROR"});
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
  const LastRun last = lastRun();
  switch (last.state) {
    case LastRun::State::none:
      offer.message = {nothing + "no run on this folder is on record.", "Undo Run",
                       Message::Icon::information};
      return offer;
    case LastRun::State::noJournal:
      offer.message = {nothing + last.why, "Undo Run", Message::Icon::warning};
      return offer;
    case LastRun::State::damaged:
      offer.message = {last.why, "Cannot Undo", Message::Icon::warning};
      return offer;
    case LastRun::State::busy:
      offer.message = {last.advice(), last.title(), Message::Icon::warning};
      return offer;
    default:
      break;
  }
  JournalContents contents;
  if (const Status read = platform::readJournal(last.journal, contents, true); !read) {
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
