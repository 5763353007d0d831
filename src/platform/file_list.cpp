#include "platform/file_list.h"

#include <algorithm>
#include <stdexcept>

#include "platform/pattern.h"

namespace slicery::platform {

void FileList::setFileName(const std::string& path) {
  const PathKind kind = fs_->kindOf(path);
  if (kind == PathKind::folder || kind == PathKind::missing) {
    setPath(path);
  } else {
    setPath(parentPath(path));
  }
}

Status FileList::refresh() {
  Status status = fs_->listMatching(folder_, pattern_, names_);
  if (!status) names_.clear();
  sorted_ = names_.size() < 2;
  return status;
}

void FileList::assign(std::vector<std::string> names) {
  names_ = std::move(names);
  sorted_ = true;
}

const std::vector<std::string>& FileList::entries() const {
  if (!sorted_) {
    std::sort(names_.begin(), names_.end(),
              [](const std::string& a, const std::string& b) { return lessIgnoringCase(a, b); });
    sorted_ = true;
  }
  return names_;
}

const std::string& FileList::entry(int index) const {
  entries();
  if (index < 0 || static_cast<size_t>(index) >= names_.size()) {
    throw std::out_of_range("file list index " + std::to_string(index));
  }
  return names_[static_cast<size_t>(index)];
}

}  // namespace slicery::platform
