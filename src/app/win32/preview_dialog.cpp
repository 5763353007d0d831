#include "preview_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/wide.h"

namespace slicery::win32 {

using platform::win32::wide;

namespace {

constexpr UINT kShown = WM_APP + 1;
// Sizes at 96 DPI, scaled to the dialog's.
constexpr int kWidth = 900;
constexpr int kHeight = 520;
constexpr int kMargin = 8;
constexpr int kSummaryHeight = 44;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 25;
constexpr int kNameColumn = 340;
constexpr int kNoteColumn = 160;  // the least the note keeps beside the names
constexpr int kCellPadding = 16;  // a cell's margins around its text

struct PreviewState {
  const app::Preview* preview;
  bool canStart;
  const std::function<void(HWND)>* onShown;
  std::wstring cell;          // the text of the cell the list view asked for last
  int nameWidth[2] = {0, 0};  // what the longest old and new names need, in pixels
};

int scaled(HWND hwnd, int pixels) {
  return ::MulDiv(pixels, static_cast<int>(::GetDpiForWindow(hwnd)), 96);
}

// The columns' widths in the list's width: the names as wide as the longest
// needs when there is room, else shares of the room in proportion to that,
// and the note the rest.
void fitColumns(HWND dialog, const PreviewState& state) {
  const HWND list = ::GetDlgItem(dialog, kPreviewSteps);
  RECT inside{};
  ::GetClientRect(list, &inside);
  const int room = inside.right - ::GetSystemMetricsForDpi(SM_CXVSCROLL, ::GetDpiForWindow(dialog));
  const int note = scaled(dialog, kNoteColumn);
  int old = state.nameWidth[0];
  int now = state.nameWidth[1];
  if (old + now + note > room && old + now > 0) {
    const int names = std::max(room - note, room / 2);
    old = ::MulDiv(names, old, old + now);
    now = names - old;
  }
  ::SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, old);
  ::SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, now);
  ::SendMessageW(list, LVM_SETCOLUMNWIDTH, 2, std::max(room - old - now, 0));
}

void layOut(HWND dialog) {
  RECT client{};
  ::GetClientRect(dialog, &client);
  const int m = scaled(dialog, kMargin);
  const int bw = scaled(dialog, kButtonWidth);
  const int bh = scaled(dialog, kButtonHeight);
  const int sh = scaled(dialog, kSummaryHeight);
  const int buttonsTop = client.bottom - m - bh;
  ::MoveWindow(::GetDlgItem(dialog, kPreviewSummary), m, m, client.right - 2 * m, sh, TRUE);
  ::MoveWindow(::GetDlgItem(dialog, kPreviewSteps), m, 2 * m + sh, client.right - 2 * m,
               buttonsTop - 3 * m - sh, TRUE);
  ::MoveWindow(::GetDlgItem(dialog, IDCANCEL), client.right - m - bw, buttonsTop, bw, bh, TRUE);
  ::MoveWindow(::GetDlgItem(dialog, kPreviewStart), client.right - 2 * (m + bw), buttonsTop, bw, bh,
               TRUE);
  if (const auto* state =
          reinterpret_cast<const PreviewState*>(::GetWindowLongPtrW(dialog, DWLP_USER))) {
    fitColumns(dialog, *state);
  }
}

// The width the longest of the names needs in `list`. Names are measured by
// their length first, so that 50,000 steps cost one pass and a few measures.
int nameWidth(HWND list, const std::vector<app::PreviewStep>& steps,
              std::string (*name)(const app::PreviewStep&)) {
  constexpr size_t kMeasured = 8;
  std::vector<std::pair<size_t, size_t>> longest;  // length, step
  for (size_t i = 0; i < steps.size(); ++i) {
    longest.emplace_back(name(steps[i]).size(), i);
    if (longest.size() > kMeasured) {
      std::nth_element(longest.begin(), longest.begin() + kMeasured, longest.end(),
                       std::greater<>());
      longest.resize(kMeasured);
    }
  }
  int widest = 0;
  for (const auto& [length, step] : longest) {
    const std::wstring text = wide(name(steps[step]));
    widest =
        std::max(widest, static_cast<int>(::SendMessageW(list, LVM_GETSTRINGWIDTHW, 0,
                                                         reinterpret_cast<LPARAM>(text.c_str()))));
  }
  return widest;
}

