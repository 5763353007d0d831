#include "app/exam_batch.h"

#include <algorithm>

#include "journal/last_run.h"
#include "platform/escape.h"
#include "platform/file_list.h"
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
  Form1 scout(fs, form_.clock());
  if (folders.empty()) return false;
  if (folders.size() == 1) {
    scout.drop({folders.front()});
    if (scout.seriesCount > 0) return false;  // one exam: the window loads it
  }
  root_ = folders.size() == 1 ? folders.front() : platform::parentPath(folders.front());
  for (const std::string& folder : folders) {
    run::ExamSearch search;
    if (const platform::Status read = run::findExams(fs, folder, search); !read) {
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
      const std::string words = outcomeWords(r.outcome);
      return r.note.empty() ? words : words + ": " + r.note;
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

void ExamBatch::start() {
  if (!canStart() || form_.busy()) return;
  working_ = true;
  undoing_ = stop_ = false;
  examsDone_ = filesDone_ = examsTotal_ = filesTotal_ = 0;
  for (Row& row : rows_) {
    row.outcome = Outcome::waiting;
    row.note.clear();
    row.changed = false;
    if (!row.ticked) continue;
    ++examsTotal_;
    filesTotal_ += row.files;
  }
  Relay relay(*this, form_.view());
  tell();
  for (Row& row : rows_) {
    if (!row.ticked) continue;
    if (stop_) {
      row.outcome = Outcome::notStarted;
      continue;
    }
    row.outcome = Outcome::running;
    tell();
    relay.messages.clear();
    if (load(row)) {
      const journal::LastRun last = form_.lastRun();
      if (stop_) {
        row.outcome = Outcome::notStarted;
      } else if (!last.allowsRun()) {
        row.outcome = Outcome::failed;
        row.note = last.reason();
      } else {
        current_ = &row;
        form_.pressStart();
        current_ = nullptr;
        const std::string files = std::to_string(form_.filesRenamed) + " of " +
                                  counted(form_.filesProcessed, "file", "files") +
                                  " renamed or moved";
        // A run whose renames all failed may still have made folders.
        row.changed = form_.filesRenamed > 0 || form_.undoOffer().applies;
        row.outcome = Outcome::done;
        row.note = files;
        if (!form_.refusal().allowsRun()) {
          row.outcome = Outcome::failed;
          row.note = form_.refusal().reason();
        } else if (!form_.runFailures.empty()) {
          row.outcome = Outcome::failed;
          row.note = files + "; " +
                     counted(static_cast<int>(form_.runFailures.size()), "failure", "failures") +
                     ": " + failureLine(form_.File2.path(), form_.runFailures.front());
        } else if (stop_) {
          row.outcome = Outcome::stopped;
          row.note = files + "; load it again to finish, or press Ctrl+Z to undo";
        }
      }
    }
    if (form_.File2.path() == row.path) row.lastRun = form_.lastRun().words();
    ++examsDone_;
    filesDone_ += row.files;
    tell();
  }
  working_ = false;
  tell();
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
  for (const Row& row : rows_) {
    switch (row.outcome) {
      case Outcome::done:
      case Outcome::undone:
        lists[0].push_back(row.shown);
        break;
      case Outcome::failed:
      case Outcome::stopped:
      case Outcome::undoFailed:
        lists[1].push_back(row.shown + " (" + row.note + ")");
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
  working_ = undoing_ = true;
  stop_ = false;
  examsDone_ = filesDone_ = examsTotal_ = filesTotal_ = 0;
  for (Row& row : rows_) {
    row.outcome = Outcome::waiting;
    row.note.clear();
    if (!row.changed) continue;
    ++examsTotal_;
    filesTotal_ += row.files;
  }
  Relay relay(*this, form_.view());
  tell();
  for (auto it = rows_.rbegin(); it != rows_.rend(); ++it) {
    Row& row = *it;
    if (!row.changed) continue;
    if (stop_) {
      row.outcome = Outcome::notStarted;
      continue;
    }
    row.outcome = Outcome::running;
    tell();
    relay.messages.clear();
    if (load(row)) {
      const Form1::UndoOffer offer = form_.undoOffer();
      row.outcome = Outcome::undoFailed;
      if (!offer.applies) {
        row.note = offer.message.text;
      } else {
        current_ = &row;
        const platform::Status undone = form_.undoRun(false);
        current_ = nullptr;
        const std::string put = counted(form_.stepsPutBack, "name", "names") + " put back";
        if (!undone) {
          row.note = undone.toString();
        } else if (!form_.runFailures.empty()) {
          row.note = put + "; " + failureLine(form_.File2.path(), form_.runFailures.front());
        } else if (stop_) {
          row.outcome = Outcome::stopped;
          row.note = put + "; press Ctrl+Z to undo the rest";
        } else {
          row.outcome = Outcome::undone;
          row.note = put;
          row.changed = false;
        }
      }
    }
    if (form_.File2.path() == row.path) row.lastRun = form_.lastRun().words();
    ++examsDone_;
    filesDone_ += row.files;
    tell();
  }
  working_ = false;
  tell();
}

}  // namespace slicery::app
