// Renames on exFAT, FAT and NTFS mounted through FUSE, as USB sticks often
// are: file systems without the no-replace rename, the first two without
// hard links either, the first two folding letter case. Each test skips,
// saying so, only where /dev/fuse is missing; a missing tool (tools/setup-deps
// installs them) or a mount that fails is a failure.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/form1.h"
#include "platform/clock.h"
#include "platform/real_file_system.h"
#include "support/temp_folder.h"

namespace slicery::platform {
namespace {

using testing::TempFolder;

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

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// An image file formatted and mounted through FUSE inside a temporary folder;
// unmounted again when destroyed. `skipReason` is empty once mounted.
class FuseMount {
 public:
  enum class Format { exfat, fat, ntfs };

  FuseMount(const TempFolder& dir, Format format) : mountPoint_(dir.mkdir("mnt")) {
    const bool exfat = format == Format::exfat;
    const std::string mkfs = exfat                   ? "mkfs.exfat"
                             : format == Format::fat ? "mkfs.vfat"
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

  ~FuseMount() {
    std::string out;
    if (mounted_ && run("fusermount -u " + shellQuoted(mountPoint_), out) != 0) {
      run("umount -l " + shellQuoted(mountPoint_), out);
    }
    if (!loopDevice_.empty()) run("losetup -d " + shellQuoted(loopDevice_), out);
  }

  FuseMount(const FuseMount&) = delete;
  FuseMount& operator=(const FuseMount&) = delete;

  std::string operator/(const std::string& relative) const { return mountPoint_ + "/" + relative; }

  std::string skipReason;  // why FUSE cannot work here at all
  std::string failure;     // why this mount could not be made

 private:
  bool isMountPoint() const {
    struct stat inside;
    struct stat outside;
    return ::stat(mountPoint_.c_str(), &inside) == 0 &&
           ::stat((mountPoint_ + "/..").c_str(), &outside) == 0 && inside.st_dev != outside.st_dev;
  }

  std::string mountPoint_;
  std::string loopDevice_;
  bool mounted_ = false;
};

// Files are renamed and moved, an existing name is refused with both files
// untouched, and a folder rename either happens whole or leaves everything
// where it was (fusefat refuses renaming a folder onto a placeholder).
void renamesWithoutReplacing(FuseMount::Format format, bool folderRenames) {
  TempFolder dir;
  FuseMount disk(dir, format);
  if (!disk.skipReason.empty()) GTEST_SKIP() << disk.skipReason;
  ASSERT_EQ(disk.failure, "");
  std::ofstream(disk / "a.ima") << "A";
  std::ofstream(disk / "b.ima") << "B";
  ASSERT_EQ(::mkdir((disk / "sub").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((disk / "taken").c_str(), 0755), 0);
  RealFileSystem fs;
  // exFAT and FAT take "A.IMA" for "a.ima", which a plan must know; NTFS
  // through ntfs-3g keeps names apart by case as Linux does.
  EXPECT_EQ(fs.foldsCase(disk / "."), format != FuseMount::Format::ntfs);

  EXPECT_EQ(fs.renameFile(disk / "a.ima", disk / "b.ima").code(), EEXIST);
  EXPECT_EQ(readAll(disk / "a.ima"), "A");
  EXPECT_EQ(readAll(disk / "b.ima"), "B");
  ASSERT_TRUE(fs.renameFile(disk / "a.ima", disk / "a0.ima"));
  ASSERT_TRUE(fs.renameFile(disk / "a0.ima", disk / "sub/a00.ima"));
  EXPECT_EQ(fs.kindOf(disk / "a.ima"), PathKind::missing);
  EXPECT_EQ(fs.kindOf(disk / "a0.ima"), PathKind::missing);
  EXPECT_EQ(readAll(disk / "sub/a00.ima"), "A");

  EXPECT_EQ(fs.renameFolder(disk / "sub", disk / "taken").code(), EEXIST);
  EXPECT_EQ(readAll(disk / "sub/a00.ima"), "A");
  const Status renamed = fs.renameFolder(disk / "sub", disk / "Desc_sub");
  if (folderRenames) {
    EXPECT_TRUE(renamed) << renamed.toString();
  }
  EXPECT_EQ(readAll(disk / (renamed ? "Desc_sub" : "sub") + "/a00.ima"), "A");
  EXPECT_EQ(fs.kindOf(disk / (renamed ? "sub" : "Desc_sub")), PathKind::missing);
}

// On exFAT a name held in another letter case is taken: the preview (and so
// -n) foresees the refusal that the disk then gives.
TEST(FuseMount, ThePreviewOnExfatForeseesANameTakenInAnotherCase) {
  TempFolder dir;
  FuseMount disk(dir, FuseMount::Format::exfat);
  if (!disk.skipReason.empty()) GTEST_SKIP() << disk.skipReason;
  ASSERT_EQ(disk.failure, "");
  for (int slice = 2; slice <= 10; ++slice) {
    std::ofstream(disk / ("X.MR.A.1." + std::to_string(slice) + ".2003.IMA")) << "image";
  }
  std::ofstream(disk / "X.MR.A.1.1.2003.IMA") << "first";
  std::ofstream(disk / "x.mr.a.1.01.2003.ima") << "held";  // where slice 1 would go
  RealFileSystem fs;
  SettableClock clock;
  app::Form1 form(fs, clock);
  ASSERT_TRUE(form.drop({disk / "."}));
  const app::Preview preview = form.preview();
  const auto first =
      std::find_if(preview.steps.begin(), preview.steps.end(),
                   [](const app::PreviewStep& s) { return s.from == "X.MR.A.1.1.2003.IMA"; });
  ASSERT_NE(first, preview.steps.end());
  EXPECT_NE(first->failure, "");
}

TEST(FuseMount, ExfatRenamesWithoutReplacing) {
  renamesWithoutReplacing(FuseMount::Format::exfat, true);
}

TEST(FuseMount, FatRenamesWithoutReplacing) {
  renamesWithoutReplacing(FuseMount::Format::fat, false);
}

TEST(FuseMount, NtfsRenamesWithoutReplacing) {
  renamesWithoutReplacing(FuseMount::Format::ntfs, true);
}

}  // namespace
}  // namespace slicery::platform
