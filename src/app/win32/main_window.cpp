#include "main_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

#include "platform/file_system.h"
#include "platform/win32/wide.h"
#include "preview_dialog.h"

namespace slicery::win32 {

using app::ControlId;
using platform::win32::narrow;
using platform::win32::wide;

namespace {

constexpr int kControlIds = static_cast<int>(ControlId::Label4) + 1;
constexpr int kLabel1Elements = 10;
constexpr int kFrames = 4;
constexpr int kFirstFrameSlot = kControlIds + kLabel1Elements;
// Child window identifiers are slots counted from here.
constexpr int kFirstId = 100;
constexpr wchar_t kWindowClass[] = L"SliceryForm1";
constexpr wchar_t kFrameClass[] = L"SliceryFrame";
// The window's client area, in twips.
constexpr int kClientWidth = 14670;
constexpr int kClientHeight = 6945;
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
// How many failures the end-of-run report lists by name.
// The tooltip over Start's place, which shows while Start is disabled (a
// disabled control sees no mouse).
constexpr UINT_PTR kStartPlaceTip = 1;

// Where the frames stand in the window, for the controls inside them.
constexpr Twips kFrame1{120, 0, 14415, 6855};
constexpr Twips kFrame4{480, 1560, 13696, 3135};
constexpr Twips kFrame2{480, 4800, 13695, 1815};
constexpr Twips kFrame3{9120, 5040, 4815, 1335};

Twips in(const Twips& frame, int left, int top, int width, int height) {
  return {frame.left + left, frame.top + top, width, height};
}

bool isUserInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) || message == WM_DROPFILES ||
         message == WM_CONTEXTMENU;
}

int systemColour(app::ColourRole role) {
  switch (role) {
    case app::ColourRole::inactiveBorder:
      return COLOR_INACTIVEBORDER;
    case app::ColourRole::windowBackground:
      return COLOR_WINDOW;
    case app::ColourRole::inactiveCaptionText:
      return COLOR_INACTIVECAPTIONTEXT;
  }
  return COLOR_INACTIVEBORDER;
}

HFONT makeFont(const wchar_t* face, int hundredthsOfPoints, int weight, UINT dpi) {
  const int height = -static_cast<int>(
      std::lround(hundredthsOfPoints * static_cast<double>(dpi) / (72.0 * 100.0)));
  return ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, face);
}

std::string windowText(HWND hwnd) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return narrow(text);
}

// An untitled frame: an etched border around the window's own background,
// which it fills where no control lies over it.
LRESULT CALLBACK frameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  PAINTSTRUCT paint;
  const HDC dc = ::BeginPaint(hwnd, &paint);
  RECT box;
  ::GetClientRect(hwnd, &box);
  ::DrawEdge(dc, &box, EDGE_ETCHED, BF_RECT);
  ::EndPaint(hwnd, &paint);
  return 0;
}

void registerClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, HICON icon,
                   HICON smallIcon) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  if (::GetClassInfoExW(instance, name, &windowClass)) return;
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = icon;
  windowClass.hIconSm = smallIcon;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  ::RegisterClassExW(&windowClass);
}

// The platform's folder picker.
std::string pickFolder(HWND owner, const std::string& start) {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&dialog)))) {
    return {};
  }
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  dialog->SetTitle(L"Open an Exam Folder");
  IShellItem* folder = nullptr;
  if (!start.empty() && SUCCEEDED(::SHCreateItemFromParsingName(wide(start).c_str(), nullptr,
                                                                IID_PPV_ARGS(&folder)))) {
    dialog->SetFolder(folder);
    folder->Release();
  }
  std::string chosen;
  IShellItem* result = nullptr;
  if (SUCCEEDED(dialog->Show(owner)) && SUCCEEDED(dialog->GetResult(&result))) {
    PWSTR path = nullptr;
    if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
      chosen = narrow(path);
      ::CoTaskMemFree(path);
    }
    result->Release();
  }
  dialog->Release();
  return chosen;
}

// While it lives, each dialog this thread activates (the message boxes and
// task dialogs the window shows) takes the window's icon in its caption and
// the taskbar, in place of the default one.
class OwnIcon {
 public:
  explicit OwnIcon(HWND window)
      : window_(window),
        previous_(current_),
        hook_(::SetWindowsHookExW(WH_CBT, &OwnIcon::hook, nullptr, ::GetCurrentThreadId())) {
    current_ = this;
  }
  ~OwnIcon() {
    if (hook_ != nullptr) ::UnhookWindowsHookEx(hook_);
    current_ = previous_;
  }
  OwnIcon(const OwnIcon&) = delete;
  OwnIcon& operator=(const OwnIcon&) = delete;

