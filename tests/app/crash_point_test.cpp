// A kill at every step, as a journal must survive it. For small crafted
// folders (support/crash_shapes.h), the run is cut off before and after
// each operation it makes on the disk or its journal in turn; on what each
// kill leaves, a plain run, a finish and an undo are run whole, and the
// finish and the undo are also cut off at each of their own changes, then
// followed by a whole run, finish or undo. Every path must end at the
// uninterrupted run's tree (finish) or the original tree (undo), file
// contents included; a plain run refuses or makes the whole run; and no
// command may claim success short of that.
//
// SLICERY_CRASH_SWEEP=full also renames by link and unlink, and cuts the
// finish and the undo after each change and before each operation that
// only looks (which leaves what a nearby kill leaves, but for the journal's
// own file moves). SLICERY_CRASH_REPORT=FILE appends each way a path ends
// wrong there, with how many do and the first; SLICERY_CRASH_EVERY_PATH=1
// adds one line per failing path.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/form1.h"
#include "platform/clock.h"
#include "support/crash_shapes.h"
#include "support/killing_file_system.h"
#include "support/memory_file_system.h"

namespace slicery::app {
namespace {

bool lightSweep();

using testing::CrashShape;
using testing::KillingFileSystem;
using testing::MemoryFileSystem;
using Renames = KillingFileSystem::Renames;
using When = KillingFileSystem::When;

constexpr const char* kExam = "/exam";

// --- The commands, as a user gives them ------------------------------------
// The only part that knows how a run, a finish and an undo are asked for:
// run, finish and undo below, today through Form1.

enum class Command { run, finish, undo };

const char* nameOf(Command c) {
  switch (c) {
    case Command::run:
      return "run";
    case Command::finish:
      return "finish";
    case Command::undo:
      return "undo";
  }
  return "?";
}

// What a command told: `refused` when it did nothing (the command line
// exits 2 or 4), `clean` when it claims everything done (exit 0).
struct Told {
  bool refused = false;
  bool clean = false;
  std::string why;
};

class FailureView : public Form1View {
 public:
  void runFailed(const std::vector<RunFailure>& failures) override {
    for (const RunFailure& f : failures) {
      if (!why.empty()) why += "; ";
      why += f.oldPath + (f.newPath.empty() ? "" : " -> " + f.newPath) + ": " + f.reason;
    }
  }
  void runRefused(const journal::LastRun& last) override { refused = last.advice(); }
  std::string why;
  std::string refused;
};

// What a command works on, as a process finds it: the disk, and where its
// journals are kept.
struct Disk {
  platform::FileSystem& fs;
  journal::Store& journals;
};

// A command's window on the folder: Form1 with journaling on, the folder
// dropped on it as slicery-cli drops it.
class Session {
 public:
  explicit Session(const Disk& disk) : form(disk.fs, clock) {
    form.setView(&view);
    form.setJournaling(true);
    form.setJournalStore(disk.journals);
    form.setStartRereadsFolder(false);
    loaded = form.drop({kExam});
  }
  // What the command told once it ended.
  Told told() const { return {false, form.runFailures.empty(), view.why}; }

