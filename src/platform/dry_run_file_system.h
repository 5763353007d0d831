// DryRunFileSystem: a FileSystem that reads the one below it but changes
// nothing there. Folders made and files or folders renamed are remembered
// and shown by its own listings, kinds and opens, so a procedure run over it
// sees the folder as a real run would leave it. A file opened at its new path
// reads the original file; listing a renamed folder lists the original
// folder's files plus what was moved into it. What the layer below would
// refuse for reasons it alone knows (permissions, a full disk) is not
// foreseen.
//
// It keeps little per file, for folders of many thousands: each real folder
// is read once into one block of names, and a file moved is recorded in the
// folder it moved to as the real entry it came from (a folder number and an
// index) plus the part of its new name that differs from the old one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/file_system.h"

namespace slicery::platform {

class DryRunFileSystem : public FileSystem {
 public:
  explicit DryRunFileSystem(FileSystem& real) : real_(&real) {}

  PathKind kindOf(const std::string& path) override;
  PathKind entryKind(const std::string& path, std::string& linkTarget) override;
  long nameLimit(const std::string& folder) override;
  Status listEntries(const std::string& folder, Entries& entries) override;
  Status makeFolder(const std::string& path) override;
  Status renameFile(const std::string& from, const std::string& to) override;
  Status renameFolder(const std::string& from, const std::string& to) override;
  Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>& file) override;

 private:
  static constexpr std::uint32_t kNone = UINT32_MAX;

  // The entries of one real folder, read once: the layer below does not
  // change. An entry moved away keeps its name, as the origin of what was
  // moved, with its kind struck to `missing`. When the folder cannot be
  // listed it holds the names asked about that exist.
  struct RealFolder {
    // A name's bytes in `text`; no directory entry's name is longer than
    // 16 bits can tell.
    struct Name {
      std::uint32_t at;
      std::uint16_t size;
      std::uint8_t kind;  // a PathKind
    };
    std::string path;
    Status failure;    // why it could not be listed
    std::string text;  // every name, one after another
    std::vector<Name> names;
    std::vector<std::uint32_t> slots;  // as a Folder's

    std::string_view name(std::uint32_t index) const {
      return {text.data() + names[index].at, names[index].size};
    }
    PathKind kind(std::uint32_t index) const { return static_cast<PathKind>(names[index].kind); }
    std::uint32_t find(std::string_view wanted) const;
    std::uint32_t add(std::string_view entry, PathKind kind);
  };

  // A file moved by the dry run: the real entry it came from, and its new
  // name as the origin's name with its middle replaced: all but the first
  // `head` and the last `tail` bytes give way to the bytes from `at` in its
  // folder's text, up to where the next file's begin.
  struct Moved {
    std::uint32_t real;
    std::uint32_t index;
    std::uint32_t at;
    std::uint8_t head;
    std::uint8_t tail;
    std::uint8_t kind;  // a PathKind; `missing` once moved on
  };

  // A folder path the dry run made, renamed, renamed away (`gone`) or moved
  // a file into. It shows the real folder `real`, or none when it was made.
  // Its moved files are found by the hash of their names in `slots` (an
  // index into `files` plus one; 0 is free).
  struct Folder {
    std::uint32_t real = kNone;
    bool gone = false;
    std::string text;
    std::vector<Moved> files;
    std::vector<std::uint32_t> slots;
  };

  // Where a path leads. A folder has its record in `folder` when the dry run
  // keeps one; a file moved by the dry run is `record` in `movedIn`; what
  // stands where the layer below has it is `index` in real folder `real`.
  struct Resolved {
    PathKind kind = PathKind::missing;
    Folder* folder = nullptr;
    Folder* movedIn = nullptr;
    std::uint32_t record = kNone;
    std::uint32_t real = kNone;
    std::uint32_t index = kNone;
  };

  // Paths here are canonical: the public functions spell each path one way
  // (no empty or "." parts, no trailing separator) before looking it up.
  Resolved resolve(std::string_view path);
  // What stands at `path` in the layer below, from its folder's listing.
  Resolved resolveReal(std::string_view path);
  // What stands at `name` in real folder `real`.
  Resolved entryIn(std::uint32_t real, std::string_view name);
  // The real path behind what `at` resolved to; `path` itself for the root,
  // empty for a folder the dry run made.
  std::string realPath(const Resolved& at, std::string_view path) const;
  // The number of the real folder at `path`, read on first use.
  std::uint32_t realFolder(std::string_view path);
  // The record of the folder at `path`, made when it has none.
  Folder& folderRecord(std::string_view path, const Resolved& at);
  long limitOf(std::string_view folder);
  // Checks a rename as the layer below would; `source` and `parent` receive
  // what `from` and the folder of `to` resolve to.
  Status checkRename(const char* operation, const std::string& from, const std::string& to,
                     PathKind wanted, Resolved& source, Resolved& parent);

  static std::string_view middleOf(const Folder& folder, std::uint32_t record);
  std::string movedName(const Folder& folder, std::uint32_t record) const;
  bool movedNameIs(const Folder& folder, std::uint32_t record, std::string_view name) const;
  std::uint32_t findMoved(const Folder& folder, std::string_view name) const;
  void addMoved(Folder& folder, std::string_view name, PathKind kind, std::uint32_t real,
                std::uint32_t index);

  // Maps keyed by path, looked up by any string_view.
  struct PathHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view path) const noexcept {
      return std::hash<std::string_view>()(path);
    }
  };
  template <class Value>
  using PathMap = std::unordered_map<std::string, Value, PathHash, std::equal_to<>>;

  FileSystem* real_;
  PathMap<Folder> folders_;
  std::vector<RealFolder> reals_;
  PathMap<std::uint32_t> realIds_;
  PathMap<long> nameLimits_;
};

}  // namespace slicery::platform