 private:
  static LRESULT CALLBACK hook(int code, WPARAM wParam, LPARAM lParam) {
    const auto dialog = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && current_ != nullptr && dialog != current_->window_ &&
        ::SendMessageW(dialog, WM_GETICON, ICON_BIG, 0) == 0) {
      ::SendMessageW(dialog, WM_SETICON, ICON_BIG,
                     ::GetClassLongPtrW(current_->window_, GCLP_HICON));
      ::SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                     ::GetClassLongPtrW(current_->window_, GCLP_HICONSM));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline thread_local OwnIcon* current_ = nullptr;
  HWND window_;
  OwnIcon* previous_;
  HHOOK hook_;
};

}  // namespace

int pixels(int twips, UINT dpi) {
  return ::MulDiv(twips, static_cast<int>(dpi), 1440);
}

UINT fittingDpi(UINT dpi, SIZE frame, SIZE room) {
  // The client area grows with the DPI it is laid out at, the frame not.
  UINT fits = dpi;
  while (fits > 24 && (frame.cx + pixels(kClientWidth, fits) > room.cx ||
                       frame.cy + pixels(kClientHeight, fits) > room.cy)) {
    --fits;
  }
  return fits;
}

void MainWindow::fitInto(UINT dpi, const RECT& around) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromRect(&around, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  RECT empty{0, 0, 0, 0};
  ::AdjustWindowRectExForDpi(&empty, kWindowStyle, FALSE, WS_EX_ACCEPTFILES, dpi);
  const SIZE frame{empty.right - empty.left, empty.bottom - empty.top};
  layoutDpi_ = fittingDpi(dpi, frame, {work.right - work.left, work.bottom - work.top});
  const int width = frame.cx + pixels(kClientWidth, layoutDpi_);
  const int height = frame.cy + pixels(kClientHeight, layoutDpi_);
  // Where it was put, moved in as far as needed to show whole.
  const int left = std::max<int>(work.left, std::min<int>(around.left, work.right - width));
  const int top = std::max<int>(work.top, std::min<int>(around.top, work.bottom - height));
  ::SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  // Where the frame drawn differs from the one foreseen (Wine draws it at the
  // system's DPI), the client area is set right by the difference.
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  const int wider = pixels(kClientWidth, layoutDpi_) - client.right;
  const int taller = pixels(kClientHeight, layoutDpi_) - client.bottom;
  if (wider != 0 || taller != 0) {
    ::SetWindowPos(hwnd_, nullptr, 0, 0, width + wider, height + taller,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  layOut(layoutDpi_);
}

MainWindow::MainWindow(app::Form1& form, int show)
    : form_(form), bindings_(kFirstFrameSlot + kFrames), chooseFolder_(pickFolder) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  // The program's icon resource, or the default where a program has none.
  const auto icon = [instance](int metric) {
    const int side = ::GetSystemMetrics(metric);
    const HANDLE own = ::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, side, side, 0);
    return own != nullptr ? static_cast<HICON>(own) : ::LoadIconW(nullptr, IDI_APPLICATION);
  };
  registerClass(instance, kWindowClass, &MainWindow::windowProc, icon(SM_CXICON),
                icon(SM_CXSMICON));
  registerClass(instance, kFrameClass, &frameProc, nullptr, nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);

  hwnd_ = ::CreateWindowExW(WS_EX_ACCEPTFILES, kWindowClass, wide(app::kWindowTitle).c_str(),
                            kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr,
                            instance, this);
  if (hwnd_ == nullptr) return;
  buildControls();
  RECT placed{};
  ::GetWindowRect(hwnd_, &placed);
  fitInto(::GetDpiForWindow(hwnd_), placed);
  for (int slot = 0; slot < static_cast<int>(bindings_.size()); ++slot) sync(slot);
  form_.setView(this);
  ::ShowWindow(hwnd_, show);
  ::UpdateWindow(hwnd_);
  // The first control in the tab order that is enabled at open.
  ::SetFocus(control(ControlId::Check2));
}

