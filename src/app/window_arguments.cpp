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

std::string windowUsage(const std::string& journals) {
  return "usage: slicery [PATH]\n"
         "       slicery -h | --help | -V | --version\n"
         "\n"
         "Opens the Slicery window, which renames the .ima files of a Siemens MR or CT\n"
         "export so that a folder listing follows series and slice order.\n"
         "PATH, a folder or a file inside it, is loaded at once, as a drop of it on the\n"
         "window would load it; several PATHs, or a folder of exam folders, open the\n"
         "Slicery - Exams dialog, as such a drop does, to run them one after another.\n"
         "Otherwise drop a folder on the window or press Ctrl+O to choose one,\n"
         "then choose the options and press Start. slicery-cli renames without a\n"
         "window.\n"
         "\n"
         "  -h, --help     print this help\n"
         "  -V, --version  print the version\n"
         "\n"
         "Each run keeps a journal of the folder's file names, readable by this account\n"
         "only, in " +
         journals +
         ",\n"
         "so that a run cut short can be finished or undone (Ctrl+Z undoes the last\n"
         "run). A finished run's journal is removed by the first start of slicery or\n"
         "slicery-cli 30 days or more after the run; an unfinished run's stays until\n"
         "it is finished, undone or forgotten (slicery-cli --forget PATH).\n";
}

}  // namespace slicery::app
