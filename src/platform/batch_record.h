// BatchRecord: what a batch over a tree of exams (slicery-cli -r) keeps of
// itself while it works, so that one cut short can be carried on: the
// options it was started with, the exams it found, in order, and which of
// them it ran to their end. Each exam's run keeps its own journal
// (journal.h); this says only which exams the batch still owes.
//
// Where: beside the journals in the private state folder, one file per tree,
// named as the tree's journal would be but ending in ".batch". Framed as a
// journal is (record_log.h): a header record, then one record for each exam
// done. The batch removes it once every exam had its turn.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/append_file.h"
#include "platform/status.h"

namespace slicery::platform {

struct BatchContents {
  std::string root;                  // the tree, as journals know folders
  std::vector<std::string> options;  // the batch's own, as arguments
  std::vector<std::string> exams;    // full paths, in the order run
  std::vector<bool> done;            // for each exam: run to its end
};

// The batch file of the tree at `root`.
Status batchPathFor(const std::string& root, std::string& file);
// Reads a batch file; a missing one fails with code ENOENT. A torn last
// record is dropped, as a kill leaves it.
Status readBatch(const std::string& file, BatchContents& contents);

class BatchWriter {
 public:
  // Writes a fresh batch file at `file` in the place of any there, holding
  // `contents` without its done marks, and waits until it is on the disk.
  static Status create(const std::string& file, const BatchContents& contents,
                       std::unique_ptr<BatchWriter>& writer);
  // Marks exam `index` done. A record that cannot take the mark no longer
  // tells which exams had their turn, and would have a carrying on run them
  // again: it is removed, and takes no more marks.
  Status done(std::uint32_t index);

 private:
  BatchWriter(std::unique_ptr<AppendFile> file, std::string path)
      : file_(std::move(file)), path_(std::move(path)) {}
  std::unique_ptr<AppendFile> file_;  // none once the record is removed
  std::string path_;
};

}  // namespace slicery::platform
