#include "app/exam_batch.h"

#include <algorithm>

#include "app/batch_options.h"
#include "journal/last_run.h"
#include "platform/batch_record.h"
#include "platform/escape.h"
#include "platform/file_list.h"
#include "platform/journal_files.h"
#include "platform/state_files.h"
#include "run/exams.h"

namespace slicery::app {

namespace {

using Outcome = ExamBatch::Outcome;

constexpr ExamColumn kColumns[] = {
    {"Exam", 260}, {"Files", 60}, {"Series", 60}, {"Last run", 180}, {"Outcome", 300},
};

// `path` from `folder` on; empty for the folder itself.
std::string below(const std::string& folder, const std::string& path) {
  if (path.size() <= folder.size() || !path.starts_with(folder)) return {};
  return path.substr(folder.find_last_not_of("/\\") + 1 == folder.size() ? folder.size() + 1
                                                                         : folder.size());
}

std::string counted(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The main window's options, given to a form of the batch's own.
void copyOptions(const Form1& from, Form1& to) {
  to.setCheck(to.Check1, from.Check1.value());
  to.setCheck(to.Check2, from.Check2.value());
  to.setCheck(to.Check4, from.Check4.value());
  to.setCheck(to.Check3, from.Check3.value());
  if (to.Text1.text() != from.Text1.text()) {
    to.Text1.setText(from.Text1.text());
    to.Text1Changed();
  }
}

// The failure list's lines on one line, as a row shows them.
std::string oneLine(const std::string& lines) {
  std::string line;
  for (const char c : lines) {
    if (c == '\n') {
      line += "; ";
    } else {
      line += c;
    }
  }
  return line;
}

// Each line of `lines` indented by `indent`.
std::string indented(const std::string& lines, const char* indent) {
  std::string text;
  size_t start = 0;
  while (start < lines.size()) {
    size_t end = lines.find('\n', start);
    if (end == std::string::npos) end = lines.size();
    text += '\n';
    text += indent;
    text.append(lines, start, end - start);
    start = end + 1;
  }
  return text;
}

}  // namespace

std::span<const ExamColumn> examColumns() {
  return kColumns;
}

std::string outcomeWords(Outcome outcome) {
  switch (outcome) {
    case Outcome::waiting:
      return {};
    case Outcome::running:
      return "running";
    case Outcome::done:
      return "done";
    case Outcome::failed:
      return "failed";
    case Outcome::stopped:
      return "stopped";
    case Outcome::notStarted:
      return "not started";
    case Outcome::undone:
      return "undone";
    case Outcome::undoFailed:
      return "not undone";
  }
  return {};
}

std::string searchWords(size_t folders) {
  return "Searching for exams: " + counted(static_cast<int>(folders), "folder", "folders") +
         " searched";
}

// Stands between the form and the window while the batch works: the window
// keeps showing the controls and asks the stop question, while what the
// form would tell of each exam goes to the exam's row instead of a message.
class ExamBatch::Relay : public Form1View {
 public:
  Relay(ExamBatch& batch, Form1View* window) : batch_(batch), window_(window) {
    batch_.relay_ = this;
    batch_.form_.setView(this);
  }
  ~Relay() override {
    batch_.form_.setView(window_);
    batch_.relay_ = nullptr;
  }
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

  void controlChanged(ControlId id, int index) override {
    if (window_ != nullptr) window_->controlChanged(id, index);
    if (id == ControlId::prgtotal) batch_.tell(false);
  }
  void showMessage(const Message& message) override { messages.push_back(message); }
  void notice(const Message& message) override { messages.push_back(message); }
  void fileRenamed(const std::string& from, const std::string& to) override {
    if (window_ != nullptr) window_->fileRenamed(from, to);
  }
  void folderRenamed(const std::string& from, const std::string& to) override {
    if (window_ != nullptr) window_->folderRenamed(from, to);
  }
  void runFailed(const std::vector<RunFailure>&) override {}  // the row tells them
  void runRefused(const journal::LastRun&) override {}        // form.refusal() tells it
  bool askStop(const std::string& text) override { return ask(text); }
  bool ask(const std::string& text) {
    if (window_ == nullptr || !window_->askStop(text)) return false;
    batch_.stop_ = true;
    return true;
  }

