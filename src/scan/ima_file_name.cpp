#include "scan/ima_file_name.h"

namespace slicery::scan {
namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool belongsToSeries(std::string_view name, std::string_view series, int leastPieces) {
  const size_t last = name.rfind('.');
  if (last == std::string_view::npos || !equalIgnoringCase(name.substr(last + 1), "ima")) {
    return false;
  }
  int stops = 0;
  size_t seriesStart = 0;
  size_t seriesEnd = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '.') continue;
    ++stops;
    if (stops == kSeriesField) seriesStart = i + 1;
    if (stops == kSeriesField + 1) seriesEnd = i;
  }
  return stops + 1 >= leastPieces && stops > kSeriesField &&
         equalIgnoringCase(name.substr(seriesStart, seriesEnd - seriesStart), series);
}

void splitImaFileName(std::string_view name, NameFields& fields) {
  size_t start = 0;
  for (auto& field : fields) {
    if (start > name.size()) {
      field.clear();
      continue;
    }
    size_t stop = name.find('.', start);
    if (stop == std::string_view::npos) stop = name.size();
    field.assign(name.substr(start, stop - start));
    start = stop + 1;
  }
}

}  // namespace slicery::scan
