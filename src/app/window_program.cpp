#include "app/window_program.h"

#include "app/last_run.h"

namespace slicery::app {

WindowProgram::WindowProgram() : tidyFailures_(forgetOldRuns()) {
  form_.setJournaling(true);
}

}  // namespace slicery::app
