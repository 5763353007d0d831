// Ctrl+C and Ctrl+Break stop a run as SIGINT does on POSIX, closing the
// console as SIGTERM does; the run ends with the same status (130, 143).
#include <windows.h>

#include <csignal>

#include "platform/stop_signals.h"

namespace slicery::platform {
namespace {

BOOL WINAPI onConsoleEvent(DWORD event) {
  const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  const int number = interrupt ? SIGINT : SIGTERM;
  // A second press of the same kind ends the process at once, as the
  // default handler does.
  if (stopFlag().load() && stopSignal() == number) return FALSE;
  recordStop(number);
  if (!interrupt) {
    // Windows ends the process when this returns (or some seconds after a
    // close): the run has that long to finish the file in hand and exit.
    ::Sleep(4000);
  }
  return TRUE;
}

}  // namespace

void catchStopSignals() {
  ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

}  // namespace slicery::platform