  platform::SettableClock clock;
  Form1 form;
  FailureView view;
  platform::Status loaded;
};

// slicery-cli [options] PATH
Told run(const CrashShape& shape, const Disk& disk) {
  Session s(disk);
  Form1& form = s.form;
  if (!s.loaded) return {true, false, s.loaded.toString()};
  if (const journal::LastRun last = form.lastRun();
      !last.allowsRun() && last.state != journal::LastRun::State::noJournal) {
    return {true, false, last.advice()};
  }
  if (shape.shortNames) form.changeCheck(form.Check1, 1);
  if (shape.folders) form.changeCheck(form.Check2, 1);
  if (!shape.folderWord.empty()) {
    form.changeCheck(form.Check3, 1);
    form.changeText1(shape.folderWord);
  }
  if (shape.describe) form.changeCheck(form.Check4, 1);
  if (!form.btnstart.enabled()) return {true, false, "no series"};
  form.pressStart();
  if (form.refusal().state != journal::LastRun::State::none) return {true, false, s.view.refused};
  return s.told();
}

// slicery-cli --resume PATH
Told finish(const CrashShape&, const Disk& disk) {
  Session s(disk);
  if (!s.loaded) return {true, false, s.loaded.toString()};
  if (const platform::Status done = s.form.resumeRun(); !done) {
    return {true, false, done.toString()};
  }
  return s.told();
}

// slicery-cli --undo PATH
Told undo(const CrashShape&, const Disk& disk) {
  Session s(disk);
  if (!s.loaded) return {true, false, s.loaded.toString()};
  if (const platform::Status done = s.form.undoRun(); !done) return {true, false, done.toString()};
  return s.told();
}

Told perform(Command command, const CrashShape& shape, const Disk& disk) {
  switch (command) {
    case Command::run:
      return run(shape, disk);
    case Command::finish:
      return finish(shape, disk);
    case Command::undo:
      return undo(shape, disk);
  }
  return {};
}

// --- Trees and states ------------------------------------------------------

// Every entry below the folder: relative path -> contents, "/" for a folder.
using Tree = std::map<std::string, std::string>;

Tree treeOf(const MemoryFileSystem& disk) {
  Tree tree;
  const std::string prefix = platform::joinPath(kExam, "");
  for (const auto& [path, kind] : disk.entriesUnder(kExam)) {
    const std::string key = path.substr(prefix.size());
    if (kind == platform::PathKind::folder) {
      tree[key] = "/";
    } else {
      tree[key] = kind == platform::PathKind::file ? disk.contents(path) : "?";
    }
  }
  return tree;
}

// What a kill leaves: the folder, and the files of the journal store.
struct State {
  MemoryFileSystem disk;
  std::map<std::string, std::string> journals;
};

std::size_t fingerprint(const MemoryFileSystem& disk,
                        const std::map<std::string, std::string>& journals) {
  std::string all;
  for (const auto& [path, contents] : treeOf(disk)) {
    all += path;
    all += '\0';
    all += contents;
    all += '\0';
  }
  all += '\1';
  for (const auto& [name, bytes] : journals) {
    all += name;
    all += '\0';
    all += bytes;
    all += '\0';
  }
  return std::hash<std::string>{}(all);
}

// --- The sweep -------------------------------------------------------------

// An operation of an uninterrupted command, counted from 1.
struct Operation {
  long k = 0;
  bool changes = false;       // may change the disk or the journal
  bool journalWrite = false;  // a write of the journal, which a kill can tear
  std::string what;
};

struct KillPoint {
  long k = 0;
  When when = When::before;
  std::string what;  // the operation
};

// `text` with the loaded folder's path left out of every path in it.
std::string relative(std::string text) {
  const std::string folder = platform::joinPath(kExam, "");
  for (size_t at = text.find(folder); at != std::string::npos; at = text.find(folder, at)) {
    text.erase(at, folder.size());
  }
  return text;
}

std::string describe(const KillPoint& p) {
  const char* where = p.when == When::before  ? "before"
                      : p.when == When::after ? "after"
                                              : "inside";
  return std::string(where) + " op " + std::to_string(p.k) + " (" + relative(p.what) + ")";
}

struct Counts {
  long paths = 0;                  // sequences of commands tried
  long kills = 0;                  // commands cut off
  long commands = 0;               // commands run (a path's known state is not run again)
  long falseSuccesses = 0;         // claimed done, the tree short of it
  long wrongTrees = 0;             // ended elsewhere, failures told
  long falseFailures = 0;          // the tree right, the report not as the run's
  long lost = 0;                   // an image's bytes under no name at all
  std::vector<std::string> lines;  // one per failing path, when asked for
  // Each distinct way a path ends wrong: how many end so, and the first.
  std::map<std::string, std::pair<long, std::string>> kinds;
};

class Sweep {
 public:
  Sweep(CrashShape shape, Renames renames, bool full)
      : shape_(std::move(shape)), renames_(renames), full_(full) {
    testing::buildShape(shape_, original_.disk, kExam);
    t0_ = treeOf(original_.disk);
    State whole;
    const Outcome o = execute(original_, Command::run, {}, whole);
    wholeRun_ = o.told;
    runLog_ = o.log;
    runMoves_ = o.moves;
    t1_ = treeOf(whole.disk);
    for (const auto& [image, description] : shape_.images) {
      originalName_[original_.disk.contents(platform::joinPath(kExam, image))] = image;
    }
  }

