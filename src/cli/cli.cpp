#include "cli/cli.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <utility>

#include "app/batch_options.h"
#include "app/form1.h"
#include "dicom/dicom_hdr.h"
#include "journal/journal.h"
#include "platform/batch_record.h"
#include "platform/escape.h"
#include "platform/journal_files.h"
#include "platform/state_files.h"
#include "platform/stop_signals.h"
#include "rename/new_name.h"
#include "run/exams.h"

namespace slicery::cli {

const char* const kUsage =
    "usage: slicery-cli [-s] [-f] [--folder-name WORD] [--describe] [-n] [-q] [-r] PATH...\n"
    "       slicery-cli --resume [-q] [-r] PATH...\n"
    "       slicery-cli --undo [-q] [-r] PATH...\n"
    "       slicery-cli --forget [--force] [-q] [-r] PATH...\n"
    "       slicery-cli --series-description FILE...\n"
    "       slicery-cli -h | --help | -V | --version\n"
    "\n"
    "Renames the .ima files of each folder given, as the Slicery window does, so\n"
    "that a listing follows series and slice order: series and slice numbers get\n"
    "leading zeros up to the digits of how many there are (series in the folder,\n"
    "files in the series) or of the longest such number, whichever is more. Each\n"
    "series takes the names whose fourth piece is its number, and only their\n"
    "series and slice pieces change. An existing file or folder is never\n"
    "replaced, and nothing is moved out of the folder.\n"
    "\n"
    "  PATH                a folder, or a file inside it; several are run one after\n"
    "                      the other, each as an exam of its own\n"
    "  -s, --short         drop everything after the slice number in new names\n"
    "  -f, --folders       move each series into a folder of its own, Series_S#\n"
    "      --folder-name WORD\n"
    "                      as --folders, with folders named WORD_S#; a WORD no\n"
    "                      folder may be named after (a '/', a leading '.', a\n"
    "                      control character, bytes that are no UTF-8, too long\n"
    "                      for a name with _S and five digits after it) is refused\n"
    "      --describe      as --folders, then put each series' DICOM Series\n"
    "                      Description in front of its folder's name when every\n"
    "                      image in the folder gives that one; an empty or\n"
    "                      unreadable one leaves the name as it is. Spaces and\n"
    "                      the characters \\ / : * ? \" < > | become '_', so the\n"
    "                      folder copies to Windows, exFAT and FAT disks\n"
    "  -n, --dry-run       print what the run would do, then 'Dry run: nothing was\n"
    "                      changed.'; it foresees names taken, names too long for\n"
    "                      the disk and folder names the run refuses, not failures\n"
    "                      that only the disk would report (permissions, space)\n"
    "  -q, --quiet         print only the result lines and failures\n"
    "  -r, --recursive     take each PATH as a tree of exams: run every folder at\n"
    "                      or below it whose .ima files include a series, each as\n"
    "                      an exam of its own, in listing order. A series folder\n"
    "                      a run made is a result, neither run nor searched, so a\n"
    "                      second run over a finished tree changes nothing. Links\n"
    "                      to folders are not followed; a folder that cannot be\n"
    "                      listed is told and skipped. With --resume, --undo or\n"
    "                      --forget: every folder below whose last run it applies\n"
    "                      to; --resume also starts the exams that a batch cut\n"
    "                      short had not started yet\n"
    "      --resume        finish the interrupted run on PATH's folder, with the\n"
    "                      options it was started with, as if it had not stopped:\n"
    "                      each step the folder shows undone is done now\n"
    "      --undo          undo the last run on PATH's folder, finished or not:\n"
    "                      put back every name it changed that the folder shows\n"
    "                      changed, newest first, and remove the series folders it\n"
    "                      made once they are empty; nothing is overwritten and\n"
    "                      what cannot be put back is printed on standard error\n"
    "      --forget        remove the journal of the last run on PATH's folder at\n"
    "                      once; that run can no longer be undone. One that did\n"
    "                      not finish is kept unless --force is given too\n"
    "      --force         with --forget: remove it even when its run did not\n"
    "                      finish, which can then never be finished or undone\n"
    "      --series-description FILE...\n"
    "                      rename nothing: print 'FILE<TAB>VALUE' for each FILE, the\n"
    "                      Series Description (0008,103E) as --describe would put\n"
    "                      it in a folder name (a space and each of \\ / : * ? \" < >\n"
    "                      | as '_', a NUL as \\0), or why it cannot be read on\n"
    "                      standard error\n"
    "  -h, --help          print this help\n"
    "  -V, --version       print the version\n"
    "Short options can be joined: -fn is -f -n. After '--' every argument is a\n"
    "PATH.\n"
    "\n"
    "Prints one line 'OLD -> NEW' for each file renamed or moved and one for each\n"
    "series folder renamed, with paths relative to PATH's folder, and a progress\n"
    "bar on standard error when that is a terminal; then always the lines\n"
    "'Files Processed: N', 'Total Files Renamed/moved: N', 'Time Taken: N Seconds'.\n"
    "With several PATHs each folder's lines follow a line '==> PATH <=='. A PATH\n"
    "is shown by its full path. With -r each exam's lines follow '==> PATH <==',\n"
    "and one line closes the batch: 'Exams: N, Files Processed: N, Total Files\n"
    "Renamed/moved: N, failed exams: N' ('Exams: N, Names put back: N, failed\n"
    "exams: N' for --undo); on a stop it names the exams not started.\n"
    "A step that fails is skipped and told on standard error; every message there\n"
    "reads \"slicery-cli: 'PATH': reason\". Control characters in names are\n"
    "printed escaped (\\n, \\x1b).\n"
    "\n"
    "Every run that changes something (a --dry-run changes nothing) keeps a\n"
#ifdef _WIN32
    "journal of itself outside the folder, in %LOCALAPPDATA%\\Slicery\\, readable\n"
    "by this account only: the folder's path, its file names (which often hold\n"
    "the patient's name), the options, and what each step did. A finished run's\n"
    "journal is kept until the next run on that folder that changes something, or\n"
    "30 days after it was last written: then the next start of slicery or\n"
    "slicery-cli removes it. An unfinished run's journal is kept until the run is\n"
    "finished, undone or forgotten. --forget removes one at once.\n"
#else
    "journal of itself outside the folder, in $XDG_STATE_HOME/slicery/ (else\n"
    "~/.local/state/slicery/ in the account's home), readable by this account\n"
    "only: the folder's path, its file names (which often hold the patient's\n"
    "name), the options, and what each step did. A finished run's journal is\n"
    "kept until the next run on that folder that changes something, or 30 days\n"
    "after it was last written: then the next start of slicery or slicery-cli\n"
    "removes it. An unfinished run's journal is kept until the run is finished,\n"
    "undone or forgotten. --forget removes one at once.\n"
#endif
    "A run cut short (a crash, a pulled disk, power) can be finished with --resume\n"
    "or undone with --undo, also after the folder was moved, renamed or mounted\n"
    "elsewhere; a plain run on that folder renames nothing until one of them was\n"
    "done. One run, --resume, --undo or --forget works on a folder at a time.\n"
#ifdef _WIN32
    "On Ctrl+C or Ctrl+Break a run finishes the file in hand, prints what it did\n"
    "so far and how to resume or undo, and exits 130; closing the console window\n"
    "does the same within the few seconds Windows gives, and exits 143.\n"
#else
    "On Ctrl+C (SIGINT) or SIGTERM a run finishes the file in hand, prints what\n"
    "it did so far and how to resume or undo, and exits 130 (SIGINT) or 143\n"
    "(SIGTERM).\n"
#endif
    "\n"
    "Exit status: 0 every step succeeded; 1 some step failed (with\n"
    "--series-description: some FILE could not be read; with --forget: the\n"
    "journal could not be removed); 2 bad arguments or a PATH cannot be listed,\n"
    "or nothing to resume or undo; 3 no series found (\"No IMA Files!\"); 4 the\n"
    "folder's last run did not finish (use --resume or --undo; with --forget:\n"
    "kept, use --force); 5 another run is working on the folder (nothing was\n"
#ifdef _WIN32
    "changed); 130 stopped by Ctrl+C or Ctrl+Break, 143 by closing the console.\n"
#else
    "changed); 130 or 143 stopped by SIGINT or SIGTERM.\n"
#endif
    "--resume and --undo exit 0 when everything was done or put back, 1 when some\n"
    "step failed. --forget exits 0 also when no journal was kept. With -r, 3 when\n"
    "no exam was found and 1 when a folder could not be listed. With several\n"
#ifdef _WIN32
    "PATHs or exams, the worst of theirs: 2, then a stop, then 5, then 4, then 1,\n"
    "then 3, then 0.\n";
#else
    "PATHs or exams, the worst of theirs: 2, then a stop by a signal, then 5, then\n"
    "4, then 1, then 3, then 0.\n";
#endif

std::string shown(const std::string& path) {
  return platform::escapeControls(path);
}

std::string quoted(const std::string& path) {
  // Appended, not "'" + std::string: that chain draws a false -Wrestrict
  // from GCC 12 when optimising.
  std::string text(1, '\'');
  text += shown(path);
  text += '\'';
  return text;
}

// The command that does `option` on `path`, as a user can paste it into the
// console: the path quoted unless it needs no quotes, after "--" when it
// would read as an option.
std::string commandFor(const char* option, const std::string& path,
                       platform::ShellQuoting quoting) {
  const bool windows = quoting == platform::ShellQuoting::windows;
  const std::string text = shown(path);
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [windows](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view(windows ? "\\/._-+:" : "/._-+,:=@%").find(c) != std::string_view::npos;
  });
  std::string command = "slicery-cli ";
  command += option;
  if (!text.empty() && text.front() == '-') command += " --";
  command += ' ';
  if (plain) return command += text;
  if (windows) {
    // Double quotes, read alike by cmd.exe and PowerShell. Backslashes before
    // a quote are doubled, as programs split their command line so (a folder
    // name holds no quote, but a path may end in a backslash).
    command += '"';
    size_t backslashes = 0;
    for (const char c : text) {
      if (c == '"') command.append(backslashes + 1, '\\');
      backslashes = c == '\\' ? backslashes + 1 : 0;
      command += c;
    }
    command.append(backslashes, '\\');
    return command += '"';
  }
  command += '\'';
  for (const char c : text) {
    if (c == '\'') {
      command += "'\\''";
    } else {
      command += c;
    }
  }
  return command += '\'';
}

