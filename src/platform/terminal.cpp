#include "platform/terminal.h"

#include <unistd.h>

namespace slicery::platform {

bool standardOutputIsTerminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}

bool standardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace slicery::platform
