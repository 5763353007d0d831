#include "platform/file_list.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "platform/real_file_system.h"
#include "support/temp_folder.h"

namespace slicery::platform {
namespace {

using testing::TempFolder;

std::vector<std::string> listed(const FileList& list) {
  return {list.entries().begin(), list.entries().end()};
}

TEST(FileList, ListsMatchingRegularFilesInCaseInsensitiveOrder) {
  TempFolder dir;
  for (const char* name : {"b.IMA", "A.ima", "c.txt", "B.10.ima", "B.2.ima", "no_extension"}) {
    dir.write(name);
  }
  dir.write(".hidden.ima");
  dir.mkdir("folder.ima");
  std::filesystem::create_symlink(dir / "A.ima", dir / "link.ima");
  std::filesystem::create_symlink(dir / "missing", dir / "dangling.ima");
  std::filesystem::create_directory_symlink(dir / "folder.ima", dir / "dirlink.ima");

  RealFileSystem fs;
  FileList list(fs);
  list.setFileName(dir.path());
  ASSERT_TRUE(list.refresh());
  EXPECT_EQ(listed(list),
            (std::vector<std::string>{"A.ima", "B.10.ima", "B.2.ima", "b.IMA", "link.ima"}));
  EXPECT_EQ(list.count(), 5);
  EXPECT_EQ(list.entry(4), "link.ima");
  EXPECT_THROW(list.entry(5), std::out_of_range);
  EXPECT_THROW(list.entry(-1), std::out_of_range);

  list.setPattern("*.*");
  ASSERT_TRUE(list.refresh());
  EXPECT_EQ(list.count(), 7);  // c.txt and no_extension join
}

TEST(FileList, SocketsAreNotListed) {
  TempFolder dir;
  const std::string socketPath = dir / "s.ima";
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  dir.write("real.ima");

  RealFileSystem fs;
  FileList list(fs);
  list.setPath(dir.path());
  ASSERT_TRUE(list.refresh());
  EXPECT_EQ(listed(list), std::vector<std::string>{"real.ima"});
  ::close(fd);
}

TEST(FileList, AFilePathSelectsItsFolderAndTheListIsASnapshot) {
  TempFolder dir;
  const std::string file = dir.write("x.1.ima");
  RealFileSystem fs;
  FileList list(fs);
  list.setFileName(file);
  EXPECT_EQ(list.path(), dir.path());
  list.setFileName(dir.path() + "/");
  EXPECT_EQ(list.path(), dir.path());

  ASSERT_TRUE(list.refresh());
  dir.write("x.2.ima");
  EXPECT_EQ(list.count(), 1);  // unchanged until re-read
  ASSERT_TRUE(list.refresh());
  EXPECT_EQ(list.count(), 2);
}

TEST(FileList, AMissingFolderFailsToReadAndLeavesTheListEmpty) {
  TempFolder dir;
  dir.write("a.ima");
  RealFileSystem fs;
  FileList list(fs);
  list.setPath(dir.path());
  ASSERT_TRUE(list.refresh());
  list.setFileName(dir / "gone");
  EXPECT_EQ(list.path(), dir / "gone");
  const Status status = list.refresh();
  EXPECT_FALSE(status);
  EXPECT_EQ(status.path(), dir / "gone");
  EXPECT_NE(status.toString().find("No such file"), std::string::npos) << status.toString();
  EXPECT_EQ(list.count(), 0);
}

}  // namespace
}  // namespace slicery::platform