HWND child(HWND dialog, int id, const wchar_t* windowClass, const std::string& text, DWORD style,
           DWORD exStyle = 0) {
  const HWND hwnd = ::CreateWindowExW(
      exStyle, windowClass, wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, dialog,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(hwnd, WM_SETFONT, ::SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
  return hwnd;
}

void addColumn(HWND list, int index, const wchar_t* title, int width) {
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.pszText = const_cast<wchar_t*>(title);
  column.cx = width;
  ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

void initialise(HWND dialog, PreviewState& state) {
  child(dialog, kPreviewSummary, L"STATIC", state.preview->summary(), SS_LEFT | SS_NOPREFIX);
  const HWND list =
      child(dialog, kPreviewSteps, WC_LISTVIEWW, {},
            WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE);
  ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
  addColumn(list, 0, L"Old name", scaled(dialog, kNameColumn));
  addColumn(list, 1, L"New name", scaled(dialog, kNameColumn));
  addColumn(list, 2, L"Note", scaled(dialog, kWidth - 2 * kNameColumn - 4 * kMargin));
  const int padding = scaled(dialog, kCellPadding);
  state.nameWidth[0] = nameWidth(list, state.preview->steps, &app::Preview::shownFrom) + padding;
  state.nameWidth[1] = nameWidth(list, state.preview->steps, &app::Preview::shownTo) + padding;
  // Rows of one height, asked for as they show: nothing measures them all.
  ::SendMessageW(list, LVM_SETITEMCOUNT, state.preview->steps.size(), LVSICF_NOINVALIDATEALL);
  const HWND start = child(dialog, kPreviewStart, L"BUTTON", "&Start", WS_TABSTOP | BS_PUSHBUTTON);
  ::EnableWindow(start, state.canStart ? TRUE : FALSE);
  child(dialog, IDCANCEL, L"BUTTON", "Close", WS_TABSTOP | BS_DEFPUSHBUTTON);
  ::SendMessageW(dialog, DM_SETDEFID, IDCANCEL, 0);

  // The window's icon, in the caption and the taskbar.
  const HWND owner = ::GetWindow(dialog, GW_OWNER);
  for (const auto& [size, index] : {std::pair{ICON_BIG, GCLP_HICON}, {ICON_SMALL, GCLP_HICONSM}}) {
    ::SendMessageW(dialog, WM_SETICON, size, ::GetClassLongPtrW(owner, index));
  }

  // Sized at the dialog's DPI, wide enough for the names, centred on the
  // window that opened it, and never larger than the work area there.
  RECT around{};
  ::GetWindowRect(owner, &around);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromRect(&around, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  const int wanted = state.nameWidth[0] + state.nameWidth[1] + scaled(dialog, kNoteColumn) +
                     scaled(dialog, 4 * kMargin) +
                     ::GetSystemMetricsForDpi(SM_CXVSCROLL, ::GetDpiForWindow(dialog));
  const int width = std::min<int>(std::max(scaled(dialog, kWidth), wanted), work.right - work.left);
  const int height = std::min<int>(scaled(dialog, kHeight), work.bottom - work.top);
  const int left =
      std::clamp<int>((around.left + around.right - width) / 2, work.left, work.right - width);
  const int top =
      std::clamp<int>((around.top + around.bottom - height) / 2, work.top, work.bottom - height);
  ::SetWindowPos(dialog, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  layOut(dialog);
  ::SetFocus(::GetDlgItem(dialog, IDCANCEL));
  if (*state.onShown) ::PostMessageW(dialog, kShown, 0, 0);
}

// Fills a cell of the virtual list.
void cellText(PreviewState& state, NMLVDISPINFOW& info) {
  if ((info.item.mask & LVIF_TEXT) == 0 || info.item.iItem < 0 ||
      static_cast<size_t>(info.item.iItem) >= state.preview->steps.size()) {
    return;
  }
  const app::PreviewStep& step = state.preview->steps[static_cast<size_t>(info.item.iItem)];
  switch (info.item.iSubItem) {
    case 0:
      state.cell = wide(app::Preview::shownFrom(step));
      break;
    case 1:
      state.cell = wide(app::Preview::shownTo(step));
      break;
    default:
      state.cell = wide(app::Preview::shownNote(step));
      break;
  }
  info.item.pszText = state.cell.data();
}

// A step foreseen to fail is drawn in dark red.
LRESULT customDraw(const PreviewState& state, NMLVCUSTOMDRAW& draw) {
  if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
  const size_t row = draw.nmcd.dwItemSpec;
  if (row < state.preview->steps.size() && !state.preview->steps[row].failure.empty()) {
    draw.clrText = RGB(0x8b, 0, 0);
    return CDRF_NEWFONT;
  }
  return CDRF_DODEFAULT;
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<PreviewState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      initialise(dialog, *reinterpret_cast<PreviewState*>(lParam));
      return FALSE;  // the focus is set
    case kShown:
      if (state != nullptr && *state->onShown) (*state->onShown)(dialog);
      return TRUE;
    case WM_SIZE:
      layOut(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == kPreviewStart) {
        ::EndDialog(dialog, 1);
      } else if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
        ::EndDialog(dialog, 0);
      }
      return TRUE;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (state == nullptr || header->idFrom != kPreviewSteps) return FALSE;
      if (header->code == LVN_GETDISPINFOW) {
        cellText(*state, *reinterpret_cast<NMLVDISPINFOW*>(lParam));
        return TRUE;
      }
      if (header->code == NM_CUSTOMDRAW) {
        ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT,
                            customDraw(*state, *reinterpret_cast<NMLVCUSTOMDRAW*>(lParam)));
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

std::vector<WORD> emptyDialogTemplate(const std::wstring& title) {
  std::vector<WORD> t;
  const auto dword = [&t](DWORD value) {
    t.push_back(LOWORD(value));
    t.push_back(HIWORD(value));
  };
  const auto text = [&t](const wchar_t* s) {
    for (; *s != 0; ++s) t.push_back(static_cast<WORD>(*s));
    t.push_back(0);
  };
  dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_MODALFRAME | DS_SHELLFONT);
  dword(0);                                    // extended style
  for (int i = 0; i < 5; ++i) t.push_back(0);  // no items; place and size set later
  t.push_back(0);                              // no menu
  t.push_back(0);                              // the dialog class
  text(title.c_str());
  t.push_back(8);  // point size
  text(L"MS Shell Dlg");
  return t;
}

bool runPreviewDialog(HWND owner, const app::Preview& preview, bool canStart,
                      const std::function<void(HWND dialog)>& onShown) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&controls);
  PreviewState state{&preview, canStart, &onShown, {}};
  const std::vector<WORD> t = emptyDialogTemplate(L"Slicery - Preview");
  return ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr),
                                   reinterpret_cast<LPCDLGTEMPLATEW>(t.data()), owner, &dialogProc,
                                   reinterpret_cast<LPARAM>(&state)) == 1;
}

}  // namespace slicery::win32
