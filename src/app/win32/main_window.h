// MainWindow: the Win32 face of Form1, in the platform's own controls. It
// makes one child window per control model, laid out from twips at the
// window's DPI, keeps each showing its model, forwards clicks, typing and
// Explorer's drops to the form's entry points, and shows the form's messages.
// While a load or a run works it repaints the changed controls and answers
// the window system, but lets no user input through.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/exam_batch.h"
#include "app/form1.h"
#include "app/window_arguments.h"
#include "app/window_table.h"

namespace slicery::win32 {

// Twips (1/1440 inch; 15 make a pixel at 96 DPI) in pixels at `dpi`.
int pixels(int twips, UINT dpi);
// The DPI to lay the window out at so that it fits `room` (a monitor's work
// area) with its `frame` (caption and borders at `dpi`): `dpi` itself, or
// less, keeping the layout's proportions, as the platform's dialogs shrink.
UINT fittingDpi(UINT dpi, SIZE frame, SIZE room);

using app::DropRole;

using app::parseWindowArguments;
using app::WindowArguments;
using app::windowUsage;

// The light hint shown in the "Current Folder:" value while it is empty.
using app::kFolderHint;

class MainWindow : public app::AskingView, public app::CommandView {
 public:
  // While a load or a run works, changed controls are repainted and the
  // window system answered at most this far apart.
  static constexpr std::uint64_t kPaintIntervalMs = 25;

  // Makes the window (shown with `show`, a ShowWindow command).
  MainWindow(app::Form1& form, int show);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  // The DPI the controls are laid out at: the monitor's, or less when the
  // window would not fit its work area.
  UINT layoutDpi() const { return layoutDpi_; }
  // Whether closing the window ends the message loop (the program's one
  // window does; a test's windows do not).
  void setQuitOnClose(bool quit) { quitOnClose_ = quit; }
  // The child window that shows a control model; nullptr for the lists,
  // which are never shown.
  HWND control(app::ControlId id, int index = 0) const;
  // The four untitled frames, 1 to 4.
  HWND frame(int number) const;
  // Where a drop at `client` (client coordinates) goes.
  DropRole dropRoleAt(POINT client) const;

  // Tab, Shift+Tab, the access keys, Ctrl+O, Ctrl+P and Ctrl+Z; true when
  // `msg` was taken.
  bool handleDialogMessage(MSG& msg);

  // Asks for a folder, starting at `start`, and returns it, or an empty text
  // when none was chosen.
  using FolderChooser = std::function<std::string(HWND owner, const std::string& start)>;
  // Replaces the platform's folder picker, which Ctrl+O opens.
  void setFolderChooser(FolderChooser chooser) { chooseFolder_ = std::move(chooser); }
  // Ctrl+O: asks for a folder, starting beside the loaded one, and loads it
  // as a drop of it does.
  void openFolder() override;
  // Loads `paths` as a drop of them does.
  void loadDropped(const std::vector<std::string>& paths);
  // Start, as its button presses it.
  void start();
  // Ctrl+P: shows the run Start would make now; its Start presses Start.
  // While it shows, onPreview (if set) is called with the dialog.
  void openPreview() override;
  std::function<void(HWND dialog)> onPreview;
  // Ctrl+Z: asks, then undoes the last run, showing its progress; after a
  // batch of exams, the whole batch.
  void undo() override;
  // Once the exams dialog shows (in undo mode, once the undo has ended),
  // onExams (if set) is called with it.
  std::function<void(HWND dialog)> onExams;
  // The context menu at `screen`: its commands, each enabled only when it
  // applies. While it is open, onCommandMenu (if set) is called with it.
  void showCommandMenu(POINT screen);
  std::function<void(HMENU menu)> onCommandMenu;

  // Form1View
  void controlChanged(app::ControlId id, int index) override;
  void showMessage(const app::Message& message) override;
  void closeWindow() override;
  void runFailed(const std::vector<app::RunFailure>& failures) override;
  void notice(const app::Message& message) override;
  // AskingView
  app::Answer ask(const app::Question& question, const std::string& text,
                  const std::string& title) override;

 private:
  struct Binding {
    HWND hwnd = nullptr;
    app::ControlModel* model = nullptr;        // nullptr for a frame
    const app::ControlPlace* place = nullptr;  // nullptr for the lists, which have none
  };

  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

  // One slot per control, the ten elements of Label1 next, the frames last.
  static int slotOf(app::ControlId id, int index);
  void buildControls();
  HWND make(int slot, const wchar_t* windowClass, const std::string& text, DWORD style,
            DWORD exStyle = 0);
  void layOut(UINT dpi);
  // Sizes the window for `dpi` at `around` (screen coordinates), within the
  // work area of the monitor there, and lays it out.
  void fitInto(UINT dpi, const RECT& around);
  void sync(int slot);
  void paintWhileBusy();
  // Ctrl+O, Ctrl+P and Ctrl+Z; true when `msg` was one of them.
  bool shortcut(const MSG& msg);
  // During a run, a finish or an undo: Esc, Exit (a click or Alt+E), the
  // close button, Alt+F4 and a right click, which stop it or offer Stop.
  void stopTrigger(const MSG& msg);
  void command(int slot, int notification);
  void dropFiles(HDROP drop);
  // Several exams: the exams dialog over batch_, choosing or undoing.
  void openExams(bool undo);
  HBRUSH text1Brush() const;
  void addTooltip(HWND target);
  // What the tooltip of a control (or of Start's place) says.
  std::string tipOf(UINT_PTR tool) const;

  app::Form1& form_;
  HWND hwnd_ = nullptr;
  std::vector<Binding> bindings_;
  HFONT regular_ = nullptr;
  HFONT bold_ = nullptr;
  HFONT default_ = nullptr;
  HWND focus_ = nullptr;  // the control that had focus when the window was left
  bool syncing_ = false;  // a change the view makes, not the user
  bool quitOnClose_ = true;
  HWND tooltip_ = nullptr;  // the full text of a path or name the label cuts short
  std::wstring tooltipText_;
  FolderChooser chooseFolder_;
  std::uint64_t lastPaint_ = 0;  // GetTickCount64 at the last repaint while busy
  HMENU openMenu_ = nullptr;     // the context menu while it is open
  UINT layoutDpi_ = USER_DEFAULT_SCREEN_DPI;
  // The last drop of several exams, until a drop of one.
  std::unique_ptr<app::ExamBatch> batch_;
  bool searching_ = false;  // while a drop is searched for exams
};

}  // namespace slicery::win32
