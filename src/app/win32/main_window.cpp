#include "main_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "exams_dialog.h"
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
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
// The tooltip over Start's place, which shows while Start is disabled (a
// disabled control sees no mouse).
constexpr UINT_PTR kStartPlaceTip = 1;

bool isUserInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) || message == WM_DROPFILES ||
         message == WM_CONTEXTMENU;
}

// The platform's own button for an answer the table words no caption for:
// its identifier, and its flag in a task dialog.
std::pair<int, TASKDIALOG_COMMON_BUTTON_FLAGS> commonButton(app::Answer answer) {
  switch (answer) {
    case app::Answer::yes:
      return {IDYES, TDCBF_YES_BUTTON};
    case app::Answer::no:
      return {IDNO, TDCBF_NO_BUTTON};
    default:
      return {IDCANCEL, TDCBF_CANCEL_BUTTON};
  }
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
  while (fits > 24 && (frame.cx + pixels(app::kClientWidth, fits) > room.cx ||
                       frame.cy + pixels(app::kClientHeight, fits) > room.cy)) {
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
  const int width = frame.cx + pixels(app::kClientWidth, layoutDpi_);
  const int height = frame.cy + pixels(app::kClientHeight, layoutDpi_);
  // Where it was put, moved in as far as needed to show whole.
  const int left = std::max<int>(work.left, std::min<int>(around.left, work.right - width));
  const int top = std::max<int>(work.top, std::min<int>(around.top, work.bottom - height));
  ::SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  // Where the frame drawn differs from the one foreseen (Wine draws it at the
  // system's DPI), the client area is set right by the difference.
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  const int wider = pixels(app::kClientWidth, layoutDpi_) - client.right;
  const int taller = pixels(app::kClientHeight, layoutDpi_) - client.bottom;
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
  for (const app::ControlPlace& place : app::windowLayout()) {
    const bool frame = place.kind == app::ControlKind::frame;
    const int slot = frame ? kFirstFrameSlot + place.index - 1 : slotOf(place.id, place.index);
    bindings_[static_cast<size_t>(slot)] = {nullptr, frame ? nullptr : &app::modelOf(form_, place),
                                            &place};
  }

  // Children are stacked in the order they are made, the first on top; the
  // dialog keys take the same order for Tab. So the controls that take focus
  // come first, in tab order, and the frames last, innermost first, so that
  // the point under a drop finds the control before the frame behind it.
  for (const app::ControlPlace* place : app::tabOrder()) {
    const int slot = slotOf(place->id, place->index);
    const app::ControlModel& model = app::modelOf(form_, *place);
    if (place->kind == app::ControlKind::textBox) {
      make(slot, L"EDIT", static_cast<const app::TextBoxModel&>(model).text(),
           WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
    } else if (place->kind == app::ControlKind::checkBox) {
      make(slot, L"BUTTON", static_cast<const app::CheckBoxModel&>(model).caption(),
           WS_TABSTOP | BS_CHECKBOX);
    } else {
      make(slot, L"BUTTON", static_cast<const app::ButtonModel&>(model).caption(),
           WS_TABSTOP | BS_PUSHBUTTON);
    }
  }
  for (int slot = 0; slot < kFirstFrameSlot; ++slot) {
    const Binding& b = bindings_[static_cast<size_t>(slot)];
    if (b.place == nullptr || b.hwnd != nullptr) continue;
    if (b.place->kind == app::ControlKind::progressBar) {
      make(slot, PROGRESS_CLASSW, {}, 0);
      continue;
    }
    const auto* label = static_cast<app::LabelModel*>(b.model);
    // A path loses its middle, a file name its end, where the label is too narrow.
    DWORD ellipsis = 0;
    if (b.place->overflow == app::Overflow::path) ellipsis = SS_PATHELLIPSIS;
    if (b.place->overflow == app::Overflow::name) ellipsis = SS_ENDELLIPSIS;
    const HWND hwnd = make(slot, L"STATIC", label->text(),
                           SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | ellipsis |
                               (ellipsis != 0 ? SS_NOTIFY : 0));  // the tooltip sees the mouse
    if (ellipsis != 0) addTooltip(hwnd);
  }
  // The table lists a frame before what it holds.
  const std::span<const app::ControlPlace> layout = app::windowLayout();
  for (auto place = layout.rbegin(); place != layout.rend(); ++place) {
    if (place->kind == app::ControlKind::frame) {
      make(kFirstFrameSlot + place->index - 1, kFrameClass, {}, 0);
    }
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
    const app::Twips at = app::inWindow(*b.place);
    ::SetWindowPos(b.hwnd, nullptr, pixels(at.left, dpi), pixels(at.top, dpi),
                   pixels(at.width, dpi), pixels(at.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    const HFONT font = b.place->font == app::CaptionFont::none   ? default_
                       : b.place->font == app::CaptionFont::bold ? bold_
                                                                 : regular_;
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
  switch (b.place->kind) {
    case app::ControlKind::label: {
      const std::string& shown = static_cast<app::LabelModel*>(b.model)->text();
      const bool hint = shown.empty() && b.model->id() == ControlId::lblcurrentfolder;
      const std::wstring text = wide(hint ? std::string(kFolderHint) : shown);
      ::SetWindowTextW(b.hwnd, text.c_str());
      break;
    }
    case app::ControlKind::checkBox:
      ::SendMessageW(
          b.hwnd, BM_SETCHECK,
          static_cast<app::CheckBoxModel*>(b.model)->ticked() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case app::ControlKind::textBox: {
      const auto* model = static_cast<app::TextBoxModel*>(b.model);
      if (windowText(b.hwnd) != model->text())
        ::SetWindowTextW(b.hwnd, wide(model->text()).c_str());
      ::InvalidateRect(b.hwnd, nullptr, TRUE);  // the background follows the model
      break;
    }
    case app::ControlKind::progressBar: {
      const auto* model = static_cast<app::ProgressBarModel*>(b.model);
      const int maximum = std::max(model->maximum(), 0);
      ::SendMessageW(b.hwnd, PBM_SETRANGE32, 0, maximum);
      ::SendMessageW(b.hwnd, PBM_SETPOS,
                     static_cast<WPARAM>(std::clamp(model->value(), 0, maximum)), 0);
      break;
    }
    case app::ControlKind::button:
    case app::ControlKind::frame:
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
  for (const app::CommandEntry& entry : app::contextMenu()) {
    // "Ctrl+" and a letter, whose virtual key is the letter itself.
    const std::string_view keys = entry.keys;
    if (keys.size() != 6 || !keys.starts_with("Ctrl+") ||
        msg.wParam != static_cast<WPARAM>(keys.back())) {
      continue;
    }
    if (entry.command == app::Command::undo && msg.hwnd == control(ControlId::Text1)) {
      return false;  // the text box's own undo
    }
    app::runCommand(form_, *this, entry.command);
    return true;
  }
  return false;
}

void MainWindow::stopTrigger(const MSG& msg) {
  // The exams dialog's Esc and close button stop its batch.
  const HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
  if (batch_ != nullptr && batch_->working() && root != hwnd_ &&
      ::GetWindow(root, GW_OWNER) == hwnd_) {
    if ((msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) ||
        (msg.message == WM_NCLBUTTONDOWN && msg.wParam == HTCLOSE)) {
      batch_->pressEscape();
    }
    return;
  }
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
  if (batch_ != nullptr && batch_->undoApplies()) {
    if (ask(app::undoQuestion(), batch_->undoQuestion(), "Undo Batch") == app::Answer::yes) {
      openExams(true);
    }
    return;
  }
  lastPaint_ = 0;
  form_.pressUndo();
}

void MainWindow::openPreview() {
  if (!form_.canPreview()) return;
  const app::Preview preview = form_.preview();
  if (runPreviewDialog(hwnd_, preview, form_.btnstart.enabled(), onPreview)) start();
}

void MainWindow::showCommandMenu(POINT screen) {
  const std::span<const app::CommandEntry> commands = app::contextMenu();
  const HMENU menu = ::CreatePopupMenu();
  UINT item = 0;  // the command's place in the menu, counted from 1
  for (const app::CommandEntry& entry : commands) {
    const bool applies = app::commandApplies(form_, entry.command);
    ::AppendMenuW(menu, MF_STRING | (applies ? MF_ENABLED : MF_GRAYED), ++item,
                  wide(std::string(entry.caption) + '\t' + entry.keys).c_str());
  }
  openMenu_ = menu;
  const UINT chosen = static_cast<UINT>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                         screen.x, screen.y, 0, hwnd_, nullptr));
  openMenu_ = nullptr;
  ::DestroyMenu(menu);
  if (chosen >= 1 && chosen <= commands.size())
    app::runCommand(form_, *this, commands[chosen - 1].command);
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
  const app::ControlKind kind = b.place->kind;
  if (kind == app::ControlKind::button && notification == BN_CLICKED) {
    if (b.model->id() == ControlId::btnstart) {
      start();
    } else {
      form_.pressExit();
    }
  } else if (kind == app::ControlKind::checkBox && notification == BN_CLICKED) {
    auto* box = static_cast<app::CheckBoxModel*>(b.model);
    form_.changeCheck(*box, box->ticked() ? 0 : 1);
    sync(slot);  // shows the model again if it refused the change
  } else if (kind == app::ControlKind::textBox && notification == EN_CHANGE) {
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
    if (b.hwnd == hit) return b.place->drop;
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
  if (form_.busy()) return;
  // Several exams open the exams dialog; one loads as it always did.
  auto batch = std::make_unique<app::ExamBatch>(form_);
  // A search below the drop shows that it works: the busy cursor, and the
  // folders searched so far where the current folder shows.
  const HWND folder = control(ControlId::lblcurrentfolder);
  std::uint64_t shown = 0;
  batch->onSearch = [this, folder, &shown](size_t folders) {
    const std::uint64_t now = ::GetTickCount64();
    if (searching_ && now - shown < kPaintIntervalMs) return;
    if (!searching_) {
      searching_ = true;
      ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    }
    shown = now;
    ::SetWindowTextW(folder, wide(app::searchWords(folders)).c_str());
    ::UpdateWindow(folder);
    lastPaint_ = 0;
    paintWhileBusy();
  };
  const bool several = batch->find(paths);
  batch->onSearch = nullptr;
  if (searching_) {
    searching_ = false;
    sync(slotOf(ControlId::lblcurrentfolder, 0));
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
  }
  if (several) {
    batch_ = std::move(batch);
    openExams(false);
    return;
  }
  batch_.reset();
  lastPaint_ = 0;
  const platform::Status status = form_.drop(paths);
  if (!status) {
    const std::string& where = status.path().empty() ? paths.front() : status.path();
    showMessage({"The folder could not be loaded:\n" + where + "\n\n" + status.reason(), "Slicery",
                 app::Message::Icon::warning});
  }
}

void MainWindow::openExams(bool undo) {
  ExamsDialogHooks hooks;
  hooks.tell = [this](HWND, const app::Message& message) { showMessage(message); };
  hooks.preview = [this](HWND dialog, const app::Preview& preview) {
    return runPreviewDialog(dialog, preview, true, onPreview);
  };
  hooks.onShown = onExams;
  lastPaint_ = 0;
  runExamsDialog(hwnd_, *batch_, undo, hooks);
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
    case WM_SETCURSOR:
      if (searching_) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
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
    if (reinterpret_cast<UINT_PTR>(b.hwnd) == tool && b.place != nullptr &&
        b.place->kind == app::ControlKind::label) {
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

app::Answer MainWindow::ask(const app::Question& question, const std::string& text,
                            const std::string& title) {
  const std::wstring shownTitle = wide(question.title != nullptr ? question.title : title);
  const std::wstring shownText = wide(text);
  const bool warning = question.icon == app::QuestionIcon::warning;
  // Each answer's button: the platform's own, or one in the table's words
  // numbered from kFirstButton.
  constexpr int kFirstButton = 100;
  std::vector<std::wstring> captions;
  std::vector<std::pair<int, app::Answer>> ids;
  TASKDIALOG_COMMON_BUTTON_FLAGS common = 0;
  int safe = IDCANCEL;
  for (const app::AnswerButton& button : question.buttons) {
    int id = kFirstButton + static_cast<int>(captions.size());
    if (button.caption != nullptr) {
      captions.push_back(wide(button.caption));
    } else {
      const auto [platformId, flag] = commonButton(button.answer);
      id = platformId;
      common |= flag;
    }
    if (button.answer == question.safeAnswer) safe = id;
    ids.emplace_back(id, button.answer);
  }
  int pressed = IDCANCEL;
  const OwnIcon own(hwnd_);
  if (captions.empty()) {
    // The platform's buttons only: a message box of Yes and No.
    pressed = ::MessageBoxW(hwnd_, shownText.c_str(), shownTitle.c_str(),
                            MB_YESNO | (warning ? MB_ICONWARNING : MB_ICONQUESTION) |
                                (safe == IDNO ? MB_DEFBUTTON2 : MB_DEFBUTTON1));
  } else {
    std::vector<TASKDIALOG_BUTTON> buttons;
    for (size_t i = 0; i < captions.size(); ++i) {
      buttons.push_back({kFirstButton + static_cast<int>(i), captions[i].c_str()});
    }
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = hwnd_;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;  // Esc and the close button cancel
    config.dwCommonButtons = common;
    config.pszWindowTitle = shownTitle.c_str();
    config.pszMainIcon = warning ? TD_WARNING_ICON : nullptr;  // a task dialog has no question mark
    config.pszContent = shownText.c_str();
    config.cButtons = static_cast<UINT>(buttons.size());
    config.pButtons = buttons.data();
    config.nDefaultButton = safe;
    if (FAILED(::TaskDialogIndirect(&config, &pressed, nullptr, nullptr))) pressed = IDCANCEL;
  }
  for (const auto& [id, answer] : ids) {
    if (id == pressed) return answer;
  }
  return question.safeAnswer;
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
