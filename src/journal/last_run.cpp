#include "journal/last_run.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <unordered_set>

#include "journal/journal.h"
#include "platform/journal_files.h"
#include "rename/plan.h"
#include "scan/ima_file_name.h"

namespace slicery::journal {
namespace {

// Whether the folder now holding `names` and `others` is what the run of
// `header` began to make of its own names: each .ima name is one the run
// found or gives, and some name or series folder is the run's own work.
bool showsRunOf(const Header& header, std::vector<std::string_view> names,
                const platform::FileSystem::Entries& others) {
  const std::vector<std::string_view> listed = header.listing.index.names();
  if (listed.empty()) return false;
  const rename::Plan plan = rename::makePlan(header.listing, header.options);
  std::unordered_set<std::string_view> before(listed.begin(), listed.end());
  std::unordered_set<std::string_view> given;
  std::unordered_set<std::string_view> folders;
  for (const rename::PlannedSeries& s : plan.series) {
    if (s.hasFolder && s.refusal.empty() && !s.folderListed) folders.insert(s.folderName);
    for (size_t i = s.firstFile; i < s.endFile; ++i) {
      if (!s.hasFolder && plan.moves(s, plan.files[i])) given.insert(plan.files[i].newName);
    }
  }
  bool changed = false;
  for (const std::string_view name : names) {
    const bool isNew = given.count(name) != 0 && before.count(name) == 0;
    if (!isNew && before.count(name) == 0) return false;
    changed = changed || isNew;
  }
  for (const auto& [name, kind] : others) {
    changed = changed || (kind == platform::PathKind::folder && folders.count(name) != 0);
  }
  return changed;
}

// Whether a run can have made anything the folder holds: a name with a
// series or slice piece padded with a zero or cut after the slice piece, or
// a folder named as series folders are. A folder that holds none of these
// is no run's work, and no journal needs to be asked about it.
bool mayShowARun(const scan::SeriesIndex& index, const platform::FileSystem::Entries& others) {
  const auto padded = [](std::string_view piece) { return piece.size() > 1 && piece[0] == '0'; };
  scan::NameFields fields;
  for (const std::string_view name : index.names()) {
    scan::splitImaFileName(name, fields);
    if (padded(fields[scan::kSeriesField]) || padded(fields[scan::kSliceField]) ||
        std::count(name.begin(), name.end(), '.') + 1 == scan::kShortNamePieces) {
      return true;
    }
  }
  return std::any_of(others.begin(), others.end(), [](const auto& entry) {
    return entry.second == platform::PathKind::folder &&
           entry.first.find("_S") != std::string::npos;
  });
}

}  // namespace

std::string LastRun::reason() const {
  switch (state) {
    case State::none:
    case State::finished:
      return {};
    case State::unfinished:
      if (!alsoFrom.empty()) {
        std::string text = "runs cut short elsewhere, begun at " + movedFrom;
        for (const std::string& other : alsoFrom) text += " and at " + other;
        return text +
               ", each fit this folder's names; finish or undo the right one where it "
               "began, or forget the others there";
      }
      if (undoing) return "the undo of the last run did not finish";
      return movedFrom.empty()
                 ? "the last run did not finish"
                 : "the last run on this folder, begun at " + movedFrom + ", did not finish";
    case State::damaged:
      return "the last run did not finish or its journal cannot be read (" + why + ")";
    case State::busy:
      return "another run is working on this folder";
    case State::noJournal:
      return "cannot keep the run journal: " + why;
  }
  return {};
}

std::string LastRun::words() const {
  switch (state) {
    case State::none:
      return "no run on record";
    case State::finished:
      return "finished";
    default:
      return reason();
  }
}

std::string LastRun::advice() const {
  switch (state) {
    case State::unfinished:
      if (!alsoFrom.empty()) return "Nothing was renamed: " + reason() + ".";
      return std::string(undoing ? "The undo of the last run on this folder did not finish"
                                 : "The last run on this folder did not finish") +
             (movedFrom.empty() ? std::string() : " (it began at " + movedFrom + ")") +
             ". Load the folder again to finish or undo it first.";
    case State::damaged:
      return "The journal of the last run on this folder cannot be read, so it is not known "
             "whether that run finished: " +
             why + ". Look the folder over, then remove " + journal + " to rename again.";
    case State::busy:
      return "Another run is working on this folder. Nothing was changed; load the folder "
             "again once it has ended.";
    case State::noJournal:
      return "Nothing was renamed: " + reason() + ".";
    default:
      return {};
  }
}

std::string LastRun::title() const {
  switch (state) {
    case State::busy:
      return "Folder in Use";
    case State::noJournal:
      return "Cannot Rename";
    default:
      return "Unfinished Run";
  }
}

LastRun findLastRun(Store& store, const std::string& folder, const scan::SeriesIndex& index,
                    const platform::FileSystem::Entries& others) {
  LastRun last;
  if (platform::Status where = store.locate(folder, last.journal, last.folderKey); !where) {
    last.state = LastRun::State::noJournal;
    last.why = where.reason();
    return last;
  }
  // The folder's own journal wins.
  Contents own;
  switch (store.state(last.journal, &last.why, &own)) {
    case State::unfinished:
      last.state = LastRun::State::unfinished;
      last.undoing = own.last == Command::undo;
      return last;
    case State::damaged:
      last.state = LastRun::State::damaged;
      return last;
    case State::finished:
      last.state = LastRun::State::finished;
      return last;
    case State::none:
      break;
  }
  // Without one: a run cut short on this folder at another path, unless
  // nothing in the folder can be a run's work. Only the start of another
  // journal is read, unless its studies are the folder's.
  if (!mayShowARun(index, others)) return last;
  const std::string& key = last.folderKey;
  std::unordered_set<std::uint64_t> studies;
  for (const std::string_view name : index.names()) studies.insert(study(name));
  std::vector<std::pair<std::string, std::string>> found;  // journal, folder
  for (const std::string& file : store.list()) {
    std::string began;
    std::vector<std::uint64_t> theirs;
    bool known = false;
    if (file == last.journal || !store.readStart(file, began, theirs, known)) continue;
    if (known && (began == key || std::any_of(studies.begin(), studies.end(), [&](auto study) {
                    return std::find(theirs.begin(), theirs.end(), study) == theirs.end();
                  }))) {
      continue;
    }
    Contents contents;
    if (store.state(file, nullptr, &contents) != State::unfinished ||
        contents.header.folder == key) {
      continue;
    }
    if (showsRunOf(contents.header, index.names(), others)) {
      found.emplace_back(file, contents.header.folder);
    }
  }
  if (found.empty()) return last;
  last.state = LastRun::State::unfinished;
  last.journal = found.front().first;
  last.movedFrom = found.front().second;
  for (size_t i = 1; i < found.size(); ++i) last.alsoFrom.push_back(found[i].second);
  return last;
}

std::vector<std::string> forgetOldRuns() {
  std::vector<std::string> messages;
  for (const platform::Status& failure : tidy(std::chrono::hours(24 * kFinishedRunDays))) {
    messages.push_back(failure.toString());
  }
  return messages;
}

}  // namespace slicery::journal
