// Writing a journal: its header aside and into place, then its records.
#include "journal/writer.h"

#include <algorithm>

#include <cerrno>

#include "journal/records.h"
#include "journal/store.h"
#include "platform/journal_files.h"
#include "platform/record_log.h"
#include "platform/state_files.h"

namespace slicery::journal {
namespace {

using namespace records;
using platform::AppendFile;
using platform::currentProcessId;
using platform::kFreshJournalInfix;
using platform::kGoneJournalSuffix;
using platform::kPreviousJournalSuffix;
using platform::Record;
using platform::RecordBuilder;
using platform::splitRecords;
using platform::Status;

std::string previousOf(const std::string& file) {
  return file + kPreviousJournalSuffix;
}

// The name this process writes `file` under before it takes its place.
std::string asideOf(const std::string& file) {
  return file + kFreshJournalInfix + std::to_string(currentProcessId());
}

}  // namespace

Status Writer::create(Store& store, const std::string& file, const Header& h,
                      std::unique_ptr<Writer>& writer) {
  if (Status aside = writeAside(store, file, h, writer); !aside) return aside;
  if (Status placed = writer->place(); !placed) {
    writer.reset();
    return placed;
  }
  store.syncPlace(file);
  return Status::ok();
}

Status Writer::writeAside(Store& store, const std::string& file, const Header& h,
                          std::unique_ptr<Writer>& writer) {
  writer.reset();
  if (Status made = store.prepare(file); !made) return made;
  // Written aside, under a name of this process's own, and renamed into
  // place once whole and on the disk.
  const std::string fresh = asideOf(file);
  store.removeFile(fresh);
  // A failure names the journal, not the file aside, which goes.
  const auto fail = [&store, &fresh, &file](const Status& status) {
    store.removeFile(fresh);
    return Status::error(status.operation(), file, status.reason(), status.code());
  };
  std::unique_ptr<AppendFile> out;
  if (Status opened = store.open(fresh, true, 0, out); !opened) return fail(opened);
  std::unique_ptr<Writer> made(new Writer(store, std::move(out), fresh));
  made->target_ = file;

  RecordBuilder b;
  b.begin(kHeaderType);
  b.u32(kVersion);
  b.str(h.folder);
  // Early in the file, so that a search for a moved folder's run reads
  // only the start of other journals.
  std::vector<std::string_view> names;
  std::vector<bool> isLink;
  h.listing.index.listing(names, isLink);
  std::vector<std::uint64_t> studies;
  for (const std::string_view name : names) {
    const std::uint64_t its = study(name);
    if (std::find(studies.begin(), studies.end(), its) != studies.end()) continue;
    studies.push_back(its);
    if (studies.size() > kMostStudies) break;
  }
  if (studies.size() > kMostStudies) studies.clear();
  b.u32(static_cast<std::uint32_t>(studies.size()));
  for (const std::uint64_t study : studies) b.u64(study);
  const rename::PlanOptions& o = h.options;
  b.u8(o.shortNames ? 1 : 0);
  b.u8(o.folders ? 1 : 0);
  b.u8(o.describe ? 1 : 0);
  b.u8(o.sortableWidths ? 1 : 0);
  b.str(o.folderBaseName);
  b.u32(static_cast<std::uint32_t>(o.seriesCount));
  b.strs(o.list1);
  b.u32(static_cast<std::uint32_t>(o.nameLimit));
  b.u8(o.foldsCase ? 1 : 0);
  b.u32(static_cast<std::uint32_t>(names.size()));
  for (std::size_t i = 0; i < names.size(); ++i) {
    b.change(i == 0 ? std::string_view() : names[i - 1], names[i]);
  }
  std::string links((names.size() + 7) / 8, '\0');
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (isLink[i]) links[i / 8] = static_cast<char>(links[i / 8] | (1 << (i % 8)));
  }
  b.bytes(links);
  b.u32(static_cast<std::uint32_t>(h.listing.others.size()));
  for (const auto& [name, kind] : h.listing.others) {
    b.u8(static_cast<std::uint8_t>(kind));
    b.str(name);
  }
  b.seal();
  if (b.size() > UINT32_MAX) {
    return fail(Status::error("write journal", fresh, "too many names for one journal", EFBIG));
  }
  if (Status s = made->file_->append(b.buffer()); !s) return fail(s);
  writer = std::move(made);
  return Status::ok();
}

