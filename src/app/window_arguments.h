// What the window's command line asks for: `slicery [PATH]`, --help,
// --version. Both windows read it alike.
#pragma once

#include <string>
#include <vector>

namespace slicery::app {

struct WindowArguments {
  enum class Action { open, help, version, bad };
  Action action = Action::open;
  std::vector<std::string> paths;  // loaded as a drop of these paths is
  std::string error;               // for Action::bad
  // Action::bad for an unknown option of one dash, which may be a toolkit's
  // own (-platform, -style).
  bool toolkitMayTakeIt = false;
};
WindowArguments parseWindowArguments(const std::vector<std::string>& args);
// The window's --help; `journals` names where this platform keeps the run
// journals.
std::string windowUsage(const std::string& journals);

}  // namespace slicery::app
