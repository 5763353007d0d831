#include "platform/listing_cache.h"

namespace slicery::platform {
namespace {

std::string baseName(const std::string& path) {
  return path.substr(withoutTrailingSeparator(path).rfind(kPathSeparator) + 1);
}

}  // namespace

ListingCache::Names* ListingCache::cached(const std::string& folder) {
  const auto it = folders_.find(folder);
  return it == folders_.end() ? nullptr : &it->second;
}

Status ListingCache::listFiles(const std::string& folder, const NameFilter& keep,
                               std::vector<std::string>& names) {
  if (!enabled_) return inner_->listFiles(folder, keep, names);
  Names* known = cached(folder);
  if (known == nullptr) {
    std::vector<std::string> all;
    if (Status status = inner_->listFiles(folder, {}, all); !status) {
      names.clear();
      return status;
    }
    known = &folders_[folder];
    known->reserve(all.size());
    for (auto& name : all) known->insert(std::move(name));
  }
  names.clear();
  for (const std::string& name : *known) {
    if (!keep || keep(name)) names.push_back(name);
  }
  return Status::ok();
}

Status ListingCache::makeFolder(const std::string& path) {
  Status status = inner_->makeFolder(path);
  if (status) folders_.erase(path);
  return status;
}

Status ListingCache::renameFile(const std::string& from, const std::string& to) {
  Status status = inner_->renameFile(from, to);
  if (!status || from == to) return status;
  const std::string fromFolder = parentPath(from);
  const std::string toFolder = parentPath(to);
  if (Names* names = cached(fromFolder)) names->erase(baseName(from));
  if (Names* names = cached(toFolder)) {
    const std::string name = baseName(to);
    // A relative link moved to another folder may no longer lead to a file.
    const bool listed =
        name[0] != '.' && (toFolder == fromFolder || inner_->kindOf(to) == PathKind::file);
    if (listed) names->insert(name);
  }
  return status;
}

Status ListingCache::renameFolder(const std::string& from, const std::string& to) {
  Status status = inner_->renameFolder(from, to);
  if (status) folders_.clear();
  return status;
}

}  // namespace slicery::platform
