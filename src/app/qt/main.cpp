// slicery: the window. Drop a folder of Siemens .ima files on it, choose the
// options, press Start.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/form1.h"
#include "main_window.h"
#include "platform/clock.h"
#include "platform/real_file_system.h"

namespace {

const char* const kHelp =
    "usage: slicery [--help] [--version]\n"
    "Opens the Slicery window, which renames the .ima files of a Siemens MR or CT\n"
    "export so that a folder listing follows series and slice order.\n"
    "Drop a folder (or a file in it) on the window, choose the options and press\n"
    "Start. The window takes no folder on the command line; slicery-cli renames\n"
    "without a window.\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before the toolkit starts, so they work without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("slicery %s\n", slicery::app::kVersion);
      return 0;
    }
  }

  QApplication app(argc, argv);
  slicery::qt::setUpApplication();
  if (argc > 1) {
    std::fprintf(stderr, "slicery: unexpected argument '%s'\n%s", argv[1], kHelp);
    return 2;
  }

  slicery::platform::RealFileSystem fileSystem;
  slicery::platform::RealClock clock;
  slicery::app::Form1 form(fileSystem, clock);
  form.setJournaling(true);
  slicery::qt::MainWindow window(form);
  window.show();
  return QApplication::exec();
}
