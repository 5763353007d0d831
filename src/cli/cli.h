// slicery-cli: a second view of the window. It does what a person at the
// window would do (drop the path, tick the options, type the folder word,
// press Start) and prints what happens. The logic lives here, apart from
// main(), so tests can run it on any file system and clock.
#pragma once

#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/terminal.h"

namespace slicery::cli {

enum ExitStatus : int {
  kSucceeded = 0,      // every step succeeded
  kStepsFailed = 1,    // some step failed; the others were done
  kBadUsage = 2,       // bad arguments, or PATH cannot be listed
  kNoSeries = 3,       // no series found: Start stays disabled or finds no files
  kUnfinishedRun = 4,  // the folder's last run did not finish: nothing renamed
  kBusy = 5,           // another run is working on the folder: nothing changed
};

// What the command line asks for.
struct Arguments {
  enum class Mode { run, seriesDescription, help, version };
  Mode mode = Mode::run;

  // Mode::seriesDescription
  std::vector<std::string> files;

  // Mode::run: each folder is loaded and run in turn, as an exam of its own.
  std::vector<std::string> paths;
  // Each path is a tree: every exam folder at or below it is run in turn.
  bool recursive = false;
  bool shortNames = false;
  bool folders = false;
  std::optional<std::string> folderName;
  bool describe = false;
  bool dryRun = false;
  bool quiet = false;
  // Finish the folder's interrupted run, or undo its last run.
  bool resume = false;
  bool undo = false;
  // Remove the folder's journal; with `force`, an unfinished run's too.
  bool forget = false;
  bool force = false;
  // Whether a run keeps its journal. No option turns it off: a program that
  // measures what the journal costs does.
  bool journal = true;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the arguments after the program name; throws UsageError.
Arguments parseArguments(const std::vector<std::string>& args);

extern const char* const kUsage;

// Where the command writes, and what the streams lead to.
struct Console {
  std::ostream& out;
  std::ostream& err;
  bool errIsTerminal = false;  // a progress bar is drawn on `err`
  bool outIsTerminal = false;  // the bar is wiped before each line on `out`
};

// Every path or name printed passes through shown(); quoted() gives the
// 'PATH' of the messages on standard error.
std::string shown(const std::string& path);
std::string quoted(const std::string& path);
// The command line `slicery-cli OPTION PATH` as a user pastes it into the
// console, the path quoted for its shell.
std::string commandFor(const char* option, const std::string& path,
                       platform::ShellQuoting quoting = platform::kShellQuoting);

// The worse of two exit statuses: kBadUsage, then a stop by a signal, then
// kBusy, then kUnfinishedRun, then kStepsFailed, then kNoSeries, then
// kSucceeded.
int worseStatus(int a, int b);

// The rename run of Mode::run over `fs` (the real one or a double), for each
// of `args.paths` in turn, or with `args.recursive` for each exam folder
// found at or below them; returns the worst of their statuses.
int runRename(const Arguments& args, platform::FileSystem& fs, platform::Clock& clock,
              Console& console);

// Mode::seriesDescription: prints "FILE<TAB>VALUE" for each file, its Series
// Description as the folder renamer puts it in a folder name, a NUL written
// as \0; each file that cannot be read is told on `err`.
int printSeriesDescriptions(const std::vector<std::string>& files, platform::FileSystem& fs,
                            Console& console);

// The whole command: parses `args` (without the program name), runs the
// mode asked for and returns the exit status.
int runCommand(const std::vector<std::string>& args, platform::FileSystem& fs,
               platform::Clock& clock, Console& console);

}  // namespace slicery::cli
