#include "app/run_journal.h"

#include <cerrno>

namespace slicery::app {

using platform::JournalStep;
using platform::PathKind;
using platform::Status;

namespace {
// Outcome records between two flushes, and the least time between them: on
// a slow disk a flush per this many steps, on a fast one (where a flush
// costs most, set against the renames) at most one a second. Steps after
// the last flush are told from the folder, so this bounds cost, not safety.
constexpr int kFlushEvery = 4096;
constexpr auto kFlushInterval = std::chrono::seconds(1);
constexpr int kClockEvery = 256;
}  // namespace

void RunJournal::start(Mode mode, std::string folder,
                       std::unique_ptr<platform::JournalWriter> writer,
                       const platform::JournalContents* journal) {
  mode_ = mode;
  folder_ = std::move(folder);
  writer_ = std::move(writer);
  journaled_.clear();
  existingFolders_.clear();
  renamedFolders_.clear();
  foldersMade_.clear();
  taken_.clear();
  writeError_ = Status::ok();
  unflushed_ = 0;
  lastFlush_ = std::chrono::steady_clock::now();
  if (journal == nullptr) return;
  existingFolders_.insert(journal->header.existingFolders.begin(),
                          journal->header.existingFolders.end());
  for (const JournalStep& step : journal->steps) {
    journaled_.insert(key(step.kind, step.from, step.to));
    // A folder rename is journaled before it is tried: the disk tells
    // whether it took effect.
    if (step.kind == JournalStep::Kind::folderRenaming &&
        base_->kindOf(platform::joinPath(folder_, step.from)) == PathKind::missing &&
        base_->kindOf(platform::joinPath(folder_, step.to)) == PathKind::folder) {
      renamedFolders_[step.from] = step.to;
    }
  }
}

Status RunJournal::close(bool finished) {
  Status status = writeError_;
  if (writer_ != nullptr) {
    const Status closed = finished ? writer_->finish() : writer_->sync();
    if (status && !closed) status = closed;
  }
  writer_.reset();
  mode_ = Mode::off;
  journaled_.clear();
  renamedFolders_.clear();
  return status;
}

std::string RunJournal::relative(const std::string& path) const {
  const std::string prefix = platform::joinPath(folder_, "");
  if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0) {
    return path.substr(prefix.size());
  }
  return {};
}

std::string RunJournal::now(const std::string& path) const {
  if (renamedFolders_.empty()) return path;
  const std::string rel = relative(path);
  const size_t slash = rel.find('/');
  const auto found = renamedFolders_.find(rel.substr(0, slash));
  if (rel.empty() || found == renamedFolders_.end()) return path;
  return platform::joinPath(folder_, found->second) +
         (slash == std::string::npos ? std::string() : rel.substr(slash));
}

std::string RunJournal::key(JournalStep::Kind kind, const std::string& from,
                            const std::string& to) {
  std::string k(1, static_cast<char>(kind));
  k += from;
  k.push_back('\0');
  k += to;
  return k;
}

bool RunJournal::journaled(JournalStep::Kind kind, const std::string& from,
                           const std::string& to) const {
  return journaled_.count(key(kind, from, to)) != 0;
}

void RunJournal::write(JournalStep::Kind kind, std::string_view from, std::string_view to,
                       bool flush) {
  if (writer_ == nullptr || !writeError_) return;
  Status status = writer_->append(kind, from, to);
  // Once enough steps are gathered, the clock is asked only every so often.
  if (status && (flush || (++unflushed_ >= kFlushEvery && unflushed_ % kClockEvery == 0 &&
                           std::chrono::steady_clock::now() - lastFlush_ >= kFlushInterval))) {
    status = writer_->sync();
    unflushed_ = 0;
    lastFlush_ = std::chrono::steady_clock::now();
  }
  if (!status) writeError_ = status;
}

void RunJournal::tookEffect(JournalStep::Kind kind, const std::string& from, const std::string& to,
                            bool writeIt) {
  if (writeIt) write(kind, relative(from), relative(to), false);
  // Only an undo asks which steps took effect.
  if (mode_ == Mode::recognise) taken_.push_back({kind, from, to});
}

PathKind RunJournal::entryAt(const std::string& path) {
  std::string target;
  return base_->entryKind(path, target);
}

PathKind RunJournal::kindOf(const std::string& path) {
  return base_->kindOf(now(path));
}

PathKind RunJournal::entryKind(const std::string& path, std::string& linkTarget) {
  return base_->entryKind(now(path), linkTarget);
}

long RunJournal::nameLimit(const std::string& folder) {
  return base_->nameLimit(now(folder));
}

Status RunJournal::listFiles(const std::string& folder, const platform::NameFilter& keep,
                             std::vector<std::string>& names) {
  return base_->listFiles(now(folder), keep, names);
}

Status RunJournal::listEntries(const std::string& folder, Entries& entries) {
  return base_->listEntries(now(folder), entries);
}

Status RunJournal::listMatching(const std::string& folder, const std::string& pattern,
                                std::vector<std::string>& names) {
  return base_->listMatching(now(folder), pattern, names);
}

