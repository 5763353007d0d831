// State files: the few operations the journal and the stand-in locks make on
// files of the private state folder (state_folder.h), which belongs to the
// tool alone. Unlike FileSystem, moveStateFile replaces what stands at its
// new name: it is never used on a user's folder.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/status.h"

namespace slicery::platform {

// `path` made absolute, with links resolved where it exists: one key for
// every spelling of one folder.
std::string finalPath(const std::string& path);
// The names of the entries of `folder`; none when it cannot be listed.
std::vector<std::string> namesIn(const std::string& folder);
// Makes every file in `folder` readable and writable by this account alone,
// where the platform keeps such modes, and gives the names of all its
// entries (none when it cannot be listed), in one reading of the folder;
// returns what could not be changed.
std::vector<Status> makeFilesPrivate(const std::string& folder, std::vector<std::string>& names);
// Whether a regular file stands at `path` itself (a link is not followed).
bool isRegularFile(const std::string& path);
// When the file at `path` was last written; false when it is not a plain
// file (a link, a folder) or cannot be asked.
bool lastWritten(const std::string& path, std::chrono::system_clock::time_point& when);
// Removes the file at `path`; a missing file fails with code ENOENT.
Status removeStateFile(const std::string& path);
// Renames `from` to `to`, replacing a file there; a missing `from` fails
// with code ENOENT.
Status moveStateFile(const std::string& from, const std::string& to);
// Waits until the names in `folder` are on the disk, where the platform
// asks for it.
void syncFolder(const std::string& folder);
// The last `size` bytes of the file at `path` into `data`; false (with
// `data` empty) when it cannot be read or is not longer than `size`.
bool readFileEnd(const std::string& path, std::size_t size, std::string& data);
// This process's id, and whether no process of id `id` runs now.
long currentProcessId();
bool processGone(long id);

}  // namespace slicery::platform
