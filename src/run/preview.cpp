// The preview: each step of a plan told with what the dry run foresees for
// it. Nothing on disk changes.
#include "run/preview.h"

#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include "run/describe.h"

namespace slicery::run {

using platform::Status;

namespace {

std::string counted(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string Preview::summary() const {
  if (!refusal.empty()) return "Start would not run now: " + refusal;
  std::string text = "Start would handle " + counted(files, "file", "files") + " in " + folder +
                     ": rename or move " + std::to_string(renamed);
  if (foldersMade > 0) text += ", make " + counted(foldersMade, "series folder", "series folders");
  if (foldersNamed > 0) {
    text += ", and name " + std::to_string(foldersNamed) +
            (foldersNamed == 1 ? " folder" : " folders") +
            " after the Series Description its images carry";
  }
  text += ". ";
  if (unhandled > 0) {
    text += "The other " + counted(unhandled, ".ima file", ".ima files") + " listed" +
            (unhandled == 1 ? " carries no series number and keeps its name. "
                            : " carry no series number and keep their names. ");
  }
  if (failures > 0) {
    text +=
        counted(failures, "step is", "steps are") + " foreseen to fail; nothing is overwritten. ";
  }
  return text + "Nothing has been changed yet.";
}

std::string Preview::shownFrom(const PreviewStep& step) {
  return step.kind == PreviewStep::Kind::makeFolder ? std::string() : step.from;
}

std::string Preview::shownTo(const PreviewStep& step) {
  switch (step.kind) {
    case PreviewStep::Kind::makeFolder:
      return step.to + "/";
    case PreviewStep::Kind::keep:
      return step.from;
    case PreviewStep::Kind::nameFolder:
      return step.to.empty() ? step.from : step.to + "/";
    case PreviewStep::Kind::rename:
      break;
  }
  return step.to;
}

std::string Preview::shownNote(const PreviewStep& step) {
  if (!step.failure.empty()) return "fails: " + step.failure;
  switch (step.kind) {
    case PreviewStep::Kind::makeFolder:
      return "new folder";
    case PreviewStep::Kind::keep:
      return "keeps its name";
    case PreviewStep::Kind::nameFolder:
      return "named at the end, when all its images carry one description";
    case PreviewStep::Kind::rename:
      break;
  }
  return {};
}

Preview preview(const rename::Plan& plan, const Target& dry, int listed) {
  Preview p;
  p.folder = dry.folder;
  platform::FileSystem& fs = *dry.fs;
  std::unordered_set<std::string_view> made;
  std::string oldPath;
  std::string newPath;
  p.steps.reserve(plan.files.size() + plan.series.size());
  for (const rename::PlannedSeries& s : plan.series) {
    if (s.hasFolder &&
        (!s.refusal.empty() || (!s.folderListed && made.insert(s.folderName).second))) {
      p.steps.push_back({PreviewStep::Kind::makeFolder, {}, s.folderName, s.refusal});
      if (s.refusal.empty()) {
        ++p.foldersMade;
      } else {
        ++p.failures;
      }
    }
    for (size_t i = s.firstFile; i < s.endFile; ++i) {
      const rename::PlannedFile& f = plan.files[i];
      ++p.files;
      if (!f.renamed || !plan.moves(s, f)) {
        // Counted only, or renamed to the name it has.
        p.steps.push_back({PreviewStep::Kind::keep, std::string(f.oldName), {}, {}});
        continue;
      }
      PreviewStep& step = p.steps.emplace_back(
          PreviewStep{PreviewStep::Kind::rename, std::string(f.oldName), plan.target(s, f), {}});
      platform::joinPathInto(oldPath, p.folder, step.from);
      platform::joinPathInto(newPath, p.folder, step.to);
      const Status foreseenStatus = foreseeStep(dry, s, f, oldPath, newPath);
      if (foreseenStatus) {
        ++p.renamed;
      } else {
        step.failure = foreseenStatus.reason();
        ++p.failures;
      }
    }
  }
  p.unhandled = std::max(0, listed - p.files);
  // Each series folder's new name, from the description of its first image
  // as the run leaves it; the run asks every image.
  std::unordered_set<std::string> named;
  for (const std::string& folder : plan.described) {
    std::string why;
    std::string to = describedName(fs, p.folder, plan, folder, why);
    // A name another folder takes, or that something holds already.
    std::string target;
    if (why.empty() &&
        (!named.insert(to).second ||
         fs.entryKind(platform::joinPath(p.folder, to), target) != platform::PathKind::missing)) {
      why = Status::systemError("rename folder", platform::joinPath(p.folder, folder), EEXIST)
                .reason();
    }
    if (why.empty()) {
      ++p.foldersNamed;
    } else {
      ++p.failures;
    }
    p.steps.push_back({PreviewStep::Kind::nameFolder, folder, std::move(to), std::move(why)});
  }
  return p;
}

}  // namespace slicery::run
