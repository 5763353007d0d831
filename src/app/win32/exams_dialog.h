// The exams dialog, "Slicery - Exams": the exams a drop found, one ticked
// row each in a list view, over an app::ExamBatch. "&Preview" shows the
// ticked exams' steps in the preview dialog, "&Start" runs them while the
// main window shows the exam in hand, and a total progress bar and each
// row's outcome follow the work. In undo mode the dialog undoes the batch
// as it opens. Esc or the close button during the work asks whether to stop
// (the main window routes them here, see MainWindow::stopTrigger).
#pragma once

#include <windows.h>

#include <functional>

#include "app/exam_batch.h"

namespace slicery::win32 {

// The dialog's controls, for its tests.
enum ExamsControl {
  kExamsHeading = 20,
  kExamsList = 21,
  kExamsProgress = 22,
  kExamsCounts = 23,
  kExamsPreview = 24,
  kExamsStart = 25
};

struct ExamsDialogHooks {
  // Shows the batch's summary once the work has ended.
  std::function<void(HWND dialog, const app::Message&)> tell;
  // Shows the preview of the ticked exams; true when its Start was pressed.
  std::function<bool(HWND dialog, const app::Preview&)> preview;
  // Called with the dialog once it shows (in undo mode, once the undo has
  // ended).
  std::function<void(HWND dialog)> onShown;
};

// Shows the dialog modal to `owner`, choosing exams or (`undo`) undoing the
// batch.
void runExamsDialog(HWND owner, app::ExamBatch& batch, bool undo, const ExamsDialogHooks& hooks);

}  // namespace slicery::win32
