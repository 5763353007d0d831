// Ctrl+C and Ctrl+Break stop a run as SIGINT does on POSIX, closing the
// console as SIGTERM does; the run ends with the same status (130, 143).
#include <windows.h>

#include <csignal>

#include "platform/stop_signals.h"

namespace slicery::platform {
namespace {

std::atomic<bool> stopped{false};
std::atomic<int> signalNumber{0};

BOOL WINAPI onConsoleEvent(DWORD event) {
  const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  const int number = interrupt ? SIGINT : SIGTERM;
  // A second press of the same kind ends the process at once, as the
  // default handler does.
  if (stopped.load() && signalNumber.load() == number) return FALSE;
  signalNumber.store(number);
  stopped.store(true);
  if (!interrupt) {
    // Windows ends the process when this returns (or some seconds after a
    // close): the run has that long to finish the file in hand and exit.
    ::Sleep(4000);
  }
  return TRUE;
}

}  // namespace

const std::atomic<bool>& stopFlag() {
  return stopped;
}

int stopSignal() {
  return signalNumber.load();
}

void catchStopSignals() {
  ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

}  // namespace slicery::platform
