// Store: where journals are kept, and the one way to their bytes. What a
// journal means (reader.cpp, writer.cpp, last_run.cpp) reaches its bytes
// only through a store. FileStore keeps journals as files of the private
// state folder (platform/journal_files.h); MemoryStore keeps them in memory,
// where a test can fail any read or write and keep or put back every journal
// at once.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "journal/journal.h"
#include "platform/append_file.h"
#include "platform/status.h"

namespace slicery::journal {

class Writer;

class Store {
 public:
  virtual ~Store() = default;

  // --- Journals ------------------------------------------------------------
  // The journal file of `folder` (any path naming it), and the folder's path
  // as journals know it; fails when there is no place for journals.
  virtual platform::Status locate(const std::string& folder, std::string& file,
                                  std::string& key) = 0;
  // Every journal file kept; what is no regular file is left out, never
  // opened.
  virtual std::vector<std::string> list() = 0;
  // Writes a journal of `header` and puts it in the place of any journal at
  // `file` (Writer::create).
  platform::Status create(const std::string& file, const Header& header,
                          std::unique_ptr<Writer>& writer);
  // Goes on writing the journal at `file` after its last whole record.
  platform::Status reopen(const std::string& file, std::unique_ptr<Writer>& writer);
  // Reads the journal at `file`. Fails with a reason a user can act on when
  // it cannot be read, is damaged or of another version; a missing journal
  // fails with code ENOENT. With `salvage`, a journal whose header is whole
  // is read up to its first bad record, and `damage` tells what was lost.
  platform::Status read(const std::string& file, Contents& out, bool salvage = false);
  // The state of the journal at `file`, reading no more than it must: one
  // that ends in a whole end record is finished; any other is read in full,
  // into `contents` when given. `why` receives the reason a damaged one
  // cannot be read.
  State state(const std::string& file, std::string* why = nullptr, Contents* contents = nullptr);
  // The start of the journal at `file`, read without reading the rest: the
  // folder its run began at and its studies. `known` is false where the
  // start does not tell (a journal of version 3, a long header start): read
  // it whole.
  platform::Status readStart(const std::string& file, std::string& folder,
                             std::vector<std::uint64_t>& studies, bool& known);
  // Removes the journal at `file`, and the journal it replaced where that
  // still stands beside it.
  platform::Status remove(const std::string& file);
  // Gives the journal at `from` the name `to`, in place of any there.
  platform::Status move(const std::string& from, const std::string& to);

  // --- Bytes, for the above --------------------------------------------------
  // At most `most` bytes of `file` from its start; a missing file fails with
  // code ENOENT, anything but a plain file with platform::kNotRegular.
  virtual platform::Status readBytes(const std::string& file, std::string& data,
                                     std::size_t most = static_cast<std::size_t>(-1)) = 0;
  // The last `size` bytes of `file`; false when it cannot be read or is not
  // longer than `size`.
  virtual bool readEnd(const std::string& file, std::size_t size, std::string& data) = 0;
  // Opens `file` for appending: `fresh` creates it, failing when it exists;
  // otherwise it must exist, and is cut to `keep` bytes first.
  virtual platform::Status open(const std::string& file, bool fresh, std::size_t keep,
                                std::unique_ptr<platform::AppendFile>& out) = 0;
  // Makes the place `file` goes in, private to this account.
  virtual platform::Status prepare(const std::string& file) = 0;
  // Removes `file`; a missing one fails with code ENOENT.
  virtual platform::Status removeFile(const std::string& file) = 0;
  // Renames `from` to `to`, replacing a file there; a missing `from` fails
  // with code ENOENT.
  virtual platform::Status moveFile(const std::string& from, const std::string& to) = 0;
  // Waits until the names beside `file` are on the disk.
  virtual void syncPlace(const std::string& file) = 0;
};

// Journals as files of the private state folder, opened by `open` (tests
// fail writes through it).
class FileStore : public Store {
 public:
  explicit FileStore(platform::AppendFileOpener open = platform::openAppendFile)
      : open_(std::move(open)) {}
  platform::Status locate(const std::string& folder, std::string& file, std::string& key) override;
  std::vector<std::string> list() override;
  platform::Status readBytes(const std::string& file, std::string& data, std::size_t most) override;
  bool readEnd(const std::string& file, std::size_t size, std::string& data) override;
  platform::Status open(const std::string& file, bool fresh, std::size_t keep,
                        std::unique_ptr<platform::AppendFile>& out) override;
  platform::Status prepare(const std::string& file) override;
  platform::Status removeFile(const std::string& file) override;
  platform::Status moveFile(const std::string& from, const std::string& to) override;
  void syncPlace(const std::string& file) override;

 private:
  platform::AppendFileOpener open_;
};

// The store both programs keep their journals in.
Store& fileStore();

// Journals in memory, "/journals/<folder>.journal" each, the folder's path
// taken as given. `files` is every file the store holds, to look at, keep
// and put back whole. `failReads` fails every read from the n-th to come on
// (1: the next one; 0: none), `failWrite` the n-th write to come ("No space
// left"), and `failFlushes` every flush ("Input/output error").
class MemoryStore : public Store {
 public:
  std::map<std::string, std::string> files;
  int failReads = 0;
  int failWrite = 0;
  bool failFlushes = false;

  platform::Status locate(const std::string& folder, std::string& file, std::string& key) override;
  std::vector<std::string> list() override;
  platform::Status readBytes(const std::string& file, std::string& data, std::size_t most) override;
  bool readEnd(const std::string& file, std::size_t size, std::string& data) override;
  platform::Status open(const std::string& file, bool fresh, std::size_t keep,
                        std::unique_ptr<platform::AppendFile>& out) override;
  platform::Status prepare(const std::string&) override { return platform::Status::ok(); }
  platform::Status removeFile(const std::string& file) override;
  platform::Status moveFile(const std::string& from, const std::string& to) override;
  void syncPlace(const std::string&) override {}

 private:
  bool readFails(const std::string& file, platform::Status& why);
  // Files open for appending follow their file as it is moved, as a
  // descriptor does, and write nowhere once it is removed or replaced.
  void renameOpen(const std::string& from, const std::string& to);
  std::vector<std::weak_ptr<std::string>> open_;
};

}  // namespace slicery::journal
