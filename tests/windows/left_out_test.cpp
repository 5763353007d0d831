// The test programs of the Linux build that this one leaves out, each with
// the reason: they are built from POSIX calls that Windows does not have.
#include <gtest/gtest.h>

namespace {

TEST(LeftOutOnWindows, PosixOnlyTestPrograms) {
  GTEST_SKIP() << "left out on Windows, where their POSIX calls do not exist:\n"
                  "  file_system_test, file_list_test: renameat2 fallbacks, FIFOs, sockets, "
                  "file modes;\n"
                  "  folder_lock_test, journal_file_test, crash_test, last_run_test, "
                  "cli_test: fork, kill and waitpid;\n"
                  "  state_folder_test: XDG_STATE_HOME, HOME and the password database;\n"
                  "  fuse_mount_test: FUSE; hostile_folder_test, series_selection_test, "
                  "journal_test: symbolic links and file modes made with POSIX calls;\n"
                  "  folder_renamer_test: expects paths joined with '/';\n"
                  "  exam_test: runs programs through fork and waitpid; install_test: "
                  "the Debian package.\n"
                  "windows_tests covers the Windows platform layer instead.";
}

}  // namespace
