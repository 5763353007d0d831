#include "platform/journal.h"

#include "platform/file_system.h"
#include "platform/name_change.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

namespace slicery::platform {
namespace {

// Version 2 writes the names each as a change of the one before; version 1
// wrote them whole, and is still read.
constexpr std::uint32_t kVersion = 2;
constexpr std::uint32_t kWholeNamesVersion = 1;
constexpr std::uint8_t kHeaderType = 1;
constexpr std::uint8_t kEndType = 5;
constexpr std::uint8_t kFileChangedType = 6;
constexpr size_t kRecordPrefix = 8;
// Records are written in blocks of about this size.
constexpr size_t kBlock = 64 * 1024;

// CRC-32 (IEEE), eight bytes a step ("slicing by eight"). `crc` is that of
// the bytes before `data` (0 for none), so a record can be summed in pieces.
std::uint32_t crc32(std::uint32_t crc, const char* data, size_t size) {
  static const auto tables = [] {
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i) {
      for (size_t k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFU];
    }
    return t;
  }();
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  const auto word = [](const unsigned char* q) {
    return static_cast<std::uint32_t>(q[0]) | static_cast<std::uint32_t>(q[1]) << 8 |
           static_cast<std::uint32_t>(q[2]) << 16 | static_cast<std::uint32_t>(q[3]) << 24;
  };
  std::uint32_t c = crc ^ 0xFFFFFFFFU;
  for (; size >= 8; size -= 8, p += 8) {
    c ^= word(p);
    const std::uint32_t next = word(p + 4);
    c = tables[7][c & 0xFFU] ^ tables[6][(c >> 8) & 0xFFU] ^ tables[5][(c >> 16) & 0xFFU] ^
        tables[4][c >> 24] ^ tables[3][next & 0xFFU] ^ tables[2][(next >> 8) & 0xFFU] ^
        tables[1][(next >> 16) & 0xFFU] ^ tables[0][next >> 24];
  }
  for (; size > 0; --size, ++p) c = tables[0][(c ^ *p) & 0xFFU] ^ (c >> 8);
  return c ^ 0xFFFFFFFFU;
}

void putU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFFU));
}
void putString(std::string& out, std::string_view s) {
  putU32(out, static_cast<std::uint32_t>(s.size()));
  out += s;
}
void putStrings(std::string& out, const std::vector<std::string>& list) {
  putU32(out, static_cast<std::uint32_t>(list.size()));
  for (const std::string& s : list) putString(out, s);
}

// Bytes of a name change (a name as a change of the one before it in list
// order, or a new name of its old one): head, tail, the middle's size as a
// base-128 number of 7 bits a byte (low first), the middle. Names in list
// order share long beginnings and often endings, so this keeps the header,
// flushed before a run's first step, small.
void putChange(std::string& out, const NameChange& change) {
  out.push_back(static_cast<char>(change.head));
  out.push_back(static_cast<char>(change.tail));
  for (size_t size = change.middle.size();; size >>= 7) {
    out.push_back(static_cast<char>((size & 0x7FU) | (size >= 0x80 ? 0x80U : 0U)));
    if (size < 0x80) break;
  }
  out += change.middle;
}

std::uint32_t getU32(const char* p) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(p[i])) << (8 * i);
  return v;
}

