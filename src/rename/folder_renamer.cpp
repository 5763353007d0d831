#include "app/form1.h"

namespace slicery::app {

// Placeholder until the series folder renamer lands.
void Form1::FolderRenamer() {}

}  // namespace slicery::app
