// make-exam: writes a synthetic Siemens-style exam folder of DICOM files.
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "exam.h"

namespace {

const char* const kUsage =
    "usage: make-exam [--files N] [--series S] [--lower] [--short] [--odd]\n"
    "                 [--implicit] [--image-side N] FOLDER\n"
    "Writes N .ima files in S series (default 100 in 5) into FOLDER, which is\n"
    "made when missing and must otherwise be empty. Each .ima file is a DICOM\n"
    "file with its series' description, series and instance numbers and a\n"
    "16-bit image.\n"
    "  --lower         every other name ends in lower-case 'ima'\n"
    "  --short         every third name has the six-piece short form\n"
    "  --odd           adds a few names that belong to no series\n"
    "  --implicit      data sets in Implicit VR Little Endian (default Explicit)\n"
    "  --image-side N  images of N x N pixels (default 32, 2 KiB of pixel data)\n";

int parseCount(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > 10'000'000) {
    throw std::invalid_argument(std::string("not a count: ") + text);
  }
  return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
  slicery::tools::ExamOptions options;
  std::string folder;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if ((arg == "--files" || arg == "--series") && i + 1 < argc) {
        (arg == "--files" ? options.files : options.series) = parseCount(argv[++i]);
      } else if (arg == "--image-side" && i + 1 < argc) {
        options.imageSide = parseCount(argv[++i]);
        if (options.imageSide > 4096) throw std::invalid_argument("--image-side is at most 4096");
      } else if (arg == "--implicit") {
        options.implicitVr = true;
      } else if (arg == "--lower") {
        options.lowerCaseExtension = true;
      } else if (arg == "--short") {
        options.shortNames = true;
      } else if (arg == "--odd") {
        options.oddNames = true;
      } else if (arg == "--help" || arg == "-h") {
        std::cout << kUsage;
        return 0;
      } else if (!arg.empty() && arg[0] != '-' && folder.empty()) {
        folder = arg;
      } else {
        throw std::invalid_argument("unexpected argument: " + arg);
      }
    }
    if (folder.empty()) throw std::invalid_argument("no FOLDER given");
    if (options.series < 1) throw std::invalid_argument("--series must be at least 1");
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    if (!fs::is_empty(folder)) throw std::invalid_argument(folder + " is not empty");
    slicery::tools::writeExam(folder, options);
  } catch (const std::invalid_argument& e) {
    std::cerr << "make-exam: " << e.what() << "\n" << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "make-exam: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