MainWindow::~MainWindow() {
  if (form_.view() == this) form_.setView(nullptr);
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
  for (HFONT font : {regular_, bold_, default_}) {
    if (font != nullptr) ::DeleteObject(font);
  }
}

int MainWindow::slotOf(ControlId id, int index) {
  if (id == ControlId::Label1) return kControlIds + std::clamp(index, 0, kLabel1Elements - 1);
  return static_cast<int>(id);
}

HWND MainWindow::control(ControlId id, int index) const {
  return bindings_[static_cast<size_t>(slotOf(id, index))].hwnd;
}

HWND MainWindow::frame(int number) const {
  if (number < 1 || number > kFrames) return nullptr;
  return bindings_[static_cast<size_t>(kFirstFrameSlot + number - 1)].hwnd;
}

// --- Making and placing the controls ----------------------------------------

void MainWindow::buildControls() {
  app::Form1& f = form_;
  const auto bind = [this](app::ControlModel& model, Kind kind, Twips at,
                           DropRole drop) -> Binding& {
    Binding& b = bindings_[static_cast<size_t>(slotOf(model.id(), model.index()))];
    b = {nullptr, &model, kind, at, drop};
    return b;
  };

  // Top band: commands and options.
  bind(f.btnstart, Kind::button, in(kFrame1, 360, 360, 1215, 495), DropRole::load);
  bind(f.btnExit, Kind::button, in(kFrame1, 360, 960, 1215, 495), DropRole::load);
  bind(f.Check1, Kind::checkBox, in(kFrame1, 2160, 240, 5415, 255), DropRole::load);
  bind(f.Check2, Kind::checkBox, in(kFrame1, 2160, 600, 7575, 255), DropRole::ignore);
  bind(f.Label8, Kind::label, in(kFrame1, 6000, 960, 7455, 255), DropRole::refuse).bold = true;
  bind(f.Check3, Kind::checkBox, in(kFrame1, 2160, 1320, 1935, 255), DropRole::load);
  bind(f.Text1, Kind::textBox, in(kFrame1, 4200, 1320, 2895, 285), DropRole::ignore).captionFont =
      false;
  bind(f.Label4, Kind::label, in(kFrame1, 7320, 1320, 5895, 255), DropRole::load).bold = true;
  bind(f.Check4, Kind::checkBox, {2280, 960, 3735, 255}, DropRole::refuse).captionFont = false;

  // Middle band: the folder and the file being renamed, a caption and a
  // value on each row.
  struct StatusRow {
    int top;
    int captionIndex;
    int captionLeft;
    int captionWidth;
    app::LabelModel* value;
    int valueWidth;
  };
  const StatusRow rows[] = {
      {240, 0, 1005, 1335, &f.lblcurrentfolder, 10335},
      {600, 2, 120, 2295, &f.lblseriesnum, 2055},
      {960, 1, 930, 1455, &f.lblcountoffiles, 2175},
      {1320, 3, 285, 2175, &f.lblcurrentseries, 2175},
      {1680, 4, 405, 1935, &f.lblcurrentslice, 1455},
      {2040, 5, 1080, 1335, &f.lbloldfilename, 10335},
      {2400, 6, 1005, 1335, &f.lblnewfilename, 10335},
      {2760, -1, 720, 1695, &f.Label3, 5775},
  };
  constexpr int kStatusValueLeft = 2565;
  for (const StatusRow& row : rows) {
    app::LabelModel& caption =
        row.captionIndex < 0 ? f.Label2 : f.Label1[static_cast<size_t>(row.captionIndex)];
    bind(caption, Kind::label, in(kFrame4, row.captionLeft, row.top, row.captionWidth, 255),
         DropRole::load);
    bind(*row.value, Kind::label, in(kFrame4, kStatusValueLeft, row.top, row.valueWidth, 255),
         DropRole::load);
  }

  // Bottom band: progress and the results of the run.
  bind(f.Label1[7], Kind::label, in(kFrame2, 360, 240, 2655, 255), DropRole::load);
  bind(f.Label1[8], Kind::label, in(kFrame2, 360, 960, 2655, 255), DropRole::load);
  bind(f.PRGSeries, Kind::progressBar, {840, 5280, 7455, 375}, DropRole::refuse);
  bind(f.prgtotal, Kind::progressBar, {840, 6000, 7455, 375}, DropRole::refuse);
  bind(f.Label5, Kind::label, in(kFrame3, 1320, 360, 1455, 255), DropRole::load);
  bind(f.Label6, Kind::label, in(kFrame3, 2880, 360, 1695, 255), DropRole::load);
  bind(f.Label1[9], Kind::label, in(kFrame3, 240, 600, 2535, 255), DropRole::load);
  bind(f.lbltotalfiles, Kind::label, in(kFrame3, 2880, 600, 1695, 255), DropRole::load);
  bind(f.Label7, Kind::label, in(kFrame3, 1600, 840, 1215, 255), DropRole::refuse);
  bind(f.lbltimetaken, Kind::label, in(kFrame3, 2880, 840, 1815, 255), DropRole::refuse);

  const Twips frames[kFrames] = {kFrame1, kFrame2, kFrame3, kFrame4};
  for (int i = 0; i < kFrames; ++i) {
    bindings_[static_cast<size_t>(kFirstFrameSlot + i)] = {
        nullptr, nullptr, Kind::frame, frames[i], i == 2 ? DropRole::refuse : DropRole::load,
        false,   false};
  }

  // Children are stacked in the order they are made, the first on top; the
  // dialog keys take the same order for Tab. So the controls that take focus
  // come first, in tab order, and the frames last, innermost first, so that
  // the point under a drop finds the control before the frame behind it.
  const int order[] = {slotOf(ControlId::Text1, 0),    slotOf(ControlId::Check3, 0),
                       slotOf(ControlId::Check2, 0),   slotOf(ControlId::Check1, 0),
                       slotOf(ControlId::btnstart, 0), slotOf(ControlId::btnExit, 0),
                       slotOf(ControlId::Check4, 0)};
  for (int slot : order) {
    const Binding& b = bindings_[static_cast<size_t>(slot)];
    if (b.kind == Kind::textBox) {
      make(slot, L"EDIT", static_cast<app::TextBoxModel*>(b.model)->text(),
           WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
    } else if (b.kind == Kind::checkBox) {
      make(slot, L"BUTTON", static_cast<app::CheckBoxModel*>(b.model)->caption(),
           WS_TABSTOP | BS_CHECKBOX);
    } else {
      make(slot, L"BUTTON", static_cast<app::ButtonModel*>(b.model)->caption(),
           WS_TABSTOP | BS_PUSHBUTTON);
    }
  }
  for (int slot = 0; slot < kFirstFrameSlot; ++slot) {
    const Binding& b = bindings_[static_cast<size_t>(slot)];
    if (b.model == nullptr || b.hwnd != nullptr) continue;
    if (b.kind == Kind::progressBar) {
      make(slot, PROGRESS_CLASSW, {}, 0);
      continue;
    }
    const auto* label = static_cast<app::LabelModel*>(b.model);
    // A path loses its middle, a file name its end, where the label is too narrow.
    const ControlId id = label->id();
    DWORD ellipsis = 0;
    if (id == ControlId::lblcurrentfolder || id == ControlId::Label3) ellipsis = SS_PATHELLIPSIS;
    if (id == ControlId::lbloldfilename || id == ControlId::lblnewfilename)
      ellipsis = SS_ENDELLIPSIS;
    const HWND hwnd = make(slot, L"STATIC", label->text(),
                           SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | ellipsis |
                               (ellipsis != 0 ? SS_NOTIFY : 0));  // the tooltip sees the mouse
    if (ellipsis != 0) addTooltip(hwnd);
  }
  for (int slot :
       {kFirstFrameSlot + 2, kFirstFrameSlot + 1, kFirstFrameSlot + 3, kFirstFrameSlot}) {
    make(slot, kFrameClass, {}, 0);
  }
  addTooltip(control(ControlId::btnstart));
  TTTOOLINFOW place{};
  place.cbSize = sizeof place;
  place.uFlags = TTF_SUBCLASS;
  place.hwnd = hwnd_;
  place.uId = kStartPlaceTip;
  place.lpszText = LPSTR_TEXTCALLBACKW;
  ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&place));
}