// Reads the fields of one record's payload; any overrun marks it bad.
class Reader {
 public:
  Reader(const char* data, size_t size) : p_(data), end_(data + size) {}
  std::uint32_t u32() {
    if (end_ - p_ < 4) return fail();
    const std::uint32_t v = getU32(p_);
    p_ += 4;
    return v;
  }
  std::uint8_t u8() {
    if (p_ == end_) return static_cast<std::uint8_t>(fail());
    return static_cast<std::uint8_t>(*p_++);
  }
  std::string str() {
    const std::uint32_t n = u32();
    if (bad_ || static_cast<size_t>(end_ - p_) < n) {
      fail();
      return {};
    }
    std::string s(p_, n);
    p_ += n;
    return s;
  }
  std::vector<std::string> strs() {
    const std::uint32_t n = u32();
    std::vector<std::string> list;
    for (std::uint32_t i = 0; i < n && !bad_; ++i) list.push_back(str());
    return list;
  }
  // Names each written as a change of the one before (see putChange).
  std::vector<std::string> changedNames() {
    const std::uint32_t n = u32();
    std::vector<std::string> list;
    for (std::uint32_t i = 0; i < n && !bad_; ++i) {
      std::string name = changed(list.empty() ? std::string_view() : list.back());
      list.push_back(std::move(name));
    }
    return list;
  }
  // A name written as a change of `before` (see putChange).
  std::string changed(std::string_view before) {
    const size_t head = u8();
    const size_t tail = u8();
    size_t middle = 0;
    for (int shift = 0; !bad_; shift += 7) {
      const std::uint8_t b = u8();
      if (shift > 28) fail();
      middle |= static_cast<size_t>(b & 0x7FU) << shift;
      if ((b & 0x80U) == 0) break;
    }
    if (bad_ || head + tail > before.size() || static_cast<size_t>(end_ - p_) < middle) {
      fail();
      return {};
    }
    std::string name(before.substr(0, head));
    name.append(p_, middle);
    name += before.substr(before.size() - tail);
    p_ += middle;
    return name;
  }
  bool good() const { return !bad_ && p_ == end_; }

 private:
  std::uint32_t fail() {
    bad_ = true;
    p_ = end_;
    return 0;
  }
  const char* p_;
  const char* end_;
  bool bad_ = false;
};

std::string stateFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
    return joinPath(state, "slicery");
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && home[0] != '\0' ? home : "/tmp") + "/.local/state/slicery";
}

Status readWhole(const std::string& file, std::string& data) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Status::systemError("read journal", file, errno);
  struct stat st;
  data.clear();
  if (::fstat(fd, &st) == 0 && st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int code = errno;
      ::close(fd);
      return Status::systemError("read journal", file, code);
    }
    if (got == 0) break;
    data.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return Status::ok();
}

// Whether the file ends in a whole end record.
bool endsFinished(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char tail[kRecordPrefix + 1];
  struct stat st;
  bool finished = false;
  if (::fstat(fd, &st) == 0 && st.st_size > static_cast<off_t>(sizeof tail) &&
      ::pread(fd, tail, sizeof tail, st.st_size - static_cast<off_t>(sizeof tail)) ==
          static_cast<ssize_t>(sizeof tail)) {
    finished = getU32(tail) == 1 && static_cast<std::uint8_t>(tail[kRecordPrefix]) == kEndType &&
               getU32(tail + 4) == crc32(0, tail + kRecordPrefix, 1);
  }
  ::close(fd);
  return finished;
}

struct Record {
  std::uint8_t type;
  const char* payload;
  size_t size;
};

// Splits `data` into whole records; `valid` is where the last whole one
// ends. Returns false when a bad record has more bytes after it.
bool splitRecords(const std::string& data, std::vector<Record>& records, size_t& valid) {
  size_t at = 0;
  while (at < data.size()) {
    if (data.size() - at < kRecordPrefix + 1) break;
    const std::uint32_t size = getU32(data.data() + at);
    const std::uint32_t sum = getU32(data.data() + at + 4);
    const size_t body = at + kRecordPrefix;
    if (size == 0 || size > data.size() - body) break;  // runs past the end
    if (crc32(0, data.data() + body, size) != sum) {
      if (body + size < data.size()) return false;
      break;
    }
    records.push_back({static_cast<std::uint8_t>(data[body]), data.data() + body + 1, size - 1});
    at = body + size;
  }
  valid = at;
  return true;
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

std::string journalPathFor(const std::string& folder) {
  const std::string key = journalFolderKey(folder);
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : key) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name;
  for (int shift = 60; shift >= 0; shift -= 4) name.push_back(kDigits[(hash >> shift) & 0xFU]);
  return stateFolder() + "/" + name + ".journal";
}

