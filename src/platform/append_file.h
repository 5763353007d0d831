// AppendFile: a file that only grows, as a journal is written. Data handed
// to append() has reached the system when it returns (a killed process
// loses none of it); sync() waits until it is on the disk. Tests substitute
// one that fails a chosen write or flush.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace slicery::platform {

class AppendFile {
 public:
  virtual ~AppendFile() = default;
  virtual Status append(std::string_view data) = 0;
  virtual Status sync() = 0;
  // Starts the data on its way to the disk without waiting, where the
  // system can: files started together then share the disk's waits in
  // their sync()s.
  virtual void startSync() {}
  virtual const std::string& path() const = 0;
};

// Opens `path` for appending: `fresh` creates it, mode 0600, failing when it
// exists; otherwise it must exist, and is cut to `keep` bytes first.
Status openAppendFile(const std::string& path, bool fresh, std::size_t keep,
                      std::unique_ptr<AppendFile>& file);

// How a journal's file is opened; tests put their own in its place.
using AppendFileOpener = std::function<Status(const std::string& path, bool fresh, std::size_t keep,
                                              std::unique_ptr<AppendFile>&)>;

// Why a journal is neither read nor written: something other than a regular
// file (a FIFO, a socket, a folder) stands at its name. Such a name is
// never opened in a way that could wait.
inline constexpr char kNotRegular[] = "not a regular file, left alone";

// Reads the whole file at `path` into `data`. A missing file fails with code
// ENOENT; anything but a regular file with kNotRegular and code EINVAL. At
// most `most` bytes are read.
Status readWholeFile(const std::string& path, std::string& data,
                     std::size_t most = static_cast<std::size_t>(-1));

}  // namespace slicery::platform
