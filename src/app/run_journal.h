// RunJournal: the file system a rename run works through. It passes every
// operation on to the real one and, while a journal is open, keeps the
// journal in step with the run:
//  - record: each folder made and file renamed is appended after it
//    succeeded, each folder rename before it is tried (and flushed, since
//    only the journal can tell where a renamed folder went);
//  - replay (finishing a run): the run is done again from the journal's
//    inputs; a step the journal holds is taken as done without touching the
//    disk, a later one whose old name is gone and new name present is taken
//    as done (a step after the last flush), any other is done now;
//  - recognise (before an undo): as replay, but nothing is done: a step
//    that did not take effect fails, so the run follows what the disk holds.
// In recognise mode it keeps the steps that took effect, in run order.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/file_system.h"
#include "platform/journal.h"

namespace slicery::app {

class RunJournal : public platform::FileSystem {
 public:
  enum class Mode { off, record, replay, recognise };

  explicit RunJournal(platform::FileSystem& base) : base_(&base) {}

  // Opens a mode over `folder`. `writer` receives new records (none in
  // recognise); `journal` is what an earlier run left (replay, recognise).
  void start(Mode mode, std::string folder, std::unique_ptr<platform::JournalWriter> writer,
             const platform::JournalContents* journal);
  // Closes the journal: with an end record when `finished`, else flushed
  // so it can be finished later. Back to passing operations on.
  platform::Status close(bool finished);

  Mode mode() const { return mode_; }
  platform::FileSystem& base() { return *base_; }
  // The steps that took effect, in run order, with full paths (recognise).
  const std::vector<platform::JournalStep>& taken() const { return taken_; }
  // The first failure to write the journal; the run stops at it.
  const platform::Status& writeError() const { return writeError_; }

  platform::PathKind kindOf(const std::string& path) override;
  platform::PathKind entryKind(const std::string& path, std::string& linkTarget) override;
  long nameLimit(const std::string& folder) override;
  platform::Status listFiles(const std::string& folder, const platform::NameFilter& keep,
                             std::vector<std::string>& names) override;
  platform::Status listEntries(const std::string& folder, Entries& entries) override;
  platform::Status listMatching(const std::string& folder, const std::string& pattern,
                                std::vector<std::string>& names) override;
  platform::Status makeFolder(const std::string& path) override;
  platform::Status renameFile(const std::string& from, const std::string& to) override;
  platform::Status renameFolder(const std::string& from, const std::string& to) override;
  platform::Status removeEmptyFolder(const std::string& path) override;
  platform::Status openForReading(const std::string& path,
                                  std::unique_ptr<platform::ReadableFile>& file) override;
  // While recording (or off), the base's own open folder with each step
  // journaled, so a run keeps its renames on the folder's descriptor; a
  // replay goes through the paths above.
  std::unique_ptr<platform::OpenFolder> openFolder(const std::string& path) override;

 private:
  class RecordingFolder;
  // `path` relative to the folder, or empty when outside it.
  std::string relative(const std::string& path) const;
  // Where `path` is now: under a series folder's new name once that folder
  // was renamed.
  std::string now(const std::string& path) const;
  static std::string key(platform::JournalStep::Kind kind, const std::string& from,
                         const std::string& to);
  bool journaled(platform::JournalStep::Kind kind, const std::string& from,
                 const std::string& to) const;
  // A step that took effect: kept, and written unless the journal has it.
  void tookEffect(platform::JournalStep::Kind kind, const std::string& from, const std::string& to,
                  bool write);
  void write(platform::JournalStep::Kind kind, std::string_view from, std::string_view to,
             bool flush);
  // What stands at `path` itself: a link is told as a link, not followed.
  platform::PathKind entryAt(const std::string& path);

  platform::FileSystem* base_;
  Mode mode_ = Mode::off;
  std::string folder_;
  std::unique_ptr<platform::JournalWriter> writer_;
  std::unordered_set<std::string> journaled_;
  std::unordered_set<std::string> existingFolders_;    // relative
  std::map<std::string, std::string> renamedFolders_;  // relative old -> new
  std::unordered_set<std::string> foldersMade_;        // relative, taken in this mode
  std::vector<platform::JournalStep> taken_;
  platform::Status writeError_;
  int unflushed_ = 0;
  std::chrono::steady_clock::time_point lastFlush_;
};

}  // namespace slicery::app
