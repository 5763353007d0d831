// Naming series folders after their description: each series folder a run
// made or filled gets its Series Description, read from the first file
// listed in it, in front of its name, when every other image in it carries
// that description too. An empty description, or one that cannot be read,
// names no folder. The characters some disks refuse in a name are written
// as '_' (rename::folderDescription). A folder that cannot be renamed keeps
// its name, the reason is told as a failure, and the naming goes on with
// the next folder. Each rename is recorded in the journal, and flushed,
// before it is made: only the journal can tell where a renamed folder went.
// A dry run names the folders as the run would leave them, reading each
// file where it is now.
#pragma once

#include <string>
#include <vector>

#include "platform/status.h"
#include "rename/plan.h"
#include "run/engine.h"

namespace slicery::run {

struct Named {
  int folders = 0;  // named, or foreseen named in a dry run
  // Why the journal could not be written (ok when it could): the naming
  // stopped there.
  platform::Status journalError;
};

// Names the series folders `entries` (relative to target.folder, in the
// order the run filled them; each is named once however often it comes) of
// a run of `plan`. A folder a finished run named already (target.finish) is
// only told. Each folder named is told to the observer, and so is each
// failure.
Named nameFolders(const rename::Plan& plan, const std::vector<std::string>& entries,
                  const Target& target, Observer& observer);

// The name series folder `entry` of `plan` takes from the description of
// its first image, as the run leaves it, reading each file where it is now;
// `why` tells what stops that name (the name is then empty, or refused).
std::string describedName(platform::FileSystem& fs, const std::string& folder,
                          const rename::Plan& plan, const std::string& entry, std::string& why);

}  // namespace slicery::run
