#include "platform/terminal.h"

#include <unistd.h>

namespace slicery::platform {

std::vector<std::string> commandArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

// A terminal here takes the bytes as they are.
void useUtf8Console() {}

bool standardOutputIsTerminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}

bool standardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace slicery::platform
