// Stop signals: SIGINT and SIGTERM ask a run to stop between two steps
// instead of ending the process mid-step. The handler only sets a flag; a
// second signal of the same kind ends the process as usual.
#pragma once

#include <atomic>

namespace slicery::platform {

// Set once a stop signal arrived.
const std::atomic<bool>& stopFlag();
// The signal that set the flag, or 0.
int stopSignal();
void catchStopSignals();

}  // namespace slicery::platform