  const Tree& original() const { return t0_; }
  const Tree& whole() const { return t1_; }
  const Told& wholeRun() const { return wholeRun_; }
  long runOperations() const { return static_cast<long>(runLog_.size()); }
  const Counts& counts() const { return counts_; }
  std::string runMoves() const {
    std::string text;
    for (const auto& [from, to] : runMoves_)
      text += "\n  " + relative(from) + " -> " + relative(to);
    return text;
  }
  // Whether the uninterrupted run moved a file to a name an earlier step
  // freed, or moved one file twice.
  bool hasChain(CrashShape::Chain chain) const {
    for (size_t i = 0; i < runMoves_.size(); ++i) {
      for (size_t j = i + 1; j < runMoves_.size(); ++j) {
        if (chain == CrashShape::Chain::freedThenTaken &&
            runMoves_[j].second == runMoves_[i].first &&
            runMoves_[j].first != runMoves_[i].second) {
          return true;
        }
        if (chain == CrashShape::Chain::renamedTwice && runMoves_[j].first == runMoves_[i].second) {
          return true;
        }
      }
    }
    return chain == CrashShape::Chain::none;
  }

  void sweep() {
    // Every operation of the run, each of its changes after it took effect
    // too, and each journal write torn in the middle.
    for (const KillPoint& p : killPoints(runLog_, true)) {
      State killed;
      execute(original_, Command::run, p, killed);
      ++counts_.kills;
      const std::string path = "run killed " + describe(p);
      const std::size_t key = fingerprint(killed.disk, killed.journals);
      if (const auto known = pathsAfter_.find(key); known != pathsAfter_.end()) {
        // The same disk and journal as an earlier kill: its paths are known.
        counts_.paths += known->second;
        continue;
      }
      const long before = counts_.paths;
      afterKill(killed, path);
      pathsAfter_[key] = counts_.paths - before;
    }
  }

 private:
  struct Outcome {
    Told told;
    bool killed = false;
    std::vector<Operation> log;
    std::vector<std::pair<std::string, std::string>> moves;
  };

  Outcome execute(const State& from, Command command, std::optional<KillPoint> kill, State& after) {
    after.disk = from.disk;
    KillingFileSystem fs(after.disk, renames_);
    testing::KillingStore journals(fs);
    journals.files = from.journals;
    if (kill) fs.killAt(kill->k, kill->when);
    // A killed process runs no destructor: what they change in the state
    // folder while the command unwinds is no part of what the kill leaves.
    std::map<std::string, std::string> atKill;
    fs.onKill([&atKill, &journals] { atKill = journals.files; });
    Outcome o;
    try {
      o.told = perform(command, shape_, {fs, journals});
    } catch (const KillingFileSystem::Killed&) {
      o.killed = true;
    }
    ++counts_.commands;
    o.moves = fs.moves();
    for (long k = 1; k <= fs.operations(); ++k) {
      o.log.push_back({k, fs.changes(k), fs.isJournalWrite(k), fs.describe(k)});
    }
    after.journals = journals.files;
    if (o.killed && atKill != after.journals) {
      ADD_FAILURE() << nameOf(command) << " changed the state folder after its kill at "
                    << (kill ? describe(*kill) : std::string()) << ", while unwinding";
      after.journals = atKill;
    }
    return o;
  }

