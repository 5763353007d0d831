#include "platform/batch_record.h"

#include <cerrno>

#include "platform/journal_files.h"
#include "platform/record_log.h"
#include "platform/state_files.h"
#include "platform/state_folder.h"

namespace slicery::platform {
namespace {

constexpr std::uint8_t kHeaderType = 1;
constexpr std::uint8_t kDoneType = 2;
constexpr std::uint32_t kVersion = 1;

}  // namespace

Status batchPathFor(const std::string& root, std::string& file) {
  if (Status where = journalPathFor(root, file); !where) return where;
  const std::size_t suffix = std::string_view(kJournalSuffix).size();
  file.replace(file.size() - suffix, suffix, kBatchSuffix);
  return Status::ok();
}

Status readBatch(const std::string& file, BatchContents& contents) {
  contents = {};
  std::string data;
  if (Status read = readWholeFile(file, data); !read) return read;
  std::vector<Record> records;
  std::size_t valid = 0;
  const auto damaged = [&file]() {
    return Status::error("read batch", file, "the batch file is damaged", EINVAL);
  };
  if (!splitRecords(data, records, valid) || records.empty() || records[0].type != kHeaderType) {
    return damaged();
  }
  FieldReader header(records[0].payload);
  if (header.u32() != kVersion) return damaged();
  contents.root = header.str();
  contents.options = header.strs();
  contents.exams = header.strs();
  if (!header.good()) return damaged();
  contents.done.assign(contents.exams.size(), false);
  for (std::size_t i = 1; i < records.size(); ++i) {
    FieldReader done(records[i].payload);
    const std::uint32_t index = done.u32();
    if (records[i].type != kDoneType || !done.good() || index >= contents.exams.size()) {
      return damaged();
    }
    contents.done[index] = true;
  }
  return Status::ok();
}

Status BatchWriter::create(const std::string& file, const BatchContents& contents,
                           std::unique_ptr<BatchWriter>& writer) {
  writer.reset();
  if (Status made = ensurePrivateFolder(parentPath(file)); !made) return made;
  if (Status gone = removeStateFile(file); !gone && gone.code() != ENOENT) return gone;
  std::unique_ptr<AppendFile> out;
  if (Status opened = openAppendFile(file, true, 0, out); !opened) return opened;
  RecordBuilder b;
  b.begin(kHeaderType);
  b.u32(kVersion);
  b.str(contents.root);
  b.strs(contents.options);
  b.strs(contents.exams);
  b.seal();
  if (Status s = out->append(b.buffer()); !s) return s;
  if (Status s = out->sync(); !s) return s;
  syncFolder(parentPath(file));
  writer.reset(new BatchWriter(std::move(out), file));
  return Status::ok();
}

Status BatchWriter::done(std::uint32_t index) {
  if (file_ == nullptr) return Status::error("write batch record", path_, "the record was removed");
  RecordBuilder b;
  b.begin(kDoneType);
  b.u32(index);
  b.seal();
  const Status written = file_->append(b.buffer());
  if (written) return written;
  file_.reset();  // closed first: Windows removes no open file
  if (const Status gone = removeStateFile(path_); !gone && gone.code() != ENOENT) {
    return Status::error(written.operation(), written.path(),
                         written.reason() + "; nor can the record be removed: " + gone.reason(),
                         written.code());
  }
  return written;
}

}  // namespace slicery::platform
