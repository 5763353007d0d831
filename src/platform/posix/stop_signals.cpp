#include <csignal>

#include "platform/stop_signals.h"

namespace slicery::platform {
namespace {

extern "C" void onStopSignal(int number) {
  recordStop(number);
}

}  // namespace

void catchStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace slicery::platform
