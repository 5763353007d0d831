// ListingCache: a FileSystem that remembers folder listings for the length of
// one procedure (a folder load or a rename run), so that re-reading a folder
// of tens of thousands of files once per series costs a filter over memory
// instead of a directory read. Its own renames keep the remembered listings
// current, so a re-read gives what reading the folder again would give as
// long as nothing else changes the folder meanwhile. Outside a Scope it
// remembers nothing and passes every call through.
#pragma once

#include <string>
#include <unordered_map>

#include "platform/file_system.h"
#include "platform/name_set.h"

namespace slicery::platform {

class ListingCache : public FileSystem {
 public:
  explicit ListingCache(FileSystem& inner) : inner_(&inner) {}

  // Remembers listings from construction to destruction.
  class Scope {
   public:
    explicit Scope(ListingCache& cache) : cache_(cache) { cache_.enabled_ = true; }
    ~Scope() {
      cache_.enabled_ = false;
      cache_.folders_.clear();
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    ListingCache& cache_;
  };

  PathKind kindOf(const std::string& path) override { return inner_->kindOf(path); }
  PathKind entryKind(const std::string& path, std::string& linkTarget) override {
    return inner_->entryKind(path, linkTarget);
  }
  long nameLimit(const std::string& folder) override { return inner_->nameLimit(folder); }
  Status listFiles(const std::string& folder, const NameFilter& keep,
                   std::vector<std::string>& names) override;
  // Skips the names whose fields rule them out before testing the pattern.
  Status listMatching(const std::string& folder, const std::string& pattern,
                      std::vector<std::string>& names) override;
  Status makeFolder(const std::string& path) override;
  Status renameFile(const std::string& from, const std::string& to) override;
  Status renameFolder(const std::string& from, const std::string& to) override;
  Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>& file) override {
    return inner_->openForReading(path, file);
  }

 private:
  using Names = NameSet;
  Names* cached(const std::string& folder);
  // The remembered listing of `folder`, read first when there is none.
  Status remembered(const std::string& folder, Names*& names);

  FileSystem* inner_;
  bool enabled_ = false;
  std::unordered_map<std::string, Names> folders_;
};

}  // namespace slicery::platform
