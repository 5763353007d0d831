// unjournaled_cli: slicery-cli with its run journal turned off, the baseline
// bench_run measures the journal's cost against. It takes slicery-cli's
// arguments for a rename run and nothing else.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/clock.h"
#include "platform/real_file_system.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  slicery::cli::Arguments args;
  try {
    args = slicery::cli::parseArguments(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const slicery::cli::UsageError& e) {
    std::cerr << "unjournaled_cli: " << e.what() << "\n";
    return slicery::cli::kBadUsage;
  }
  if (args.mode != slicery::cli::Arguments::Mode::run || args.resume || args.undo || args.forget) {
    std::cerr << "unjournaled_cli: only a rename run\n";
    return slicery::cli::kBadUsage;
  }
  args.journal = false;
  slicery::platform::RealFileSystem fs;
  slicery::platform::RealClock clock;
  slicery::cli::Console console{std::cout, std::cerr};
  return slicery::cli::runRename(args, fs, clock, console);
}
