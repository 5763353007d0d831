// The preview dialog, "Slicery - Preview": the steps of the run Start would
// make now in one list view over the form's preview (a virtual list that
// asks for the rows it shows, so 50,000 files open at once), with its counts
// above it. "&Start" ends it for the window to press Start; "Close" (the
// default, and Esc) ends it changing nothing.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/preview.h"

namespace slicery::win32 {

// The dialog's controls, for its tests.
enum PreviewControl { kPreviewSummary = 10, kPreviewSteps = 11, kPreviewStart = 12 };

// Shows `preview` modal to `owner`; `canStart` tells whether Start may be
// pressed now. `onShown`, when set, is called with the dialog once it shows.
// Returns true when Start was pressed.
bool runPreviewDialog(HWND owner, const app::Preview& preview, bool canStart,
                      const std::function<void(HWND dialog)>& onShown = {});

// A template of a resizable dialog titled `title`, in the shell's dialog
// font, without controls: they are made at WM_INITDIALOG.
std::vector<WORD> emptyDialogTemplate(const std::wstring& title);

}  // namespace slicery::win32