int worseStatus(int a, int b) {
  const auto rank = [](int status) {
    switch (status) {
      case kSucceeded:
        return 0;
      case kNoSeries:
        return 1;
      case kStepsFailed:
        return 2;
      case kUnfinishedRun:
        return 3;
      case kBusy:
        return 4;
      case kBadUsage:
        return 6;
      default:  // stopped by a signal
        return 5;
    }
  };
  return rank(a) >= rank(b) ? a : b;
}

namespace {

constexpr const char* kProgram = "slicery-cli: ";

// Takes the value of an option written "--name VALUE" or "--name=VALUE".
bool takeValue(const std::vector<std::string>& args, size_t& i, std::string_view name,
               std::optional<std::string>& value) {
  const std::string& arg = args[i];
  if (arg == name) {
    if (i + 1 >= args.size()) throw UsageError(std::string(name) + " needs a value");
    value = args[++i];
    return true;
  }
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
      arg[name.size()] == '=') {
    value = arg.substr(name.size() + 1);
    return true;
  }
  return false;
}

}  // namespace

Arguments parseArguments(const std::vector<std::string>& args) {
  Arguments parsed;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      operands.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help" || arg == "-h") {
      parsed.mode = Arguments::Mode::help;
      return parsed;
    } else if (arg == "--series-description") {
      parsed.mode = Arguments::Mode::seriesDescription;
    } else if (arg == "--version") {
      parsed.mode = Arguments::Mode::version;
    } else if (arg == "--short") {
      parsed.shortNames = true;
    } else if (arg == "--folders") {
      parsed.folders = true;
    } else if (arg == "--describe") {
      parsed.describe = true;
    } else if (arg == "--dry-run") {
      parsed.dryRun = true;
    } else if (arg == "--quiet") {
      parsed.quiet = true;
    } else if (arg == "--recursive") {
      parsed.recursive = true;
    } else if (arg == "--resume") {
      parsed.resume = true;
    } else if (arg == "--undo") {
      parsed.undo = true;
    } else if (arg == "--forget") {
      parsed.forget = true;
    } else if (arg == "--force") {
      parsed.force = true;
    } else if (takeValue(args, i, "--folder-name", parsed.folderName)) {
      if (parsed.folderName->empty()) throw UsageError("--folder-name needs a word");
      // Refused here as each series folder would be, before anything is
      // touched: the word is what every folder name begins with, and the
      // widest padded series number ends it (the series count is 16-bit, at
      // most 32767: five digits).
      if (const std::string refusal = rename::unsafeFolderName(*parsed.folderName + "_S00000");
          !refusal.empty()) {
        throw UsageError("--folder-name " + quoted(*parsed.folderName) + " is refused: " + refusal);
      }
    } else if (arg[1] != '-') {
      // One or more short options: -f, -fn.
      for (const char letter : std::string_view(arg).substr(1)) {
        switch (letter) {
          case 's':
            parsed.shortNames = true;
            break;
          case 'f':
            parsed.folders = true;
            break;
          case 'n':
            parsed.dryRun = true;
            break;
          case 'q':
            parsed.quiet = true;
            break;
          case 'r':
            parsed.recursive = true;
            break;
          case 'h':
            parsed.mode = Arguments::Mode::help;
            return parsed;
          case 'V':
            parsed.mode = Arguments::Mode::version;
            break;
          default:
            throw UsageError("unknown option " + quoted(std::string("-") + letter));
        }
      }
    } else {
      throw UsageError("unknown option " + quoted(arg));
    }
  }
  if (parsed.mode == Arguments::Mode::seriesDescription) {
    if (parsed.shortNames || parsed.folders || parsed.folderName || parsed.describe ||
        parsed.dryRun || parsed.quiet || parsed.recursive) {
      throw UsageError("--series-description takes no other option");
    }
    if (operands.empty()) throw UsageError("no FILE given");
    parsed.files = std::move(operands);
    return parsed;
  }
  if (parsed.mode != Arguments::Mode::run) return parsed;
  if (int(parsed.resume) + int(parsed.undo) + int(parsed.forget) > 1) {
    throw UsageError("--resume, --undo and --forget exclude each other");
  }
  if (parsed.force && !parsed.forget) throw UsageError("--force goes with --forget only");
  if ((parsed.resume || parsed.undo || parsed.forget) &&
      (parsed.shortNames || parsed.folders || parsed.folderName || parsed.describe ||
       parsed.dryRun)) {
    throw UsageError(std::string(parsed.resume ? "--resume"
                                 : parsed.undo ? "--undo"
                                               : "--forget") +
                     (parsed.forget ? " takes no option but --quiet, --recursive and --force"
                                    : " takes no option but --quiet and --recursive: the run's own "
                                      "options hold"));
  }
  if (operands.empty()) throw UsageError("no PATH given");
  for (const std::string& path : operands) {
    if (path.empty()) throw UsageError("a PATH is empty");
  }
  parsed.paths = std::move(operands);
  return parsed;
}

