// FuseDisk: an image file formatted as exFAT, FAT or NTFS and mounted through
// FUSE inside a test's temporary folder, as USB sticks often are; unmounted
// again when destroyed. Where /dev/fuse is missing it says so in
// `skipReason`; a missing tool (tools/setup-deps installs them) or a mount
// that fails is told in `failure`.
#pragma once

#include <string>

#include "support/temp_folder.h"

namespace slicery::testing {

class FuseDisk {
 public:
  enum class Format { exfat, fat, ntfs };

  FuseDisk(const TempFolder& dir, Format format);
  ~FuseDisk();
  FuseDisk(const FuseDisk&) = delete;
  FuseDisk& operator=(const FuseDisk&) = delete;

  // Full path of `relative` on the mounted disk.
  std::string operator/(const std::string& relative) const { return mountPoint_ + "/" + relative; }

  std::string skipReason;  // why FUSE cannot work here at all
  std::string failure;     // why this mount could not be made

 private:
  bool isMountPoint() const;

  std::string mountPoint_;
  std::string loopDevice_;
  bool mounted_ = false;
};

}  // namespace slicery::testing
