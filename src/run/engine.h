// Engine: performs a rename run's plan on a folder, a step at a time, with
// no window state. What it is given is all it knows: the plan, the folder
// (held open, or none for a dry run, which foresees each step instead), the
// journal to record in, the listing to keep current and, when a run cut
// short is being finished, which of its steps the disk shows taken. It tells
// an observer each step as it comes and each failure, and asks it between
// two files whether to stop.
//
// A step that fails is skipped, recorded and told, and so are the steps that
// depend on it; the run goes on to its end unless the observer wants it to
// stop or the journal can no longer be written.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "journal/writer.h"
#include "platform/file_system.h"
#include "rename/plan.h"
#include "scan/series_index.h"

namespace slicery::run {

// One step of a run that did not take effect: a file or folder that could not
// be renamed from oldPath to newPath. oldPath is empty for a folder that could
// not be made at newPath; newPath is empty when the step failed before a new
// path was known (a folder that could not be listed or read).
struct RunFailure {
  std::string oldPath;
  std::string newPath;
  std::string reason;
};

// What a finish knows of the run it finishes, from its journal and the disk.
struct Finish {
  // For each planned file: its step not taken yet, taken, or taken without
  // effect.
  enum : std::uint8_t { untried = 0, done = 1, failed = 2 };
  std::vector<std::uint8_t> steps;
  // Why the journal says a step failed.
  std::unordered_map<std::uint32_t, std::string> reasons;
  // The series folders named after their description already: by the
  // plan's name, the name they have now.
  std::unordered_map<std::string, std::string> described;
};

// Where and how a plan is performed.
struct Target {
  platform::FileSystem* fs = nullptr;
  std::string folder;                    // the loaded folder's path
  platform::OpenFolder* open = nullptr;  // none: a dry run
  journal::Writer* journal = nullptr;    // none: no journal is kept
  scan::SeriesIndex* listing = nullptr;  // kept current by the run's renames
  const Finish* finish = nullptr;        // a run cut short, being finished
};

// Told of the run as it goes, in order.
class Observer {
 public:
  virtual ~Observer() = default;
  // A series pass begins. `folderPath` is its series folder's full path
  // (empty without one); `folderReady` whether files can go into it.
  virtual void seriesBegins(const rename::PlannedSeries& s, const std::string& folderPath,
                            bool folderReady) = 0;
  // A planned file comes up, before its step is tried; `oldPath` and
  // `newPath` are full paths (empty when the file is only counted).
  virtual void fileBegins(const rename::PlannedSeries& s, const rename::PlannedFile& f,
                          const std::string& oldPath, const std::string& newPath) = 0;
  // Its step took effect.
  virtual void fileRenamed(const rename::PlannedFile& f, const std::string& oldPath,
                           const std::string& newPath) = 0;
  // Its step is over, whatever became of it.
  virtual void fileEnds(const rename::PlannedFile& f) = 0;
  // A series folder was named after its description (full paths).
  virtual void folderNamed(const std::string& /*oldPath*/, const std::string& /*newPath*/) {}
  virtual void failed(RunFailure failure) = 0;
  // Asked between two files: whether to stop after the file in hand.
  virtual bool stopWanted() = 0;
};

struct Performed {
  bool changed = false;    // something on the disk changed
  bool attempted = false;  // some step tried to rename; the observer counts those that did
  // Why the journal could not be written (ok when it could): the run
  // stopped there.
  platform::Status journalError;
};

// What a dry run foresees for the step of file `f` of series `s`, from
// `oldPath` to `newPath` (full paths): why it would fail, or ok.
platform::Status foreseeStep(const Target& target, const rename::PlannedSeries& s,
                             const rename::PlannedFile& f, const std::string& oldPath,
                             const std::string& newPath);

// Performs the file steps of `plan` (series folders made, files renamed or
// moved), recording each in the journal as it goes.
Performed perform(const rename::Plan& plan, const Target& target, Observer& observer);

}  // namespace slicery::run
