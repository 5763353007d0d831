// One run per folder: a second holder is refused, whether in this process or
// another, and a holder's death frees the folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/folder_lock.h"
#include "support/temp_folder.h"

namespace slicery::platform {
namespace {

using testing::TempFolder;

void expectRefused(const Status& status) {
  EXPECT_FALSE(status);
  EXPECT_EQ(status.code(), EWOULDBLOCK);
  EXPECT_EQ(status.reason(), "another run is working on this folder");
}

TEST(FolderLock, SecondHolderInThisProcessIsRefusedUntilTheFirstIsDestroyed) {
  TempFolder dir;
  std::unique_ptr<FolderLock> first;
  std::unique_ptr<FolderLock> second;
  ASSERT_TRUE(FolderLock::acquire(dir.path(), first));
  expectRefused(FolderLock::acquire(dir.path(), second));
  EXPECT_EQ(second, nullptr);
  EXPECT_TRUE(FolderLock::heldElsewhere(dir.path()));

  first.reset();
  EXPECT_FALSE(FolderLock::heldElsewhere(dir.path()));
  ASSERT_TRUE(FolderLock::acquire(dir.path(), second));
  // Asking did not take the lock away from its holder.
  EXPECT_TRUE(FolderLock::heldElsewhere(dir.path()));
  expectRefused(FolderLock::acquire(dir.path(), first));
}

TEST(FolderLock, AnotherProcessHoldsItUntilKilled) {
  TempFolder dir;
  // The child tells through `ready` that it holds the lock, then waits on
  // `hold`, which reads end-of-file should this process end first.
  int ready[2];
  int hold[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(hold), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(hold[1]);
    std::unique_ptr<FolderLock> lock;
    char got = FolderLock::acquire(dir.path(), lock) ? 'y' : 'n';
    const bool held = ::write(ready[1], &got, 1) == 1 && got == 'y';
    ::_exit(held && ::read(hold[0], &got, 1) >= 0 ? 0 : 1);
  }
  ::close(ready[1]);
  ::close(hold[0]);
  char got = 0;
  ASSERT_EQ(::read(ready[0], &got, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(got, 'y');

  std::unique_ptr<FolderLock> lock;
  expectRefused(FolderLock::acquire(dir.path(), lock));
  EXPECT_TRUE(FolderLock::heldElsewhere(dir.path()));

  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::close(hold[1]);
  EXPECT_FALSE(FolderLock::heldElsewhere(dir.path()));
  EXPECT_TRUE(FolderLock::acquire(dir.path(), lock));
}

}  // namespace
}  // namespace slicery::platform
