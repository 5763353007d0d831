// Preview: the run Start would make now, step by step, as a person reads it
// before anything is touched: the folders to be made, the old and new name
// of every file (relative to the loaded folder), the series folders to be
// named after their description, the counts, and what is foreseen to fail.
// The dry run's own judgement of each step (foreseeStep) and the folder
// names of the run (describedName) make it; a window only lists the steps.
#pragma once

#include <string>
#include <vector>

#include "rename/plan.h"
#include "run/engine.h"

namespace slicery::run {

struct PreviewStep {
  enum class Kind {
    makeFolder,  // `to` is the folder to be made
    rename,      // `from` is renamed or moved to `to`
    keep,        // `from` is counted but keeps its name
    nameFolder,  // `from` is named after its description at the end
  };
  Kind kind = Kind::rename;
  std::string from;
  std::string to;
  // Why the step is foreseen to fail; empty when nothing is known against it.
  std::string failure;
};

struct Preview {
  std::string folder;  // the loaded folder, in full
  std::vector<PreviewStep> steps;
  int files = 0;        // the files the run handles ("Files Processed")
  int unhandled = 0;    // .ima files listed that carry no series number
  int renamed = 0;      // those renamed or moved, as far as can be foreseen
  int foldersMade = 0;  // series folders to be made
  int foldersNamed = 0;
  int failures = 0;  // steps foreseen to fail
  // Why Start would not run at all now; empty when it would.
  std::string refusal;

  // A paragraph telling the counts, for the top of a preview.
  std::string summary() const;
  // What a list shows in the step's columns.
  static std::string shownFrom(const PreviewStep& step);
  static std::string shownTo(const PreviewStep& step);
  static std::string shownNote(const PreviewStep& step);
};

// The preview of `plan` on target.folder (target.open is none: nothing is
// changed); `listed` is the number of .ima files the folder lists.
Preview preview(const rename::Plan& plan, const Target& target, int listed);

}  // namespace slicery::run
