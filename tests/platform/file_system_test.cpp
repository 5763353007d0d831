// The no-replace guarantees of the real file system, and the same contract
// kept by the in-memory double that the other tests rely on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

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

// Each rename strategy, started on this disk as if the ones before it were
// missing, keeps the same contract.
class RealFileSystemRename : public ::testing::TestWithParam<RealFileSystem::RenameStrategy> {
 protected:
  RealFileSystem fs{GetParam()};
  TempFolder dir;
};

TEST_P(RealFileSystemRename, NeverReplacesAFileOrFolder) {
  const std::string a = dir.write("a.ima", "A");
  const std::string b = dir.write("b.ima", "B");
  dir.mkdir("f");
  dir.mkdir("g");
  dir.mkdir("h/inside");
  ASSERT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);

  const Status status = fs.renameFile(a, b);
  EXPECT_FALSE(status);
  EXPECT_EQ(status.code(), EEXIST);
  EXPECT_EQ(readAll(a), "A");
  EXPECT_EQ(readAll(b), "B");
  EXPECT_EQ(fs.renameFile(a, dir / "dangling").code(), EEXIST);
  EXPECT_EQ(fs.renameFile(a, dir / "g").code(), EEXIST);
  EXPECT_EQ(fs.kindOf(dir / "nowhere"), PathKind::missing);
  EXPECT_EQ(fs.renameFolder(dir / "f", dir / "g").code(), EEXIST);  // an empty folder too
  EXPECT_FALSE(fs.renameFolder(dir / "f", dir / "h"));
  EXPECT_EQ(fs.kindOf(dir / "f"), PathKind::folder);
  EXPECT_EQ(fs.kindOf(dir / "h/inside"), PathKind::folder);
  EXPECT_FALSE(fs.renameFolder(dir / "f", b));
  EXPECT_EQ(readAll(b), "B");
  EXPECT_EQ(readAll(a), "A");
}

TEST_P(RealFileSystemRename, RenamesMovesAndSelfRenames) {
  const std::string a = dir.write("a.ima", "A");
  dir.mkdir("sub");
  EXPECT_FALSE(fs.foldsCase(dir.path()));  // "A.IMA" is another name here
  EXPECT_TRUE(fs.renameFile(a, a));
  EXPECT_EQ(readAll(a), "A");
  ASSERT_TRUE(fs.renameFile(a, dir / "sub/a2.ima"));
  EXPECT_EQ(fs.kindOf(a), PathKind::missing);
  EXPECT_EQ(readAll(dir / "sub/a2.ima"), "A");
  EXPECT_FALSE(fs.renameFile(a, dir / "x.ima"));                  // source gone
  EXPECT_EQ(fs.kindOf(dir / "x.ima"), PathKind::missing);         // and nothing left behind
  EXPECT_FALSE(fs.renameFile(dir / "sub/a2.ima", dir / "no/x"));  // no such folder
  EXPECT_FALSE(fs.renameFolder(dir / "gone", dir / "y"));
  EXPECT_EQ(fs.kindOf(dir / "y"), PathKind::missing);
  ASSERT_TRUE(fs.renameFolder(dir / "sub", dir / "Desc_sub"));
  EXPECT_EQ(readAll(dir / "Desc_sub/a2.ima"), "A");
}

// Two names on one file may be a move killed between its link and its
// unlink, or a user's own hard link: a rename never takes it for the first
// and keeps both names. Only when asked to complete the move does the open
// folder drop the old name. One name reached by two spellings is no such
// move, and keeps its file.
TEST_P(RealFileSystemRename, CompletesAMoveCutAfterItsLinkOnlyWhenAsked) {
  const std::string a = dir.write("a.ima", "A");
  dir.mkdir("sub");
  ASSERT_EQ(::link(a.c_str(), (dir / "sub/a.ima").c_str()), 0);
  EXPECT_EQ(fs.renameFile(a, dir / "sub/a.ima").code(), EEXIST);
  EXPECT_EQ(readAll(a), "A");
  const auto folder = fs.openFolder(dir.path());
  ASSERT_TRUE(folder->completeCutMove("a.ima", "sub/a.ima"));
  EXPECT_EQ(fs.kindOf(a), PathKind::missing);
  EXPECT_EQ(readAll(dir / "sub/a.ima"), "A");
  EXPECT_FALSE(folder->completeCutMove("sub/a.ima", "sub/a.ima"));

  const std::string b = dir.write("b.ima", "B");
  ASSERT_EQ(::link(b.c_str(), (dir / "other").c_str()), 0);
  EXPECT_EQ(fs.renameFile(b, dir / "./b.ima").code(), EEXIST);
  EXPECT_EQ(readAll(b), "B");
}

INSTANTIATE_TEST_SUITE_P(EveryStrategy, RealFileSystemRename,
                         ::testing::Values(RealFileSystem::RenameStrategy::noReplaceFlag,
                                           RealFileSystem::RenameStrategy::linkThenUnlink,
                                           RealFileSystem::RenameStrategy::placeholder));

TEST(RealFileSystem, NamesAnEmptyFileLeftAtTheNewName) {
  TempFolder dir;
  const std::string a = dir.write("a.ima", "A");
  const std::string b = dir.write("b.ima");
  RealFileSystem fs(RealFileSystem::RenameStrategy::placeholder);
  const Status status = fs.renameFile(a, b);
  EXPECT_EQ(status.code(), EEXIST);
  EXPECT_EQ(status.reason(), "File exists (an empty file, perhaps left by an interrupted rename)");
  EXPECT_EQ(fs.kindOf(b), PathKind::file);
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
  EXPECT_EQ(fs.openForReading("/dev/null", file).reason(), "not a regular file");
}

// Neither opening nor listing waits for a writer on a FIFO. Should the open
// block, a writer opened from another thread releases it, and the test fails
// instead of hanging.
TEST(RealFileSystem, AFifoIsRefusedAtOnceAndNotListed) {
  TempFolder dir;
  const std::string fifo = dir / "a.ima";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> done{false};
  std::atomic<bool> released{false};
  std::thread rescuer([&] {
    for (int i = 0; i < 100 && !done; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) {
        released = true;
        ::close(fd);
        return;
      }
    }
  });
  RealFileSystem fs;
  std::unique_ptr<ReadableFile> file;
  const Status status = fs.openForReading(fifo, file);
  done = true;
  rescuer.join();
  EXPECT_FALSE(released);
  EXPECT_EQ(status.toString(), "open " + fifo + ": not a regular file");
  EXPECT_EQ(file, nullptr);

  std::vector<std::string> names{"stale"};
  ASSERT_TRUE(fs.listFiles(dir.path(), {}, names));
  EXPECT_TRUE(names.empty());
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

// What the window and the command line show for a path given on the command
// line, and what a ".." after a link really names.
TEST(PathTest, APathIsShownInFullWithoutDotsOrTrailingSeparators) {
  testing::TempFolder temp;
  const std::string here = temp.mkdir("a/b");
  temp.mkdir("c/d");
  ASSERT_EQ(::symlink((temp / "c/d").c_str(), (temp / "a/link").c_str()), 0);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(here);
  EXPECT_EQ(absolutePath("."), here);
  EXPECT_EQ(absolutePath("./"), here);
  EXPECT_EQ(absolutePath("x//y/./"), here + "/x/y");
  EXPECT_EQ(absolutePath("../link/.."), std::filesystem::canonical(temp / "c").string());
  EXPECT_EQ(absolutePath("/"), "/");
  EXPECT_EQ(absolutePath(here + "/"), here);
  std::filesystem::current_path(before);
}

}  // namespace
}  // namespace slicery::platform
