#include "platform/journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "platform/record_log.h"
#include "platform/state_folder.h"

namespace slicery::platform {
namespace {

constexpr std::uint32_t kVersion = 3;
constexpr std::uint8_t kHeaderType = 1;
constexpr std::uint8_t kIntentType = 2;
constexpr std::uint8_t kPassType = 3;
constexpr std::uint8_t kEndType = 5;
constexpr const char* kSuffix = ".journal";

// Whether the file ends in a whole end record.
bool endsFinished(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  char tail[kRecordPrefix + 1];
  struct stat st;
  bool finished = false;
  if (::fstat(fd, &st) == 0 && st.st_size > static_cast<off_t>(sizeof tail) &&
      ::pread(fd, tail, sizeof tail, st.st_size - static_cast<off_t>(sizeof tail)) ==
          static_cast<ssize_t>(sizeof tail)) {
    std::vector<Record> records;
    std::size_t valid = 0;
    finished = splitRecords(std::string_view(tail, sizeof tail), records, valid) &&
               records.size() == 1 && records[0].type == kEndType && records[0].payload.empty();
  }
  ::close(fd);
  return finished;
}

void syncFolderOf(const std::string& file) {
  if (const int dir = ::open(parentPath(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

std::string previousOf(const std::string& file) {
  return file + ".prev";
}

}  // namespace

std::string journalFolderKey(const std::string& folder) {
  char resolved[PATH_MAX];
  if (::realpath(folder.c_str(), resolved) != nullptr) return resolved;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
  if (error) return folder;
  return withoutTrailingSeparator(absolute.lexically_normal().string());
}

Status journalPathFor(const std::string& folder, std::string& file) {
  std::string state;
  if (Status found = stateFolder(state); !found) return found;
  const std::string key = journalFolderKey(folder);
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : key) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name;
  for (int shift = 60; shift >= 0; shift -= 4) name.push_back(kDigits[(hash >> shift) & 0xFU]);
  file = joinPath(state, name + kSuffix);
  return Status::ok();
}

std::vector<std::string> listJournals() {
  std::vector<std::string> files;
  std::string state;
  if (!stateFolder(state)) return files;
  DIR* dir = ::opendir(state.c_str());
  if (dir == nullptr) return files;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    const std::string_view suffix = kSuffix;
    if (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix) {
      files.push_back(joinPath(state, name));
    }
  }
  ::closedir(dir);
  return files;
}

Status readJournal(const std::string& file, const std::string& folderKey, JournalContents& out,
                   bool salvage) {
  out = {};
  std::string data;
  if (Status read = readWholeFile(file, data); !read) return read;
  std::vector<Record> records;
  std::size_t valid = 0;
  const auto damaged = [&file](const std::string& why) {
    return Status::error("read journal", file, "the journal is damaged (" + why + ")", EINVAL);
  };
  if (!splitRecords(data, records, valid)) {
    if (!salvage || records.empty()) return damaged("a record fails its checksum");
    out.damage = "a record fails its checksum";
  }
  if (records.empty() || records.front().type != kHeaderType) return damaged("no whole header");
  FieldReader header(records.front().payload);
  if (const std::uint32_t version = header.u32(); version != kVersion) {
    return Status::error("read journal", file,
                         "the journal is of version " + std::to_string(version) +
                             ", this program reads version " + std::to_string(kVersion),
                         EINVAL);
  }
  JournalHeader& h = out.header;
  h.folder = header.str();
  h.check1 = header.u8() != 0;
  h.check2 = header.u8() != 0;
  h.check4 = header.u8() != 0;
  h.folderBaseName = header.str();
  h.seriesCount = static_cast<int>(header.u32());
  h.list1 = header.strs();
  h.nameLimit = static_cast<long>(header.u32());
  const std::uint32_t names = header.u32();
  for (std::uint32_t i = 0; i < names && !header.bad(); ++i) {
    h.names.push_back(header.change(h.names.empty() ? std::string_view() : h.names.back()));
  }
  const std::string_view links = header.bytes((names + 7) / 8);
  for (std::uint32_t i = 0; i < names && !header.bad(); ++i) {
    h.links.push_back((static_cast<unsigned char>(links[i / 8]) >> (i % 8) & 1U) != 0);
  }
  const std::uint32_t others = header.u32();
  for (std::uint32_t i = 0; i < others && !header.bad(); ++i) {
    const auto kind = static_cast<PathKind>(header.u8());
    h.others.emplace_back(header.str(), kind);
  }
  if (!header.good()) return damaged("the header does not parse");
  if (!folderKey.empty() && h.folder != folderKey) {
    return Status::error("read journal", file, "the journal belongs to " + h.folder, EINVAL);
  }
  bool stop = false;
  const auto lost = [&](const std::string& why) {
    if (!salvage) return damaged(why);
    out.damage = why;
    stop = true;
    return Status::ok();
  };
  for (std::size_t i = 1; i < records.size() && !stop; ++i) {
    FieldReader fields(records[i].payload);
    switch (records[i].type) {
      case kIntentType: {
        JournalIntent intent;
        intent.kind = static_cast<JournalIntent::Kind>(fields.u8());
        intent.from = fields.str();
        intent.to = fields.str();
        out.intents.push_back(std::move(intent));
        break;
      }
      case kPassType: {
        JournalPass pass;
        pass.pass = fields.u32();
        pass.renamed = fields.u32();
        const std::uint32_t failed = fields.u32();
        for (std::uint32_t k = 0; k < failed && !fields.bad(); ++k)
          pass.failed.push_back(fields.u32());
        out.passes.push_back(std::move(pass));
        break;
      }
      case kEndType:
        if (i + 1 != records.size()) {
          if (Status s = lost("records after the end"); !s) return s;
          continue;
        }
        out.finished = true;
        break;
      default:
        if (Status s = lost("a record of unknown type " + std::to_string(records[i].type)); !s) {
          return s;
        }
        continue;
    }
    if (!fields.good()) {
      if (Status s = lost("a record does not parse"); !s) return s;
    }
  }
  return Status::ok();
}

JournalState journalState(const std::string& file, const std::string& folderKey, std::string* why) {
  if (endsFinished(file)) return JournalState::finished;
  JournalContents contents;
  const Status read = readJournal(file, folderKey, contents);
  if (!read) {
    if (read.code() == ENOENT) return JournalState::none;
    if (why != nullptr) *why = read.toString();
    return JournalState::damaged;
  }
  return contents.finished ? JournalState::finished : JournalState::unfinished;
}

Status removeJournal(const std::string& file) {
  if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
    return Status::systemError("remove journal", file, errno);
  }
  return Status::ok();
}

Status moveJournal(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    return Status::systemError("move journal", from, errno, to);
  }
  return Status::ok();
}

Status JournalWriter::create(const std::string& file, const JournalHeader& h,
                             const std::vector<std::string_view>& names,
                             const AppendFileOpener& open, std::unique_ptr<JournalWriter>& writer) {
  writer.reset();
  if (Status made = ensurePrivateFolder(parentPath(file)); !made) return made;
  // Written aside, under a name of this process's own, and renamed into
  // place once whole and on the disk.
  const std::string fresh = file + ".new." + std::to_string(::getpid());
  ::unlink(fresh.c_str());
  std::unique_ptr<AppendFile> out;
  if (Status opened = open(fresh, true, 0, out); !opened) return opened;
  std::unique_ptr<JournalWriter> made(new JournalWriter(std::move(out), fresh));
  const auto fail = [&fresh](Status status) {
    ::unlink(fresh.c_str());
    return status;
  };

  RecordBuilder b;
  b.begin(kHeaderType);
  b.u32(kVersion);
  b.str(h.folder);
  b.u8(h.check1 ? 1 : 0);
  b.u8(h.check2 ? 1 : 0);
  b.u8(h.check4 ? 1 : 0);
  b.str(h.folderBaseName);
  b.u32(static_cast<std::uint32_t>(h.seriesCount));
  b.strs(h.list1);
  b.u32(static_cast<std::uint32_t>(h.nameLimit));
  b.u32(static_cast<std::uint32_t>(names.size()));
  for (std::size_t i = 0; i < names.size(); ++i) {
    b.change(i == 0 ? std::string_view() : names[i - 1], names[i]);
  }
  std::string links((names.size() + 7) / 8, '\0');
  for (std::size_t i = 0; i < names.size() && i < h.links.size(); ++i) {
    if (h.links[i]) links[i / 8] = static_cast<char>(links[i / 8] | (1 << (i % 8)));
  }
  b.bytes(links);
  b.u32(static_cast<std::uint32_t>(h.others.size()));
  for (const auto& [name, kind] : h.others) {
    b.u8(static_cast<std::uint8_t>(kind));
    b.str(name);
  }
  b.seal();
  if (b.size() > UINT32_MAX) {
    return fail(Status::error("write journal", fresh, "too many names for one journal", EFBIG));
  }
  if (Status s = made->file_->append(b.buffer()); !s) return fail(s);
  if (Status s = made->file_->sync(); !s) return fail(s);

  // The journal before stays beside it until the run tells whether it
  // changed anything.
  if (::rename(file.c_str(), previousOf(file).c_str()) != 0 && errno != ENOENT) {
    return fail(Status::systemError("write journal", file, errno));
  }
  if (::rename(fresh.c_str(), file.c_str()) != 0) {
    const int code = errno;
    ::rename(previousOf(file).c_str(), file.c_str());
    return fail(Status::systemError("write journal", file, code));
  }
  made->path_ = file;
  syncFolderOf(file);
  writer = std::move(made);
  return Status::ok();
}

Status JournalWriter::reopen(const std::string& file, const AppendFileOpener& open,
                             std::unique_ptr<JournalWriter>& writer) {
  writer.reset();
  std::string data;
  if (Status read = readWholeFile(file, data); !read) return read;
  std::vector<Record> records;
  std::size_t valid = 0;
  if (!splitRecords(data, records, valid)) {
    return Status::error("write journal", file, "the journal is damaged", EINVAL);
  }
  std::unique_ptr<AppendFile> out;
  if (Status opened = open(file, false, valid, out); !opened) return opened;
  writer.reset(new JournalWriter(std::move(out), file));
  return Status::ok();
}

Status JournalWriter::write(bool flush) {
  Status status = file_->append(buffer_);
  buffer_.clear();
  if (status && flush) status = file_->sync();
  return status;
}

Status JournalWriter::intent(JournalIntent::Kind kind, std::string_view from, std::string_view to,
                             bool flush) {
  RecordBuilder b;
  b.begin(kIntentType);
  b.u8(static_cast<std::uint8_t>(kind));
  b.str(from);
  b.str(to);
  b.seal();
  buffer_ = std::move(b.buffer());
  return write(flush);
}

Status JournalWriter::pass(const JournalPass& outcome) {
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

Status JournalWriter::finish() {
  // Written, not flushed: flushing would wait for every rename of the run to
  // reach the disk. An end record lost to a power failure leaves a journal
  // that looks unfinished, whose finish finds every step done.
  RecordBuilder b;
  b.begin(kEndType);
  b.seal();
  buffer_ = std::move(b.buffer());
  return write(false);
}

Status JournalWriter::keepPrevious() {
  const std::string previous = previousOf(path_);
  if (::rename(previous.c_str(), path_.c_str()) == 0) return Status::ok();
  if (errno != ENOENT) return Status::systemError("write journal", path_, errno);
  return removeJournal(path_);
}

void JournalWriter::discardPrevious() {
  ::unlink(previousOf(path_).c_str());
}

}  // namespace slicery::platform