void MainWindow::addTooltip(HWND target) {
  if (tooltip_ == nullptr) {
    tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                 WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 800);
  }
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(target);
  tool.lpszText = LPSTR_TEXTCALLBACKW;
  ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

HWND MainWindow::make(int slot, const wchar_t* windowClass, const std::string& text, DWORD style,
                      DWORD exStyle) {
  Binding& b = bindings_[static_cast<size_t>(slot)];
  b.hwnd = ::CreateWindowExW(exStyle, windowClass, wide(text).c_str(),
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, 0, 0, 0, 0, hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + slot)),
                             ::GetModuleHandleW(nullptr), nullptr);
  return b.hwnd;
}

void MainWindow::layOut(UINT dpi) {
  for (HFONT font : {regular_, bold_, default_}) {
    if (font != nullptr) ::DeleteObject(font);
  }
  regular_ = makeFont(L"Verdana", 825, FW_NORMAL, dpi);
  bold_ = makeFont(L"Verdana", 825, FW_BOLD, dpi);
  default_ = makeFont(L"Microsoft Sans Serif", 800, FW_NORMAL, dpi);
  for (const Binding& b : bindings_) {
    if (b.hwnd == nullptr) continue;
    ::SetWindowPos(b.hwnd, nullptr, pixels(b.at.left, dpi), pixels(b.at.top, dpi),
                   pixels(b.at.width, dpi), pixels(b.at.height, dpi),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    const HFONT font = !b.captionFont ? default_ : b.bold ? bold_ : regular_;
    ::SendMessageW(b.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (tooltip_ != nullptr) {
    TTTOOLINFOW place{};
    place.cbSize = sizeof place;
    place.hwnd = hwnd_;
    place.uId = kStartPlaceTip;
    ::GetWindowRect(control(ControlId::btnstart), &place.rect);
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&place.rect), 2);
    ::SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&place));
  }
}

