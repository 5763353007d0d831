#include "exam.h"

#include <fstream>
#include <stdexcept>

namespace slicery::tools {
namespace {

const char* const kDescriptions[] = {
    "localizer",     "t1_se_tra", "SAG T2 FSE", "t2_tse_cor", "ep2d_diff_3scan",
    "t1_mprage_sag", "FLAIR tra", "swi_tra",    "pd_tse_fs",  "tof_3d_multi-slab",
};

std::string fourteenPieceName(int series, int instance, const char* extension) {
  return "ANON.MR.HEAD_ROUTINE." + std::to_string(series) + "." + std::to_string(instance) +
         ".2003.05.27.10.11.12." + std::to_string(100000 + instance) + "." +
         std::to_string(1000000 + series) + "." + extension;
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
        name =
            "ANON.MR.HEAD_ROUTINE." + std::to_string(s) + "." + std::to_string(i) + "." + extension;
      } else {
        name = fourteenPieceName(s, i, extension);
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

std::string examFileContents(const ExamFile& file) {
  return "series " + std::to_string(file.series) + " image " + std::to_string(file.instance) + " " +
         file.description + "\n";
}

void writeExam(const std::string& folder, const ExamOptions& options) {
  for (const ExamFile& file : planExam(options)) {
    const std::string path = folder + "/" + file.name;
    std::ofstream out(path, std::ios::binary);
    out << examFileContents(file);
    if (!out) throw std::runtime_error("cannot write " + path);
  }
}

}  // namespace slicery::tools
