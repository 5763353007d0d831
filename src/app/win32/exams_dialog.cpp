#include "exams_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/wide.h"
#include "preview_dialog.h"

namespace slicery::win32 {

using platform::win32::wide;

namespace {

constexpr UINT kWork = WM_APP + 2;
constexpr UINT kShown = WM_APP + 3;
// Sizes at 96 DPI, scaled to the dialog's.
constexpr int kWidth = 900;
constexpr int kHeight = 420;
constexpr int kMargin = 8;
constexpr int kHeadingHeight = 36;
constexpr int kBarHeight = 18;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 25;

struct ExamsState {
  app::ExamBatch* batch;
  bool undo;
  const ExamsDialogHooks* hooks;
  HWND dialog = nullptr;
  bool ran = false;
  bool syncing = false;  // ticks the dialog sets, not the user
};

int scaled(HWND hwnd, int pixels) {
  return ::MulDiv(pixels, static_cast<int>(::GetDpiForWindow(hwnd)), 96);
}

HWND child(HWND dialog, int id, const wchar_t* windowClass, const std::string& text, DWORD style,
           DWORD exStyle = 0) {
  const HWND hwnd = ::CreateWindowExW(
      exStyle, windowClass, wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, dialog,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(hwnd, WM_SETFONT, ::SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
  return hwnd;
}

void layOut(HWND dialog) {
  RECT client{};
  ::GetClientRect(dialog, &client);
  const int m = scaled(dialog, kMargin);
  const int bw = scaled(dialog, kButtonWidth);
  const int bh = scaled(dialog, kButtonHeight);
  const int hh = scaled(dialog, kHeadingHeight);
  const int bar = scaled(dialog, kBarHeight);
  const int buttonsTop = client.bottom - m - bh;
  const int barTop = buttonsTop - m - bar;
  const auto move = [dialog](int id, int left, int top, int width, int height) {
    ::MoveWindow(::GetDlgItem(dialog, id), left, top, width, height, TRUE);
  };
  move(kExamsHeading, m, m, client.right - 2 * m, hh);
  move(kExamsList, m, 2 * m + hh, client.right - 2 * m, barTop - 3 * m - hh);
  move(kExamsProgress, m, barTop, client.right - 2 * m, bar);
  move(kExamsCounts, m, buttonsTop + m / 2, client.right - 4 * m - 3 * bw, bh - m / 2);
  move(IDCANCEL, client.right - m - bw, buttonsTop, bw, bh);
  move(kExamsStart, client.right - 2 * (m + bw), buttonsTop, bw, bh);
  move(kExamsPreview, client.right - 3 * (m + bw), buttonsTop, bw, bh);
}

void showRows(ExamsState& state) {
  const HWND list = ::GetDlgItem(state.dialog, kExamsList);
  state.syncing = true;
  const size_t columns = app::examColumns().size();
  for (size_t r = 0; r < state.batch->rows().size(); ++r) {
    for (size_t c = 0; c < columns; ++c) {
      std::wstring text = wide(state.batch->cell(r, c));
      LVITEMW item{};
      item.iSubItem = static_cast<int>(c);
      item.pszText = text.data();
      ::SendMessageW(list, LVM_SETITEMTEXTW, r, reinterpret_cast<LPARAM>(&item));
    }
    LVITEMW tick{};
    tick.stateMask = LVIS_STATEIMAGEMASK;
    tick.state = INDEXTOSTATEIMAGEMASK(state.batch->rows()[r].ticked ? 2 : 1);
    ::SendMessageW(list, LVM_SETITEMSTATE, r, reinterpret_cast<LPARAM>(&tick));
  }
  state.syncing = false;
  const bool can = !state.ran && state.batch->canStart();
  ::EnableWindow(::GetDlgItem(state.dialog, kExamsStart), can ? TRUE : FALSE);
  ::EnableWindow(::GetDlgItem(state.dialog, kExamsPreview), can ? TRUE : FALSE);
}

void showProgress(ExamsState& state, bool rows) {
  const HWND bar = ::GetDlgItem(state.dialog, kExamsProgress);
  const int total = std::max(state.batch->filesTotal(), 1);
  ::SendMessageW(bar, PBM_SETRANGE32, 0, total);
  ::SendMessageW(bar, PBM_SETPOS, std::min(state.batch->filesDone(), total), 0);
  ::SetWindowTextW(::GetDlgItem(state.dialog, kExamsCounts),
                   wide(state.batch->progressText()).c_str());
  if (rows) showRows(state);
}

void initialise(HWND dialog, ExamsState& state) {
  state.dialog = dialog;
  app::ExamBatch& batch = *state.batch;
  child(dialog, kExamsHeading, L"STATIC", batch.heading(), SS_LEFT | SS_NOPREFIX);
  const HWND list = child(dialog, kExamsList, WC_LISTVIEWW, {},
                          WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE);
  ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
  int index = 0;
  for (const app::ExamColumn& c : app::examColumns()) {
    const std::wstring title = wide(c.caption);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(title.c_str());
    column.cx = scaled(dialog, c.width);
    ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index++),
                   reinterpret_cast<LPARAM>(&column));
  }
  for (size_t r = 0; r < batch.rows().size(); ++r) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(r);
    item.pszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  child(dialog, kExamsProgress, PROGRESS_CLASSW, {}, 0);
  child(dialog, kExamsCounts, L"STATIC", {}, SS_LEFT | SS_NOPREFIX);
  child(dialog, kExamsPreview, L"BUTTON", app::kExamsPreview, WS_TABSTOP | BS_PUSHBUTTON);
  child(dialog, kExamsStart, L"BUTTON", app::kExamsStart, WS_TABSTOP | BS_PUSHBUTTON);
  child(dialog, IDCANCEL, L"BUTTON", app::kExamsClose, WS_TABSTOP | BS_DEFPUSHBUTTON);
  ::SendMessageW(dialog, DM_SETDEFID, IDCANCEL, 0);
  if (state.undo) {
    ::ShowWindow(::GetDlgItem(dialog, kExamsPreview), SW_HIDE);
    ::ShowWindow(::GetDlgItem(dialog, kExamsStart), SW_HIDE);
  }
  const HWND owner = ::GetWindow(dialog, GW_OWNER);
  for (const auto& [size, icon] : {std::pair{ICON_BIG, GCLP_HICON}, {ICON_SMALL, GCLP_HICONSM}}) {
    ::SendMessageW(dialog, WM_SETICON, size, ::GetClassLongPtrW(owner, icon));
  }
  // Centred on the window that opened it.
  RECT around{};
  ::GetWindowRect(owner, &around);
  const int width = scaled(dialog, kWidth);
  const int height = scaled(dialog, kHeight);
  ::SetWindowPos(dialog, nullptr, (around.left + around.right - width) / 2,
                 (around.top + around.bottom - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  layOut(dialog);
  batch.onProgress = [&state](bool rows) { showProgress(state, rows); };
  showProgress(state, true);
  ::SetFocus(::GetDlgItem(dialog, IDCANCEL));
  ::PostMessageW(dialog, state.undo ? kWork : kShown, 0, 0);
}

// Runs the batch (or its undo) with every control but the list's view of it
// held still, then tells the summary.
void work(ExamsState& state) {
  if (state.ran || state.batch->working()) return;
  state.ran = true;
  const int held[] = {kExamsPreview, kExamsStart, IDCANCEL, kExamsList};
  for (const int id : held) {
    ::EnableWindow(::GetDlgItem(state.dialog, id), FALSE);
  }
  if (state.undo) {
    state.batch->undo();
  } else {
    state.batch->start();
  }
  showProgress(state, true);
  ::EnableWindow(::GetDlgItem(state.dialog, kExamsList), TRUE);
  ::EnableWindow(::GetDlgItem(state.dialog, IDCANCEL), TRUE);
  ::SetFocus(::GetDlgItem(state.dialog, IDCANCEL));
  if (state.hooks->tell) state.hooks->tell(state.dialog, state.batch->summary());
  if (state.undo && state.hooks->onShown) state.hooks->onShown(state.dialog);
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<ExamsState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      initialise(dialog, *reinterpret_cast<ExamsState*>(lParam));
      return FALSE;
    case kShown:
      if (state != nullptr && state->hooks->onShown) state->hooks->onShown(dialog);
      return TRUE;
    case kWork:
      if (state != nullptr) work(*state);
      return TRUE;
    case WM_SIZE:
      layOut(dialog);
      return TRUE;
    case WM_COMMAND:
      if (state == nullptr) return TRUE;
      if (LOWORD(wParam) == kExamsStart) {
        work(*state);
      } else if (LOWORD(wParam) == kExamsPreview) {
        if (state->batch->canStart() && state->hooks->preview &&
            state->hooks->preview(dialog, state->batch->preview())) {
          work(*state);
        }
      } else if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
        if (state->batch->working()) {
          state->batch->pressEscape();
        } else {
          state->batch->onProgress = nullptr;
          ::EndDialog(dialog, 0);
        }
      }
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (state == nullptr || header->idFrom != kExamsList || header->code != LVN_ITEMCHANGED ||
          state->syncing) {
        return FALSE;
      }
      const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
      if ((change->uChanged & LVIF_STATE) == 0 || change->iItem < 0) return FALSE;
      const bool on = ((change->uNewState & LVIS_STATEIMAGEMASK) >> 12) == 2;
      const bool was = ((change->uOldState & LVIS_STATEIMAGEMASK) >> 12) == 2;
      if (on != was) {
        state->batch->tick(static_cast<size_t>(change->iItem), on);
        showRows(*state);
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

void runExamsDialog(HWND owner, app::ExamBatch& batch, bool undo, const ExamsDialogHooks& hooks) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  ExamsState state{&batch, undo, &hooks};
  const std::vector<WORD> t = emptyDialogTemplate(wide(app::kExamsTitle));
  ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr),
                            reinterpret_cast<LPCDLGTEMPLATEW>(t.data()), owner, &dialogProc,
                            reinterpret_cast<LPARAM>(&state));
  batch.onProgress = nullptr;
}

}  // namespace slicery::win32
