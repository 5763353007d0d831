// ExamsDialog: "Slicery - Exams", the exams a drop found, one ticked row
// each, over an app::ExamBatch. "&Preview" shows the ticked exams' steps in
// the preview dialog, "&Start" runs them while the main window shows the
// exam in hand, and a total progress bar and each row's outcome follow the
// work; Esc during it asks whether to stop. In undo mode the dialog undoes
// the batch as it opens.
#pragma once

#include <QDialog>
#include <functional>

#include "app/exam_batch.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace slicery::qt {

class ExamsDialog : public QDialog {
 public:
  enum class Mode { choose, undo };
  // `tell` shows the batch's summary once the work has ended.
  ExamsDialog(app::ExamBatch& batch, Mode mode, std::function<void(const app::Message&)> tell,
              QWidget* parent = nullptr);
  ~ExamsDialog() override { batch_.onProgress = nullptr; }
  ExamsDialog(const ExamsDialog&) = delete;
  ExamsDialog& operator=(const ExamsDialog&) = delete;

  QTableWidget* rows() const { return table_; }
  QPushButton* previewButton() const { return preview_; }
  QPushButton* startButton() const { return start_; }
  QProgressBar* progress() const { return bar_; }
  // Start, as its button presses it.
  void start();
  // Preview, as its button presses it; its Start starts the batch.
  void openPreview();
  // Called once a Start or an undo has ended and its summary was told.
  std::function<void()> afterWork;

 protected:
  void reject() override;

 private:
  void work(void (app::ExamBatch::*what)());
  void showProgress(bool rowsChanged);
  void showRows();

  app::ExamBatch& batch_;
  std::function<void(const app::Message&)> tell_;
  QLabel* heading_ = nullptr;
  QTableWidget* table_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QLabel* counts_ = nullptr;
  QPushButton* preview_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* close_ = nullptr;
  bool ran_ = false;
};

}  // namespace slicery::qt
