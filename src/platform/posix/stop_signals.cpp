#include "platform/stop_signals.h"

#include <csignal>

namespace slicery::platform {
namespace {

std::atomic<bool> stopped{false};
std::atomic<int> signalNumber{0};

extern "C" void onStopSignal(int number) {
  signalNumber.store(number);
  stopped.store(true);
}

}  // namespace

const std::atomic<bool>& stopFlag() {
  return stopped;
}

int stopSignal() {
  return signalNumber.load();
}

void catchStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace slicery::platform
