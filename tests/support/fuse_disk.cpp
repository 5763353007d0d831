#include "support/fuse_disk.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace slicery::testing {
namespace {

// Runs a shell command; returns its exit status and keeps its output.
int run(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[256];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  return ::pclose(pipe);
}

std::string shellQuoted(const std::string& path) {
  return "'" + path + "'";
}

}  // namespace

FuseDisk::FuseDisk(const TempFolder& dir, Format format) : mountPoint_(dir.mkdir("mnt")) {
  const bool exfat = format == Format::exfat;
  // fusefat corrupts a folder that grows past one cluster (pieces of long
  // names left without their entry, files sharing clusters) and may then
  // spin on an unlink: 32 KiB clusters keep a test's folders within one.
  const std::string mkfs = exfat                   ? "mkfs.exfat"
                           : format == Format::fat ? "mkfs.vfat -s 64"
                                                   : "mkntfs -F -Q";
  const std::string mounter = exfat                   ? "mount.exfat-fuse"
                              : format == Format::fat ? "fusefat"
                                                      : "ntfs-3g";
  if (::access("/dev/fuse", F_OK) != 0) {
    skipReason = "no /dev/fuse: FUSE file systems cannot be mounted here";
    return;
  }
  std::string out;
  for (const std::string& program : {mkfs.substr(0, mkfs.find(' ')), mounter}) {
    if (run("command -v " + program, out) != 0) {
      failure = program + " is not installed (tools/setup-deps installs it)";
      return;
    }
  }
  const std::string image = dir / "disk.img";
  std::ofstream(image).close();
  std::filesystem::resize_file(image, 16u << 20);
  if (run(mkfs + " " + shellQuoted(image), out) != 0) {
    failure = mkfs + " failed: " + out;
    return;
  }
  std::string source = image;
  // As root, exfat-fuse mounts a block device only; a loop device gives one.
  if (exfat && ::geteuid() == 0) {
    if (run("losetup -f --show " + shellQuoted(image), out) != 0) {
      failure = "no loop device for the exFAT image: " + out;
      return;
    }
    loopDevice_ = out.substr(0, out.find('\n'));
    source = loopDevice_;
  }
  const std::string options = exfat ? "" : " -o rw+";
  if (run(mounter + " " + shellQuoted(source) + " " + shellQuoted(mountPoint_) + options, out) !=
          0 ||
      !isMountPoint()) {
    failure = mounter + " could not mount: " + out;
    return;
  }
  mounted_ = true;
}

FuseDisk::~FuseDisk() {
  std::string out;
  if (mounted_ && run("fusermount -u " + shellQuoted(mountPoint_), out) != 0) {
    run("umount -l " + shellQuoted(mountPoint_), out);
  }
  if (!loopDevice_.empty()) run("losetup -d " + shellQuoted(loopDevice_), out);
}

bool FuseDisk::isMountPoint() const {
  struct stat inside;
  struct stat outside;
  return ::stat(mountPoint_.c_str(), &inside) == 0 &&
         ::stat((mountPoint_ + "/..").c_str(), &outside) == 0 && inside.st_dev != outside.st_dev;
}

}  // namespace slicery::testing
