// libFuzzer target for DICOM_hdr; built and run by tools/fuzz-dicom.
//
// Input: one byte choosing the element asked for, then the file's bytes.
// Choices 0-3 ask for (0008,103E), (0002,0010), (0020,0011) and (7FE0,0010);
// any other takes the group and element texts from the input: a byte with
// their lengths (low and high nibble), then the texts, then the file.
//
// Beyond what the sanitizers catch, every call must close its file, read a
// bounded number of bytes, and return text with no space in it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "dicom/dicom_hdr.h"
#include "support/memory_file_system.h"

namespace {

// Headers of elements beginning at byte 32766 at the latest (12 bytes at
// most each, 8 bytes apart at least), the transfer syntax and the value,
// each at most 32767 bytes.
constexpr std::uint64_t kMostBytesRead = (32766 / 8 + 1) * 12 + 2 * 32767;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  static constexpr std::string_view kTags[][2] = {
      {"8", "103E"}, {"0002", "0010"}, {"20", "11"}, {"7fe0", "10"}};
  std::string_view group;
  std::string_view element;
  const auto choice = static_cast<std::uint8_t>(input[0]);
  input.remove_prefix(1);
  if (choice < 4) {
    group = kTags[choice][0];
    element = kTags[choice][1];
  } else {
    if (input.empty()) return 0;
    const std::size_t groupSize = static_cast<std::uint8_t>(input[0]) & 0x0F;
    const std::size_t elementSize = static_cast<std::uint8_t>(input[0]) >> 4;
    input.remove_prefix(1);
    if (input.size() < groupSize + elementSize) return 0;
    group = input.substr(0, groupSize);
    element = input.substr(groupSize, elementSize);
    input.remove_prefix(groupSize + elementSize);
  }

  slicery::testing::MemoryFileSystem fs;
  fs.addFile("/f.ima", std::string(input));
  try {
    const std::string value = slicery::dicom::DICOM_hdr(fs, group, element, "/f.ima");
    if (value.find(' ') != std::string::npos) std::abort();
  } catch (const slicery::dicom::HeaderError& e) {
    if (std::string_view(e.what()).empty()) std::abort();
  }
  if (fs.openFiles() != 0 || fs.bytesRead() > kMostBytesRead) std::abort();
  return 0;
}