  // Where to cut a command whose uninterrupted operations are `log`: before
  // each change and inside each journal write; with `everyOp` (the run, or
  // a full sweep) also after each change and before each operation that
  // only looks. A cut after a change leaves what a cut before the next
  // change leaves, save for the journal's own file moves between them: so
  // the cut after the last change is always made.
  std::vector<KillPoint> killPoints(const std::vector<Operation>& log, bool everyOp) const {
    std::vector<KillPoint> points;
    const Operation* last = nullptr;
    for (const Operation& op : log) {
      if (op.changes) last = &op;
      if (op.changes || everyOp || full_) points.push_back({op.k, When::before, op.what});
      if (op.changes && (everyOp || full_)) points.push_back({op.k, When::after, op.what});
      if (op.journalWrite) points.push_back({op.k, When::torn, op.what});
    }
    if (last != nullptr && !everyOp && !full_) points.push_back({last->k, When::after, last->what});
    return points;
  }

  // On what a killed run left: finish and undo, whole and cut off.
  void afterKill(const State& killed, const std::string& path) {
    finally(killed, Command::run, path);
    for (const Command first : {Command::finish, Command::undo}) {
      finally(killed, first, path);
      if (lightSweep()) continue;
      State clean;
      const Outcome uncut = execute(killed, first, {}, clean);
      for (const KillPoint& p : killPoints(uncut.log, false)) {
        State cut;
        execute(killed, first, p, cut);
        ++counts_.kills;
        const std::string cutPath = path + ", " + nameOf(first) + " killed " + describe(p);
        for (const Command then : {Command::run, Command::finish, Command::undo}) {
          finally(cut, then, cutPath);
        }
      }
    }
  }

  // Runs `command` whole on `from` as the last of a path, and judges where
  // it ends.
  void finally(const State& from, Command command, const std::string& path) {
    ++counts_.paths;
    const auto key = std::make_pair(fingerprint(from.disk, from.journals), command);
    const auto known = verdicts_.find(key);
    std::string verdict;
    if (known != verdicts_.end()) {
      verdict = known->second;
    } else {
      verdict = judge(from, command);
      verdicts_[key] = verdict;
    }
    if (verdict.empty()) return;
    if (verdict[0] == 'F') ++counts_.falseSuccesses;
    if (verdict[0] == 'W') ++counts_.wrongTrees;
    if (verdict[0] == 'R') ++counts_.falseFailures;
    if (verdict[0] == 'L') ++counts_.lost;
    if (everyPath_)
      counts_.lines.push_back(path + ", then " + nameOf(command) + ": " + verdict.substr(2));
    auto& kind = counts_.kinds[std::string(nameOf(command)) + ": " + verdict.substr(2)];
    if (kind.first++ == 0) kind.second = path;
  }

