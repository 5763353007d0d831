// Preloaded into slicery-cli by the crash tests (LD_PRELOAD): counts the
// calls by which a command changes the disk or its journal (rename, link,
// unlink, mkdir, rmdir, an open that may create, a truncation, a write or
// flush of a regular file) and kills the process with SIGKILL at the k-th.
//   SLICERY_KILL_AT=k          the call to kill at (none when unset)
//   SLICERY_KILL_AFTER=1       kill once that call has taken effect
//   SLICERY_KILL_SIGNAL=n      send signal n there instead (SIGINT: a stop
//                              the program handles, as Ctrl+C asks)
//   SLICERY_FAIL_AT=k          the k-th call fails with ENOSPC instead, having
//                              changed nothing, as on a disk that is full
//   SLICERY_CALLS_LOG=FILE     one line per call counted: its number and what
//   SLICERY_REFUSE=NAME        a rename or link of a file named NAME fails
//                              with EACCES, as a disk refusing that one file
//   SLICERY_RENAMES=placeholder  a rename that refuses to replace, and a link,
//                              fail (EINVAL, EPERM) as on exFAT and FAT, so
//                              renames go onto placeholders
//   SLICERY_RENAMES=cutmove    only the rename that refuses to replace fails:
//                              renames go by link and unlink
// The calls failed so are not counted: they change nothing.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

template <typename F>
F next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

using WriteFn = ssize_t (*)(int, const void*, size_t);
using OpenFn = int (*)(const char*, int, ...);
using OpenatFn = int (*)(int, const char*, int, ...);

// Counted from two threads: a batch readies its next exam on a second one.
std::atomic<long> calls{0};
long killAt = -1;
long failAt = -1;
thread_local bool failing = false;  // the call in hand is the one to fail
bool killAfter = false;
int killSignal = SIGKILL;
int logFd = -1;

void start() {
  if (killAt >= 0) return;
  const char* at = std::getenv("SLICERY_KILL_AT");
  killAt = at != nullptr ? std::atol(at) : 0;
  const char* fail = std::getenv("SLICERY_FAIL_AT");
  failAt = fail != nullptr ? std::atol(fail) : 0;
  const char* after = std::getenv("SLICERY_KILL_AFTER");
  killAfter = after != nullptr && after[0] == '1';
  if (const char* signal = std::getenv("SLICERY_KILL_SIGNAL")) killSignal = std::atoi(signal);
  if (const char* log = std::getenv("SLICERY_CALLS_LOG")) {
    static const OpenFn open = next<OpenFn>("open");
    logFd = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  }
}

void die() {
  ::kill(::getpid(), killSignal);
}

// Counts a call; kills before it when it is the chosen one. True when the
// kill is to follow the call.
bool count(const char* what, const char* path) {
  start();
  const long call = ++calls;
  if (logFd >= 0) {
    static const WriteFn write = next<WriteFn>("write");
    char line[4200];
    const int n =
        std::snprintf(line, sizeof line, "%ld %s %s\n", call, what, path != nullptr ? path : "");
    if (n > 0) write(logFd, line, static_cast<size_t>(n) < sizeof line ? n : sizeof line - 1);
  }
  if (call == failAt) failing = true;
  if (call != killAt) return false;
  if (killAfter) return true;
  die();  // a signal the program handles returns here, and is sent once
  return false;
}

// Whether the call in hand is to fail; sets errno when it is.
bool failed() {
  if (!failing) return false;
  failing = false;
  errno = ENOSPC;
  return true;
}

template <typename T>
T done(bool killNow, T result) {
  if (killNow) die();
  return result;
}

// Whether the file at `path` (from `dir`) is the one the disk refuses to
// rename: one that is not there fails as it would anyway.
bool refused(int dir, const char* path) {
  const char* name = std::getenv("SLICERY_REFUSE");
  if (name == nullptr || path == nullptr) return false;
  const char* slash = std::strrchr(path, '/');
  return std::strcmp(slash != nullptr ? slash + 1 : path, name) == 0 &&
         ::faccessat(dir, path, F_OK, AT_SYMLINK_NOFOLLOW) == 0;
}

// Whether renames must do without a rename that refuses to replace, and
// without links.
bool withoutNoReplace() {
  const char* renames = std::getenv("SLICERY_RENAMES");
  return renames != nullptr &&
         (std::strcmp(renames, "placeholder") == 0 || std::strcmp(renames, "cutmove") == 0);
}
bool withoutLinks() {
  const char* renames = std::getenv("SLICERY_RENAMES");
  return renames != nullptr && std::strcmp(renames, "placeholder") == 0;
}

bool regularFile(int fd) {
  struct stat st;
  return fd != logFd && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// The mode an open that makes a file passes after its flags.
mode_t modeOf(int flags, va_list args) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

}  // namespace