  std::vector<Message> messages;

 private:
  ExamBatch& batch_;
  Form1View* window_;
};

// The records a Start keeps of itself, one for each dropped folder with
// ticked exams, as slicery-cli -r keeps one for each tree: the options as
// arguments, the exams in order, and each exam once it had its turn.
class ExamBatch::Records {
 public:
  explicit Records(ExamBatch& batch) : batch_(batch) {
    batch_.recordError_.clear();
    const Form1& form = batch_.form_;
    if (!form.journaling() || form.dryRun()) return;
    const std::vector<std::string> options = batchArguments(namingOptions(form));
    trees_.resize(batch_.trees_.size());
    index_.assign(batch_.rows_.size(), 0);
    std::vector<std::vector<std::string>> exams(trees_.size());
    for (size_t i = 0; i < batch_.rows_.size(); ++i) {
      const Row& row = batch_.rows_[i];
      if (!row.ticked) continue;
      index_[i] = static_cast<std::uint32_t>(exams[row.tree].size());
      exams[row.tree].push_back(row.path);
    }
    for (size_t t = 0; t < trees_.size(); ++t) {
      if (exams[t].empty()) continue;
      const std::string& root = batch_.trees_[t];
      Tree& tree = trees_[t];
      platform::Status kept = platform::batchPathFor(root, tree.file);
      if (kept) {
        kept = platform::BatchWriter::create(
            tree.file, {platform::journalFolderKey(root), options, std::move(exams[t]), {}},
            tree.writer);
      }
      if (!kept) batch_.recordError_ = kept.toString();
    }
  }
  Records(const Records&) = delete;
  Records& operator=(const Records&) = delete;

  // Row `row` had its turn: a carrying on leaves it be.
  void done(size_t row) {
    if (trees_.empty()) return;
    Tree& tree = trees_[batch_.rows_[row].tree];
    if (tree.writer == nullptr) return;
    // A record that cannot take the mark is gone; the batch goes on.
    if (const platform::Status marked = tree.writer->done(index_[row]); !marked) {
      tree.writer.reset();
      if (batch_.recordError_.empty()) batch_.recordError_ = marked.toString();
    }
  }
  // Every exam had its turn: the batch owes nothing more.
  void remove() {
    for (Tree& tree : trees_) {
      tree.writer.reset();
      if (!tree.file.empty()) platform::removeStateFile(tree.file);
    }
  }

