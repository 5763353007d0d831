// RealFileSystem: FileSystem over this machine's own calls, one class per
// platform (posix/, win32/), each telling how its renames keep from
// replacing anything.
#pragma once

#ifdef _WIN32
#include "platform/win32/real_file_system.h"
#else
#include "platform/posix/real_file_system.h"
#endif
