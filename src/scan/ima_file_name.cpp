#include "scan/ima_file_name.h"

namespace slicery::scan {
void splitImaFileName(std::string_view name, NameFields& fields) {
  // One pass over the name: its pieces are short, so a search call per
  // piece costs more than it finds.
  size_t field = 0;
  size_t start = 0;
  for (size_t i = 0; i <= name.size() && field < fields.size(); ++i) {
    if (i == name.size() || name[i] == '.') {
      fields[field++] = name.substr(start, i - start);
      start = i + 1;
    }
  }
  for (; field < fields.size(); ++field) fields[field] = {};
}

}  // namespace slicery::scan
