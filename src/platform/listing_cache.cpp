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

Status ListingCache::remembered(const std::string& folder, Names*& names) {
  names = cached(folder);
  if (names != nullptr) return Status::ok();
  std::vector<std::string> all;
  if (Status status = inner_->listFiles(folder, {}, all); !status) return status;
  names = &folders_[folder];
  names->reserve(all.size());
  for (auto& name : all) names->insert(std::move(name));
  return Status::ok();
}

Status ListingCache::listFiles(const std::string& folder, const NameFilter& keep,
                               std::vector<std::string>& names) {
  if (!enabled_) return inner_->listFiles(folder, keep, names);
  names.clear();
  Names* known = nullptr;
  if (Status status = remembered(folder, known); !status) return status;
  for (size_t i = 0; i < known->size(); ++i) {
    if (!keep || keep(known->name(i))) names.push_back(known->name(i));
  }
  return Status::ok();
}

Status ListingCache::listMatching(const std::string& folder, const std::string& pattern,
                                  std::vector<std::string>& names) {
  if (!enabled_) return inner_->listMatching(folder, pattern, names);
  names.clear();
  Names* known = nullptr;
  if (Status status = remembered(folder, known); !status) return status;
  const FieldSignature required = fieldsRequiredBy(pattern);
  const PatternMatcher matcher(pattern);
  for (size_t i = 0; i < known->size(); ++i) {
    if (known->signature(i).covers(required) && matcher.matches(known->name(i))) {
      names.push_back(known->name(i));
    }
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
  if (fromFolder == toFolder) {
    if (Names* names = cached(fromFolder)) {
      std::string name = baseName(to);
      if (name[0] == '.') {
        names->erase(baseName(from));
      } else {
        names->rename(baseName(from), std::move(name));
      }
    }
    return status;
  }
  if (Names* names = cached(fromFolder)) names->erase(baseName(from));
  if (Names* names = cached(toFolder)) {
    const std::string name = baseName(to);
    // A relative link moved to another folder may no longer lead to a file.
    if (name[0] != '.' && inner_->kindOf(to) == PathKind::file) names->insert(name);
  }
  return status;
}

Status ListingCache::renameFolder(const std::string& from, const std::string& to) {
  Status status = inner_->renameFolder(from, to);
  if (status) folders_.clear();
  return status;
}

}  // namespace slicery::platform