  // Empty when the command ends where it must; else a letter (F: claimed
  // success short of it, W: ended elsewhere, R: the right tree, a wrong
  // report) and what differs.
  std::string judge(const State& from, Command command) {
    // Whatever a kill cut short, every image is still under some name.
    if (const std::string gone = lost(treeOf(from.disk));
        !gone.empty() && command == Command::run) {
      return "L the kill left images under no name: " + gone;
    }
    State after;
    const Outcome o = execute(from, command, {}, after);
    const Tree now = treeOf(after.disk);
    if (const std::string gone = lost(now); !gone.empty()) {
      return std::string("L ") + nameOf(command) + " leaves images under no name: " + gone;
    }
    if (command == Command::run) {
      // A plain run on what a kill left refuses, changing nothing, or makes
      // the whole run: it never goes ahead on a half-done folder.
      if (o.told.refused) {
        if (now == treeOf(from.disk)) return {};
        return "W refused, but changed the folder: " + difference(now, treeOf(from.disk));
      }
      if (now == t1_ && o.told.clean == wholeRun_.clean) return {};
      // On a folder the finish already brought to its end, a plain run is a
      // second run: it may find steps it cannot take, and must change nothing.
      if (now == t1_ && treeOf(from.disk) == t1_) return {};
      return std::string(o.told.clean ? "F" : "W") + " went ahead and " +
             (o.told.clean ? "claims success" : "reports failures") +
             ", the folder at: " + difference(now, t1_) +
             (o.told.clean ? std::string() : " [told: " + shortened(o.told.why) + "]");
    }
    const bool finish = command == Command::finish;
    const Tree& target = finish ? t1_ : t0_;
    const bool expectClean = finish ? wholeRun_.clean : true;
    if (o.told.refused) {
      // Nothing to finish or undo is a fair answer only where the folder
      // is where it would end anyway, or untouched with no run to finish:
      // then a plain run must do the whole job.
      if (now == target) return {};
      if (finish && now == t0_) {
        State ran;
        const Outcome run = execute(after, Command::run, {}, ran);
        if (treeOf(ran.disk) == t1_ && !run.told.refused) return {};
        return "W refused (" + shortened(o.told.why) + ") and a plain run then " +
               (run.told.refused ? "refused too (" + shortened(run.told.why) + ")"
                                 : "ends at: " + difference(treeOf(ran.disk), t1_));
      }
      if (finish) {
        // A finish may refuse to take over a cut undo, changing nothing, if
        // an undo then puts everything back.
        State undone;
        const Outcome undo = execute(after, Command::undo, {}, undone);
        if (treeOf(undone.disk) == t0_ && undo.told.clean) return {};
        return "W refused (" + shortened(o.told.why) +
               ") with the folder at: " + difference(now, target) + "; an undo then " +
               (undo.told.clean ? "claims success" : "fails") +
               " with the folder at: " + difference(treeOf(undone.disk), t0_);
      }
      return "W refused (" + shortened(o.told.why) +
             ") with the folder at: " + difference(now, target);
    }
    if (now != target) {
      return std::string(o.told.clean ? "F claims success" : "W reports failures") +
             ", the folder at: " + difference(now, target) +
             (o.told.clean ? std::string() : " [told: " + shortened(o.told.why) + "]");
    }
    if (o.told.clean != expectClean) {
      return std::string("R the folder is right but the command ") +
             (o.told.clean ? "claims success where the run failed"
                           : "reports failures: " + shortened(o.told.why));
    }
    if (finish) {
      // A finished run can still be undone whole.
      State undone;
      const Outcome undo = execute(after, Command::undo, {}, undone);
      if (treeOf(undone.disk) != t0_) {
        return std::string(undo.told.clean ? "F" : "W") + " finished right, but an undo after " +
               (undo.told.clean ? "claims success" : "fails") +
               " with the folder at: " + difference(treeOf(undone.disk), t0_);
      }
    }
    return {};
  }

  // The images whose bytes `tree` holds under no name.
  std::string lost(const Tree& tree) const {
    std::unordered_set<std::string_view> held;
    for (const auto& [path, contents] : tree) held.insert(contents);
    std::string gone;
    for (const auto& [contents, name] : originalName_) {
      if (held.count(contents) == 0) gone += (gone.empty() ? "" : ", ") + name;
    }
    return gone;
  }

  static std::string shortened(const std::string& text) {
    const std::string shown = relative(text);
    return shown.size() > 300 ? shown.substr(0, 300) + "..." : shown;
  }

