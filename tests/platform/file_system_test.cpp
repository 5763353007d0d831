// The no-replace guarantees of the real file system, and the same contract
// kept by the in-memory double that the other tests rely on.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "platform/real_file_system.h"
#include "support/memory_file_system.h"
#include "support/temp_folder.h"

namespace slicery::platform {
namespace {

using testing::MemoryFileSystem;
using testing::TempFolder;

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(RealFileSystem, RenameNeverReplacesAFileOrFolder) {
  TempFolder dir;
  const std::string a = dir.write("a.ima", "A");
  const std::string b = dir.write("b.ima", "B");
  dir.mkdir("f");
  dir.mkdir("g");
  RealFileSystem fs;

  const Status status = fs.renameFile(a, b);
  EXPECT_FALSE(status);
  EXPECT_EQ(status.code(), EEXIST);
  EXPECT_EQ(readAll(a), "A");
  EXPECT_EQ(readAll(b), "B");
  EXPECT_FALSE(fs.renameFolder(dir / "f", dir / "g"));
  EXPECT_EQ(fs.kindOf(dir / "f"), PathKind::folder);
  EXPECT_FALSE(fs.renameFolder(dir / "f", b));
  EXPECT_EQ(readAll(b), "B");
}

TEST(RealFileSystem, RenamesMovesAndSelfRenames) {
  TempFolder dir;
  const std::string a = dir.write("a.ima", "A");
  dir.mkdir("sub");
  RealFileSystem fs;
  EXPECT_TRUE(fs.renameFile(a, a));
  EXPECT_EQ(readAll(a), "A");
  ASSERT_TRUE(fs.renameFile(a, dir / "sub/a2.ima"));
  EXPECT_EQ(fs.kindOf(a), PathKind::missing);
  EXPECT_EQ(readAll(dir / "sub/a2.ima"), "A");
  EXPECT_FALSE(fs.renameFile(a, dir / "x.ima"));                  // source gone
  EXPECT_FALSE(fs.renameFile(dir / "sub/a2.ima", dir / "no/x"));  // no such folder
  ASSERT_TRUE(fs.renameFolder(dir / "sub", dir / "Desc_sub"));
  EXPECT_EQ(readAll(dir / "Desc_sub/a2.ima"), "A");
}

TEST(RealFileSystem, MakeFolderFailsWhenAnythingExists) {
  TempFolder dir;
  dir.write("taken");
  RealFileSystem fs;
  EXPECT_TRUE(fs.makeFolder(dir / "new"));
  EXPECT_EQ(fs.makeFolder(dir / "new").code(), EEXIST);
  EXPECT_EQ(fs.makeFolder(dir / "taken").code(), EEXIST);
  EXPECT_FALSE(fs.makeFolder(dir / "no/such"));
}

TEST(RealFileSystem, OpenReadsBytesAndRefusesFolders) {
  TempFolder dir;
  const std::string f = dir.write("f", "0123456789");
  RealFileSystem fs;
  std::unique_ptr<ReadableFile> file;
  ASSERT_TRUE(fs.openForReading(f, file));
  char buffer[8];
  size_t got = 0;
  ASSERT_TRUE(file->readAt(6, buffer, sizeof buffer, got));
  EXPECT_EQ(std::string(buffer, got), "6789");
  EXPECT_EQ(fs.openForReading(dir.path(), file).code(), EISDIR);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(fs.openForReading(dir / "none", file).code(), ENOENT);
}

TEST(MemoryFileSystem, KeepsTheSameContractAndFailsOnRequest) {
  MemoryFileSystem fs;
  fs.addFolder("/exam/sub");
  fs.addFile("/exam/a.ima", "A");
  fs.addFile("/exam/b.ima", "B");
  fs.addFile("/exam/.hidden.ima");
  fs.addFile("/exam/sub/inner.ima");
  fs.addOther("/exam/socket.ima");

  std::vector<std::string> names;
  ASSERT_TRUE(fs.listFiles("/exam", {}, names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.ima", "b.ima"}));

  EXPECT_EQ(fs.renameFile("/exam/a.ima", "/exam/b.ima").code(), EEXIST);
  EXPECT_TRUE(fs.renameFile("/exam/a.ima", "/exam/a.ima"));
  ASSERT_TRUE(fs.renameFile("/exam/a.ima", "/exam/sub/a.ima"));
  EXPECT_EQ(fs.contents("/exam/sub/a.ima"), "A");
  ASSERT_TRUE(fs.renameFolder("/exam/sub", "/exam/X_sub"));
  EXPECT_EQ(fs.contents("/exam/X_sub/inner.ima"), "");
  EXPECT_FALSE(fs.exists("/exam/sub/a.ima"));

  fs.failOn(MemoryFileSystem::Op::renameFile, "/exam/b.ima", "Read-only file system", EROFS);
  const Status status = fs.renameFile("/exam/b.ima", "/exam/c.ima");
  EXPECT_EQ(status.code(), EROFS);
  EXPECT_EQ(status.toString(), "rename /exam/b.ima -> /exam/c.ima: Read-only file system");
  EXPECT_TRUE(fs.exists("/exam/b.ima"));
}

}  // namespace
}  // namespace slicery::platform
