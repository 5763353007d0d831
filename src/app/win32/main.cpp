// slicery.exe: the window. Drop a folder of Siemens .ima files on it from
// Explorer (or give it on the command line), choose the options, press Start.
#include <windows.h>

#include <objbase.h>

#include <string>
#include <vector>

#include "app/form1.h"
#include "app/window_program.h"
#include "main_window.h"
#include "platform/file_system.h"
#include "platform/terminal.h"
#include "platform/win32/wide.h"

namespace {

// A box of information with Slicery's icon, for before the window is made.
void inform(const std::string& text) {
  const std::wstring shown = slicery::platform::win32::wide(text);
  MSGBOXPARAMSW box{};
  box.cbSize = sizeof box;
  box.hInstance = ::GetModuleHandleW(nullptr);
  box.lpszText = shown.c_str();
  box.lpszCaption = L"Slicery";
  box.dwStyle = MB_OK | MB_USERICON;
  box.lpszIcon = MAKEINTRESOURCEW(1);
  ::MessageBoxIndirectW(&box);
}

}  // namespace

int main(int argc, char** argv) {
  using slicery::platform::win32::wide;
  std::vector<std::string> words = slicery::platform::commandArguments(argc, argv);
  // Windows' own way of asking for help.
  for (std::string& word : words) {
    if (word == "/?") word = "--help";
  }
  slicery::win32::WindowArguments args = slicery::win32::parseWindowArguments(words);
  const std::string usage = slicery::win32::windowUsage("%LOCALAPPDATA%\\Slicery\\");
  // A program without a console answers --help and --version in a box.
  switch (args.action) {
    case slicery::win32::WindowArguments::Action::help:
      inform(usage);
      return 0;
    case slicery::win32::WindowArguments::Action::version:
      inform(std::string("slicery ") + slicery::app::kVersion);
      return 0;
    case slicery::win32::WindowArguments::Action::bad:
      ::MessageBoxW(nullptr, wide("slicery: " + args.error + "\n\n" + usage).c_str(), L"Slicery",
                    MB_OK | MB_ICONERROR);
      return 2;
    case slicery::win32::WindowArguments::Action::open:
      break;
  }

  for (std::string& path : args.paths) path = slicery::platform::absolutePath(path);
  slicery::app::WindowProgram program;
  if (const std::vector<std::string>& failures = program.tidyFailures(); !failures.empty()) {
    std::string text = "Slicery cannot tidy the run journals:";
    for (const std::string& failure : failures) text += "\n" + failure;
    ::MessageBoxW(nullptr, wide(text).c_str(), L"Slicery", MB_OK | MB_ICONWARNING);
  }

  // The folder picker (Ctrl+O) is a COM object of the shell.
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  slicery::win32::MainWindow window(program.form(), SW_SHOWDEFAULT);
  if (window.hwnd() == nullptr) return 1;
  if (!args.paths.empty()) window.loadDropped(args.paths);

  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (window.handleDialogMessage(msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
