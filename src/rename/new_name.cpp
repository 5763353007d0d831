#include "rename/new_name.h"

#include <algorithm>
#include <string>

#include "platform/escape.h"
#include "platform/file_system.h"

namespace slicery::rename {
namespace {

// The longest name one file or folder can have on the platform, in bytes.
constexpr std::size_t kMaxNameBytes = 255;
// The full stops up to the end of the slice piece (the fifth piece).
constexpr int kStopsBeforeSuffix = scan::kSliceField + 1;

int characterCount(std::string_view text) {
  // Every byte that does not continue a UTF-8 sequence starts a character.
  return static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

int decimalDigits(int count) {
  unsigned magnitude = count < 0 ? 0u - static_cast<unsigned>(count) : static_cast<unsigned>(count);
  int digits = 1;
  while (magnitude >= 10) {
    magnitude /= 10;
    ++digits;
  }
  return digits;
}

bool allDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

int padWidth(int count, std::string_view text) {
  return decimalDigits(count) - characterCount(text);
}

NumberWidth::NumberWidth(int count, bool sortable)
    : width_(decimalDigits(count)), sortable_(sortable) {}

void NumberWidth::take(std::string_view number) {
  if (sortable_ && allDigits(number)) width_ = std::max(width_, static_cast<int>(number.size()));
}

int NumberWidth::padWidth(std::string_view text) const {
  return width_ - characterCount(text);
}

std::string padded(std::string_view text, int width) {
  std::string result(static_cast<size_t>(std::max(width, 0)), '0');
  result.append(text);
  return result;
}

std::string newFileName(const scan::NameFields& f, std::string_view paddedSeries,
                        std::string_view paddedSlice, std::string_view currentName,
                        bool shortForm) {
  if (f[5] == "IMA") return std::string(currentName);
  // Only the series and the slice piece change. Every other piece stays as
  // it is, however many the name has, so the extension is never lost; the
  // short form keeps the first three pieces and the last one.
  size_t seriesStart = 0;
  size_t sliceEnd = 0;
  int stops = 0;
  for (size_t i = 0; i < currentName.size() && stops < kStopsBeforeSuffix; ++i) {
    if (currentName[i] != '.') continue;
    ++stops;
    if (stops == scan::kSeriesField) seriesStart = i + 1;
    if (stops == kStopsBeforeSuffix) sliceEnd = i;
  }
  // A name without a piece after the slice has nothing that tells its end.
  if (stops < kStopsBeforeSuffix) return std::string(currentName);
  const size_t suffix = shortForm ? currentName.rfind('.') : sliceEnd;

  std::string name;
  name.reserve(currentName.size() + paddedSeries.size() + paddedSlice.size());
  name.append(currentName.substr(0, seriesStart));
  name.append(paddedSeries);
  name.push_back('.');
  name.append(paddedSlice);
  name.append(currentName.substr(suffix));
  return name;
}

std::string folderDescription(std::string_view description) {
  std::string text(description);
  for (char& c : text) {
    if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) c = '_';
  }
  return text;
}

std::string seriesFolderName(std::string_view baseWord, std::string_view paddedSeries) {
  std::string name(baseWord);
  name += "_S";
  name += paddedSeries;
  return name;
}

bool namesSeriesFolder(std::string_view folderName, std::string_view series) {
  if (series.empty() || folderName.size() <= series.size()) return false;
  const std::string_view tail = folderName.substr(folderName.size() - series.size());
  if (!std::equal(tail.begin(), tail.end(), series.begin(), [](char a, char b) {
        return platform::foldedLetter(a) == platform::foldedLetter(b);
      })) {
    return false;
  }
  // The zeros the padding put before the series, then "_S" after a base word.
  std::string_view head = folderName.substr(0, folderName.size() - series.size());
  const size_t zeros = head.size() - (head.find_last_not_of('0') + 1);
  const std::string_view number = folderName.substr(head.size() - zeros);
  head.remove_suffix(zeros);
  return head.size() > 2 && head.ends_with("_S") && seriesGetsFolder(number);
}

bool seriesGetsFolder(std::string_view paddedSeries) {
  if (!paddedSeries.empty() && paddedSeries.front() == '-') {
    // Any negative number, and minus zero, is 0 or less.
    return !allDigits(paddedSeries.substr(1));
  }
  if (!allDigits(paddedSeries)) return true;
  return paddedSeries.find_first_not_of('0') != std::string_view::npos;
}

std::string unsafeFolderName(std::string_view name) {
  if (name.find('/') != std::string_view::npos) return "a folder name may not contain '/'";
  if (std::string reason = platform::foreignNameReason(name); !reason.empty()) return reason;
  if (name.find('\0') != std::string_view::npos) return "a folder name may not contain a NUL";
  if (name.empty() || name == "." || name == "..") return "not a folder name";
  if (name.front() == '.') return "a folder name beginning with '.' would be hidden";
  if (!platform::isValidUtf8(name)) return "a folder name must be valid UTF-8";
  if (platform::hasControlCharacters(name)) {
    return "a folder name may not contain control characters";
  }
  if (name.size() > kMaxNameBytes) {
    return "a folder name may not be longer than " + std::to_string(kMaxNameBytes) + " bytes";
  }
  return {};
}

}  // namespace slicery::rename
