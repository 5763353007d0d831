#include "exam.h"

#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string_view>

#include "dicom_writer.h"

namespace slicery::tools {
namespace {

const char* const kDescriptions[] = {
    "localizer",       "t1_se_tra",         "SAG T2 FSE",        "t2_tse_cor",
    "ep2d_diff_3scan", "t1_mprage_sag",     "FLAIR tra",         "swi_tra",
    "pd_tse_fs",       "tof_3d_multi-slab", "T2 \u00DCbersicht",
};
// A UUID-derived root (2.25), so the files claim no one else's UID space.
constexpr std::string_view kUidRoot = "2.25.2718281828459045235360287471352662";

std::string namePrefix(const ExamOptions& options) {
  return options.patient + ".MR." + options.study + ".";
}

std::string fourteenPieceName(const ExamOptions& options, int series, int instance,
                              const char* extension) {
  return namePrefix(options) + std::to_string(series) + "." + std::to_string(instance) + "." +
         options.acquired + "." + std::to_string(100000 + instance) + "." +
         std::to_string(1000000 + series) + "." + extension;
}

bool endsWithIma(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return tail == ".ima";
}

// UTF-8 to Latin-1 for the characters U+0000 to U+00FF; others become '?'.
std::string latin1(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
      out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    } else if ((c & 0xC0) != 0x80) {
      out += '?';
    }
  }
  return out;
}

std::string pixelData(int side, int instance) {
  std::string pixels(static_cast<std::size_t>(side) * side * 2, '\0');
  std::size_t at = 0;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const int value = (x * 7 + y * 13 + instance * 31) & 0x0FFF;
      pixels[at++] = static_cast<char>(value & 0xFF);
      pixels[at++] = static_cast<char>(value >> 8);
    }
  }
  return pixels;
}

std::string dicomImage(const ExamFile& file, const ExamOptions& options) {
  const std::string series = std::to_string(file.series);
  const std::string instance = std::to_string(file.instance);
  const std::string study = std::string(kUidRoot) + ".1";
  const std::string seriesUid = study + "." + series;
  const std::string sopInstance = seriesUid + "." + instance;
  const int side = options.imageSide < 0 ? 0 : options.imageSide;

  DicomWriter image = DicomWriter::file().addMetaGroup(
      options.implicitVr ? kImplicitVrLittleEndian : kExplicitVrLittleEndian, kMrImageStorage,
      sopInstance);
  const auto add = [&](std::uint16_t group, std::uint16_t element, const char* vr,
                       const std::string& value) {
    if (options.implicitVr) {
      image.addImplicit(group, element, value);
    } else {
      image.add(group, element, vr, value);
    }
  };
  const auto uid = [](const std::string& text) { return evenLength(text, '\0'); };
  add(0x0008, 0x0005, "CS", "ISO_IR 100");
  add(0x0008, 0x0008, "CS", "ORIGINAL\\PRIMARY\\M\\ND ");
  add(0x0008, 0x0016, "UI", uid(std::string(kMrImageStorage)));
  add(0x0008, 0x0018, "UI", uid(sopInstance));
  add(0x0008, 0x0020, "DA", "20030527");
  add(0x0008, 0x0030, "TM", "101112");
  add(0x0008, 0x0060, "CS", "MR");
  add(0x0008, 0x0070, "LO", "SIEMENS ");
  add(0x0008, 0x103E, "LO", evenLength(latin1(file.description)));
  add(0x0010, 0x0010, "PN", evenLength(options.patient));
  add(0x0010, 0x0020, "LO", "00000001");
  add(0x0020, 0x000D, "UI", uid(study));
  add(0x0020, 0x000E, "UI", uid(seriesUid));
  add(0x0020, 0x0011, "IS", evenLength(series));
  add(0x0020, 0x0013, "IS", evenLength(instance));
  add(0x0028, 0x0002, "US", u16Value(1));
  add(0x0028, 0x0004, "CS", "MONOCHROME2 ");
  add(0x0028, 0x0010, "US", u16Value(static_cast<std::uint16_t>(side)));
  add(0x0028, 0x0011, "US", u16Value(static_cast<std::uint16_t>(side)));
  add(0x0028, 0x0100, "US", u16Value(16));
  add(0x0028, 0x0101, "US", u16Value(12));
  add(0x0028, 0x0102, "US", u16Value(11));
  add(0x0028, 0x0103, "US", u16Value(0));
  add(0x7FE0, 0x0010, "OW", pixelData(side, file.instance));
  return image.bytes();
}

}  // namespace

std::vector<ExamFile> planExam(const ExamOptions& options) {
  std::vector<ExamFile> files;
  const int series = options.series < 1 ? 1 : options.series;
  const int perSeries = options.files / series;
  const int extra = options.files % series;
  int counter = 0;
  for (int s = 1; s <= series; ++s) {
    const int count = perSeries + (s <= extra ? 1 : 0);
    const std::string description = kDescriptions[(s - 1) % std::size(kDescriptions)];
    for (int i = 1; i <= count; ++i, ++counter) {
      const char* extension = options.lowerCaseExtension && counter % 2 == 1 ? "ima" : "IMA";
      std::string name;
      if (options.shortNames && counter % 3 == 2) {
        name = namePrefix(options) + std::to_string(s) + "." + std::to_string(i) + "." + extension;
      } else {
        name = fourteenPieceName(options, s, i, extension);
      }
      files.push_back({std::move(name), s, i, description});
    }
  }
  if (options.oddNames) {
    for (const char* odd : {"notes.txt", "SCOUT.IMA", "ANON.MR.HEAD_ROUTINE..1.IMA",
                            ".ANON.MR.HEAD_ROUTINE.1.1.IMA", "ANON.MR.HEAD_ROUTINE.0.1.IMA"}) {
      files.push_back({odd, 0, 0, "odd"});
    }
  }
  return files;
}

std::string examFileContents(const ExamFile& file, const ExamOptions& options) {
  if (endsWithIma(file.name)) return dicomImage(file, options);
  return "series " + std::to_string(file.series) + " image " + std::to_string(file.instance) + " " +
         file.description + "\n";
}

void writeExam(const std::string& folder, const ExamOptions& options) {
  for (const ExamFile& file : planExam(options)) {
    const std::string path = folder + "/" + file.name;
    std::ofstream out(path, std::ios::binary);
    out << examFileContents(file, options);
    if (!out) throw std::runtime_error("cannot write " + path);
  }
}

}  // namespace slicery::tools
