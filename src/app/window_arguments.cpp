#include "app/window_arguments.h"

namespace slicery::app {

WindowArguments parseWindowArguments(const std::vector<std::string>& args) {
  WindowArguments parsed;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      if (arg.empty()) return {WindowArguments::Action::bad, {}, "a PATH is empty"};
      parsed.paths.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help" || arg == "-h") {
      return {WindowArguments::Action::help, {}, {}};
    } else if (arg == "--version" || arg == "-V") {
      parsed.action = WindowArguments::Action::version;
    } else {
      return {WindowArguments::Action::bad, {}, "unknown option '" + arg + "'", arg[1] != '-'};
    }
  }
  return parsed;
}

}  // namespace slicery::app
