#include "dicom/dicom_hdr.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace slicery::dicom {
namespace {

using Kind = HeaderError::Kind;

constexpr std::uint64_t kFirstElement = 132;
// Elements are examined only when they begin at or before this byte offset.
constexpr std::uint64_t kLastElementStart = 32766;
constexpr std::uint32_t kMaxValueLength = 32767;
// A requested number above FFFF is kept as this value, which no tag equals.
constexpr std::uint32_t kBeyondAnyTag = 0x10000;
constexpr std::uint16_t kMetaGroup = 0x0002;
constexpr std::uint16_t kTransferSyntax = 0x0010;
constexpr std::string_view kImplicitLittleEndian = "1.2.840.10008.1.2";

struct Tag {
  std::uint32_t group;
  std::uint32_t element;
  std::string text;  // "(0008,103E)", for messages
};

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::uint32_t parseNumber(std::string_view text, const char* what, const std::string& path) {
  if (text.empty()) {
    throw HeaderError(Kind::badTag, path, std::string("the ") + what + " number is empty");
  }
  std::uint32_t value = 0;
  for (const char c : text) {
    const int digit = hexDigit(c);
    if (digit < 0) {
      throw HeaderError(Kind::badTag, path,
                        std::string("the ") + what + " number \"" + std::string(text) +
                            "\" is not a hexadecimal number");
    }
    value = std::min(value * 16 + static_cast<std::uint32_t>(digit), kBeyondAnyTag);
  }
  return value;
}

std::string hex4(std::uint32_t number, std::string_view original) {
  if (number >= kBeyondAnyTag) return std::string(original);
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(number));
  return text;
}

std::string tagText(std::uint32_t group, std::uint32_t element, std::string_view groupText = {},
                    std::string_view elementText = {}) {
  // Appended piece by piece: GCC 12 at -O2 and above warns falsely of an
  // overlapping copy (-Wrestrict) in the chain "(" + std::string + ... .
  std::string text = "(";
  text += hex4(group, groupText);
  text += ',';
  text += hex4(element, elementText);
  text += ')';
  return text;
}

std::uint16_t le16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool isLongForm(const unsigned char* vr) {
  static constexpr const char* kLongForms[] = {"OB", "OW", "SQ", "UN", "UT"};
  return std::any_of(std::begin(kLongForms), std::end(kLongForms),
                     [vr](const char* form) { return vr[0] == form[0] && vr[1] == form[1]; });
}

bool isImplicitLittleEndian(std::string_view uid) {
  while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) uid.remove_suffix(1);
  return uid == kImplicitLittleEndian;
}

// Bytes 00-7F as they are, 80-FF as Latin-1 in UTF-8, spaces as '_'.
std::string valueText(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == ' ') {
      text += '_';
    } else if (b < 0x80) {
      text += c;
    } else {
      text += static_cast<char>(0xC0 | (b >> 6));
      text += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return text;
}

// Reads from the open file, turning the platform's failures into HeaderError.
class Reader {
 public:
  Reader(platform::ReadableFile& file, const std::string& path) : file_(file), path_(path) {}

  // Reads `size` bytes at `offset`; false when the file ends first.
  bool read(std::uint64_t offset, void* buffer, std::size_t size) {
    std::size_t got = 0;
    if (platform::Status status = file_.readAt(offset, buffer, size, got); !status) {
      throw HeaderError(Kind::fileError, path_, status.toString());
    }
    return got == size;
  }

  // Reads the `length` bytes at `offset` into `value`; false when the file
  // ends first.
  bool readValue(std::uint64_t offset, std::uint32_t length, std::string& value) {
    value.assign(length, '\0');
    return length == 0 || read(offset, value.data(), length);
  }

 private:
  platform::ReadableFile& file_;
  const std::string& path_;
};

}  // namespace

std::string DICOM_hdr(platform::FileSystem& fs, std::string_view fGroup, std::string_view fElement,
                      const std::string& fName) {
  const std::uint32_t group = parseNumber(fGroup, "group", fName);
  const std::uint32_t element = parseNumber(fElement, "element", fName);
  const std::string wanted = tagText(group, element, fGroup, fElement);

  std::unique_ptr<platform::ReadableFile> file;
  if (platform::Status status = fs.openForReading(fName, file); !status) {
    throw HeaderError(Kind::fileError, fName, status.toString());
  }
  Reader in(*file, fName);
  const auto notFound = [&](const std::string& why) {
    return HeaderError(Kind::notFound, fName, fName + ": no element " + wanted + " " + why);
  };

  bool implicitDataSet = false;  // the meta group declared Implicit VR Little Endian
  bool pastMetaGroup = false;
  std::uint64_t at = kFirstElement;
  for (;;) {
    unsigned char head[8];
    if (!in.read(at, head, sizeof head)) throw notFound("before the end of the file");
    const std::uint16_t g = le16(head);
    const std::uint16_t e = le16(head + 2);
    pastMetaGroup = pastMetaGroup || g != kMetaGroup;

    std::uint32_t length = 0;
    std::uint64_t headerSize = 8;
    if (implicitDataSet && pastMetaGroup) {
      length = le32(head + 4);
    } else if (isLongForm(head + 4)) {
      unsigned char longLength[4];
      if (!in.read(at + 8, longLength, sizeof longLength)) {
        throw notFound("before the end of the file");
      }
      length = le32(longLength);
      headerSize = 12;
    } else {
      length = le16(head + 6);
    }
    if (length > kMaxValueLength) {
      const bool found = g == group && e == element;
      throw HeaderError(Kind::notFound, fName,
                        fName + ": element " + tagText(g, e) + " at byte " + std::to_string(at) +
                            " has value length " + std::to_string(length) + ", above " +
                            std::to_string(kMaxValueLength) +
                            (found ? "" : ", before element " + wanted + " was found"));
    }

    const std::uint64_t valueAt = at + headerSize;
    if (g == group && e == element) {
      std::string value;
      if (!in.readValue(valueAt, length, value)) {
        throw HeaderError(Kind::valuePastEnd, fName,
                          fName + ": the value of element " + wanted + " at byte " +
                              std::to_string(at) + " runs past the end of the file");
      }
      return valueText(value);
    }
    if (g == kMetaGroup && e == kTransferSyntax && !pastMetaGroup) {
      std::string uid;
      implicitDataSet = in.readValue(valueAt, length, uid) && isImplicitLittleEndian(uid);
    }
    at = valueAt + length;
    if (at > kLastElementStart) {
      throw notFound("within the first " + std::to_string(kLastElementStart + 1) + " bytes");
    }
  }
}

}  // namespace slicery::dicom
