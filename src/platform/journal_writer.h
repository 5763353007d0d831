// JournalWriter: writes a run's journal (journal.h) over an append-only file,
// so that a test can make any write or flush fail.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/append_file.h"
#include "platform/journal.h"

namespace slicery::platform {

class JournalWriter {
 public:
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  // Writes a journal of `header` with `names` as its names aside, flushes
  // it, and puts it in the place of any journal at `file`, which is kept
  // until keepPrevious() or discardPrevious() decides.
  static Status create(const std::string& file, const JournalHeader& header,
                       const std::vector<std::string_view>& names, const AppendFileOpener& open,
                       std::unique_ptr<JournalWriter>& writer);
  // Goes on writing an existing journal after its last whole record.
  static Status reopen(const std::string& file, const AppendFileOpener& open,
                       std::unique_ptr<JournalWriter>& writer);

  // Records a step before it is taken: written at once, and flushed to the
  // disk too when `flush`.
  Status intent(JournalIntent::Kind kind, std::string_view from, std::string_view to, bool flush);
  Status pass(const JournalPass& outcome);
  // Records a step that failed, as it failed (not flushed).
  Status failure(std::uint32_t file, std::string_view reason);
  // Records that a finish or an undo begins, flushed before its first change.
  Status command(JournalCommand command);
  // Writes the end record (without waiting for the disk).
  Status finish();
  // The run changed nothing: the journal before it takes its place again.
  // The writer takes no record after it.
  Status keepPrevious();
  // The run changed something: the journal before it goes.
  void discardPrevious();
  const std::string& path() const { return path_; }

 private:
  JournalWriter(std::unique_ptr<AppendFile> file, std::string path)
      : file_(std::move(file)), path_(std::move(path)) {}
  Status write(bool flush);

  std::unique_ptr<AppendFile> file_;
  std::string path_;
  std::string buffer_;
};

}  // namespace slicery::platform
