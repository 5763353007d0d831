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
  std::vector<std::string> listed;
  Status status = fs_->listMatching(folder_, pattern_, listed);
  auto store = std::make_shared<NameStore>();
  names_.clear();
  if (status) {
    names_.reserve(listed.size());
    for (const std::string& name : listed) names_.push_back(store->add(name));
  }
  store_ = std::move(store);
  sorted_ = names_.size() < 2;
  return status;
}

void FileList::assign(std::shared_ptr<const NameStore> store, std::vector<std::string_view> names) {
  store_ = std::move(store);
  names_ = std::move(names);
  sorted_ = true;
}

const std::vector<std::string_view>& FileList::entries() const {
  if (!sorted_) {
    sortIgnoringCase(names_);
    sorted_ = true;
  }
  return names_;
}

std::string_view FileList::entry(int index) const {
  entries();
  if (index < 0 || static_cast<size_t>(index) >= names_.size()) {
    throw std::out_of_range("file list index " + std::to_string(index));
  }
  return names_[static_cast<size_t>(index)];
}

}  // namespace slicery::platform