Status RunJournal::openForReading(const std::string& path,
                                  std::unique_ptr<platform::ReadableFile>& file) {
  return base_->openForReading(now(path), file);
}

Status RunJournal::removeEmptyFolder(const std::string& path) {
  return base_->removeEmptyFolder(path);
}

class RunJournal::RecordingFolder : public platform::OpenFolder {
 public:
  RecordingFolder(RunJournal& journal, std::unique_ptr<platform::OpenFolder> base, std::string path)
      : journal_(journal), base_(std::move(base)), path_(std::move(path)) {}

  Status renameFile(const std::string& from, const std::string& to) override {
    Status renamed = base_->renameFile(from, to);
    if (renamed && from != to) recorded(JournalStep::Kind::fileRenamed, from, to);
    return renamed;
  }
  Status makeFolder(const std::string& name) override {
    Status made = base_->makeFolder(name);
    if (made) recorded(JournalStep::Kind::folderMade, {}, name);
    return made;
  }

 private:
  // Names relative to the open folder are those the journal keeps when it
  // is the journal's own folder, as it is for a run.
  void recorded(JournalStep::Kind kind, const std::string& from, const std::string& to) {
    if (journal_.mode_ != Mode::record) return;
    if (path_ == journal_.folder_) {
      journal_.write(kind, from, to, false);
    } else {
      journal_.tookEffect(kind, from.empty() ? from : platform::joinPath(path_, from),
                          platform::joinPath(path_, to), true);
    }
  }

  RunJournal& journal_;
  std::unique_ptr<platform::OpenFolder> base_;
  std::string path_;
};

std::unique_ptr<platform::OpenFolder> RunJournal::openFolder(const std::string& path) {
  if (mode_ != Mode::off && mode_ != Mode::record) return FileSystem::openFolder(path);
  return std::make_unique<RecordingFolder>(*this, base_->openFolder(path), path);
}

Status RunJournal::makeFolder(const std::string& path) {
  constexpr auto kind = JournalStep::Kind::folderMade;
  if (mode_ == Mode::off) return base_->makeFolder(path);
  const std::string rel = relative(path);
  if (mode_ != Mode::record) {
    // A folder asked for again (a series of a second study) was there by
    // then, as it was in the run: made once, so undone once, when empty.
    if (foldersMade_.count(rel) != 0) return Status::systemError("make folder", path, EEXIST);
    // Only a real folder can be the one the run made: a link put in its
    // place since could lead out of the loaded folder.
    const bool folderThere = entryAt(now(path)) == PathKind::folder;
    if (folderThere && journaled(kind, {}, rel)) {
      foldersMade_.insert(rel);
      tookEffect(kind, {}, path, false);
      return Status::ok();
    }
    if (folderThere && existingFolders_.count(rel) == 0) {
      foldersMade_.insert(rel);
      tookEffect(kind, {}, path, mode_ == Mode::replay);
      return Status::ok();
    }
    if (mode_ == Mode::recognise) return Status::systemError("make folder", path, ENOENT);
  }
  Status made = base_->makeFolder(now(path));
  if (made) {
    foldersMade_.insert(rel);
    tookEffect(kind, {}, path, true);
  }
  return made;
}

Status RunJournal::renameFile(const std::string& from, const std::string& to) {
  constexpr auto kind = JournalStep::Kind::fileRenamed;
  if (mode_ == Mode::off || from == to) return base_->renameFile(from, to);
  if (mode_ != Mode::record) {
    if (journaled(kind, relative(from), relative(to))) {
      tookEffect(kind, from, to, false);
      return Status::ok();
    }
    if (entryAt(now(from)) == PathKind::missing && entryAt(now(to)) != PathKind::missing) {
      tookEffect(kind, from, to, mode_ == Mode::replay);
      return Status::ok();
    }
    if (mode_ == Mode::recognise) return Status::systemError("rename", from, ENOENT, to);
  }
  Status renamed = base_->renameFile(now(from), now(to));
  if (renamed) tookEffect(kind, from, to, true);
  return renamed;
}

Status RunJournal::renameFolder(const std::string& from, const std::string& to) {
  constexpr auto kind = JournalStep::Kind::folderRenaming;
  if (mode_ == Mode::off || from == to) return base_->renameFolder(from, to);
  const std::string relFrom = relative(from);
  const std::string relTo = relative(to);
  if (mode_ != Mode::record) {
    if (const auto found = renamedFolders_.find(relFrom);
        found != renamedFolders_.end() && found->second == relTo) {
      if (mode_ == Mode::recognise) taken_.push_back({kind, from, to});
      return Status::ok();
    }
    if (mode_ == Mode::recognise) return Status::systemError("rename folder", from, ENOENT, to);
  }
  if (!journaled(kind, relFrom, relTo)) write(kind, relFrom, relTo, true);
  if (!writeError_) return writeError_;
  return base_->renameFolder(from, to);
}

}  // namespace slicery::app
