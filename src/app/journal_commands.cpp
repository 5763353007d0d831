// The run journal as a user meets it: each run keeps one, an interrupted run
// can be finished and the last run undone. The journal itself is written
// through RunJournal, the file system every run works through.
#include <string>

#include "app/busy_scope.h"
#include "app/form1.h"
#include "rename/new_name.h"

namespace slicery::app {

using platform::JournalContents;
using platform::JournalStep;
using platform::Status;

namespace {

constexpr const char* kDefaultFolderBaseName = "Series";

}  // namespace

bool Form1::stopRequested() const {
  if (journalFs_.mode() == RunJournal::Mode::recognise) return false;
  return (stopFlag_ != nullptr && stopFlag_->load()) || !journalFs_.writeError();
}

Status Form1::readJournal(JournalContents& contents, std::string& file, const char* operation,
                          const char* verb) {
  file = platform::journalPathFor(File2.path());
  Status read = platform::readJournal(file, platform::journalFolderKey(File2.path()), contents);
  if (read.code() == ENOENT && verb != nullptr) {
    return Status::error(operation, File2.path(), std::string("no run on this folder to ") + verb,
                         ENOENT);
  }
  return read;
}

JournalState Form1::journalState(std::string* why) {
  return platform::journalState(platform::journalPathFor(File2.path()),
                                platform::journalFolderKey(File2.path()), why);
}

bool Form1::beginRunJournal() {
  if (!journaling_ || journalFs_.mode() != RunJournal::Mode::off) return true;
  const std::string folder = File2.path();
  std::string why;
  switch (journalState(&why)) {
    case JournalState::unfinished:
      if (view_ != nullptr) {
        view_->showMessage(
            {"The last run on this folder did not finish. Load the folder again "
             "to finish or undo it first.",
             "Unfinished Run", Message::Icon::warning});
      }
      return false;
    case JournalState::damaged:
      if (view_ != nullptr) {
        view_->showMessage(
            {"The journal of the last run on this folder cannot be read, so it is "
             "not known whether that run finished: " +
                 why + ". Remove the journal to rename again.",
             "Unfinished Run", Message::Icon::warning});
      }
      return false;
    case JournalState::none:
    case JournalState::finished:
      break;
  }

  platform::JournalHeader header;
  header.folder = platform::journalFolderKey(folder);
  header.check1 = Check1.ticked();
  header.check2 = Check2.ticked();
  header.check4 = Check4.ticked();
  header.folderBaseName = folderBaseName;
  header.seriesCount = seriesCount;
  for (int i = 0; i < List1.count(); ++i) header.list1.push_back(List1.entry(i));
  // The series folders there before the run: undo leaves them, and a
  // replay knows they were not made by the run.
  if (Check2.ticked()) {
    for (const std::string& series : header.list1) {
      const std::string padded = rename::padded(series, rename::padWidth(seriesCount, series));
      if (!rename::seriesGetsFolder(padded)) continue;
      const std::string name = folderBaseName + "_S" + padded;
      std::string target;
      if (fs_->entryKind(platform::joinPath(folder, name), target) != platform::PathKind::missing) {
        header.existingFolders.push_back(name);
      }
    }
  }
  std::unique_ptr<platform::JournalWriter> writer;
  const std::string file = platform::journalPathFor(folder);
  if (const Status created = platform::JournalWriter::create(file, header, index_.names(), writer);
      !created) {
    runFailures.push_back(
        {folder, {}, "nothing renamed: cannot write the run journal: " + created.toString()});
    if (view_ != nullptr) view_->runFailed(runFailures);
    return false;
  }
  journalFs_.start(RunJournal::Mode::record, folder, std::move(writer), nullptr);
  return true;
}

void Form1::endRunJournal() {
  const RunJournal::Mode mode = journalFs_.mode();
  if (mode != RunJournal::Mode::record && mode != RunJournal::Mode::replay) return;
  const bool finished = !stopRequested();
  if (const Status closed = journalFs_.close(finished); !closed) {
    runFailures.push_back({File2.path(), {}, "cannot write the run journal: " + closed.toString()});
  }
}

void Form1::loadJournalInputs(const platform::JournalHeader& header) {
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
  // The journal keeps names only: each may be a link, so a replay looks at
  // each before it moves it, as the first run did for its links.
  platform::FileSystem::Entries names;
  names.reserve(header.names.size());
  for (const std::string& name : header.names) names.emplace_back(name, platform::PathKind::link);
  index_.assign(std::move(names));
  File2.setPattern("*.ima");
  File2.assign(index_.store(), index_.names());
}

Status Form1::resumeRun() {
  if (busy_) return Status::error("finish run", File2.path(), "busy");
  BusyScope busy(busy_);
  JournalContents contents;
  std::string file;
  if (Status read = readJournal(contents, file, "finish run", "finish"); !read) return read;
  if (contents.finished) {
    return Status::error("finish run", File2.path(),
                         "the last run on this folder finished; there is nothing to finish");
  }
  std::unique_ptr<platform::JournalWriter> writer;
  if (Status reopened = platform::JournalWriter::reopen(file, writer); !reopened) return reopened;

  loadJournalInputs(contents.header);
  journalFs_.start(RunJournal::Mode::replay, File2.path(), std::move(writer), &contents);
  const bool rereads = startRereads_;
  startRereads_ = false;
  lbltimetaken.setText("");
  runStartTime = platform::roundHalfToEven(clock_->secondsSinceMidnight());
  IMARenamer();
  startRereads_ = rereads;
  return Status::ok();
}

Status Form1::undoRun() {
  if (busy_) return Status::error("undo run", File2.path(), "busy");
  BusyScope busy(busy_);
  JournalContents contents;
  std::string file;
  if (Status read = readJournal(contents, file, "undo run", "undo"); !read) return read;

  // Which steps took effect: the run once more, recognising and doing nothing.
  loadJournalInputs(contents.header);
  journalFs_.start(RunJournal::Mode::recognise, File2.path(), nullptr, &contents);
  Form1View* view = view_;
  setView(nullptr);
  const bool rereads = startRereads_;
  startRereads_ = false;
  IMARenamer();
  startRereads_ = rereads;
  setView(view);
  const std::vector<JournalStep> steps = journalFs_.taken();
  journalFs_.close(false);

  platform::FileSystem& fs = *fs_;
  const auto present = [&fs](const std::string& path) {
    std::string target;
    return fs.entryKind(path, target) != platform::PathKind::missing;
  };
  runFailures.clear();
  stepsPutBack = 0;
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    const std::string& from = step->from;
    const std::string& to = step->to;
    switch (step->kind) {
      case JournalStep::Kind::fileRenamed:
      case JournalStep::Kind::folderRenaming: {
        const bool isFile = step->kind == JournalStep::Kind::fileRenamed;
        const Status back = isFile ? fs.renameFile(to, from) : fs.renameFolder(to, from);
        if (back) {
          ++stepsPutBack;
          if (view_ != nullptr) {
            if (isFile) {
              view_->fileRenamed(to, from);
            } else {
              view_->folderRenamed(to, from);
            }
          }
        } else if (!present(from) || present(to)) {
          // (Old name there and new name gone: put back by an earlier undo.)
          runFailures.push_back({to, from, "cannot be put back: " + back.reason()});
        }
        break;
      }
      case JournalStep::Kind::folderMade:
        if (!present(to)) break;
        if (const Status removed = fs.removeEmptyFolder(to); !removed) {
          runFailures.push_back(
              {to, {}, "the series folder made by the run cannot be removed: " + removed.reason()});
        }
        break;
    }
  }
  if (runFailures.empty()) {
    if (Status removed = platform::removeJournal(file); !removed) {
      runFailures.push_back({file, {}, removed.toString()});
    }
  }
  if (!runFailures.empty() && view_ != nullptr) view_->runFailed(runFailures);
  // The folder as it now is.
  File1.setFileName(File2.path());
  IMADragDrop();
  return Status::ok();
}

