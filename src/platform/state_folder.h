// State folder: where the tool keeps what it must remember between runs (the
// run journals, which hold patient names), and making such a folder private.
#pragma once

#include <string>

#include "platform/status.h"

namespace slicery::platform {

// The folder for the tool's private state, into `folder`:
//  - $XDG_STATE_HOME/slicery when XDG_STATE_HOME is an absolute path;
//  - else $HOME/.local/state/slicery when HOME is an absolute path;
//  - else the account's home from the password database, the same below it.
// On Windows: %LOCALAPPDATA%\Slicery, else %USERPROFILE%\AppData\Local\Slicery.
// Fails when none of these gives an absolute path; never falls back to a
// shared folder such as /tmp. Nothing is created here.
Status stateFolder(std::string& folder);

// Fails, saying so, when something other than a folder stands at `folder`
// or on the way to it (the reason names `folder`); a missing folder passes,
// as it is made when first needed.
Status checkStateFolder(const std::string& folder);

// Makes `folder` a folder only this account can enter: creates it and any
// missing parents (each with mode 0700), and sets the folder itself to 0700
// when it exists with other bits. Refuses, changing nothing, when it is a
// symbolic link, is not a folder, or belongs to another user. The parents
// that exist already are trusted as they are. On Windows the folder is the
// account's own through the rights of the profile it lies in: it is made,
// and refused when it is a link or a file.
Status ensurePrivateFolder(const std::string& folder);

}  // namespace slicery::platform