Status Writer::place() {
  const std::string fresh = path_;
  const std::string& file = target_;
  const auto fail = [this, &fresh, &file](const Status& status) {
    store_.removeFile(fresh);
    return Status::error(status.operation(), file, status.reason(), status.code());
  };
  if (Status s = file_->sync(); !s) return fail(s);
  // The journal before stays beside it until the run tells whether it
  // changed anything.
  const Status kept = store_.moveFile(file, previousOf(file));
  if (!kept && kept.code() != ENOENT) {
    return fail(Status::error("write journal", file, kept.reason(), kept.code()));
  }
  // With no journal before, nothing stale may stand in its place beside
  // this one: the end of the run then has nothing to remove.
  hasPrevious_ = kept.isOk();
  if (!hasPrevious_) store_.removeFile(previousOf(file));
  if (Status placed = store_.moveFile(fresh, file); !placed) {
    store_.moveFile(previousOf(file), file);
    return fail(Status::error("write journal", file, placed.reason(), placed.code()));
  }
  path_ = file;
  return Status::ok();
}

std::vector<Status> Writer::placeTogether(const std::vector<Writer*>& writers) {
  for (Writer* writer : writers) writer->file_->startSync();
  std::vector<Status> placed;
  placed.reserve(writers.size());
  std::vector<std::string> synced;  // the places flushed, each once
  for (Writer* writer : writers) placed.push_back(writer->place());
  for (size_t i = 0; i < writers.size(); ++i) {
    const std::string& file = writers[i]->target_;
    const std::string place = platform::parentPath(file);
    if (!placed[i] || std::ranges::find(synced, place) != synced.end()) continue;
    synced.push_back(place);
    writers[i]->store_.syncPlace(file);
  }
  return placed;
}

Status Writer::reopen(Store& store, const std::string& file, std::unique_ptr<Writer>& writer) {
  writer.reset();
  std::string data;
  if (Status read = store.readBytes(file, data); !read) return read;
  std::vector<Record> records;
  std::size_t valid = 0;
  if (!splitRecords(data, records, valid)) {
    return Status::error("write journal", file, "the journal is damaged", EINVAL);
  }
  std::unique_ptr<AppendFile> out;
  if (Status opened = store.open(file, false, valid, out); !opened) return opened;
  writer.reset(new Writer(store, std::move(out), file));
  return Status::ok();
}

Status Writer::write(bool flush) {
  Status status = file_->append(buffer_);
  buffer_.clear();
  if (status && flush) status = file_->sync();
  // Named as the journal that stays: the file was opened under another name
  // when it was written aside.
  if (!status) return Status::error(status.operation(), path_, status.reason(), status.code());
  return status;
}

Status Writer::intent(Intent::Kind kind, std::string_view from, std::string_view to, bool flush) {
  RecordBuilder b;
  b.begin(kIntentType);
  b.u8(static_cast<std::uint8_t>(kind));
  b.str(from);
  b.str(to);
  b.seal();
  buffer_ = std::move(b.buffer());
  return write(flush);
}

Status Writer::pass(const Pass& outcome) {
  RecordBuilder b;
  b.begin(kPassType);
  b.u32(outcome.pass);
  b.u32(outcome.renamed);
  b.u32(static_cast<std::uint32_t>(outcome.failed.size()));
  for (const std::uint32_t file : outcome.failed) b.u32(file);
  b.seal();
  buffer_ = std::move(b.buffer());
  return write(false);
}

Status Writer::failure(std::uint32_t file, std::string_view reason) {
  RecordBuilder b;
  b.begin(kFailureType);
  b.u32(file);
  b.str(reason);
  b.seal();
  buffer_ = std::move(b.buffer());
  return write(false);
}

Status Writer::command(Command command) {
  RecordBuilder b;
  b.begin(kCommandType);
  b.u8(static_cast<std::uint8_t>(command));
  b.seal();
  buffer_ = std::move(b.buffer());
  return write(true);
}

Status Writer::finish() {
  // Written, not flushed: flushing would wait for every rename of the run to
  // reach the disk. An end record lost to a power failure leaves a journal
  // that looks unfinished, whose finish finds every step done.
  RecordBuilder b;
  b.begin(kEndType);
  b.seal();
  buffer_ = std::move(b.buffer());
  return write(false);
}

Status Writer::keepPrevious() {
  // Closed first: Windows replaces no file that is still open.
  file_.reset();
  const std::string previous = previousOf(path_);
  const Status kept = store_.moveFile(previous, path_);
  if (kept) return kept;
  if (kept.code() != ENOENT)
    return Status::error("write journal", path_, kept.reason(), kept.code());
  return store_.remove(path_);
}

void Writer::discardPrevious() {
  if (!hasPrevious_) return;
  const std::string previous = previousOf(path_);
  // Named as a journal written aside by this process, so that one left by
  // a kill goes with the others.
  const std::string gone = asideOf(path_) + kGoneJournalSuffix;
  if (!later_ || !store_.moveFile(previous, gone)) {
    store_.removeFile(previous);
    return;
  }
  later_([&store = store_, gone] { store.removeFile(gone); });
}

}  // namespace slicery::journal
