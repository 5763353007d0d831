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
// Installs the handler: SIGINT and SIGTERM on POSIX; on Windows Ctrl+C and
// Ctrl+Break as SIGINT, closing the console as SIGTERM.
void catchStopSignals();
// What the handler calls: records a stop by signal `number`.
void recordStop(int number);

}  // namespace slicery::platform