// --- Showing the models -----------------------------------------------------

void MainWindow::sync(int slot) {
  const Binding& b = bindings_[static_cast<size_t>(slot)];
  if (b.hwnd == nullptr || b.model == nullptr) return;
  syncing_ = true;
  ::EnableWindow(b.hwnd, b.model->enabled() ? TRUE : FALSE);
  switch (b.kind) {
    case Kind::label: {
      const std::string& shown = static_cast<app::LabelModel*>(b.model)->text();
      const bool hint = shown.empty() && b.model->id() == ControlId::lblcurrentfolder;
      const std::wstring text = wide(hint ? std::string(kFolderHint) : shown);
      ::SetWindowTextW(b.hwnd, text.c_str());
      break;
    }
    case Kind::checkBox:
      ::SendMessageW(
          b.hwnd, BM_SETCHECK,
          static_cast<app::CheckBoxModel*>(b.model)->ticked() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case Kind::textBox: {
      const auto* model = static_cast<app::TextBoxModel*>(b.model);
      if (windowText(b.hwnd) != model->text())
        ::SetWindowTextW(b.hwnd, wide(model->text()).c_str());
      ::InvalidateRect(b.hwnd, nullptr, TRUE);  // the background follows the model
      break;
    }
    case Kind::progressBar: {
      const auto* model = static_cast<app::ProgressBarModel*>(b.model);
      const int maximum = std::max(model->maximum(), 0);
      ::SendMessageW(b.hwnd, PBM_SETRANGE32, 0, maximum);
      ::SendMessageW(b.hwnd, PBM_SETPOS,
                     static_cast<WPARAM>(std::clamp(model->value(), 0, maximum)), 0);
      break;
    }
    case Kind::button:
    case Kind::frame:
      break;
  }
  syncing_ = false;
}

void MainWindow::controlChanged(ControlId id, int index) {
  const auto slot = static_cast<size_t>(slotOf(id, index));
  if (bindings_[slot].hwnd == nullptr) return;  // the lists are never shown
  if (!form_.busy()) {
    sync(static_cast<int>(slot));
    return;
  }
  // A load or a run keeps the message loop waiting: the control is painted
  // now, and the window system answered now and then.
  sync(static_cast<int>(slot));
  ::UpdateWindow(bindings_[slot].hwnd);
  paintWhileBusy();
}

// Handles what the window system sent meanwhile (paints, activation, pings
// that tell Windows the program is alive), dropping the user's input: none
// may take effect while the form is busy.
void MainWindow::paintWhileBusy() {
  const std::uint64_t now = ::GetTickCount64();
  if (now - lastPaint_ < kPaintIntervalMs) return;
  lastPaint_ = now;
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (msg.message == WM_DROPFILES) ::DragFinish(reinterpret_cast<HDROP>(msg.wParam));
    if (isUserInput(msg.message)) {
      stopTrigger(msg);
      continue;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// --- Input ------------------------------------------------------------------

bool MainWindow::handleDialogMessage(MSG& msg) {
  if (hwnd_ == nullptr || (msg.hwnd != hwnd_ && !::IsChild(hwnd_, msg.hwnd))) return false;
  if (form_.busy() && isUserInput(msg.message)) {
    stopTrigger(msg);
    return true;
  }
  if (shortcut(msg)) return true;
  return ::IsDialogMessageW(hwnd_, &msg) != FALSE;
}

bool MainWindow::shortcut(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (::GetKeyState(VK_CONTROL) & 0x8000) == 0) return false;
  switch (msg.wParam) {
    case 'O':
      openFolder();
      return true;
    case 'P':
      openPreview();
      return true;
    case 'Z':
      if (msg.hwnd == control(ControlId::Text1)) return false;  // the text box's own undo
      undo();
      return true;
    default:
      return false;
  }
}

void MainWindow::stopTrigger(const MSG& msg) {
  if (!form_.working() || (msg.hwnd != hwnd_ && !::IsChild(hwnd_, msg.hwnd))) return;
  switch (msg.message) {
    case WM_KEYDOWN:
      if (msg.wParam == VK_ESCAPE) form_.pressEscape();
      break;
    case WM_SYSKEYDOWN:
      if (msg.wParam == 'E') form_.pressExit();
      if (msg.wParam == VK_F4) form_.closeRequested();
      break;
    case WM_SYSCHAR:
      if (msg.wParam == 'e' || msg.wParam == 'E') form_.pressExit();
      break;
    case WM_LBUTTONUP:
      if (msg.hwnd == control(ControlId::btnExit)) form_.pressExit();
      break;
    case WM_NCLBUTTONDOWN:
      if (msg.hwnd == hwnd_ && msg.wParam == HTCLOSE) form_.closeRequested();
      break;
    case WM_RBUTTONUP:
      if (msg.hwnd != control(ControlId::Text1)) showCommandMenu(msg.pt);
      break;
    default:
      break;
  }
}

void MainWindow::start() {
  lastPaint_ = 0;
  form_.pressStart();
}

void MainWindow::undo() {
  lastPaint_ = 0;
  form_.pressUndo();
}

void MainWindow::openPreview() {
  if (!form_.canPreview()) return;
  const app::Preview preview = form_.preview();
  if (runPreviewDialog(hwnd_, preview, form_.btnstart.enabled(), onPreview)) start();
}

void MainWindow::showCommandMenu(POINT screen) {
  enum Command : UINT { kOpen = 1, kPreview, kUndo, kStop };
  const HMENU menu = ::CreatePopupMenu();
  const auto add = [menu](UINT command, const char* name, bool applies) {
    ::AppendMenuW(menu, MF_STRING | (applies ? MF_ENABLED : MF_GRAYED), command,
                  wide(name).c_str());
  };
  add(kOpen, "Open folder\u2026\tCtrl+O", form_.canOpenFolder());
  add(kPreview, "Preview\u2026\tCtrl+P", form_.canPreview());
  add(kUndo, "Undo last run\tCtrl+Z", form_.undoOffer().applies);
  add(kStop, "Stop\tEsc", form_.canStop());
  openMenu_ = menu;
  const UINT chosen = static_cast<UINT>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                         screen.x, screen.y, 0, hwnd_, nullptr));
  openMenu_ = nullptr;
  ::DestroyMenu(menu);
  switch (chosen) {
    case kOpen:
      openFolder();
      break;
    case kPreview:
      openPreview();
      break;
    case kUndo:
      undo();
      break;
    case kStop:
      form_.pressEscape();
      break;
    default:
      break;
  }
}