namespace {

// Prints what the form tells: renamed files and folders, failures, the
// message box, and the progress of the whole run as a bar.
class ConsoleView : public app::Form1View {
 public:
  // `fullPaths`: messages name whole paths, as when several folders run.
  ConsoleView(const app::Form1& form, Console& console, bool quiet, bool fullPaths)
      : form_(form),
        console_(&console),
        quiet_(quiet),
        fullPaths_(fullPaths),
        bar_(console.errIsTerminal && !quiet) {}

  // Where it writes from now on.
  void setConsole(Console& console) {
    console_ = &console;
    bar_ = console.errIsTerminal && !quiet_;
  }

  void controlChanged(app::ControlId id, int) override {
    if (bar_ && id == app::ControlId::prgtotal) drawBar();
  }
  void showMessage(const app::Message& message) override {
    wipeBar();
    console_->err << kProgram << quoted(form_.File2.path()) << ": " << message.text << "\n";
    messageShown = true;
  }
  void fileRenamed(const std::string& from, const std::string& to) override {
    if (!quiet_) printLine(shown(relative(from)) + " -> " + shown(relative(to)));
  }
  void folderRenamed(const std::string& from, const std::string& to) override {
    const char slash[] = {platform::kPathSeparator, 0};
    if (!quiet_) printLine(shown(relative(from) + slash) + " -> " + shown(relative(to) + slash));
  }
  void runFailed(const std::vector<app::RunFailure>& failures) override {
    wipeBar();
    for (const app::RunFailure& failure : failures) {
      console_->err << kProgram;
      if (failure.oldPath.empty()) {
        // A '/' tells a folder; a '\' before the closing quote would read
        // as escaping it in a Windows console.
        std::string folder = named(failure.newPath);
        if constexpr (platform::kPathSeparator == '/') folder += '/';
        console_->err << quoted(folder) << ": cannot make folder";
      } else if (failure.newPath.empty()) {
        console_->err << quoted(named(failure.oldPath));
      } else {
        console_->err << quoted(named(failure.oldPath)) << ": cannot rename to "
                      << quoted(named(failure.newPath));
      }
      console_->err << ": " << platform::escapeControls(failure.reason) << "\n";
    }
    failed = true;
  }

  void runRefused(const journal::LastRun& last) override {
    wipeBar();
    refused = refusalStatus(last);
    tellRefusal(last);
  }

  // Tells why the last run on the folder stops this one, and what to do.
  void tellRefusal(const journal::LastRun& last) {
    const std::string& folder = form_.File2.path();
    console_->err << kProgram << quoted(folder) << ": " << platform::escapeControls(last.reason());
    switch (last.state) {
      case journal::LastRun::State::unfinished:
        console_->err << "; nothing renamed. Run " << commandFor("--resume", folder)
                      << " to finish it or " << commandFor("--undo", folder) << " to undo it";
        break;
      case journal::LastRun::State::damaged:
        // Neither --resume nor --undo can read that journal.
        console_->err << "; nothing renamed. Look the folder over, then remove "
                      << quoted(last.journal) << " to rename it again";
        break;
      case journal::LastRun::State::noJournal:
        console_->err << "; nothing renamed";
        break;
      default:
        break;
    }
    console_->err << "\n";
  }

