// Reading a journal: its records, or only whether it ends finished.
#include <cerrno>

#include "platform/journal.h"
#include "platform/journal_records.h"
#include "platform/record_log.h"
#include "platform/state_files.h"

namespace slicery::platform {
namespace {

using namespace journal_records;

constexpr std::size_t kEndRecord = kRecordPrefix + 1;

// Whether `tail`, the last bytes of a journal, is a whole end record.
bool isEndRecord(std::string_view tail) {
  std::vector<Record> records;
  std::size_t valid = 0;
  return tail.size() == kEndRecord && splitRecords(tail, records, valid) && records.size() == 1 &&
         records[0].type == kEndType && records[0].payload.empty();
}

// Whether the file ends in a whole end record.
bool endsFinished(const std::string& file) {
  std::string tail;
  return readFileEnd(file, kEndRecord, tail) && isEndRecord(tail);
}

}  // namespace

Status readJournal(const std::string& file, JournalContents& out, bool salvage) {
  out = {};
  std::string data;
  if (Status read = readWholeFile(file, data); !read) return read;
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
  JournalHeader& h = out.header;
  h.folder = header.str();
  h.check1 = header.u8() != 0;
  h.check2 = header.u8() != 0;
  h.check4 = header.u8() != 0;
  h.folderBaseName = header.str();
  h.seriesCount = static_cast<int>(header.u32());
  h.list1 = header.strs();
  h.nameLimit = static_cast<long>(header.u32());
  h.foldsCase = version >= 4 ? header.u8() != 0 : kNamesIgnoreCase;
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

JournalState journalState(const std::string& file, std::string* why, JournalContents* out) {
  if (endsFinished(file)) return JournalState::finished;
  JournalContents own;
  JournalContents& contents = out != nullptr ? *out : own;
  const Status read = readJournal(file, contents);
  if (!read) {
    if (read.code() == ENOENT) return JournalState::none;
    if (why != nullptr) *why = read.toString();
    return JournalState::damaged;
  }
  return contents.finished ? JournalState::finished : JournalState::unfinished;
}

}  // namespace slicery::platform
