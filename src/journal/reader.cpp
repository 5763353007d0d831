// Reading a journal: its records, or only whether it ends finished.
#include <cerrno>

#include "journal/journal.h"
#include "journal/records.h"
#include "journal/store.h"
#include "platform/record_log.h"
#include "platform/state_files.h"

namespace slicery::journal {
namespace {

using namespace records;
using platform::FieldReader;
using platform::kRecordPrefix;
using platform::Record;
using platform::splitRecords;
using platform::Status;

constexpr std::size_t kEndRecord = kRecordPrefix + 1;

// Whether `tail`, the last bytes of a journal, is a whole end record.
bool isEndRecord(std::string_view tail) {
  std::vector<Record> records;
  std::size_t valid = 0;
  return tail.size() == kEndRecord && splitRecords(tail, records, valid) && records.size() == 1 &&
         records[0].type == kEndType && records[0].payload.empty();
}

}  // namespace

// Reads the journal `data`, the bytes of `file`.
Status parseJournal(const std::string& file, const std::string& data, Contents& out, bool salvage) {
  out = {};
  std::vector<Record> records;
  std::size_t valid = 0;
  const auto damaged = [&file](const std::string& why) {
    return Status::error("read journal", file, "the journal is damaged (" + why + ")", EINVAL);
  };
  // A torn tail is the end of a run cut short; one behind which a whole end
  // record stands is a damaged record.
  bool split = splitRecords(data, records, valid);
  if (split && valid < data.size() && data.size() - valid > kEndRecord &&
      isEndRecord(std::string_view(data).substr(data.size() - kEndRecord))) {
    split = false;
  }
  if (!split) {
    if (!salvage || records.empty()) return damaged("a record fails its checksum");
    out.damage = "a record fails its checksum";
  }
  if (records.empty() || records.front().type != kHeaderType) return damaged("no whole header");
  FieldReader header(records.front().payload);
  const std::uint32_t version = header.u32();
  if (version < kOldestVersion || version > kVersion) {
    return Status::error("read journal", file,
                         "the journal is of version " + std::to_string(version) +
                             ", this program reads versions " + std::to_string(kOldestVersion) +
                             " to " + std::to_string(kVersion),
                         EINVAL);
  }
  Header& h = out.header;
  rename::PlanOptions& o = h.options;
  h.folder = header.str();
  if (version > kOldestVersion) {
    const std::uint32_t studies = header.u32();
    for (std::uint32_t i = 0; i < studies && !header.bad(); ++i) h.studies.push_back(header.u64());
  }
  o.shortNames = header.u8() != 0;
  o.folders = header.u8() != 0;
  o.describe = header.u8() != 0;
  // Version 3 made the numbers as wide as their count's digits alone.
  o.sortableWidths = version > kOldestVersion ? header.u8() != 0 : false;
  o.folderBaseName = header.str();
  o.seriesCount = static_cast<int>(header.u32());
  o.list1 = header.strs();
  o.nameLimit = static_cast<long>(header.u32());
  o.foldsCase = version >= 4 ? header.u8() != 0 : platform::kNamesIgnoreCase;
  const std::uint32_t count = header.u32();
  platform::FileSystem::Entries names;
  for (std::uint32_t i = 0; i < count && !header.bad(); ++i) {
    names.emplace_back(header.change(names.empty() ? std::string_view() : names.back().first),
                       platform::PathKind::file);
  }
  const std::string_view links = header.bytes((count + 7) / 8);
  for (std::uint32_t i = 0; i < names.size() && !header.bad(); ++i) {
    if ((static_cast<unsigned char>(links[i / 8]) >> (i % 8) & 1U) != 0) {
      names[i].second = platform::PathKind::link;
    }
  }
  const std::uint32_t others = header.u32();
  for (std::uint32_t i = 0; i < others && !header.bad(); ++i) {
    const auto kind = static_cast<platform::PathKind>(header.u8());
    h.listing.others.emplace_back(header.str(), kind);
  }
  h.listing.index.assign(std::move(names));
  if (!header.good()) return damaged("the header does not parse");
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
        Intent intent;
        intent.kind = static_cast<Intent::Kind>(fields.u8());
        intent.from = fields.str();
        intent.to = fields.str();
        out.intents.push_back(std::move(intent));
        break;
      }
      case kPassType: {
        Pass pass;
        pass.pass = fields.u32();
        pass.renamed = fields.u32();
        const std::uint32_t failed = fields.u32();
        for (std::uint32_t k = 0; k < failed && !fields.bad(); ++k)
          pass.failed.push_back(fields.u32());
        out.passes.push_back(std::move(pass));
        break;
      }
      case kFailureType: {
        Failure failure;
        failure.file = fields.u32();
        failure.reason = fields.str();
        out.failures.push_back(std::move(failure));
        break;
      }
      case kCommandType: {
        // A finish or an undo goes on with the run: until its own end, the
        // run is unfinished again.
        const std::uint8_t command = fields.u8();
        if (command != static_cast<std::uint8_t>(Command::finish) &&
            command != static_cast<std::uint8_t>(Command::undo)) {
          if (Status s = lost("a command of unknown kind"); !s) return s;
          continue;
        }
        out.last = static_cast<Command>(command);
        out.finished = false;
        break;
      }
      case kEndType:
        if (i + 1 != records.size() && records[i + 1].type != kCommandType) {
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

Status Store::read(const std::string& file, Contents& out, bool salvage) {
  std::string data;
  if (Status read = readBytes(file, data); !read) {
    out = {};
    return read;
  }
  return parseJournal(file, data, out, salvage);
}

std::uint64_t study(std::string_view imaName) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  int dots = 0;
  for (const char c : imaName) {
    if (c == '.' && ++dots == 3) return hash;
    hash = (hash ^ static_cast<unsigned char>(platform::foldedLetter(c))) * 0x100000001b3ULL;
  }
  return 0;
}

Status Store::readStart(const std::string& file, std::string& folder,
                        std::vector<std::uint64_t>& studies, bool& known) {
  known = false;
  folder.clear();
  studies.clear();
  // The record's size, checksum and type, then the header's version,
  // folder and studies; the checksum waits for a whole reading.
  constexpr std::size_t kStart = 4096;
  std::string data;
  if (Status read = readBytes(file, data, kStart); !read) return read;
  if (data.size() < kRecordPrefix + 1 ||
      static_cast<std::uint8_t>(data[kRecordPrefix]) != kHeaderType) {
    return Status::ok();
  }
  FieldReader start(std::string_view(data).substr(kRecordPrefix + 1));
  if (start.u32() != kVersion) return Status::ok();
  folder = start.str();
  const std::uint32_t count = start.u32();
  if (start.bad() || count > kMostStudies) return Status::ok();
  for (std::uint32_t i = 0; i < count; ++i) studies.push_back(start.u64());
  known = !start.bad();
  return Status::ok();
}

State Store::state(const std::string& file, std::string* why, Contents* out) {
  // A journal that ends in a whole end record is finished: without
  // `out`, that is all that is read of it. Else one reading of the file.
  std::string data;
  if (out == nullptr && readEnd(file, kEndRecord, data) && isEndRecord(data)) {
    return State::finished;
  }
  if (const Status read = readBytes(file, data); !read) {
    if (read.code() == ENOENT) return State::none;
    if (why != nullptr) *why = read.toString();
    return State::damaged;
  }
  if (data.size() > kEndRecord &&
      isEndRecord(std::string_view(data).substr(data.size() - kEndRecord))) {
    return State::finished;
  }
  Contents own;
  Contents& contents = out != nullptr ? *out : own;
  if (const Status read = parseJournal(file, data, contents, false); !read) {
    if (why != nullptr) *why = read.toString();
    return State::damaged;
  }
  return contents.finished ? State::finished : State::unfinished;
}

}  // namespace slicery::journal