  static int refusalStatus(const journal::LastRun& last) {
    switch (last.state) {
      case journal::LastRun::State::busy:
        return kBusy;
      case journal::LastRun::State::noJournal:
        return kStepsFailed;
      default:
        return kUnfinishedRun;
    }
  }

  // Takes the bar off the terminal before the closing lines.
  void wipeBar() {
    if (!barShown_) return;
    console_->err << "\r\033[K" << std::flush;
    barShown_ = false;
  }

  bool messageShown = false;
  bool failed = false;
  int refused = 0;

 private:
  // A path as printed: relative to the loaded folder, control characters
  // escaped so a name can neither split a line nor drive the terminal.
  std::string relative(const std::string& path) const {
    const std::string prefix = platform::joinPath(form_.File2.path(), "");
    if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0) {
      return platform::escapeControls(path.substr(prefix.size()));
    }
    return platform::escapeControls(path);
  }
  std::string named(const std::string& path) const { return fullPaths_ ? path : relative(path); }

  void printLine(const std::string& line) {
    if (console_->outIsTerminal) wipeBar();
    console_->out << line << "\n";
  }

  void drawBar() {
    const int total = form_.prgtotal.maximum();
    const int done = form_.prgtotal.value();
    // A series that stands twice in the census is counted twice, so the
    // count can pass the total: the bar is then full, never broken.
    const int percent =
        total > 0 ? static_cast<int>(std::clamp(100LL * done / total, 0LL, 100LL)) : 100;
    if (barShown_ && percent == lastPercent_) return;
    if (console_->outIsTerminal) console_->out.flush();
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    console_->err << "\r[" << std::string(static_cast<size_t>(filled), '#')
                  << std::string(static_cast<size_t>(kWidth - filled), '-') << "] " << percent
                  << "% " << done << "/" << total << " files" << std::flush;
    barShown_ = true;
    lastPercent_ = percent;
  }

  const app::Form1& form_;
  Console* console_;
  bool quiet_;
  bool fullPaths_;
  bool bar_;
  bool barShown_ = false;
  int lastPercent_ = -1;
};

}  // namespace

namespace {

// --forget: removes the journal of the folder's last run, found by its path
// or by its names, whether the folder can still be listed or not.
int forgetOne(const Arguments& args, const std::string& path, app::Form1& form, Console& console) {
  const std::string folder = form.File1.path();
  journal::LastRun forgotten;
  const platform::Status gone = form.forgetRun(args.force, forgotten);
  const std::string named = quoted(folder);
  const bool unfinished = forgotten.state == journal::LastRun::State::unfinished;
  if (!gone && !args.force && (unfinished || forgotten.state == journal::LastRun::State::damaged)) {
    console.err << kProgram << named << ": " << platform::escapeControls(forgotten.reason())
                << "; its journal is the only record of what it renamed, and is kept. Run ";
    if (unfinished) console.err << commandFor("--undo", path) << " to undo it, or ";
    console.err << commandFor("--forget --force", path) << " to forget it all the same\n";
    return kUnfinishedRun;
  }
  if (!gone) {
    switch (gone.code()) {
      case ENOENT:
        if (!args.quiet) {
          console.out << "Nothing to forget on " << shown(folder) << ": "
                      << platform::escapeControls(gone.reason()) << "\n";
        }
        return kSucceeded;
      case EWOULDBLOCK:
        console.err << kProgram << named << ": " << platform::escapeControls(gone.reason())
                    << "; nothing was forgotten\n";
        return kBusy;
      default:
        console.err << kProgram << named
                    << ": cannot forget the run: " << platform::escapeControls(gone.toString())
                    << "\n";
        return kStepsFailed;
    }
  }
  if (!forgotten.allowsRun()) {
    console.err << kProgram << named << ": " << platform::escapeControls(forgotten.reason())
                << "; forgotten all the same: it can no longer be finished or undone\n";
  }
  if (!args.quiet)
    console.out << "Forgotten: the journal of the last run on " << shown(folder) << "\n";
  return kSucceeded;
}

// Where a folder without series has exams in its subfolders, what to tell:
// how many hold .ima files, and the first few of them by name.
std::string examsBelow(app::Form1& form) {
  const std::vector<std::string> exams = form.subfoldersWithImaFiles();
  if (exams.empty()) return {};
  constexpr size_t kNamed = 3;
  std::string text = "; " + std::to_string(exams.size()) +
                     (exams.size() == 1 ? " subfolder holds" : " subfolders hold") +
                     " .ima files, give " + (exams.size() == 1 ? "it" : "each") +
                     " as PATH or this folder with -r: ";
  for (size_t i = 0; i < exams.size() && i < kNamed; ++i) {
    text += (i > 0 ? ", " : "") + quoted(exams[i]);
  }
  if (exams.size() > kNamed) text += ", ...";
  return text;
}

// What the exams of a batch did, for its closing line.
struct Tally {
  int processed = 0;
  int renamed = 0;
  int putBack = 0;
};

// One PATH, or one exam of a batch, loaded into a form of its own. Its
// command comes in two parts: what a run does before its first change (the
// load, the checks, the lock, the plan and the journal on the disk), and the
// rest. A batch does the first part of its next exam on a second thread
// while the exam before it renames; what that part says is then kept until
// the exam's turn, so that it follows the exam's header.
class Exam {
 public:
  Exam(const Arguments& args, std::string path, platform::FileSystem& fs, platform::Clock& clock,
       Console& console, bool ahead)
      : args_(args),
        path_(std::move(path)),
        form_(fs, clock),
        console_(console),
        view_(form_, ahead ? kept_ : console, args.quiet, args.paths.size() > 1 || args.recursive),
        ahead_(ahead) {}
  Exam(const Exam&) = delete;
  Exam& operator=(const Exam&) = delete;

