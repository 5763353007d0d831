#include "app/window_program.h"

#include "journal/last_run.h"

namespace slicery::app {

WindowProgram::WindowProgram() : tidyFailures_(journal::forgetOldRuns()) {
  form_.setJournaling(true);
}

}  // namespace slicery::app
