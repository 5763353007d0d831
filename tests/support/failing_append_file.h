// An opener of journal files whose files fail a chosen write or every flush,
// so tests can show what a run does when its journal cannot be kept.
#pragma once

#include "platform/append_file.h"

namespace slicery::testing {

// Files that fail their `failWrite`-th append (counted from 1; 0 for none),
// and every sync when `failSync`; otherwise real files.
platform::AppendFileOpener failingOpener(int failWrite, bool failSync);

}  // namespace slicery::testing