void MainWindow::openFolder() {
  if (form_.busy() || !chooseFolder_) return;
  // Beside the loaded exam, not inside it: the next exam is likely a sibling,
  // and the picker would list the exam's thousands of files first.
  const std::string loaded = form_.File2.path();
  const std::string chosen =
      chooseFolder_(hwnd_, loaded.empty() ? loaded : platform::parentPath(loaded));
  if (!chosen.empty()) loadDropped({chosen});
}

void MainWindow::command(int slot, int notification) {
  if (slot < 0 || slot >= kFirstFrameSlot) return;
  Binding& b = bindings_[static_cast<size_t>(slot)];
  if (b.model == nullptr || syncing_) return;
  if (form_.busy()) {  // no input takes effect meanwhile
    sync(slot);
    return;
  }
  if (b.kind == Kind::button && notification == BN_CLICKED) {
    if (b.model->id() == ControlId::btnstart) {
      start();
    } else {
      form_.pressExit();
    }
  } else if (b.kind == Kind::checkBox && notification == BN_CLICKED) {
    auto* box = static_cast<app::CheckBoxModel*>(b.model);
    form_.changeCheck(*box, box->ticked() ? 0 : 1);
    sync(slot);  // shows the model again if it refused the change
  } else if (b.kind == Kind::textBox && notification == EN_CHANGE) {
    form_.changeText1(windowText(b.hwnd));
    sync(slot);
  }
}

