// FileSystem: every operation the tool performs on disk, behind one interface
// so tests can substitute an in-memory double that fails chosen operations.
//
// Contract shared by every implementation:
//  - listFiles returns the bare names of the regular files in a folder (a
//    symbolic link to a regular file counts as one); hidden entries (as
//    listEntriesMarked tells them) and anything that is not a regular file
//    are left out, and so is every name that `keep` (when given) refuses.
//    The names come in no particular order.
//  - renameFile and renameFolder never replace an existing file or folder:
//    when the new path exists they fail and leave both untouched. Renaming a
//    path to itself succeeds and changes nothing.
//  - makeFolder fails when anything exists at the path already.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/pattern.h"
#include "platform/status.h"

namespace slicery::platform {

class FolderLock;

// Whether two names that differ in letter case only name one entry here, as
// on Windows (NTFS and FAT ignore case).
#ifdef _WIN32
inline constexpr bool kNamesIgnoreCase = true;
#else
inline constexpr bool kNamesIgnoreCase = false;
#endif

// `link` only from entryKind, which does not follow symbolic links.
enum class PathKind { missing, folder, file, other, link };

// A file opened for reading raw bytes. Closed when destroyed.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // Reads up to `size` bytes at `offset` into `buffer`; `got` receives the
  // number read, which is smaller than `size` only at the end of the file.
  virtual Status readAt(std::uint64_t offset, void* buffer, std::size_t size, std::size_t& got) = 0;
};

// Decides which listed names a caller wants; an empty filter keeps all.
using NameFilter = std::function<bool(std::string_view)>;

// Told by a rename before it takes a step that a kill could leave half
// done, so that the step can be recorded first: two names on one file (a
// link, then the old name's unlink), or an empty placeholder made at the new
// name that the file is then renamed onto. A failure returned stops the
// rename before that step.
class RenameIntent {
 public:
  enum class Kind { cutMove, placeholder };
  virtual ~RenameIntent() = default;
  virtual Status before(Kind kind) = 0;
};

// A folder held open, for the many steps of one run: names are taken
// relative to it, so each step resolves its own names only, not the whole
// path again. Failures carry full paths as FileSystem's do. This is all a
// run, its finish and its undo do to the disk.
class OpenFolder {
 public:
  virtual ~OpenFolder() = default;
  // As FileSystem::renameFile; `to` may lead into a subfolder ("S/x.ima").
  // `intent`, when given, hears of a fallback step before it is taken.
  virtual Status renameFile(const std::string& from, const std::string& to,
                            RenameIntent* intent = nullptr) = 0;
  virtual Status renameFolder(const std::string& from, const std::string& to) = 0;
  virtual Status makeFolder(const std::string& name) = 0;
  virtual Status removeEmptyFolder(const std::string& name) = 0;
  // What stands at `name` itself: a link is not followed.
  virtual PathKind kind(const std::string& name) = 0;
  // Completes a cut move: removes `from` when it and `to` are two names of
  // one regular file. False (changing nothing) otherwise.
  virtual bool completeCutMove(const std::string& from, const std::string& to) = 0;
  // Removes the empty file or folder at `name`, the placeholder of a rename
  // that did not happen; false (changing nothing) when it is not empty.
  virtual bool removePlaceholder(const std::string& name) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual PathKind kindOf(const std::string& path) = 0;
  // What stands at `path` itself: a symbolic link is not followed but told
  // as `link`, with its text in `linkTarget` (cleared for anything else).
  virtual PathKind entryKind(const std::string& path, std::string& linkTarget) = 0;
  // The longest name, in bytes, that `folder` can hold.
  virtual long nameLimit(const std::string& /*folder*/) { return 255; }
  // Whether `folder` takes two names that differ in ASCII letter case only
  // for one entry, as exFAT, FAT and NTFS under Windows do: a rename onto
  // such a name is refused there.
  virtual bool foldsCase(const std::string& /*folder*/) { return kNamesIgnoreCase; }
  // Whether two threads may list folders through it at once
  // (listEntriesMarked, kindOf).
  virtual bool listsInParallel() const { return false; }
  // By default the files among listEntries.
  virtual Status listFiles(const std::string& folder, const NameFilter& keep,
                           std::vector<std::string>& names);
  // Every entry of `folder`, hidden ones and folders too, each with its kind
  // as entryKind gives it (a symbolic link is `link`), in no particular order.
  using Entries = std::vector<std::pair<std::string, PathKind>>;
  virtual Status listEntries(const std::string& folder, Entries& entries) = 0;
  // The same, each entry told to `entry` as it is read, so that a caller
  // that keeps few of them need not hold them all. On a failure the entries
  // told before it stand.
  using EntryVisit = std::function<void(std::string_view name, PathKind kind)>;
  virtual Status visitEntries(const std::string& folder, const EntryVisit& entry);
  // The same, and for each entry whether a listing leaves it out as hidden
  // here (`hidden[i]` for `entries[i]`). Each platform decides: on POSIX a
  // name beginning with '.'; on Windows an entry marked hidden or system,
  // whatever its name, while a name beginning with '.' is an ordinary one.
  virtual Status listEntriesMarked(const std::string& folder, Entries& entries,
                                   std::vector<bool>& hidden) = 0;
  // The names listFiles gives that match `pattern` (see matchesPattern). An
  // implementation may answer this without testing every name.
  virtual Status listMatching(const std::string& folder, const std::string& pattern,
                              std::vector<std::string>& names) {
    const PatternMatcher matcher(pattern);
    return listFiles(
        folder, [&matcher](std::string_view name) { return matcher.matches(name); }, names);
  }
  virtual Status makeFolder(const std::string& path) = 0;
  virtual Status renameFile(const std::string& from, const std::string& to) = 0;
  virtual Status renameFolder(const std::string& from, const std::string& to) = 0;
  // Removes the folder at `path` when it is empty; fails and leaves it
  // otherwise.
  virtual Status removeEmptyFolder(const std::string& path) {
    return Status::error("remove folder", path, "not supported here");
  }
  virtual Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>& file) = 0;
  // The folder at `path`, held open where the platform can; by default its
  // operations join paths and call the ones above.
  virtual std::unique_ptr<OpenFolder> openFolder(const std::string& path);
  // Takes the lock that lets one run at a time work on `folder`, held until
  // `lock` goes (folder_lock.h); fails with EWOULDBLOCK while another holds
  // it. A file system of a test's own may hold its folders unlocked.
  virtual Status lockFolder(const std::string& folder, std::unique_ptr<FolderLock>& lock);
  // Whether another holds that lock now.
  virtual bool folderLockedElsewhere(const std::string& folder);
};