  // What differs from `target`, shortly: each image told by its original
  // name.
  std::string difference(const Tree& now, const Tree& target) const {
    const auto what = [this](const std::string& contents) -> std::string {
      if (contents == "/") return "a folder";
      if (contents.empty()) return "an empty file";
      const auto it = originalName_.find(contents);
      return it != originalName_.end() ? "<" + it->second + ">" : "a file of the user";
    };
    std::string text;
    int told = 0;
    int more = 0;
    const auto add = [&](const std::string& line) {
      if (++told > 4) {
        ++more;
        return;
      }
      text += (text.empty() ? "" : "; ") + line;
    };
    for (const auto& [path, contents] : now) {
      const auto t = target.find(path);
      if (t == target.end()) {
        add("extra " + path + " = " + what(contents));
      } else if (t->second != contents) {
        add(path + " holds " + what(contents) + " not " + what(t->second));
      }
    }
    for (const auto& [path, contents] : target) {
      if (now.count(path) == 0) add("missing " + path + " = " + what(contents));
    }
    if (more > 0) text += "; and " + std::to_string(more) + " more";
    return text.empty() ? "as it should be" : text;
  }

  CrashShape shape_;
  Renames renames_;
  bool full_;
  const bool everyPath_ = std::getenv("SLICERY_CRASH_EVERY_PATH") != nullptr;
  State original_;
  Tree t0_;
  Tree t1_;
  Told wholeRun_;
  std::vector<Operation> runLog_;
  std::vector<std::pair<std::string, std::string>> runMoves_;
  std::unordered_map<std::string, std::string> originalName_;
  std::unordered_map<std::size_t, long> pathsAfter_;
  std::map<std::pair<std::size_t, Command>, std::string> verdicts_;
  Counts counts_;
};

// --- The tests -------------------------------------------------------------

const char* nameOf(Renames r) {
  switch (r) {
    case Renames::atomic:
      return "NoReplace";
    case Renames::placeholder:
      return "Placeholder";
    case Renames::cutMove:
      return "CutMove";
  }
  return "?";
}

bool fullSweep() {
  const char* sweep = std::getenv("SLICERY_CRASH_SWEEP");
  return sweep != nullptr && std::string(sweep) == "full";
}

// A light sweep kills the run at every step but runs each finish and undo
// after it whole only. Under AddressSanitizer, which is there for memory
// faults, not for the paths, it is the default (SLICERY_CRASH_SWEEP=default
// asks for the default one there too).
bool lightSweep() {
  const char* sweep = std::getenv("SLICERY_CRASH_SWEEP");
  if (sweep != nullptr) return std::string(sweep) == "light";
#ifdef __SANITIZE_ADDRESS__
  return true;
#else
  return false;
#endif
}

struct Case {
  CrashShape shape;
  Renames renames;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.shape.name << "/" << nameOf(c.renames);
}

// Every folder with a no-replace rename and onto placeholders (as exFAT
// and FAT force it); a cut move (link, then unlink) in a full sweep.
std::vector<Case> cases() {
  std::vector<Case> all;
  for (const CrashShape& shape : testing::crashShapes()) {
    for (const Renames r : {Renames::atomic, Renames::placeholder, Renames::cutMove}) {
      if (r != Renames::cutMove || fullSweep()) all.push_back({shape, r});
    }
  }
  return all;
}

class CrashPointTest : public ::testing::TestWithParam<Case> {};

TEST_P(CrashPointTest, EveryKillIsFinishedOrUndoneExactly) {
  const Case& c = GetParam();
  Sweep sweep(c.shape, c.renames, fullSweep());
  // The folder is one of the hard shapes only if its run changes it.
  ASSERT_NE(sweep.whole(), sweep.original());
  ASSERT_FALSE(sweep.wholeRun().refused) << sweep.wholeRun().why;
  ASSERT_TRUE(sweep.hasChain(c.shape.chain))
      << "the run makes none of the chain it is here for:" << sweep.runMoves();
  ASSERT_EQ(sweep.wholeRun().clean, !c.shape.runFails) << sweep.wholeRun().why;
  sweep.sweep();
  const Counts& n = sweep.counts();
  // One line for each way a path ends wrong, with the first path that does.
  std::string lines;
  int shown = 0;
  for (const auto& [verdict, seen] : n.kinds) {
    if (++shown > 20) break;
    lines += "\n  " + std::to_string(seen.first) + "x " + verdict + "\n      first: " + seen.second;
  }
  if (n.kinds.size() > 20) lines += "\n  ... and " + std::to_string(n.kinds.size() - 20) + " more";
  if (const char* report = std::getenv("SLICERY_CRASH_REPORT")) {
    std::ofstream out(report, std::ios::app);
    out << c.shape.name << "/" << nameOf(c.renames) << ": " << sweep.runOperations()
        << " ops in the run; paths " << n.paths << ", kills " << n.kills << ", commands "
        << n.commands << ", false successes " << n.falseSuccesses << ", wrong trees "
        << n.wrongTrees << ", wrong reports " << n.falseFailures << ", images lost " << n.lost
        << "\n";
    for (const auto& [verdict, seen] : n.kinds) {
      out << "  " << seen.first << "x " << verdict << "\n      first: " << seen.second << "\n";
    }
    for (const std::string& line : n.lines) {
      out << c.shape.name << "/" << nameOf(c.renames) << ": " << line << "\n";
    }
  }
  RecordProperty("paths", std::to_string(n.paths));
  RecordProperty("kills", std::to_string(n.kills));
  EXPECT_EQ(n.falseSuccesses + n.wrongTrees + n.falseFailures + n.lost, 0)
      << n.paths << " paths, " << n.kills << " kills, " << n.falseSuccesses << " false successes, "
      << n.wrongTrees << " wrong trees, " << n.falseFailures << " wrong reports, " << n.lost
      << " with images lost:" << lines;
}

// The double the sweep stands on: a kill leaves what the operations before
// it did, and nothing after it reaches the disk or the journal; a rename
// onto a placeholder or by link and unlink leaves its parts as a kill
// between them would on a real disk.
TEST(KillingFileSystemTest, AKillKeepsWhatCameBeforeAndLetsNothingThrough) {
  const std::string journal = "/journals/j";
  for (const Renames renames : {Renames::atomic, Renames::placeholder, Renames::cutMove}) {
    SCOPED_TRACE(nameOf(renames));
    MemoryFileSystem disk;
    disk.addFolder("/d");
    disk.addFile("/d/a", "A");
    KillingFileSystem fs(disk, renames);
    testing::KillingStore journals(fs);
    const auto folder = fs.openFolder("/d");
    // Renames by parts take two operations; a kill after the first leaves
    // the placeholder, or both names of the file.
    const long parts = renames == Renames::atomic ? 1 : 2;
    fs.killAt(parts == 1 ? 0 : 1, When::after);
    std::unique_ptr<platform::AppendFile> file;
    if (parts == 1) {
      ASSERT_TRUE(journals.open(journal, true, 0, file));
      ASSERT_TRUE(file->append("x"));
      fs.killAt(4, When::torn);
      EXPECT_TRUE(folder->renameFile("a", "b"));
      EXPECT_THROW(file->append("yyzz"), KillingFileSystem::Killed);
    } else {
      EXPECT_THROW(folder->renameFile("a", "b"), KillingFileSystem::Killed);
      EXPECT_EQ(disk.contents("/d/b"), renames == Renames::placeholder ? "" : "A");
      EXPECT_EQ(disk.contents("/d/a"), "A");
    }
    EXPECT_TRUE(fs.killed());
    // Dead: nothing more is done, whatever is asked.
    const auto before = disk.entriesUnder("/d");
    EXPECT_FALSE(folder->renameFile(parts == 1 ? "b" : "a", "c"));
    EXPECT_FALSE(folder->makeFolder("e"));
    EXPECT_FALSE(folder->removePlaceholder("b"));
    EXPECT_FALSE(folder->completeCutMove("a", "b"));
    EXPECT_EQ(disk.entriesUnder("/d"), before);
    if (file != nullptr) {
      EXPECT_FALSE(file->append("more"));
      EXPECT_EQ(journals.files.at(journal), "xyy");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, CrashPointTest, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& param) {
                           return param.param.shape.name + nameOf(param.param.renames);
                         });

}  // namespace
}  // namespace slicery::app
