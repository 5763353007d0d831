#include "platform/stop_signals.h"

namespace slicery::platform {
namespace {

// Lock-free, so a signal handler may set them.
std::atomic<bool> stopped{false};
std::atomic<int> signalNumber{0};

}  // namespace

const std::atomic<bool>& stopFlag() {
  return stopped;
}

int stopSignal() {
  return signalNumber.load();
}

void recordStop(int number) {
  signalNumber.store(number);
  stopped.store(true);
}

}  // namespace slicery::platform
