#include "support/temp_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace slicery::testing {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "slicery-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::write(const std::string& relative, const std::string& contents) const {
  const std::string full = *this / relative;
  std::ofstream out(full, std::ios::binary);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + full);
  return full;
}

std::string TempFolder::mkdir(const std::string& relative) const {
  const std::string full = *this / relative;
  std::filesystem::create_directories(full);
  return full;
}

}  // namespace slicery::testing
