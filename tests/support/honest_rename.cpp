#include "support/honest_rename.h"

#include <algorithm>
#include <vector>

#include "platform/file_system.h"

namespace slicery::testing {
namespace {

std::vector<std::string> piecesOf(const std::string& name) {
  std::vector<std::string> pieces;
  for (size_t start = 0;;) {
    const size_t stop = name.find('.', start);
    pieces.push_back(name.substr(start, stop - start));
    if (stop == std::string::npos) return pieces;
    start = stop + 1;
  }
}

bool zerosThen(const std::string& padded, const std::string& original) {
  return padded.size() >= original.size() &&
         padded.compare(padded.size() - original.size(), original.size(), original) == 0 &&
         std::all_of(padded.begin(), padded.end() - static_cast<long>(original.size()),
                     [](char c) { return c == '0'; });
}

// The same series number: equal but for leading zeros and ASCII case.
bool sameSeries(std::string a, std::string b) {
  for (std::string* s : {&a, &b}) {
    s->erase(0, s->find_first_not_of('0'));
    for (char& c : *s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  }
  return a == b;
}

}  // namespace

std::string mislabelling(const std::string& oldName, const std::string& newPath) {
  const size_t slash = newPath.find(platform::kPathSeparator);
  const std::string folder = slash == std::string::npos ? "" : newPath.substr(0, slash);
  const std::string name = slash == std::string::npos ? newPath : newPath.substr(slash + 1);
  if (name.find(platform::kPathSeparator) != std::string::npos) {
    return "moved deeper than a series folder";
  }

  const std::vector<std::string> before = piecesOf(oldName);
  const std::vector<std::string> after = piecesOf(name);
  if (name != oldName) {
    if (before.size() < 6 || after.size() < 6) return "a name without a slice piece renamed";
    for (size_t i = 0; i < 3; ++i) {
      if (before[i] != after[i]) return "piece " + std::to_string(i) + " changed";
    }
    if (!zerosThen(after[3], before[3])) return "series piece changed beyond zeros";
    if (!zerosThen(after[4], before[4])) return "slice piece changed beyond zeros";
    const bool full = after.size() == before.size() &&
                      std::equal(after.begin() + 5, after.end(), before.begin() + 5);
    const bool shortened = after.size() == 6 && after[5] == before.back();
    if (!full && !shortened) return "pieces after the slice changed";
  }
  if (!folder.empty()) {
    const size_t mark = folder.rfind("_S");
    if (mark == std::string::npos || after.size() < 4 ||
        !sameSeries(folder.substr(mark + 2), after[3])) {
      return "moved into the folder of another series";
    }
  }
  return {};
}

}  // namespace slicery::testing
