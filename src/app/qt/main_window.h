// MainWindow: the Qt face of Form1. It lays out one widget per control model,
// keeps each widget showing its model, forwards clicks, typing and drops to
// the form's entry points, and shows the form's messages. While a load or a
// run works it keeps painting the changed controls and answering the window
// system, but lets no user input through.
#pragma once

#include <QElapsedTimer>
#include <QFont>
#include <QHash>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/exam_batch.h"
#include "app/form1.h"
#include "app/window_arguments.h"
#include "app/window_table.h"

class QDialog;
class QDropEvent;
class QMenu;

namespace slicery::qt {

// The font of every caption that has one of its own: "Verdana" where
// installed, otherwise DejaVu Sans; 8.25 points.
QFont captionFont();
// The window's default font, for the controls without a font of their own: a
// narrow sans serif of 8 points.
QFont windowFont();

// Names the application, its version and its icon; call once the
// QApplication exists.
void setUpApplication();

using app::parseWindowArguments;
using app::WindowArguments;
using app::windowUsage;

// The light hint shown in the "Current Folder:" value while it is empty.
using app::kFolderHint;

class MainWindow : public QWidget, public app::AskingView, public app::CommandView {
 public:
  // While a load or a run works, changed controls are painted at once as
  // long as painting has taken at most 1/kPaintShare of the work's time, and
  // otherwise gathered and painted together at most kPaintIntervalMs apart.
  static constexpr int kPaintIntervalMs = 25;
  static constexpr qint64 kPaintShare = 32;

  explicit MainWindow(app::Form1& form, QWidget* parent = nullptr);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  app::Form1& form() { return form_; }

  // Asks for a folder and returns it, or an empty text when none was chosen.
  using FolderChooser = std::function<QString(QWidget* parent, const QString& start)>;
  // Replaces the toolkit's folder dialog, which Ctrl+O opens.
  void setFolderChooser(FolderChooser chooser) { chooseFolder_ = std::move(chooser); }
  // Ctrl+O: asks for a folder and loads it as a drop of it does.
  void openFolder() override;
  // Loads `paths` as a drop of them does, once the event loop runs.
  void openPaths(const std::vector<std::string>& paths);
  // Start, as its button presses it.
  void start();
  // Ctrl+P: shows the run Start would make now; its Start presses Start.
  void openPreview() override;
  // Ctrl+Z: asks, then undoes the last run, showing its progress; after a
  // batch of exams, the whole batch.
  void undo() override;
  // Once the exams dialog shows (in undo mode, once the undo has ended),
  // onExams (if set) is called with it.
  std::function<void(QDialog*)> onExams;
  // The context menu at `globalPos`: its commands, each enabled only when it
  // applies. While it is open, onCommandMenu (if set) is called with it.
  void showCommandMenu(QPoint globalPos);
  std::function<void(QMenu*)> onCommandMenu;

  // Form1View
  void controlChanged(app::ControlId id, int index) override;
  void showMessage(const app::Message& message) override;
  void closeWindow() override;
  void runFailed(const std::vector<app::RunFailure>& failures) override;
  void notice(const app::Message& message) override;
  // AskingView
  app::Answer ask(const app::Question& question, const std::string& text,
                  const std::string& title) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  enum class Kind { label, valueLabel, checkBox, textBox, button, progressBar };
  using DropRole = app::DropRole;
  struct Binding {
    QWidget* widget = nullptr;
    app::ControlModel* model = nullptr;
    Kind kind = Kind::label;
  };

  // One slot per control, with the ten elements of Label1 at the end.
  static int slotOf(app::ControlId id, int index);

  void buildControls();
  // The widget that shows `place`, made in `parent`.
  QWidget* makeControl(const app::ControlPlace& place, QWidget* parent);
  QWidget* widgetOf(app::ControlId id) const;
  void bind(QWidget* widget, app::ControlModel& model, Kind kind, DropRole role);
  void setDropRole(QWidget* widget, DropRole role);

  void sync(int slot);
  void syncDirty();
  void paintNow();
  // Called around a load or a run.
  void workStarts();
  void workEnded();

  DropRole dropRoleAt(QWidget* receiver, QPoint at) const;
  bool handleDrag(DropRole role, QEvent* event);
  void loadDropped(const std::vector<std::string>& paths);
  // Several exams: the exams dialog over batch_, choosing or undoing.
  void openExams(bool undo);
  bool blocksWhileBusy(QObject* watched, const QEvent* event) const;
  // During a run, a finish or an undo: the close button, Exit (a click or
  // Alt+E) and a right click, which stop it or offer Stop. True when
  // `event` was one of them and has been handled.
  bool stopTrigger(QObject* watched, QEvent* event);

  app::Form1& form_;
  std::vector<Binding> bindings_;
  std::vector<bool> dirty_;
  std::vector<int> dirtySlots_;
  QHash<const QObject*, DropRole> dropRoles_;
  QElapsedTimer work_;  // runs while a load or a run works
  QElapsedTimer sincePaint_;
  qint64 paintNanoseconds_ = 0;
  bool painting_ = false;
  FolderChooser chooseFolder_;
  // The last drop of several exams, until a drop of one.
  std::unique_ptr<app::ExamBatch> batch_;
  bool searching_ = false;  // while a drop is searched for exams
};

}  // namespace slicery::qt
