#include "support/temp_folder.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace slicery::testing {

// A folder of a random name that this call made, as mkdtemp makes one; the
// same on every platform.
TempFolder::TempFolder() {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = "slicery-test-";
    for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    std::error_code error;
    if (std::filesystem::create_directory(base / name, error)) {
      path_ = (base / name).string();
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder in " + base.string());
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

std::map<std::string, std::string> treeOf(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string text;
    if (entry.is_symlink()) {
      text = "->" + fs::read_symlink(entry.path()).string();
    } else if (entry.is_directory()) {
      text.push_back('/');
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      text.assign(std::istreambuf_iterator<char>(in), {});
    }
    entries.emplace(fs::relative(entry.path(), root).string(), std::move(text));
  }
  return entries;
}

}  // namespace slicery::testing
