// Splitting a Siemens .ima file name into its fields. The name is cut at every
// full stop; the first 14 pieces are kept and missing ones are empty. Field 3
// is the series number, field 4 the slice number.
#pragma once

#include <array>
#include <string_view>

namespace slicery::scan {

inline constexpr int kNameFieldCount = 14;
inline constexpr int kSeriesField = 3;
inline constexpr int kSliceField = 4;

// Views of the name split: valid as long as the name they were split from.
using NameFields = std::array<std::string_view, kNameFieldCount>;

// The least pieces of the names a series pass takes: full names first,
// short ones when the series has none.
inline constexpr int kFullNamePieces = 14;
inline constexpr int kShortNamePieces = 6;

// Overwrites all 14 fields of `fields` with views of `name`.
void splitImaFileName(std::string_view name, NameFields& fields);

}  // namespace slicery::scan
