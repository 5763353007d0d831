// WindowProgram: what either window program is made of, beneath its window.
// Making it tidies away the journals of old runs first, then sets up Form1
// over this machine's own file system and clock, keeping a journal of each
// run so that it can be finished or undone.
#pragma once

#include <string>
#include <vector>

#include "app/form1.h"
#include "platform/clock.h"
#include "platform/real_file_system.h"

namespace slicery::app {

class WindowProgram {
 public:
  WindowProgram();
  WindowProgram(const WindowProgram&) = delete;
  WindowProgram& operator=(const WindowProgram&) = delete;

  Form1& form() { return form_; }
  // What tidying the journals could not do, a message a line; the program
  // tells it in its own way and goes on.
  const std::vector<std::string>& tidyFailures() const { return tidyFailures_; }

 private:
  std::vector<std::string> tidyFailures_;
  platform::RealFileSystem fileSystem_;
  platform::RealClock clock_;
  Form1 form_{fileSystem_, clock_};
};

}  // namespace slicery::app
