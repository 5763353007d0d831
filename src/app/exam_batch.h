// ExamBatch: several exams at once in the window. A drop of several folders,
// or of a folder that holds no exam itself but exams below, finds the exams
// (run::findExams) and lists them in the "Slicery - Exams" dialog, one
// ticked row each. Start loads each ticked exam into the form and presses
// Start, as a person would, so the window shows the exam in hand as it shows
// a single run; Esc asks the form's stop question, and the exams not started
// stay untouched. While it works, a Start keeps the record of itself that
// slicery-cli -r keeps (platform/batch_record.h), one for each dropped
// folder, so `slicery-cli --resume -r` carries on a batch that was stopped
// or killed. Ctrl+Z after a batch undoes its exams, newest first. The Qt and
// Win32 dialogs only map this to their widgets.
#pragma once

#include <algorithm>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/preview.h"

namespace slicery::app {

inline constexpr const char* kExamsTitle = "Slicery - Exams";

// The dialog's list, column by column: caption and width in pixels at 96 DPI.
struct ExamColumn {
  const char* caption;
  int width;
};
std::span<const ExamColumn> examColumns();
// The dialog's buttons; Close is the default and Esc's while nothing works.
inline constexpr const char* kExamsPreview = "&Preview";
inline constexpr const char* kExamsStart = "&Start";
inline constexpr const char* kExamsClose = "Close";

class ExamBatch {
 public:
  enum class Outcome { waiting, running, done, failed, stopped, notStarted, undone, undoFailed };
  struct Row {
    std::string path;   // in full
    std::string shown;  // from the dropped folder on
    int files = 0;
    int series = 0;
    std::string lastRun;  // the state of its last run, as the dialog lists it
    bool ticked = true;
    Outcome outcome = Outcome::waiting;
    std::string note;  // what the outcome says: counts, or why it failed
    // The failures of its run or undo, as a single run lists them
    // (failureList), and every line where that list left some out.
    std::string failures;
    std::string failureDetails;
    bool changed = false;  // its run changed something a batch undo puts back
    size_t tree = 0;       // the dropped folder it was found in
  };

  explicit ExamBatch(Form1& form) : form_(form) {}
  ExamBatch(const ExamBatch&) = delete;
  ExamBatch& operator=(const ExamBatch&) = delete;

  // Whether a drop of `paths` is for the dialog: several folders, or one
  // that holds no exam itself but exams below. Then the rows are the exams
  // found, and true; otherwise the form loads the drop as before. A drop of
  // one folder that is an exam itself is told at once, nothing below it
  // searched; a search calls onSearch with the folders searched so far.
  bool find(const std::vector<std::string>& paths);
  std::function<void(size_t folders)> onSearch;

  std::span<const Row> rows() const { return rows_; }
  // What the dialog says above its rows.
  std::string heading() const;
  // What it says beside its progress bar.
  std::string progressText() const;
  // The cell of `column` (as examColumns() lists them) of row `row`.
  std::string cell(size_t row, size_t column) const;
  void tick(size_t row, bool on);
  int ticked() const;
  // Folders below the dropped ones that could not be searched, a line each.
  const std::vector<std::string>& unreadable() const { return unreadable_; }

  // The steps of the ticked exams, as Ctrl+P shows one, with the main
  // window's options; paths are told from the dropped folder on.
  Preview preview();

  // Runs the ticked exams one after another with the main window's options.
  void start();
  bool working() const { return working_; }
  bool canStart() const { return !working_ && ticked() > 0; }
  // Esc or the dialog's close button during the work: asks the form's stop
  // question; once answered Stop, the exam in hand stops after its file in
  // hand and no other exam starts.
  void pressEscape();
  // The batch's progress: exams, and files of the ticked exams.
  int examsDone() const { return examsDone_; }
  int examsTotal() const { return examsTotal_; }
  int filesDone() const {
    return filesDone_ + (current_ != nullptr ? std::min(form_.filesProcessed, current_->files) : 0);
  }
  int filesTotal() const { return filesTotal_; }
  // Called as the progress changes; `rows` when a row's outcome did too.
  std::function<void(bool rows)> onProgress;
  // The exams done, failed and not started, after a Start or an undo.
  Message summary() const;

  // Whether Ctrl+Z undoes this batch now: its last exam is still the one
  // loaded and some exam changed something. `question` is what to ask.
  bool undoApplies() const;
  std::string undoQuestion() const;
  // Puts back every exam the batch changed, newest first.
  void undo();

 private:
  class Relay;
  class Records;
  // Clears the rows' outcomes and counts the exams and files that
  // `picked` picks, for a Start or an undo.
  void begin(bool undo, bool Row::*picked);
  // One exam's turn in a Start or an undo: after a stop it is not started;
  // else it is marked running, loaded, and given to `work`.
  void turn(Row& row, Relay& relay, void (ExamBatch::*work)(Row&));
  void runExam(Row& row);
  void undoExam(Row& row);
  // Loads `row` into the form, which the window then shows; false, with
  // the row failed, when there is nothing to work on.
  bool load(Row& row);
  // Takes the form's runFailures as the row's.
  void takeFailures(Row& row);
  void tell(bool rows = true) const {
    if (onProgress) onProgress(rows);
  }

  Form1& form_;
  std::vector<Row> rows_;
  std::vector<std::string> unreadable_;
  std::string root_;                // where the shown paths start
  std::vector<std::string> trees_;  // the dropped folders
  std::string recordError_;         // why the last Start kept no record
  bool working_ = false;
  bool undoing_ = false;  // the last work was an undo
  bool stop_ = false;
  Relay* relay_ = nullptr;
  const Row* current_ = nullptr;
  std::string lastLoaded_;  // the exam the batch loaded last
  int examsDone_ = 0;
  int examsTotal_ = 0;
  int filesDone_ = 0;
  int filesTotal_ = 0;
};

// The words of an outcome, as the dialog lists them.
std::string outcomeWords(ExamBatch::Outcome outcome);
// What a window says while a drop is searched for exams.
std::string searchWords(size_t folders);

}  // namespace slicery::app