 private:
  struct Tree {
    std::string file;
    std::unique_ptr<platform::BatchWriter> writer;
  };
  ExamBatch& batch_;
  std::vector<Tree> trees_;
  std::vector<std::uint32_t> index_;  // each row's in its tree's record
};

bool ExamBatch::find(const std::vector<std::string>& paths) {
  rows_.clear();
  unreadable_.clear();
  platform::FileSystem& fs = form_.fileSystem();
  // Files dropped stand for their folder, as a drop loads them.
  std::vector<std::string> folders;
  for (const std::string& path : paths) {
    platform::FileList list(fs, "*.ima");
    list.setFileName(path);
    if (fs.kindOf(list.path()) != platform::PathKind::folder) continue;
    if (std::ranges::find(folders, list.path()) == folders.end()) folders.push_back(list.path());
  }
  if (folders.empty()) return false;
  // One exam: the window loads it, and nothing below it is searched.
  if (bool exam = false; folders.size() == 1 && run::isExam(fs, folders.front(), exam) && exam) {
    return false;
  }
  Form1 scout(fs, form_.clock());
  root_ = folders.size() == 1 ? folders.front() : platform::parentPath(folders.front());
  trees_ = folders;
  size_t searched = 0;
  const auto tellSearched = [this, &searched](size_t) {
    if (onSearch) onSearch(++searched);
  };
  for (size_t tree = 0; tree < folders.size(); ++tree) {
    const std::string& folder = folders[tree];
    run::ExamSearch search;
    if (const platform::Status read = run::findExams(fs, folder, search, tellSearched); !read) {
      unreadable_.push_back(read.toString());
      continue;
    }
    for (const platform::Status& skipped : search.unreadable) {
      unreadable_.push_back(skipped.toString());
    }
    // Several folders are told by their own name first.
    const std::string name = folders.size() == 1 ? std::string() : below(root_, folder);
    for (const run::FoundFolder& found : search.folders) {
      if (!found.exam) continue;
      Row row;
      row.path = found.path;
      row.tree = tree;
      const std::string rest = below(folder, found.path);
      row.shown = name.empty() ? rest : rest.empty() ? name : platform::joinPath(name, rest);
      row.shown = platform::escapeControls(row.shown.empty() ? found.path : row.shown);
      scout.drop({found.path});
      row.files = scout.File2.count();
      row.series = scout.seriesCount;
      const journal::LastRun last = scout.lastRun();
      row.lastRun = last.words();
      rows_.push_back(std::move(row));
    }
  }
  return !rows_.empty();
}

std::string ExamBatch::heading() const {
  std::string text = counted(static_cast<int>(rows_.size()), "exam", "exams");
  text += " found below ";
  text += platform::escapeControls(root_);
  text +=
      ". Start runs the ticked ones one after another with the main window's options; Esc "
      "stops after the file in hand.";
  if (!unreadable_.empty()) {
    text += " ";
    text += counted(static_cast<int>(unreadable_.size()), "folder", "folders");
    text += " could not be searched: ";
    text += platform::escapeControls(unreadable_.front());
    if (unreadable_.size() > 1) text += ", ...";
  }
  return text;
}

std::string ExamBatch::progressText() const {
  if (examsTotal_ == 0) return {};
  return std::string(undoing_ ? "Undone: " : "Exams: ") + std::to_string(examsDone_) + " of " +
         std::to_string(examsTotal_) + ", files: " + std::to_string(filesDone()) + " of " +
         std::to_string(filesTotal_);
}

std::string ExamBatch::cell(size_t row, size_t column) const {
  const Row& r = rows_.at(row);
  switch (column) {
    case 0:
      return r.shown;
    case 1:
      return std::to_string(r.files);
    case 2:
      return std::to_string(r.series);
    case 3:
      return r.lastRun;
    default: {
      std::string words = outcomeWords(r.outcome);
      if (!r.note.empty()) words += ": " + r.note;
      if (!r.failures.empty()) words += ": " + oneLine(r.failures);
      return words;
    }
  }
}

void ExamBatch::tick(size_t row, bool on) {
  if (!working_ && row < rows_.size()) rows_[row].ticked = on;
}

int ExamBatch::ticked() const {
  return static_cast<int>(std::ranges::count(rows_, true, &Row::ticked));
}

Preview ExamBatch::preview() {
  Preview all;
  all.folder = root_;
  if (working_) return all;
  Form1 scout(form_.fileSystem(), form_.clock());
  scout.setJournaling(true);
  for (const Row& row : rows_) {
    if (!row.ticked) continue;
    scout.drop({row.path});
    copyOptions(form_, scout);
    Preview one = scout.preview();
    const auto inExam = [&row](const std::string& path) {
      return path.empty() ? path : platform::joinPath(row.shown, path);
    };
    if (!one.refusal.empty()) {
      all.steps.push_back({PreviewStep::Kind::keep, row.shown, {}, one.refusal});
      ++all.failures;
      continue;
    }
    for (PreviewStep& step : one.steps) {
      step.from = inExam(step.from);
      step.to = inExam(step.to);
      all.steps.push_back(std::move(step));
    }
    all.files += one.files;
    all.unhandled += one.unhandled;
    all.renamed += one.renamed;
    all.foldersMade += one.foldersMade;
    all.foldersNamed += one.foldersNamed;
    all.failures += one.failures;
  }
  return all;
}

bool ExamBatch::load(Row& row) {
  const platform::Status loaded = form_.drop({row.path});
  lastLoaded_ = form_.File2.path();
  // An exam run into series folders has nothing left to run, but its run
  // to undo.
  if (loaded && (undoing_ || form_.seriesCount > 0)) return true;
  row.outcome = Outcome::failed;
  row.note = !loaded                    ? loaded.reason()
             : relay_->messages.empty() ? std::string("no .ima files of a series any more")
                                        : relay_->messages.back().text;
  return false;
}

void ExamBatch::takeFailures(Row& row) {
  row.failures = failureList(form_.File2.path(), form_.runFailures, row.failureDetails);
}

void ExamBatch::begin(bool undo, bool Row::*picked) {
  working_ = true;
  undoing_ = undo;
  stop_ = false;
  examsDone_ = filesDone_ = examsTotal_ = filesTotal_ = 0;
  for (Row& row : rows_) {
    row.outcome = Outcome::waiting;
    row.note.clear();
    row.failures.clear();
    row.failureDetails.clear();
    if (!(row.*picked)) continue;
    ++examsTotal_;
    filesTotal_ += row.files;
  }
}

void ExamBatch::turn(Row& row, Relay& relay, void (ExamBatch::*work)(Row&)) {
  if (stop_) {
    row.outcome = Outcome::notStarted;
    return;
  }
  row.outcome = Outcome::running;
  tell();
  relay.messages.clear();
  if (load(row)) (this->*work)(row);
  if (form_.File2.path() == row.path) row.lastRun = form_.lastRun().words();
  ++examsDone_;
  filesDone_ += row.files;
  tell();
}

void ExamBatch::start() {
  if (!canStart() || form_.busy()) return;
  for (Row& row : rows_) row.changed = false;
  begin(false, &Row::ticked);
  Records records(*this);
  Relay relay(*this, form_.view());
  tell();
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (!rows_[i].ticked) continue;
    turn(rows_[i], relay, &ExamBatch::runExam);
    // A stopped exam is finished by a carrying on; one not started, run.
    const Outcome outcome = rows_[i].outcome;
    if (outcome == Outcome::done || outcome == Outcome::failed) records.done(i);
  }
  if (!stop_) records.remove();
  working_ = false;
  tell();
}

void ExamBatch::runExam(Row& row) {
  const journal::LastRun last = form_.lastRun();
  if (stop_) {
    row.outcome = Outcome::notStarted;
    return;
  }
  if (!last.allowsRun()) {
    row.outcome = Outcome::failed;
    row.note = last.reason();
    return;
  }
  current_ = &row;
  form_.pressStart();
  current_ = nullptr;
  const std::string files = std::to_string(form_.filesRenamed) + " of " +
                            counted(form_.filesProcessed, "file", "files") + " renamed or moved";
  // A run whose renames all failed may still have made folders.
  row.changed = form_.filesRenamed > 0 || form_.undoOffer().applies;
  row.outcome = Outcome::done;
  row.note = files;
  if (!form_.refusal().allowsRun()) {
    row.outcome = Outcome::failed;
    row.note = form_.refusal().reason();
  } else if (!form_.runFailures.empty()) {
    row.outcome = Outcome::failed;
    row.note =
        files + "; " + counted(static_cast<int>(form_.runFailures.size()), "failure", "failures");
    takeFailures(row);
  } else if (stop_) {
    row.outcome = Outcome::stopped;
    row.note = files + "; load it again to finish, or press Ctrl+Z to undo";
  }
}

void ExamBatch::pressEscape() {
  if (!working_ || stop_ || relay_ == nullptr) return;
  // The form asks during a run or an undo; between two exams the batch does.
  if (form_.working()) {
    form_.pressEscape();
  } else {
    relay_->ask(form_.stopQuestion());
  }
}

Message ExamBatch::summary() const {
  const bool undo = undoing_;
  std::vector<std::string> lists[3];  // done, failed, not started
  // Every failure line, where some exam's list left some out.
  std::string details;
  bool cut = false;
  for (const Row& row : rows_) {
    if (!row.failures.empty()) {
      cut = cut || !row.failureDetails.empty();
      details += row.shown + ":\n" +
                 (row.failureDetails.empty() ? row.failures + "\n" : row.failureDetails);
    }
    switch (row.outcome) {
      case Outcome::done:
      case Outcome::undone:
        lists[0].push_back(row.shown);
        break;
      case Outcome::failed:
      case Outcome::stopped:
      case Outcome::undoFailed:
        lists[1].push_back(row.shown + " (" + row.note + ")" + indented(row.failures, "    "));
        break;
      case Outcome::notStarted:
        lists[2].push_back(row.shown);
        break;
      default:
        break;
    }
  }
  const char* heads[3] = {undo ? "Undone" : "Done", undo ? "Not undone" : "Failed or stopped",
                          "Not started"};
  Message message{{}, kExamsTitle, Message::Icon::information, {}};
  message.text = std::string(undo ? "Batch undo: " : "Batch: ") +
                 counted(static_cast<int>(lists[0].size()), "exam", "exams") +
                 (undo ? " undone, " : " done, ") + std::to_string(lists[1].size()) +
                 (undo ? " not undone, " : " failed, ") + std::to_string(lists[2].size()) +
                 " not started.";
  for (int i = 0; i < 3; ++i) {
    if (lists[i].empty()) continue;
    message.text += std::string("\n\n") + heads[i] + ":";
    for (const std::string& line : lists[i]) message.text += "\n  " + line;
  }
  if (!undo && !recordError_.empty()) {
    message.text += "\n\nNo record of the batch could be kept (" +
                    platform::escapeControls(recordError_) +
                    "): slicery-cli --resume -r cannot carry it on.";
  }
  if (cut) message.details = std::move(details);
  if (!lists[1].empty()) message.icon = Message::Icon::warning;
  return message;
}

bool ExamBatch::undoApplies() const {
  return !working_ && !form_.busy() && !lastLoaded_.empty() && form_.File2.path() == lastLoaded_ &&
         std::ranges::any_of(rows_, &Row::changed);
}

std::string ExamBatch::undoQuestion() const {
  const int exams = static_cast<int>(std::ranges::count(rows_, true, &Row::changed));
  return "Undo the last batch? It changed " + counted(exams, "exam", "exams") + " below " + root_ +
         "; they are put back newest first.";
}

void ExamBatch::undo() {
  if (!undoApplies()) return;
  begin(true, &Row::changed);
  Relay relay(*this, form_.view());
  tell();
  for (auto it = rows_.rbegin(); it != rows_.rend(); ++it) {
    if (it->changed) turn(*it, relay, &ExamBatch::undoExam);
  }
  // As slicery-cli --undo -r: a batch undone owes nothing more.
  if (!stop_ && form_.journaling()) {
    for (const std::string& tree : trees_) {
      if (std::string file; platform::batchPathFor(tree, file)) platform::removeStateFile(file);
    }
  }
  working_ = false;
  tell();
}

void ExamBatch::undoExam(Row& row) {
  const Form1::UndoOffer offer = form_.undoOffer();
  row.outcome = Outcome::undoFailed;
  if (!offer.applies) {
    row.note = offer.message.text;
    return;
  }
  current_ = &row;
  const platform::Status undone = form_.undoRun(false);
  current_ = nullptr;
  const std::string put = counted(form_.stepsPutBack, "name", "names") + " put back";
  if (!undone) {
    row.note = undone.toString();
  } else if (!form_.runFailures.empty()) {
    row.note =
        put + "; " + counted(static_cast<int>(form_.runFailures.size()), "failure", "failures");
    takeFailures(row);
  } else if (stop_) {
    row.outcome = Outcome::stopped;
    row.note = put + "; press Ctrl+Z to undo the rest";
  } else {
    row.outcome = Outcome::undone;
    row.note = put;
    row.changed = false;
  }
}

}  // namespace slicery::app
