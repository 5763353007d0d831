#include "scan/ima_file_name.h"

namespace slicery::scan {
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
