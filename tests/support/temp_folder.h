// TempFolder: a fresh folder on disk for one test, removed afterwards.
#pragma once

#include <map>
#include <string>

namespace slicery::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // Full path of `relative` inside the folder.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }
  // Writes a file (parents must exist) and returns its full path.
  std::string write(const std::string& relative, const std::string& contents = {}) const;
  std::string mkdir(const std::string& relative) const;

 private:
  std::string path_;
};

// Every entry below `root`, relative path -> contents: "/" for a folder,
// "->" and the target for a symbolic link (not followed), else the file's
// bytes; so a lost, doubled or changed file shows.
std::map<std::string, std::string> treeOf(const std::string& root);

}  // namespace slicery::testing
