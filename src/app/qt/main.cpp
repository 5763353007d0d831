// slicery: the window. Drop a folder of Siemens .ima files on it (or give it
// on the command line, or press Ctrl+O), choose the options, press Start.
#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/window_program.h"
#include "main_window.h"
#include "platform/file_system.h"

namespace {

// Prints the help or the version; returns the exit status, or -1 to go on.
int answer(const slicery::qt::WindowArguments& args) {
  switch (args.action) {
    case slicery::qt::WindowArguments::Action::help:
      std::fputs(
          (slicery::qt::windowUsage("$XDG_STATE_HOME/slicery/ (else ~/.local/state/slicery/)") +
           "See slicery(1).\n")
              .c_str(),
          stdout);
      return 0;
    case slicery::qt::WindowArguments::Action::version:
      std::printf("slicery %s\n", slicery::app::kVersion);
      return 0;
    case slicery::qt::WindowArguments::Action::bad:
      std::fprintf(stderr, "slicery: %s\nTry 'slicery --help' for more.\n", args.error.c_str());
      return 2;
    case slicery::qt::WindowArguments::Action::open:
      break;
  }
  return -1;
}

std::vector<std::string> arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace

int main(int argc, char** argv) {
  // --help and --version are answered before the toolkit starts, so they
  // work without a display.
  slicery::qt::WindowArguments args = slicery::qt::parseWindowArguments(arguments(argc, argv));
  if (args.action != slicery::qt::WindowArguments::Action::bad || !args.toolkitMayTakeIt) {
    if (const int status = answer(args); status >= 0) return status;
  }

  // The toolkit takes its own options (-platform, -style) out of argv.
  QApplication app(argc, argv);
  slicery::qt::setUpApplication();
  args = slicery::qt::parseWindowArguments(arguments(argc, argv));
  if (const int status = answer(args); status >= 0) return status;

  slicery::app::WindowProgram program;
  for (const std::string& failure : program.tidyFailures()) {
    std::fprintf(stderr, "slicery: cannot tidy the run journals: %s\n", failure.c_str());
  }
  slicery::qt::MainWindow window(program.form());
  window.show();
  // A relative path is shown, and kept in the journal, by its full path.
  for (std::string& path : args.paths) path = slicery::platform::absolutePath(path);
  if (!args.paths.empty()) window.openPaths(args.paths);
  return QApplication::exec();
}