extern "C" {

int rename(const char* from, const char* to) noexcept {
  static const auto real = next<int (*)(const char*, const char*)>("rename");
  const bool after = count("rename", from);
  if (failed()) return -1;
  if (refused(AT_FDCWD, from)) return done(after, (errno = EACCES, -1));
  return done(after, real(from, to));
}

int renameat(int fromDir, const char* from, int toDir, const char* to) noexcept {
  static const auto real = next<int (*)(int, const char*, int, const char*)>("renameat");
  const bool after = count("renameat", from);
  if (failed()) return -1;
  if (refused(fromDir, from)) return done(after, (errno = EACCES, -1));
  return done(after, real(fromDir, from, toDir, to));
}

int renameat2(int fromDir, const char* from, int toDir, const char* to,
              unsigned int flags) noexcept {
  static const auto real =
      next<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
  if ((flags & RENAME_NOREPLACE) != 0 && withoutNoReplace()) {
    errno = EINVAL;
    return -1;
  }
  const bool after = count("renameat2", from);
  if (failed()) return -1;
  if (refused(fromDir, from)) return done(after, (errno = EACCES, -1));
  return done(after, real(fromDir, from, toDir, to, flags));
}

int link(const char* from, const char* to) noexcept {
  static const auto real = next<int (*)(const char*, const char*)>("link");
  if (withoutLinks()) {
    errno = EPERM;
    return -1;
  }
  const bool after = count("link", from);
  if (failed()) return -1;
  if (refused(AT_FDCWD, from)) return done(after, (errno = EACCES, -1));
  return done(after, real(from, to));
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) noexcept {
  static const auto real = next<int (*)(int, const char*, int, const char*, int)>("linkat");
  if (withoutLinks()) {
    errno = EPERM;
    return -1;
  }
  const bool after = count("linkat", from);
  if (failed()) return -1;
  if (refused(fromDir, from)) return done(after, (errno = EACCES, -1));
  return done(after, real(fromDir, from, toDir, to, flags));
}

int unlink(const char* path) noexcept {
  static const auto real = next<int (*)(const char*)>("unlink");
  const bool after = count("unlink", path);
  if (failed()) return -1;
  return done(after, real(path));
}

int unlinkat(int dir, const char* path, int flags) noexcept {
  static const auto real = next<int (*)(int, const char*, int)>("unlinkat");
  const bool after = count("unlinkat", path);
  if (failed()) return -1;
  return done(after, real(dir, path, flags));
}

int rmdir(const char* path) noexcept {
  static const auto real = next<int (*)(const char*)>("rmdir");
  const bool after = count("rmdir", path);
  if (failed()) return -1;
  return done(after, real(path));
}

int mkdir(const char* path, mode_t mode) noexcept {
  static const auto real = next<int (*)(const char*, mode_t)>("mkdir");
  const bool after = count("mkdir", path);
  if (failed()) return -1;
  return done(after, real(path, mode));
}

int mkdirat(int dir, const char* path, mode_t mode) noexcept {
  static const auto real = next<int (*)(int, const char*, mode_t)>("mkdirat");
  const bool after = count("mkdirat", path);
  if (failed()) return -1;
  return done(after, real(dir, path, mode));
}

int open(const char* path, int flags, ...) {
  static const OpenFn real = next<OpenFn>("open");
  va_list args;
  va_start(args, flags);
  const mode_t mode = modeOf(flags, args);
  va_end(args);
  const bool after = (flags & (O_CREAT | O_TRUNC)) != 0 && count("open", path);
  if (failed()) return -1;
  return done(after, real(path, flags, mode));
}

int open64(const char* path, int flags, ...) {
  static const OpenFn real = next<OpenFn>("open64");
  va_list args;
  va_start(args, flags);
  const mode_t mode = modeOf(flags, args);
  va_end(args);
  const bool after = (flags & (O_CREAT | O_TRUNC)) != 0 && count("open", path);
  if (failed()) return -1;
  return done(after, real(path, flags, mode));
}

int openat(int dir, const char* path, int flags, ...) {
  static const OpenatFn real = next<OpenatFn>("openat");
  va_list args;
  va_start(args, flags);
  const mode_t mode = modeOf(flags, args);
  va_end(args);
  const bool after = (flags & (O_CREAT | O_TRUNC)) != 0 && count("openat", path);
  if (failed()) return -1;
  return done(after, real(dir, path, flags, mode));
}

int openat64(int dir, const char* path, int flags, ...) {
  static const OpenatFn real = next<OpenatFn>("openat64");
  va_list args;
  va_start(args, flags);
  const mode_t mode = modeOf(flags, args);
  va_end(args);
  const bool after = (flags & (O_CREAT | O_TRUNC)) != 0 && count("openat", path);
  if (failed()) return -1;
  return done(after, real(dir, path, flags, mode));
}

int ftruncate(int fd, off_t length) noexcept {
  static const auto real = next<int (*)(int, off_t)>("ftruncate");
  const bool after = count("ftruncate", nullptr);
  if (failed()) return -1;
  return done(after, real(fd, length));
}

ssize_t write(int fd, const void* data, size_t size) {
  static const WriteFn real = next<WriteFn>("write");
  const bool after = regularFile(fd) && count("write", nullptr);
  if (failed()) return -1;
  return done(after, real(fd, data, size));
}

int fsync(int fd) {
  static const auto real = next<int (*)(int)>("fsync");
  const bool after = count("fsync", nullptr);
  if (failed()) return -1;
  return done(after, real(fd));
}

int fdatasync(int fd) {
  static const auto real = next<int (*)(int)>("fdatasync");
  const bool after = count("fdatasync", nullptr);
  if (failed()) return -1;
  return done(after, real(fd));
}

}  // extern "C"