int Form1::lastRunFileCount() {
  JournalContents contents;
  std::string file;
  if (!readJournal(contents, file)) return 0;
  int files = 0;
  for (const JournalStep& step : contents.steps) {
    if (step.kind == JournalStep::Kind::fileRenamed) ++files;
  }
  return files;
}

void Form1::offerUnfinishedRun() {
  if (busy_ || view_ == nullptr || journalState() != JournalState::unfinished) return;
  const std::string text = "The last run on " + File2.path() +
                           " did not finish. Finish it as it was started, undo what it did, or "
                           "cancel and leave the folder as it is?";
  switch (view_->askUnfinishedRun(text)) {
    case Form1View::UnfinishedRunChoice::finish:
      if (const Status s = resumeRun(); !s) view_->showMessage({s.toString(), "ERROR"});
      break;
    case Form1View::UnfinishedRunChoice::undo:
      if (const Status s = undoRun(); !s) view_->showMessage({s.toString(), "ERROR"});
      break;
    case Form1View::UnfinishedRunChoice::cancel:
      break;
  }
}

void Form1::pressUndo() {
  if (busy_ || !journaling_ || view_ == nullptr || File2.path().empty()) return;
  std::string why;
  const JournalState state = journalState(&why);
  if (state == JournalState::none) return;
  if (state == JournalState::damaged) {
    view_->showMessage({why, "Cannot Undo", Message::Icon::warning});
    return;
  }
  const int files = lastRunFileCount();
  const std::string text = "Undo the last run on " + File2.path() + "? It renamed or moved " +
                           std::to_string(files) + (files == 1 ? " file." : " files.");
  if (!view_->confirm(text, "Undo Run")) return;
  if (const Status s = undoRun(); !s) view_->showMessage({s.toString(), "ERROR"});
}

}  // namespace slicery::app
