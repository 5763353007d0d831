// Writer: writes a run's journal (journal.h) into a Store (store.h), over an
// append-only file, so that a test can make any write or flush fail.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "journal/journal.h"
#include "platform/append_file.h"

namespace slicery::journal {

class Store;

class Writer;

// Takes a chore to do later, on a thread of its own.
using Later = std::function<void(std::function<void()> chore)>;

// How a batch takes the journals of the exams it makes ready: each written
// aside, for Writer::placeTogether() to put in place with the others, and
// the journal each replaces removed by `later`, the batch's own thread, once
// its run no longer needs it.
struct Aside {
  std::vector<Writer*> writers;
  Later later;
};

class Writer {
 public:
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Writes a journal of `header` aside (its studies worked out from its
  // names), flushes it, and puts it in the place of any journal at `file`,
  // which is kept until keepPrevious() or discardPrevious() decides.
  static platform::Status create(Store& store, const std::string& file, const Header& header,
                                 std::unique_ptr<Writer>& writer);
  // As create(), but the journal stays aside, not yet flushed, until
  // placeTogether() puts it in its place. Until then no step may be taken:
  // a crash would find no journal of it.
  static platform::Status writeAside(Store& store, const std::string& file, const Header& header,
                                     std::unique_ptr<Writer>& writer);
  // Flushes the journals written aside and puts each in its place, as
  // create() does, sharing the disk's waits among them. Returns, for each,
  // whether it is in place; one that is not is gone, and its writer takes
  // no record.
  static std::vector<platform::Status> placeTogether(const std::vector<Writer*>& writers);
  bool placed() const { return path_ == target_; }
  // Goes on writing an existing journal after its last whole record.
  static platform::Status reopen(Store& store, const std::string& file,
                                 std::unique_ptr<Writer>& writer);

  // Records a step before it is taken: written at once, and flushed to the
  // disk too when `flush`.
  platform::Status intent(Intent::Kind kind, std::string_view from, std::string_view to,
                          bool flush);
  // Records a series pass's outcome, as earlier runs did after each series.
  // A run writes none now, as each failed step has a record of its own
  // (failure()); journals that hold it are still read, and tests make such
  // journals with it.
  platform::Status pass(const Pass& outcome);
  // Records a step that failed, as it failed (not flushed).
  platform::Status failure(std::uint32_t file, std::string_view reason);
  // Records that a finish or an undo begins, flushed before its first change.
  platform::Status command(Command command);
  // Writes the end record (without waiting for the disk).
  platform::Status finish();
  // The run changed nothing: the journal before it takes its place again.
  // The writer takes no record after it.
  platform::Status keepPrevious();
  // The run changed something: the journal before it goes. Given `later`,
  // it is renamed out of the way at once and removed there: a removal can
  // wait for the disk (one that discards freed blocks at once), a rename
  // seldom does.
  void discardPrevious();
  void removeLater(Later later) { later_ = std::move(later); }
  const std::string& path() const { return path_; }

 private:
  Writer(Store& store, std::unique_ptr<platform::AppendFile> file, std::string path)
      : store_(store), file_(std::move(file)), path_(std::move(path)), target_(path_) {}
  platform::Status write(bool flush);
  // Flushes the journal written aside and puts it in its place, all but
  // the flush of that place.
  platform::Status place();

  Store& store_;
  std::unique_ptr<platform::AppendFile> file_;
  std::string path_;    // where the file is now
  std::string target_;  // where it goes: path_ once in place
  // Whether a journal before may stand beside it: not when placing it
  // found none.
  bool hasPrevious_ = true;
  Later later_;
  std::string buffer_;
};

}  // namespace slicery::journal
