// slicery-cli: the command line over the real file system and clock.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/clock.h"
#include "platform/real_file_system.h"
#include "platform/stop_signals.h"
#include "platform/terminal.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  slicery::platform::useUtf8Console();
  const std::vector<std::string> args = slicery::platform::commandArguments(argc, argv);
  slicery::platform::catchStopSignals();
  slicery::platform::RealFileSystem fs;
  slicery::platform::RealClock clock;
  slicery::cli::Console console{std::cout, std::cerr, slicery::platform::standardErrorIsTerminal(),
                                slicery::platform::standardOutputIsTerminal()};
  try {
    const int status = slicery::cli::runCommand(args, fs, clock, console);
    std::cout.flush();
    return status;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "slicery-cli: " << e.what() << "\n";
    return slicery::cli::kStepsFailed;
  }
}
