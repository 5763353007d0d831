// The preview as the windows show it: the engine's (run/preview.h).
#pragma once

#include "run/preview.h"

namespace slicery::app {

using run::Preview;
using run::PreviewStep;

}  // namespace slicery::app