DropRole MainWindow::dropRoleAt(POINT client) const {
  // Disabled controls are found too: a drop on a greyed label goes where a
  // drop on it would go when enabled.
  const HWND hit = ::ChildWindowFromPointEx(hwnd_, client, CWP_SKIPINVISIBLE);
  if (hit == nullptr || hit == hwnd_) return DropRole::load;  // the window's margin
  for (const Binding& b : bindings_) {
    if (b.hwnd == hit) return b.drop;
  }
  return DropRole::refuse;
}

void MainWindow::dropFiles(HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    path.resize(::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
    if (!path.empty()) paths.push_back(narrow(path));
  }
  POINT at{};
  const bool inClient = ::DragQueryPoint(drop, &at) != FALSE;
  ::DragFinish(drop);
  if (form_.busy() || !inClient || dropRoleAt(at) != DropRole::load) return;
  loadDropped(paths);
}

void MainWindow::loadDropped(const std::vector<std::string>& paths) {
  if (paths.empty()) {
    showMessage({"Nothing was loaded: the drop holds no file or folder path.", "Slicery",
                 app::Message::Icon::warning});
    return;
  }
  lastPaint_ = 0;
  const platform::Status status = form_.drop(paths);
  if (!status) {
    const std::string& where = status.path().empty() ? paths.front() : status.path();
    showMessage({"The folder could not be loaded:\n" + where + "\n\n" + status.reason(), "Slicery",
                 app::Message::Icon::warning});
  }
}

HBRUSH MainWindow::text1Brush() const {
  return ::GetSysColorBrush(systemColour(form_.Text1.background()));
}

