// DICOM_hdr: reads one data element from the header of a DICOM file and
// returns its value as text.
//
// The file is taken as a 128-byte preamble and a 4-byte marker, neither of
// them read nor checked, followed from byte 132 on by data elements that are
// walked one after the other:
//  - Explicit VR Little Endian: group, element, two VR characters, then a
//    16-bit length, or, when the VR is exactly "OB", "OW", "SQ", "UN" or "UT"
//    (letter case included), two reserved bytes and a 32-bit length;
//  - except that when the file meta group (group 0002) declares the Implicit
//    VR Little Endian transfer syntax, (0002,0010) = "1.2.840.10008.1.2" with
//    trailing NULs or spaces ignored, every element from the first one outside
//    group 0002 on is read as group, element and a 32-bit length.
// Sequences are never entered: they are skipped whole by their length. The
// walk ends at the first element whose tag is the requested one; it gives up
// at the end of the file, when the next element would begin past byte offset
// 32766, or at the first value length above 32767 (the undefined length
// FFFFFFFF included) in any element it meets, the requested one too.
//
// The value comes back with one character per byte: bytes 00-7F as they are
// (NUL included), bytes 80-FF taken as Latin-1 and written as UTF-8, and every
// space turned into '_'. Nothing else changes: no trimming, no case change, no
// splitting at '\'.
//
// Only element headers, the transfer syntax value and the requested value are
// read, so the cost does not grow with the size of the file. The file is open
// only during the call and closed again on every path.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file_system.h"

namespace slicery::dicom {

class HeaderError : public std::runtime_error {
 public:
  enum class Kind {
    fileError,     // the file cannot be opened or read
    badTag,        // the group or element text is not a hexadecimal number
    notFound,      // end of file or a limit of the walk met before the element
    valuePastEnd,  // the element's value runs past the end of the file
  };

  HeaderError(Kind kind, std::string path, const std::string& message)
      : std::runtime_error(message), kind_(kind), path_(std::move(path)) {}

  Kind kind() const { return kind_; }
  const std::string& path() const { return path_; }

 private:
  Kind kind_;
  std::string path_;
};

// Reads element (fGroup,fElement) of the file fName. fGroup and fElement are
// hexadecimal digits of either case without prefix, leading zeros allowed
// ("8", "0008", "103e"); a number above FFFF is valid but matches no element.
// Throws HeaderError.
std::string DICOM_hdr(platform::FileSystem& fs, std::string_view fGroup, std::string_view fElement,
                      const std::string& fName);

}  // namespace slicery::dicom
