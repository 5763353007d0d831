// FileList: the files of one folder whose names match a pattern, as bare names
// in ascending order compared character by character with ASCII letter case
// ignored. The list is a snapshot: it changes only when refresh() re-reads the
// folder, never because files were renamed meanwhile.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/name_store.h"

namespace slicery::platform {

class FileList {
 public:
  explicit FileList(FileSystem& fs, std::string pattern = "*.ima")
      : fs_(&fs), pattern_(std::move(pattern)) {}

  // Selects a folder from a path: a folder is taken as it is; anything else
  // (a file, or a path that does not exist) selects the folder holding it,
  // except that a missing path is kept as the folder so re-reading reports it.
  void setFileName(const std::string& path);

  const std::string& path() const { return folder_; }
  void setPath(const std::string& folder) { folder_ = withoutTrailingSeparator(folder); }

  const std::string& pattern() const { return pattern_; }
  void setPattern(std::string pattern) { pattern_ = std::move(pattern); }

  // Re-reads the folder. On failure the list is left empty.
  Status refresh();
  // Takes `names`, already in list order, as what the folder now lists;
  // `store` holds the bytes they view.
  void assign(std::shared_ptr<const NameStore> store, std::vector<std::string_view> names);

  int count() const { return static_cast<int>(names_.size()); }
  // Entry at an index counted from 0; throws std::out_of_range past the end.
  std::string_view entry(int index) const;
  const std::vector<std::string_view>& entries() const;

 private:
  FileSystem* fs_;
  std::string folder_;
  std::string pattern_;
  std::shared_ptr<const NameStore> store_;
  // Put in order when first read: a list that is only counted is never sorted.
  mutable std::vector<std::string_view> names_;
  mutable bool sorted_ = true;
};

}  // namespace slicery::platform
