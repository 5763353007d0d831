// DicomWriter: builds DICOM byte streams element by element, little endian,
// for the synthetic exams and for tests that need files of a chosen shape,
// well formed or not.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace slicery::tools {

class DicomWriter {
 public:
  // Bare elements, e.g. the contents of a sequence item.
  DicomWriter() = default;
  // A file: 128 zero bytes of preamble, then `marker` ("DICM" in a real file).
  static DicomWriter file(std::string_view marker = "DICM");

  // An Explicit VR element. The VRs that take the long form (OB, OD, OF, OL,
  // OV, OW, SQ, SV, UC, UN, UR, UT, UV; letter case counts) get two reserved
  // bytes and a 32-bit length, every other VR a 16-bit length. The length
  // written is the value's size unless `length` is given (an undefined length,
  // or a value cut short by the end of the file).
  DicomWriter& add(std::uint16_t group, std::uint16_t element, std::string_view vr,
                   std::string_view value);
  DicomWriter& add(std::uint16_t group, std::uint16_t element, std::string_view vr,
                   std::string_view value, std::uint32_t length);
  // An Implicit VR element: group, element, 32-bit length, value.
  DicomWriter& addImplicit(std::uint16_t group, std::uint16_t element, std::string_view value);
  DicomWriter& addImplicit(std::uint16_t group, std::uint16_t element, std::string_view value,
                           std::uint32_t length);
  DicomWriter& raw(std::string_view bytes);

  // The file meta information group as a Part 10 file carries it: group
  // length, version, SOP class and instance, the transfer syntax of the data
  // set that follows, implementation class and version name. Always Explicit
  // VR Little Endian.
  DicomWriter& addMetaGroup(std::string_view transferSyntax, std::string_view sopClass,
                            std::string_view sopInstance);

  const std::string& bytes() const { return bytes_; }

 private:
  void tag(std::uint16_t group, std::uint16_t element);
  void u16(std::uint16_t value);
  void u32(std::uint32_t value);

  std::string bytes_;
};

inline constexpr std::uint32_t kUndefinedLength = 0xFFFFFFFF;
inline constexpr std::string_view kExplicitVrLittleEndian = "1.2.840.10008.1.2.1";
inline constexpr std::string_view kImplicitVrLittleEndian = "1.2.840.10008.1.2";
inline constexpr std::string_view kMrImageStorage = "1.2.840.10008.5.1.4.1.1.4";

// Little-endian binary values.
std::string u16Value(std::uint16_t value);
std::string u32Value(std::uint32_t value);
// A text value padded to even length with `pad` (a space; NUL for UIDs).
std::string evenLength(std::string value, char pad = ' ');

}  // namespace slicery::tools