Status readJournal(const std::string& file, const std::string& folderKey, JournalContents& out) {
  out = {};
  std::string data;
  if (Status read = readWhole(file, data); !read) return read;
  std::vector<Record> records;
  size_t valid = 0;
  const auto damaged = [&file](const std::string& why) {
    return Status::error("read journal", file, "the journal is damaged (" + why + ")", EINVAL);
  };
  if (!splitRecords(data, records, valid)) return damaged("a record fails its checksum");
  if (records.empty() || records.front().type != kHeaderType) return damaged("no whole header");
  Reader header(records.front().payload, records.front().size);
  const std::uint32_t version = header.u32();
  if (version != kVersion && version != kWholeNamesVersion) {
    return Status::error("read journal", file,
                         "the journal is of version " + std::to_string(version) +
                             ", this program reads versions " + std::to_string(kWholeNamesVersion) +
                             " and " + std::to_string(kVersion),
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
  h.names = version == kWholeNamesVersion ? header.strs() : header.changedNames();
  h.existingFolders = header.strs();
  if (!header.good()) return damaged("the header does not parse");
  if (h.folder != folderKey) {
    return Status::error("read journal", file, "the journal belongs to " + h.folder, EINVAL);
  }
  for (size_t i = 1; i < records.size(); ++i) {
    const Record& r = records[i];
    Reader fields(r.payload, r.size);
    JournalStep step;
    switch (r.type) {
      case static_cast<std::uint8_t>(JournalStep::Kind::fileRenamed):
      case static_cast<std::uint8_t>(JournalStep::Kind::folderRenaming):
        step.kind = static_cast<JournalStep::Kind>(r.type);
        step.from = fields.str();
        step.to = fields.str();
        break;
      case static_cast<std::uint8_t>(JournalStep::Kind::folderMade):
        step.kind = JournalStep::Kind::folderMade;
        step.to = fields.str();
        break;
      case kFileChangedType:
        step.kind = JournalStep::Kind::fileRenamed;
        step.from = fields.str();
        step.to = fields.changed(step.from);
        break;
      case kEndType:
        if (r.size != 0 || i + 1 != records.size()) return damaged("records after the end");
        out.finished = true;
        continue;
      default:
        return damaged("a record of unknown type " + std::to_string(r.type));
    }
    if (!fields.good()) return damaged("a step does not parse");
    out.steps.push_back(std::move(step));
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

JournalWriter::~JournalWriter() {
  writeGathered();
  if (fd_ >= 0) ::close(fd_);
}

Status JournalWriter::create(const std::string& file, const JournalHeader& h,
                             const std::vector<std::string_view>& names,
                             std::unique_ptr<JournalWriter>& writer) {
  writer.reset();
  std::error_code error;
  std::filesystem::create_directories(parentPath(file), error);
  if (error) return Status::error("make folder", parentPath(file), error.message(), error.value());
  // Written aside and renamed over the old journal, so a crash leaves either.
  const std::string fresh = file + ".new";
  const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return Status::systemError("write journal", fresh, errno);
  std::unique_ptr<JournalWriter> made(new JournalWriter(fd, fresh));
  if (Status s = made->writeHeader(h, names); !s) return s;
  if (Status s = made->sync(); !s) return s;
  if (::rename(fresh.c_str(), file.c_str()) != 0) {
    return Status::systemError("write journal", file, errno);
  }
  made->path_ = file;
  // The rename itself reaches the disk with the folder.
  if (const int dir = ::open(parentPath(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  writer = std::move(made);
  return Status::ok();
}

Status JournalWriter::writeHeader(const JournalHeader& h,
                                  const std::vector<std::string_view>& names) {
  // The names go to the file a block at a time, never all in memory twice:
  // the record's size and checksum, summed on the way, are put in place
  // last, before the file is flushed and renamed.
  std::string head;
  head.push_back(static_cast<char>(kHeaderType));
  putU32(head, kVersion);
  putString(head, h.folder);
  head.push_back(h.check1 ? 1 : 0);
  head.push_back(h.check2 ? 1 : 0);
  head.push_back(h.check4 ? 1 : 0);
  putString(head, h.folderBaseName);
  putU32(head, static_cast<std::uint32_t>(h.seriesCount));
  putStrings(head, h.list1);
  putU32(head, static_cast<std::uint32_t>(names.size()));
  std::string tail;
  putStrings(tail, h.existingFolders);

  gathered_.clear();
  putU32(gathered_, 0);
  putU32(gathered_, 0);
  std::uint64_t size = 0;
  std::uint32_t sum = 0;
  size_t unsummed = gathered_.size();
  const auto sumGathered = [&] {
    size += gathered_.size() - unsummed;
    sum = crc32(sum, gathered_.data() + unsummed, gathered_.size() - unsummed);
  };
  const auto add = [&](std::string_view bytes) {
    gathered_ += bytes;
    if (gathered_.size() < kBlock) return Status::ok();
    sumGathered();
    unsummed = 0;
    return writeGathered();
  };
  Status status = add(head);
  std::string change;
  for (size_t i = 0; i < names.size() && status; ++i) {
    change.clear();
    putChange(change, changeFrom(i == 0 ? std::string_view() : names[i - 1], names[i]));
    status = add(change);
  }
  if (status) status = add(tail);
  if (!status) return status;
  sumGathered();
  if (Status s = writeGathered(); !s) return s;
  if (size > UINT32_MAX) {
    return Status::error("write journal", path_, "too many names for one journal", EFBIG);
  }
  std::string prefix;
  putU32(prefix, static_cast<std::uint32_t>(size));
  putU32(prefix, sum);
  if (::pwrite(fd_, prefix.data(), prefix.size(), 0) != static_cast<ssize_t>(prefix.size())) {
    return Status::systemError("write journal", path_, errno);
  }
  return Status::ok();
}

Status JournalWriter::reopen(const std::string& file, std::unique_ptr<JournalWriter>& writer) {
  writer.reset();
  std::string data;
  if (Status read = readWhole(file, data); !read) return read;
  std::vector<Record> records;
  size_t valid = 0;
  if (!splitRecords(data, records, valid)) {
    return Status::error("write journal", file, "the journal is damaged", EINVAL);
  }
  const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return Status::systemError("write journal", file, errno);
  std::unique_ptr<JournalWriter> opened(new JournalWriter(fd, file));
  if (::ftruncate(fd, static_cast<off_t>(valid)) != 0 ||
      ::lseek(fd, static_cast<off_t>(valid), SEEK_SET) < 0) {
    return Status::systemError("write journal", file, errno);
  }
  writer = std::move(opened);
  return Status::ok();
}

Status JournalWriter::append(JournalStep::Kind kind, std::string_view from, std::string_view to) {
  if (kind == JournalStep::Kind::fileRenamed) {
    // A new name shares most of the old one.
    const size_t at = begin(kFileChangedType);
    putString(gathered_, from);
    putChange(gathered_, changeFrom(from, to));
    return sealed(at);
  }
  const size_t at = begin(static_cast<std::uint8_t>(kind));
  if (kind != JournalStep::Kind::folderMade) putString(gathered_, from);
  putString(gathered_, to);
  return sealed(at);
}

Status JournalWriter::sync() {
  if (Status s = writeGathered(); !s) return s;
  if (::fdatasync(fd_) != 0) return Status::systemError("write journal", path_, errno);
  return Status::ok();
}

Status JournalWriter::finish() {
  // Written, not flushed: flushing would wait for every rename of the run to
  // reach the disk. An end record lost to a power failure leaves a journal
  // that looks unfinished, whose resume finds every step done.
  if (Status s = sealed(begin(kEndType)); !s) return s;
  return writeGathered();
}

size_t JournalWriter::begin(std::uint8_t type) {
  const size_t at = gathered_.size();
  putU32(gathered_, 0);
  putU32(gathered_, 0);
  gathered_.push_back(static_cast<char>(type));
  return at;
}

Status JournalWriter::sealed(size_t at) {
  const size_t body = at + kRecordPrefix;
  const auto size = static_cast<std::uint32_t>(gathered_.size() - body);
  const std::uint32_t sum = crc32(0, gathered_.data() + body, size);
  for (int i = 0; i < 4; ++i) {
    gathered_[at + static_cast<size_t>(i)] = static_cast<char>((size >> (8 * i)) & 0xFFU);
  }
  for (int i = 0; i < 4; ++i) {
    gathered_[at + 4 + static_cast<size_t>(i)] = static_cast<char>((sum >> (8 * i)) & 0xFFU);
  }
  return gathered_.size() >= kBlock ? writeGathered() : Status::ok();
}

Status JournalWriter::writeGathered() {
  // Only appended: a crash leaves whole records and at most one torn one.
  size_t done = 0;
  while (done < gathered_.size()) {
    const ssize_t put = ::write(fd_, gathered_.data() + done, gathered_.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) {
      gathered_.erase(0, done);
      return Status::systemError("write journal", path_, errno);
    }
    done += static_cast<size_t>(put);
  }
  gathered_.clear();
  return Status::ok();
}

}  // namespace slicery::platform
