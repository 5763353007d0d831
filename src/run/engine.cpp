#include "run/engine.h"

#include <cerrno>

#include "journal/recorded_intent.h"
#include "rename/new_name.h"

namespace slicery::run {
namespace {

using platform::joinPath;
using platform::PathKind;
using platform::Status;

// Why a file step is not even tried: its series folder cannot be used
// (`refusal`), or it is a link whose relative target would break.
Status blockedStep(const Target& t, const rename::PlannedSeries& s, const rename::PlannedFile& f,
                   const std::string& refusal, const std::string& oldPath) {
  if (!refusal.empty()) {
    return Status::error(
        "rename", oldPath,
        "its series folder cannot be used (" + refusal + "); the file stays where it is");
  }
  std::string linkTarget;
  if (s.hasFolder && t.listing != nullptr && t.listing->isLink(f.id) &&
      t.fs->entryKind(oldPath, linkTarget) == PathKind::link &&
      platform::pathRootLength(linkTarget) == 0) {
    return Status::error("rename", oldPath,
                         linkTarget.empty()
                             ? "a symbolic link whose target cannot be read could break in the "
                               "series folder; the link stays where it is"
                             : "a symbolic link with a relative target would break in the "
                               "series folder; the link stays where it is");
  }
  return Status::ok();
}

// What a dry run foresees for a file step that moves.
Status foreseen(const Target& t, const rename::PlannedSeries& s, const rename::PlannedFile& f,
                const std::string& oldPath, const std::string& newPath) {
  switch (f.foreseen) {
    case rename::Foresight::taken:
      return Status::systemError("rename", oldPath, EEXIST, newPath);
    case rename::Foresight::tooLong:
      return Status::systemError("rename", oldPath, ENAMETOOLONG, newPath);
    case rename::Foresight::none:
      break;
  }
  // A folder that was there before may hold the name already.
  std::string target;
  if (s.hasFolder && s.folderListed && t.fs->entryKind(newPath, target) != PathKind::missing) {
    return Status::systemError("rename", oldPath, EEXIST, newPath);
  }
  return Status::ok();
}

// The series folder of `s`, made where it is missing. One that exists
// already is used only when it is a real folder, never a link; a name that
// would lead out of the loaded folder or hide the series is never made or
// moved into. Returns why it cannot be used, empty when it can.
std::string readyFolder(const Target& t, const rename::PlannedSeries& s, bool& changed) {
  if (t.open == nullptr) return s.refusal;
  if (std::string unsafe = rename::unsafeFolderName(s.folderName); !unsafe.empty()) return unsafe;
  const Status made = t.open->makeFolder(s.folderName);
  if (made) {
    changed = true;
    return {};
  }
  const PathKind kind = t.open->kind(s.folderName);
  if (kind == PathKind::folder) return {};
  return made.code() == EEXIST ? rename::notAFolder(kind) : made.reason();
}

}  // namespace

Status foreseeStep(const Target& t, const rename::PlannedSeries& s, const rename::PlannedFile& f,
                   const std::string& oldPath, const std::string& newPath) {
  if (Status blocked = blockedStep(t, s, f, s.refusal, oldPath); !blocked) return blocked;
  return foreseen(t, s, f, oldPath, newPath);
}

Performed perform(const rename::Plan& plan, const Target& t, Observer& observer) {
  Performed out;
  const auto stop = [&] { return !out.journalError || observer.stopWanted(); };
  const auto written = [&out](const Status& status) {
    if (!status) out.journalError = status;
  };
  // Reused from file to file: a run of many files makes no strings of its
  // own. The full paths keep the folder's part from file to file.
  const std::string inFolder = joinPath(t.folder, "");
  std::string oldPath = inFolder;
  std::string newPath = inFolder;
  std::string target;
  std::string from;
  for (size_t si = 0; si < plan.series.size() && !stop(); ++si) {
    const rename::PlannedSeries& s = plan.series[si];
    // A finish finds a series folder named after its description already:
    // its files went in before that.
    const std::string* describedAs = nullptr;
    if (s.hasFolder && t.finish != nullptr) {
      const auto found = t.finish->described.find(s.folderName);
      if (found != t.finish->described.end()) describedAs = &found->second;
    }
    std::string refusal;
    std::string folderPath;
    if (s.hasFolder) {
      folderPath = joinPath(t.folder, s.folderName);
      if (describedAs == nullptr) refusal = readyFolder(t, s, out.changed);
      if (!refusal.empty()) observer.failed({{}, folderPath, refusal});
    }
    observer.seriesBegins(s, folderPath, s.hasFolder && refusal.empty());

    for (size_t i = s.firstFile; i < s.endFile && !stop(); ++i) {
      const rename::PlannedFile& f = plan.files[i];
      if (!f.renamed) {
        observer.fileBegins(s, f, {}, {});
        observer.fileEnds(f);
        continue;
      }
      plan.targetInto(target, s, f);
      oldPath.replace(inFolder.size(), std::string::npos, f.oldName);
      newPath.replace(inFolder.size(), std::string::npos, target);
      observer.fileBegins(s, f, oldPath, newPath);
      // A name that stays the same is no failure and no rename.
      out.attempted = true;
      Status status = blockedStep(t, s, f, refusal, oldPath);
      bool moved = false;
      bool done = false;
      if (status && plan.moves(s, f)) {
        const std::uint8_t judged =
            t.finish != nullptr ? t.finish->steps[i] : static_cast<std::uint8_t>(Finish::untried);
        if (t.open == nullptr) {
          status = foreseen(t, s, f, oldPath, newPath);
          done = true;
        } else if (judged == Finish::done) {
          done = true;  // taken before the run stopped
        } else if (judged == Finish::failed) {
          // Tried before the run stopped, without effect: the finish
          // leaves it as the run did.
          const auto why = t.finish->reasons.find(static_cast<std::uint32_t>(i));
          status = why != t.finish->reasons.end()
                       ? Status::error("rename", oldPath, why->second)
                       : Status::systemError("rename", oldPath, EEXIST, newPath);
        } else {
          if (describedAs != nullptr) platform::joinPathInto(target, *describedAs, f.newName);
          from.assign(f.oldName);
          journal::RecordedIntent intent(t.journal, from, target, &out.journalError);
          status = t.open->renameFile(from, target, &intent);
        }
        moved = status.isOk();
      }
      if (!status) {
        observer.failed({oldPath, newPath, status.reason()});
        // Recorded as it fails, so that a finish or an undo after a kill
        // knows the step changed nothing.
        if (t.journal != nullptr && t.open != nullptr) {
          written(t.journal->failure(static_cast<std::uint32_t>(i), status.reason()));
        }
      } else if (moved) {
        out.changed = out.changed || !done;
        if (t.listing != nullptr) {
          t.listing->renamed(f.id, s.hasFolder ? std::string_view() : f.newName,
                             !s.hasFolder && f.foreseen == rename::Foresight::none);
        }
        observer.fileRenamed(f, oldPath, newPath);
      }
      observer.fileEnds(f);
    }
  }
  return out;
}

}  // namespace slicery::run