LRESULT CALLBACK MainWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return self->handle(message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      command(static_cast<int>(LOWORD(wParam)) - kFirstId, HIWORD(wParam));
      return 0;
    case WM_DROPFILES:
      dropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == control(ControlId::Text1)) {
        ::SetBkColor(reinterpret_cast<HDC>(wParam),
                     ::GetSysColor(systemColour(form_.Text1.background())));
        return reinterpret_cast<LRESULT>(text1Brush());
      }
      if (reinterpret_cast<HWND>(lParam) == control(ControlId::lblcurrentfolder) &&
          form_.lblcurrentfolder.text().empty()) {  // the hint, in light text
        const auto dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_NOTIFY: {
      auto* tip = reinterpret_cast<NMTTDISPINFOW*>(lParam);
      if (tip->hdr.code != TTN_GETDISPINFOW) break;
      tooltipText_ = wide(tipOf(tip->hdr.idFrom));
      tip->lpszText = tooltipText_.data();
      return 0;
    }
    case WM_CONTEXTMENU: {
      if (reinterpret_cast<HWND>(wParam) == control(ControlId::Text1)) break;
      POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (lParam == -1) {  // from the keyboard: at the control with focus
        RECT r{};
        ::GetWindowRect(::GetFocus() != nullptr ? ::GetFocus() : hwnd_, &r);
        at = {r.left, r.bottom};
      }
      showCommandMenu(at);
      return 0;
    }
    case WM_ENTERIDLE:  // the context menu is open and waits
      if (wParam == MSGF_MENU && openMenu_ != nullptr && onCommandMenu) {
        const HMENU menu = std::exchange(openMenu_, nullptr);
        onCommandMenu(menu);
      }
      break;
    case WM_ACTIVATE:
      // The control that had focus gets it back when the window is activated again.
      if (LOWORD(wParam) == WA_INACTIVE) {
        focus_ = ::GetFocus();
      } else if (focus_ != nullptr && ::IsChild(hwnd_, focus_)) {
        ::SetFocus(focus_);
        return 0;
      }
      break;
    case WM_DPICHANGED:
      fitInto(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_CLOSE:
      // During the work: asks whether to stop it, and closes once it stopped.
      if (form_.closeRequested()) ::DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      if (quitOnClose_) ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

// --- What the form tells the user -------------------------------------------

std::string MainWindow::tipOf(UINT_PTR tool) const {
  const HWND start = control(ControlId::btnstart);
  if (tool == kStartPlaceTip || tool == reinterpret_cast<UINT_PTR>(start)) return app::kStartTip;
  if (tool == reinterpret_cast<UINT_PTR>(control(ControlId::lblcurrentfolder)) &&
      form_.lblcurrentfolder.text().empty()) {
    return app::kFolderHintTip;
  }
  // A label's whole text.
  for (const Binding& b : bindings_) {
    if (reinterpret_cast<UINT_PTR>(b.hwnd) == tool && b.kind == Kind::label) {
      return static_cast<app::LabelModel*>(b.model)->text();
    }
  }
  return {};
}

void MainWindow::showMessage(const app::Message& message) {
  UINT icon = MB_ICONWARNING;
  if (message.icon == app::Message::Icon::critical) icon = MB_ICONERROR;
  if (message.icon == app::Message::Icon::information) icon = MB_ICONINFORMATION;
  const OwnIcon own(hwnd_);
  ::MessageBoxW(hwnd_, wide(message.text).c_str(), wide(message.title).c_str(), MB_OK | icon);
}

void MainWindow::notice(const app::Message& message) {
  showMessage(message);
}

bool MainWindow::askStop(const std::string& question) {
  constexpr int kStop = 100;
  constexpr int kContinue = 101;
  const TASKDIALOG_BUTTON buttons[] = {{kStop, L"&Stop"}, {kContinue, L"&Continue"}};
  return ask("Slicery", question, nullptr, buttons, 0, kContinue) == kStop;
}

int MainWindow::ask(const char* title, const std::string& text, const wchar_t* icon,
                    std::span<const TASKDIALOG_BUTTON> buttons, int commonButtons,
                    int defaultButton) {
  const std::wstring shownTitle = wide(title);
  const std::wstring shownText = wide(text);
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = hwnd_;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;  // Esc and the close button cancel
  config.dwCommonButtons = commonButtons;
  config.pszWindowTitle = shownTitle.c_str();
  config.pszMainIcon = icon;
  config.pszContent = shownText.c_str();
  config.cButtons = static_cast<UINT>(buttons.size());
  config.pButtons = buttons.data();
  config.nDefaultButton = defaultButton;
  int pressed = IDCANCEL;
  const OwnIcon own(hwnd_);
  if (FAILED(::TaskDialogIndirect(&config, &pressed, nullptr, nullptr))) return IDCANCEL;
  return pressed;
}

app::Form1View::UnfinishedRunChoice MainWindow::askUnfinishedRun(const std::string& message) {
  constexpr int kFinish = 100;
  constexpr int kUndo = 101;
  const TASKDIALOG_BUTTON buttons[] = {{kFinish, L"&Finish"}, {kUndo, L"&Undo"}};
  switch (ask("Unfinished Run", message, TD_WARNING_ICON, buttons, TDCBF_CANCEL_BUTTON, IDCANCEL)) {
    case kFinish:
      return UnfinishedRunChoice::finish;
    case kUndo:
      return UnfinishedRunChoice::undo;
    default:
      return UnfinishedRunChoice::cancel;
  }
}

bool MainWindow::confirm(const std::string& message, const std::string& title) {
  const OwnIcon own(hwnd_);
  return ::MessageBoxW(hwnd_, wide(message).c_str(), wide(title).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void MainWindow::closeWindow() {
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

void MainWindow::runFailed(const std::vector<app::RunFailure>& failures) {
  if (failures.empty()) return;
  // Paths are shown from the loaded folder on, which the headline names.
  const std::string folder = form_.File2.path();
  std::string text = std::to_string(failures.size());
  text += failures.size() == 1 ? " file or folder in " : " files or folders in ";
  text += folder;
  text += " could not be renamed, made or listed. Nothing was overwritten.\n\n";
  std::string details;  // a message box has no room for them
  text += app::failureList(folder, failures, details);
  const OwnIcon own(hwnd_);
  ::MessageBoxW(hwnd_, wide(text).c_str(), L"Slicery", MB_OK | MB_ICONWARNING);
}

}  // namespace slicery::win32
