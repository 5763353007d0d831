#include "dicom_writer.h"

#include <algorithm>
#include <iterator>

namespace slicery::tools {
namespace {

bool takesLongForm(std::string_view vr) {
  static constexpr std::string_view kLongForms[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ",
                                                    "SV", "UC", "UN", "UR", "UT", "UV"};
  return std::find(std::begin(kLongForms), std::end(kLongForms), vr) != std::end(kLongForms);
}

}  // namespace

DicomWriter DicomWriter::file(std::string_view marker) {
  DicomWriter writer;
  writer.bytes_.assign(128, '\0');
  writer.bytes_ += marker;
  return writer;
}

DicomWriter& DicomWriter::add(std::uint16_t group, std::uint16_t element, std::string_view vr,
                              std::string_view value) {
  return add(group, element, vr, value, static_cast<std::uint32_t>(value.size()));
}

DicomWriter& DicomWriter::add(std::uint16_t group, std::uint16_t element, std::string_view vr,
                              std::string_view value, std::uint32_t length) {
  tag(group, element);
  bytes_.append(vr.substr(0, 2));
  bytes_.append(2 - std::min<std::size_t>(vr.size(), 2), ' ');
  if (takesLongForm(vr)) {
    u16(0);
    u32(length);
  } else {
    u16(static_cast<std::uint16_t>(length));
  }
  bytes_ += value;
  return *this;
}

DicomWriter& DicomWriter::addImplicit(std::uint16_t group, std::uint16_t element,
                                      std::string_view value) {
  return addImplicit(group, element, value, static_cast<std::uint32_t>(value.size()));
}

DicomWriter& DicomWriter::addImplicit(std::uint16_t group, std::uint16_t element,
                                      std::string_view value, std::uint32_t length) {
  tag(group, element);
  u32(length);
  bytes_ += value;
  return *this;
}

DicomWriter& DicomWriter::raw(std::string_view bytes) {
  bytes_ += bytes;
  return *this;
}

DicomWriter& DicomWriter::addMetaGroup(std::string_view transferSyntax, std::string_view sopClass,
                                       std::string_view sopInstance) {
  // A UUID-derived root (2.25), so the files claim no one else's UID space.
  static constexpr std::string_view kImplementationClass =
      "2.25.329800735698586629295641978511506172";
  DicomWriter group;
  group.add(0x0002, 0x0001, "OB", std::string_view("\0\1", 2))
      .add(0x0002, 0x0002, "UI", evenLength(std::string(sopClass), '\0'))
      .add(0x0002, 0x0003, "UI", evenLength(std::string(sopInstance), '\0'))
      .add(0x0002, 0x0010, "UI", evenLength(std::string(transferSyntax), '\0'))
      .add(0x0002, 0x0012, "UI", evenLength(std::string(kImplementationClass), '\0'))
      .add(0x0002, 0x0013, "SH", evenLength("SLICERY_200"));
  add(0x0002, 0x0000, "UL", u32Value(static_cast<std::uint32_t>(group.bytes().size())));
  return raw(group.bytes());
}

void DicomWriter::tag(std::uint16_t group, std::uint16_t element) {
  u16(group);
  u16(element);
}

void DicomWriter::u16(std::uint16_t value) {
  bytes_ += u16Value(value);
}

void DicomWriter::u32(std::uint32_t value) {
  bytes_ += u32Value(value);
}

std::string u16Value(std::uint16_t value) {
  return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

std::string u32Value(std::uint32_t value) {
  return u16Value(static_cast<std::uint16_t>(value & 0xFFFF)) +
         u16Value(static_cast<std::uint16_t>(value >> 16));
}

std::string evenLength(std::string value, char pad) {
  if (value.size() % 2 != 0) value += pad;
  return value;
}

}  // namespace slicery::tools
