// What a rename may do to a file that stood directly in the loaded folder:
// add zeros before its series and slice pieces, drop the pieces between the
// slice and the last one (short names), and move it into a folder of the
// loaded folder whose name ends in "_S" and the file's own series. Anything
// else misleads whoever reads the name.
#pragma once

#include <string>

namespace slicery::testing {

// Why the file first named `oldName` may not end up at `newPath`, a path
// relative to the loaded folder; empty when it may.
std::string mislabelling(const std::string& oldName, const std::string& newPath);

}  // namespace slicery::testing
