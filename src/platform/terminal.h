// Whether the standard streams lead to a terminal (for progress display).
#pragma once

namespace slicery::platform {

bool standardOutputIsTerminal();
bool standardErrorIsTerminal();

}  // namespace slicery::platform