// The platform's path separator, and joining a folder with a name.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif
// Hash and equality of names for the sets that tell which names are taken,
// by default as the platform compares them (kNamesIgnoreCase), or as a
// folder does (FileSystem::foldsCase). Only ASCII letters are folded.
inline char foldedLetter(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
struct NameHash {
  bool fold = kNamesIgnoreCase;
  std::size_t operator()(std::string_view name) const {
    if (!fold) return std::hash<std::string_view>{}(name);
    std::size_t hash = 0xcbf29ce484222325ULL;
    for (const char c : name)
      hash = (hash ^ static_cast<unsigned char>(foldedLetter(c))) * 0x100000001b3ULL;
    return hash;
  }
};
struct NameEqual {
  bool fold = kNamesIgnoreCase;
  bool operator()(std::string_view a, std::string_view b) const {
    if (!fold) return a == b;
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (foldedLetter(a[i]) != foldedLetter(b[i])) return false;
    }
    return true;
  }
};
template <typename Key>
using NameSet = std::unordered_set<Key, NameHash, NameEqual>;
template <typename Key, typename Value>
using NameMap = std::unordered_map<Key, Value, NameHash, NameEqual>;

// Whether `c` separates the names of a path here: '/', and on Windows the
// backslash too.
bool isPathSeparator(char c);
// How many leading characters of `path` name its root, which no step to a
// parent leaves: "/" on POSIX; a drive ("C:" and the separator after it), a
// share ("//server/share/") or their long forms on Windows; 0 for a relative
// path.
std::size_t pathRootLength(std::string_view path);
// Why this platform takes `name` for no name of an entry, or empty: nothing
// more than '/' on POSIX; on Windows the backslash and : * ? " < > |, a
// trailing dot or space and the device names (CON, NUL, COM1, ...).
std::string foreignNameReason(std::string_view name);
std::string joinPath(std::string_view folder, std::string_view name);
// The same into `path`, reusing its room: for paths made once per file.
void joinPathInto(std::string& path, std::string_view folder, std::string_view name);
// The folder part of a path ("/a/b.ima" -> "/a"; "b.ima" -> "."; "/a" -> "/").
std::string parentPath(const std::string& path);
// Drops trailing separators, keeping the root.
std::string withoutTrailingSeparator(std::string path);
// `path` as a user is shown it: absolute (a relative one taken from the
// current folder), without "." components, doubled or trailing separators.
// A ".." is resolved on the disk, where a symbolic link before it leads.
// Unchanged when the current folder cannot be known.
std::string absolutePath(const std::string& path);

}  // namespace slicery::platform
