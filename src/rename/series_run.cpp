#include "app/form1.h"

namespace slicery::app {

// Placeholder until the rename run lands.
void Form1::IMARenamer() {}

}  // namespace slicery::app
