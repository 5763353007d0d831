// Renames on exFAT, FAT and NTFS mounted through FUSE (support/fuse_disk.h),
// as USB sticks often are: file systems without the no-replace rename, the
// first two without hard links either, the first two folding letter case.
// Each test skips, saying so, only where /dev/fuse is missing; a missing tool
// or a mount that fails is a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/form1.h"
#include "platform/clock.h"
#include "platform/real_file_system.h"
#include "support/fuse_disk.h"
#include "support/temp_folder.h"

namespace slicery::platform {
namespace {

using testing::FuseDisk;
using testing::TempFolder;

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Files are renamed and moved, an existing name is refused with both files
// untouched, and a folder rename either happens whole or leaves everything
// where it was (fusefat refuses renaming a folder onto a placeholder).
void renamesWithoutReplacing(FuseDisk::Format format, bool folderRenames) {
  TempFolder dir;
  FuseDisk disk(dir, format);
  if (!disk.skipReason.empty()) GTEST_SKIP() << disk.skipReason;
  ASSERT_EQ(disk.failure, "");
  std::ofstream(disk / "a.ima") << "A";
  std::ofstream(disk / "b.ima") << "B";
  ASSERT_EQ(::mkdir((disk / "sub").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((disk / "taken").c_str(), 0755), 0);
  RealFileSystem fs;
  // exFAT and FAT take "A.IMA" for "a.ima", which a plan must know; NTFS
  // through ntfs-3g keeps names apart by case as Linux does.
  EXPECT_EQ(fs.foldsCase(disk / "."), format != FuseDisk::Format::ntfs);

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
  FuseDisk disk(dir, FuseDisk::Format::exfat);
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
  renamesWithoutReplacing(FuseDisk::Format::exfat, true);
}

TEST(FuseMount, FatRenamesWithoutReplacing) {
  renamesWithoutReplacing(FuseDisk::Format::fat, false);
}

TEST(FuseMount, NtfsRenamesWithoutReplacing) {
  renamesWithoutReplacing(FuseDisk::Format::ntfs, true);
}

}  // namespace
}  // namespace slicery::platform