  // The first part. Made ahead, it writes only to the exam's own streams,
  // and of the tree it reads only the exam's folder; given `aside`, the
  // journal is written aside and added to it, for the batch to put in
  // place (journal::Writer::placeTogether) before the exam's turn.
  void prepare(journal::Aside* aside = nullptr) {
    form_.setJournalsAside(aside);
    firstPart();
    form_.setJournalsAside(nullptr);
  }
  // Whether the first part, made ahead, must be made again at the exam's
  // turn, as the exams before may have changed what it found: it ended the
  // exam (the folder held by a run, perhaps the batch's own of the exam
  // before; that run's journal in progress taken for a run cut short), or
  // its journal did not reach its place. A plan made ahead is kept: what a
  // hand changes in the folder meanwhile is told as a run tells it.
  bool madeStale() const {
    return ahead_ && (ended_.has_value() || !form_.preparedJournalPlaced());
  }
  // Tells what the first part said, then does the rest; adds what it did
  // to `tally`. Returns the exam's exit status.
  int run(Tally* tally);
  // An exam made ready that will not run: its journal leaves the place to
  // the one before it, and its lock goes.
  platform::Status abandon() { return form_.abandonPrepared(); }
  const std::string& path() const { return path_; }

 private:
  void firstPart();
  int rest();
  int summary();

