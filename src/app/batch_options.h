// Batch options: the naming options a batch runs its exams with, written as
// the command line's arguments. A batch's record keeps them
// (platform/batch_record.h), so `slicery-cli --resume -r` carries a batch on
// with the options it began with, whether slicery-cli or a window began it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace slicery::app {

class Form1;

struct NamingOptions {
  bool shortNames = false;                // Check1, --short
  bool folders = false;                   // Check2, --folders
  std::optional<std::string> folderName;  // Check3 and Text1, --folder-name
  bool describe = false;                  // Check4, --describe
};

// The options as arguments, in the order --help lists them.
std::vector<std::string> batchArguments(const NamingOptions& options);
// The options Start would run with now: a folder name only where the box is
// ticked and the word typed, a description only with series folders.
NamingOptions namingOptions(const Form1& form);

}  // namespace slicery::app
