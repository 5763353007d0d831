// Where private state goes, and that its folder is made and kept private.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/state_folder.h"
#include "support/temp_folder.h"

namespace slicery::platform {
namespace {

using testing::TempFolder;

// Sets or unsets an environment variable for one test, then restores it.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedVariable() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string found() {
  std::string folder;
  EXPECT_TRUE(stateFolder(folder));
  return folder;
}

mode_t modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST(StateFolder, XdgStateHomeCountsOnlyWhenAbsolute) {
  ScopedVariable home("HOME", "/home/ann");
  {
    ScopedVariable state("XDG_STATE_HOME", "/var/ann/state");
    EXPECT_EQ(found(), "/var/ann/state/slicery");
  }
  ScopedVariable state("XDG_STATE_HOME", "state");
  EXPECT_EQ(found(), "/home/ann/.local/state/slicery");
}

// Without a usable HOME the account's own home is used, never a shared folder.
TEST(StateFolder, WithoutHomeTheAccountsHomeIsUsed) {
  const passwd* account = ::getpwuid(::geteuid());
  ASSERT_NE(account, nullptr);
  const std::string expected = std::string(account->pw_dir) + "/.local/state/slicery";
  ScopedVariable state("XDG_STATE_HOME", nullptr);
  for (const char* value : {static_cast<const char*>(nullptr), "", "relative/home"}) {
    ScopedVariable home("HOME", value);
    EXPECT_EQ(found(), expected) << (value ? value : "HOME unset");
  }
}

TEST(StateFolder, MadePrivateWithItsParents) {
  TempFolder dir;
  const std::string folder = dir / "a/b/slicery";
  ASSERT_TRUE(ensurePrivateFolder(folder + "/")) << ensurePrivateFolder(folder).toString();
  EXPECT_EQ(modeOf(dir / "a"), 0700u);
  EXPECT_EQ(modeOf(folder), 0700u);

  ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
  EXPECT_TRUE(ensurePrivateFolder(folder));
  EXPECT_EQ(modeOf(folder), 0700u);
}

// A link or a file in its place is refused, and nothing behind it is changed.
TEST(StateFolder, LinkOrFileRefused) {
  TempFolder dir;
  const std::string target = dir.mkdir("elsewhere");
  ASSERT_EQ(::chmod(target.c_str(), 0755), 0);
  ASSERT_EQ(::symlink(target.c_str(), (dir / "link").c_str()), 0);
  const Status status = ensurePrivateFolder(dir / "link");
  EXPECT_FALSE(status);
  EXPECT_EQ(status.reason(), "is a symbolic link");
  EXPECT_EQ(modeOf(target), 0755u);

  EXPECT_EQ(ensurePrivateFolder(dir.write("file")).reason(), "is not a folder");
  EXPECT_FALSE(ensurePrivateFolder(dir / "file/below"));
}

TEST(StateFolder, FolderOfAnotherUserRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
  TempFolder dir;
  const std::string folder = dir.mkdir("slicery");
  ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
  ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
  const Status status = ensurePrivateFolder(folder);
  EXPECT_FALSE(status);
  EXPECT_EQ(status.reason(), "belongs to another user");
  EXPECT_EQ(modeOf(folder), 0777u);
}

}  // namespace
}  // namespace slicery::platform