  const Arguments& args_;
  const std::string path_;
  app::Form1 form_;
  Console& console_;
  std::ostringstream keptOut_;
  std::ostringstream keptErr_;
  Console kept_{keptOut_, keptErr_};
  ConsoleView view_;
  const bool ahead_;
  bool prepared_ = false;
  std::optional<int> ended_;  // the exit status, when the first part ended the exam
};

void Exam::firstPart() {
  prepared_ = true;
  if (args_.forget) return;
  Console& console = ahead_ ? kept_ : console_;
  form_.setView(&view_);
  // Start follows the load at once: the load's reading of the folder serves.
  form_.setStartRereadsFolder(false);
  form_.setLockBeforeReading(true);
  form_.setListsFolderAfterRun(false);
  form_.setJournaling(args_.journal && !args_.dryRun);
  form_.setDryRun(args_.dryRun);
  form_.setStopFlag(&platform::stopFlag());

  if (const platform::Status loaded = form_.drop({path_}); !loaded) {
    console.err << kProgram << quoted(loaded.path().empty() ? path_ : loaded.path())
                << ": cannot list: " << loaded.reason() << "\n";
    ended_ = kBadUsage;
    return;
  }
  // The load told of another run working on the folder.
  if (view_.refused != 0) {
    ended_ = view_.refused;
    return;
  }
  if (args_.resume || args_.undo) return;
  // Told before the options: a folder whose run moved every file into
  // series folders lists no series, but its run still stands in the way. A
  // dry run says what the run would.
  if (const journal::LastRun last = form_.lastRun();
      !last.allowsRun() && last.state != journal::LastRun::State::noJournal) {
    view_.runRefused(last);
    ended_ = view_.refused;
    return;
  }
  if (args_.shortNames) form_.changeCheck(form_.Check1, 1);
  if (args_.folders || args_.folderName || args_.describe) form_.changeCheck(form_.Check2, 1);
  if (args_.folderName) {
    form_.changeCheck(form_.Check3, 1);
    form_.changeText1(*args_.folderName);
  }
  if (args_.describe) form_.changeCheck(form_.Check4, 1);

  if (!form_.btnstart.enabled()) {
    console.err << kProgram << quoted(form_.File2.path()) << ": No IMA Files! No series found ("
                << form_.lblcountoffiles.text() << " .ima files listed)" << examsBelow(form_)
                << "\n";
    ended_ = kNoSeries;
    return;
  }
  if (!form_.prepareStart()) ended_ = view_.refused != 0 ? view_.refused : kNoSeries;
}

int Exam::run(Tally* tally) {
  if (!prepared_) prepare();
  if (ahead_) {
    console_.out << keptOut_.str() << std::flush;
    console_.err << keptErr_.str() << std::flush;
    view_.setConsole(console_);
  }
  const int status = rest();
  if (tally != nullptr) {
    tally->processed += form_.filesProcessed;
    tally->renamed += form_.filesRenamed;
    tally->putBack += form_.stepsPutBack;
  }
  return status;
}

int Exam::rest() {
  if (args_.forget) {
    // What a run moved here would be found by: the folder's names.
    form_.drop({path_});
    return forgetOne(args_, path_, form_, console_);
  }
  if (ended_) return *ended_;
  if (args_.resume || args_.undo) {
    const std::string named = quoted(form_.File2.path());
    if (const platform::Status done = args_.resume ? form_.resumeRun() : form_.undoRun(); !done) {
      if (done.code() == EWOULDBLOCK) {
        console_.err << kProgram << named << ": " << platform::escapeControls(done.reason())
                     << "\n";
        return kBusy;
      }
      console_.err << kProgram << named << ": cannot " << (args_.resume ? "finish" : "undo")
                   << " the run: " << platform::escapeControls(done.reason()) << "\n";
      return kBadUsage;
    }
    if (args_.resume) return summary();
    console_.out << "Names put back: " << form_.stepsPutBack << "\n";
    return view_.failed ? kStepsFailed : kSucceeded;
  }
  form_.pressStart();
  view_.wipeBar();
  if (view_.refused != 0) return view_.refused;
  if (view_.messageShown) return kNoSeries;
  return summary();
}

int Exam::summary() {
  view_.wipeBar();
  const std::string& folder = form_.File2.path();
  console_.out << form_.Label5.text() << " " << form_.filesProcessed << "\n"
               << form_.Label1[9].text() << " " << form_.filesRenamed << "\n"
               << form_.Label7.text() << " " << form_.lbltimetaken.text() << "\n";
  console_.out.flush();
  if (const int signal = platform::stopSignal(); signal != 0) {
    console_.err << kProgram << quoted(folder) << ": stopped before the end; run "
                 << commandFor("--resume", folder) << " to finish or "
                 << commandFor("--undo", folder) << " to undo\n";
    return 128 + signal;
  }
  if (!form_.journalError()) {
    console_.err << kProgram << quoted(folder) << ": stopped before the end, as its journal "
                 << quoted(form_.journalError().path())
                 << " could not be written; once it can, run " << commandFor("--resume", folder)
                 << " to finish or " << commandFor("--undo", folder) << " to undo\n";
  }
  return view_.failed ? kStepsFailed : kSucceeded;
}

// One PATH, or one exam of a batch, with nothing made ahead.
int runOne(const Arguments& args, const std::string& path, platform::FileSystem& fs,
           platform::Clock& clock, Console& console, Tally* tally = nullptr) {
  Exam exam(args, path, fs, clock, console, false);
  return exam.run(tally);
}

// The line before a folder's lines where several run. Both streams are
// flushed so that the folder's messages follow it.
void printHeader(Console& console, const std::string& path, bool first) {
  console.out << (first ? "" : "\n") << "==> " << shown(path) << " <==\n" << std::flush;
  console.err.flush();
}

// Whether a finish, an undo or a forget of a batch applies to `folder`: it
// has a last run of its own, and for a finish one that did not finish.
// Asked without the lock, the command asks again under it; a folder another
// run holds is kept, to be told.
bool hasRunToTake(const Arguments& args, const std::string& folder, platform::FileSystem& fs,
                  platform::Clock& clock) {
  app::Form1 form(fs, clock);
  if (!form.drop({folder})) return true;
  switch (form.lastRun().state) {
    case journal::LastRun::State::none:
      return false;
    case journal::LastRun::State::finished:
      return !args.resume;
    default:
      return true;
  }
}

// The options a batch runs its exams with, as arguments, for its record.
std::vector<std::string> batchOptions(const Arguments& args) {
  return app::batchArguments({args.shortNames, args.folders, args.folderName, args.describe});
}

// One PATH of a batch: its tree, and the record kept of the batch over it.
struct BatchTree {
  std::string root;
  std::string recordFile;  // empty where none can be kept
  std::unique_ptr<platform::BatchWriter> record;
  // --resume: the batch cut short over the tree, whose owed exams are run
  // with its own options.
  std::optional<Arguments> owed;
};

// One exam's turn in a batch.
struct Turn {
  std::string path;
  size_t tree;
  bool owed;            // run with the options of the batch cut short
  std::uint32_t index;  // in the tree's record, where it keeps one
  size_t files = 0;     // its .ima files as the search listed them; 0: not known
};

// The exams of the batch cut short over `tree` that a --resume still owes
// it: those it had not run, that are exams still and are not taken already.
std::vector<std::string> owedExams(const Arguments& args, BatchTree& tree,
                                   const run::ExamSearch& search,
                                   const std::unordered_set<std::string>& taken) {
  platform::BatchContents cut;
  if (tree.recordFile.empty() || !platform::readBatch(tree.recordFile, cut)) return {};
  std::vector<std::string> options = cut.options;
  options.push_back("--");
  options.push_back(tree.root);
  try {
    tree.owed = parseArguments(options);
  } catch (const UsageError&) {
    return {};
  }
  tree.owed->quiet = args.quiet;
  tree.owed->recursive = true;
  std::unordered_set<std::string> examsNow;
  for (const run::FoundFolder& found : search.folders) {
    if (found.exam) examsNow.insert(found.path);
  }
  std::vector<std::string> owed;
  for (size_t i = 0; i < cut.exams.size(); ++i) {
    if (!cut.done[i] && examsNow.count(cut.exams[i]) != 0 && taken.count(cut.exams[i]) == 0) {
      owed.push_back(cut.exams[i]);
    }
  }
  return owed;
}

// A second thread that makes exams ready in the order they are handed over,
// while the exam before them runs. One thread serves the whole batch. The
// exams handed over together are made ready together: their journals are
// written aside and go to the disk and into their places at once, so that
// the disk waits once for them all (an exam whose journal does not reach its
// place is made again at its turn). Between groups it does the chores the
// runs leave it: removing the journals they replaced.
class Readier {
 public:
  Readier() : thread_([this] { serve(); }) {}
  // Ends once the exam in hand, if any, is ready; the others are left.
  ~Readier() {
    {
      const std::lock_guard<std::mutex> hold(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  Readier(const Readier&) = delete;
  Readier& operator=(const Readier&) = delete;

  // Done while no group waits, and all before the thread ends. The thread
  // is not woken for it, but does it when it wakes for the next group or
  // its end: a wake-up costs the renames in hand more than the chore waits.
  void later(std::function<void()> chore) {
    const std::lock_guard<std::mutex> hold(mutex_);
    chores_.push_back(std::move(chore));
  }
  void prepare(std::vector<Exam*> exams) {
    {
      const std::lock_guard<std::mutex> hold(mutex_);
      waiting_.push_back(std::move(exams));
    }
    changed_.notify_all();
  }
  // Waits until `exam`, and every exam handed over before it, is ready;
  // what one of them threw is thrown here.
  void waitFor(const Exam& exam) {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [&] {
      const auto holds = [&](const std::vector<Exam*>& group) {
        return std::ranges::find(group, &exam) != group.end();
      };
      return thrown_ || (std::ranges::none_of(waiting_, holds) && !holds(inHand_));
    });
    if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
  }
  // Waits until every exam handed over is ready.
  void waitForAll() {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [this] { return thrown_ || (waiting_.empty() && inHand_.empty()); });
    if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
  }

 private:
  void serve() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
      changed_.wait(hold, [this] { return quit_ || !waiting_.empty() || !chores_.empty(); });
      if (!chores_.empty() && (waiting_.empty() || quit_)) {
        const std::function<void()> chore = std::move(chores_.front());
        chores_.pop_front();
        hold.unlock();
        chore();
        hold.lock();
        continue;
      }
      if (quit_) return;
      inHand_ = std::move(waiting_.front());
      waiting_.pop_front();
      hold.unlock();
      std::exception_ptr thrown;
      try {
        journal::Aside aside;
        aside.later = [this](std::function<void()> chore) { later(std::move(chore)); };
        for (Exam* exam : inHand_) exam->prepare(&aside);
        journal::Writer::placeTogether(aside.writers);
      } catch (...) {
        thrown = std::current_exception();
      }
      hold.lock();
      if (thrown) {
        thrown_ = thrown;
        waiting_.clear();
      }
      inHand_.clear();
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<Exam*>> waiting_;
  std::deque<std::function<void()>> chores_;
  std::vector<Exam*> inHand_;
  std::exception_ptr thrown_;
  bool quit_ = false;
  std::thread thread_;  // last: starts once the rest is in place
};

void tellNoRecord(Console& console, const std::string& root, const platform::Status& why) {
  console.err << kProgram << quoted(root) << ": cannot keep a record of the batch ("
              << platform::escapeControls(why.toString())
              << "); should it be cut short, run each exam left on its own\n";
}

// With -r: finds the exams at or below each PATH, then runs each in turn as
// a PATH of its own, and closes with the batch's totals. A run, and a
// --resume that carries on a batch cut short, keeps a record of the batch
// until every exam had its turn.
int runTrees(const Arguments& args, platform::FileSystem& fs, platform::Clock& clock,
             Console& console) {
  const bool ofLastRuns = args.resume || args.undo || args.forget;
  const bool recorded = args.journal && !args.dryRun && (args.resume || !ofLastRuns);
  int status = kSucceeded;
  std::vector<BatchTree> trees;
  std::vector<Turn> turns;
  std::unordered_set<std::string> taken;
  for (const std::string& given : args.paths) {
    BatchTree& tree = trees.emplace_back();
    tree.root = platform::absolutePath(given);
    const std::string& root = tree.root;
    run::ExamSearch search;
    if (const platform::Status read = run::findExams(fs, root, search); !read) {
      console.err << kProgram << quoted(root)
                  << ": cannot list: " << platform::escapeControls(read.reason()) << "\n";
      status = worseStatus(status, kBadUsage);
      continue;
    }
    for (const platform::Status& unread : search.unreadable) {
      console.err << kProgram << quoted(unread.path())
                  << ": cannot list, left out: " << platform::escapeControls(unread.reason())
                  << "\n";
      status = worseStatus(status, kStepsFailed);
    }
    if (!platform::batchPathFor(root, tree.recordFile)) tree.recordFile.clear();
    std::vector<std::string> exams;
    std::vector<size_t> examFiles;
    size_t results = 0;
    bool takenBefore = false;  // an exam here that an earlier PATH holds too
    for (run::FoundFolder& found : search.folders) {
      results += found.holdsSeriesFolders ? 1 : 0;
      if (!(ofLastRuns ? hasRunToTake(args, found.path, fs, clock) : found.exam)) continue;
      if (taken.insert(found.path).second) {
        exams.push_back(std::move(found.path));
        examFiles.push_back(found.files);
      } else {
        takenBefore = true;
      }
    }
    const std::vector<std::string> owed =
        args.resume ? owedExams(args, tree, search, taken) : std::vector<std::string>();
    const size_t index = trees.size() - 1;
    for (size_t i = 0; i < exams.size(); ++i) {
      turns.push_back({exams[i], index, false, static_cast<std::uint32_t>(i), examFiles[i]});
    }
    for (size_t i = 0; i < owed.size(); ++i) {
      taken.insert(owed[i]);
      turns.push_back({owed[i], index, true, static_cast<std::uint32_t>(i)});
    }
    if (recorded && !tree.recordFile.empty() && (args.resume ? !owed.empty() : !exams.empty())) {
      const platform::Status kept = platform::BatchWriter::create(
          tree.recordFile,
          {platform::journalFolderKey(root),
           args.resume ? batchOptions(*tree.owed) : batchOptions(args),
           args.resume ? owed : exams,
           {}},
          tree.record);
      if (!kept) tellNoRecord(console, root, kept);
    }
    if (!exams.empty() || !owed.empty() || takenBefore) continue;
    if (tree.owed) {
      // The batch had run every exam and was cut short as it ended.
      if (!args.quiet) console.out << "Nothing left to finish at or below " << shown(root) << "\n";
    } else if (args.forget) {
      if (!args.quiet) console.out << "Nothing to forget at or below " << shown(root) << "\n";
    } else if (ofLastRuns) {
      console.err << kProgram << quoted(root) << ": no run at or below it to "
                  << (args.resume ? "finish" : "undo") << "\n";
      status = worseStatus(status, kBadUsage);
    } else {
      console.err << kProgram << quoted(root)
                  << ": No IMA Files! No folder at or below it holds a series";
      if (results > 0) {
        console.err << " (" << results << (results == 1 ? " holds" : " hold")
                    << " the series folders of a run)";
      }
      console.err << "\n";
      status = worseStatus(status, kNoSeries);
    }
  }

  Tally tally;
  size_t started = 0;
  int failed = 0;
  const auto argumentsOf = [&](const Turn& turn) -> const Arguments& {
    return turn.owed ? *trees[turn.tree].owed : args;
  };
  // A run's next exams are made ready while the one before them renames:
  // their locks, plans and journals then wait for their turns, and the
  // flushes their journals need overlap the renames. They are made ready in
  // groups of up to four that share their flushes, handed over once half of
  // those ahead have run: each flush of the disk slows the renames in hand.
  // Up to eight are ahead, and no more than two once they hold kAheadFiles
  // files, so that big exams take no more memory than two. An exam inside
  // the folder of an exam before it that has not ended waits for that
  // one's end, which may move files into it.
  constexpr size_t kAhead = 8;
  constexpr size_t kAheadFiles = 4'000;
  // The first groups are small, one then two, so that the first exams do
  // not wait for a whole group.
  size_t groupMost = 1;
  const auto filesOf = [](const Turn& turn) { return turn.files != 0 ? turn.files : kAheadFiles; };
  const auto giveBack = [&](Exam& exam) {
    if (const platform::Status given = exam.abandon(); !given) {
      console.err << kProgram << quoted(exam.path())
                  << ": cannot give back the journal made ready for it ("
                  << platform::escapeControls(given.toString()) << "); run "
                  << commandFor("--undo", exam.path()) << " to remove it\n";
      status = worseStatus(status, kStepsFailed);
    }
  };
  std::deque<std::unique_ptr<Exam>> ready;  // the turns after `started`, in order
  Readier readier;                          // after `ready`: it goes first
  for (; started < turns.size() && platform::stopSignal() == 0; ++started) {
    const Turn& turn = turns[started];
    BatchTree& tree = trees[turn.tree];
    std::unique_ptr<Exam> exam;
    if (!ready.empty()) {
      exam = std::move(ready.front());
      ready.pop_front();
      readier.waitFor(*exam);
    }
    printHeader(console, turn.path, started == 0);
    if (exam != nullptr && exam->madeStale()) {
      giveBack(*exam);
      exam.reset();
    }
    if (exam == nullptr) {
      exam = std::make_unique<Exam>(argumentsOf(turn), turn.path, fs, clock, console, false);
      // Made ready before the next is: the two may be one folder by two
      // paths, and the lock goes to the exam whose turn it is.
      exam->prepare();
    }
    std::vector<Exam*> group;
    size_t readyFiles = 0;
    for (size_t i = started + 1; i < started + 1 + ready.size(); ++i)
      readyFiles += filesOf(turns[i]);
    const bool refill = ready.size() <= kAhead / 2;
    for (size_t next = started + 1 + ready.size();
         refill && next < turns.size() && group.size() < groupMost && ready.size() < kAhead &&
         (ready.size() < 2 || readyFiles < kAheadFiles);
         ++next) {
      const Turn& after = turns[next];
      const Arguments& its = argumentsOf(after);
      const bool inside =
          std::any_of(turns.begin() + static_cast<std::ptrdiff_t>(started),
                      turns.begin() + static_cast<std::ptrdiff_t>(next), [&](const Turn& before) {
                        return after.path.starts_with(platform::joinPath(before.path, ""));
                      });
      if (its.resume || its.undo || its.forget || inside) break;
      ready.push_back(std::make_unique<Exam>(its, after.path, fs, clock, console, true));
      group.push_back(ready.back().get());
      readyFiles += filesOf(after);
    }
    if (!group.empty()) {
      readier.prepare(std::move(group));
      groupMost = std::min(groupMost * 2, kAhead / 2);
    }
    const int one = exam->run(&tally);
    failed += one != kSucceeded ? 1 : 0;
    status = worseStatus(status, one);
    const bool hadItsTurn = platform::stopSignal() == 0 && (turn.owed || !args.resume);
    if (hadItsTurn && tree.record != nullptr) {
      // A record that cannot take the mark is gone; the batch goes on.
      if (const platform::Status marked = tree.record->done(turn.index); !marked) {
        tree.record.reset();
        tellNoRecord(console, tree.root, marked);
      }
    }
  }
  readier.waitForAll();
  for (const std::unique_ptr<Exam>& unstarted : ready) giveBack(*unstarted);
  ready.clear();
  if (started < turns.size()) {
    console.out.flush();
    for (size_t i = started; i < turns.size(); ++i) {
      console.err << kProgram << quoted(turns[i].path)
                  << ": not started, as the batch was stopped\n";
    }
    for (const BatchTree& tree : trees) {
      if (tree.record == nullptr) continue;
      console.err << kProgram << quoted(tree.root) << ": batch stopped; run "
                  << commandFor("--resume -r", tree.root) << " to carry it on or "
                  << commandFor("--undo -r", tree.root) << " to undo it\n";
    }
    status = worseStatus(status, 128 + platform::stopSignal());
  } else if (args.journal && !args.dryRun) {
    // Every exam had its turn: the batch owes nothing more.
    for (const BatchTree& tree : trees) {
      if (!tree.recordFile.empty()) platform::removeStateFile(tree.recordFile);
    }
  }
  console.out << (turns.empty() ? "" : "\n") << "Exams: " << started;
  if (args.undo) {
    console.out << ", Names put back: " << tally.putBack;
  } else if (!args.forget) {
    console.out << ", Files Processed: " << tally.processed
                << ", Total Files Renamed/moved: " << tally.renamed;
  }
  console.out << ", failed exams: " << failed << "\n";
  return status;
}

}  // namespace

int runRename(const Arguments& args, platform::FileSystem& realFs, platform::Clock& clock,
              Console& console) {
  int status = kSucceeded;
  if (args.recursive) {
    status = runTrees(args, realFs, clock, console);
  } else {
    for (size_t i = 0; i < args.paths.size(); ++i) {
      // Shown, and kept in the journal, by its full path.
      const std::string path = platform::absolutePath(args.paths[i]);
      if (args.paths.size() > 1) printHeader(console, path, i == 0);
      status = worseStatus(status, runOne(args, path, realFs, clock, console));
    }
  }
  if (args.dryRun) console.out << "Dry run: nothing was changed.\n" << std::flush;
  return status;
}

namespace {

// The message of `error` with its path taken out: "open /a/b: reason" becomes
// "open: reason", "/a/b: reason" becomes "reason".
std::string withoutPath(const dicom::HeaderError& error) {
  std::string message = error.what();
  const std::string named = error.path() + ": ";
  const size_t at = error.path().empty() ? std::string::npos : message.find(named);
  if (at == std::string::npos) return message;
  std::string before = message.substr(0, at);
  while (!before.empty() && before.back() == ' ') before.pop_back();
  return before.empty() ? message.substr(at + named.size())
                        : before + ": " + message.substr(at + named.size());
}

}  // namespace

int printSeriesDescriptions(const std::vector<std::string>& files, platform::FileSystem& fs,
                            Console& console) {
  int status = kSucceeded;
  for (const std::string& file : files) {
    try {
      const std::string value = rename::folderDescription(dicom::DICOM_hdr(fs, "8", "103E", file));
      std::string text;
      for (const char c : value) {
        if (c == '\0') {
          text += "\\0";
        } else {
          text.push_back(c);
        }
      }
      console.out << shown(file) << '\t' << platform::escapeControls(std::move(text)) << '\n';
    } catch (const dicom::HeaderError& e) {
      console.out.flush();
      console.err << kProgram << quoted(file) << ": " << platform::escapeControls(withoutPath(e))
                  << "\n";
      status = kStepsFailed;
    }
  }
  console.out.flush();
  return status;
}

int runCommand(const std::vector<std::string>& args, platform::FileSystem& fs,
               platform::Clock& clock, Console& console) {
  Arguments parsed;
  try {
    parsed = parseArguments(args);
  } catch (const UsageError& e) {
    console.err << kProgram << platform::escapeControls(e.what())
                << "\nTry 'slicery-cli --help' for more.\n";
    return kBadUsage;
  }
  if (parsed.mode == Arguments::Mode::run) {
    for (const std::string& failure : journal::forgetOldRuns()) {
      console.err << kProgram
                  << "cannot tidy the run journals: " << platform::escapeControls(failure) << "\n";
    }
  }
  switch (parsed.mode) {
    case Arguments::Mode::help:
      console.out << kUsage;
      return kSucceeded;
    case Arguments::Mode::version:
      console.out << "slicery-cli " << app::kVersion << "\n";
      return kSucceeded;
    case Arguments::Mode::seriesDescription:
      return printSeriesDescriptions(parsed.files, fs, console);
    case Arguments::Mode::run:
      break;
  }
  return runRename(parsed, fs, clock, console);
}

}  // namespace slicery::cli
