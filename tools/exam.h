// Synthetic Siemens-style exam folders for tests, benchmarks and the demo.
// Every file whose name ends in ".ima" (any case) is a DICOM Part 10 image:
// preamble, "DICM", file meta group, then a small MR data set with the
// series' description, series and instance numbers and 16-bit pixel data.
#pragma once

#include <string>
#include <vector>

namespace slicery::tools {

struct ExamOptions {
  int files = 100;                  // .ima files in all, spread over the series
  int series = 5;                   // series numbered 1 .. series
  bool lowerCaseExtension = false;  // every other file ends in "ima"
  bool shortNames = false;          // every third file has the six-piece short form
  bool oddNames = false;            // adds a few names that are not series files
  bool implicitVr = false;          // data sets in Implicit VR Little Endian, else Explicit
  int imageSide = 32;               // rows = columns of the image: 2 KiB of pixel data
  // The pieces every name begins with (patient, modality MR, study) and the
  // date and time in its long names: another exam, another patient's or
  // another day's.
  std::string patient = "ANON";
  std::string study = "HEAD_ROUTINE";
  std::string acquired = "2003.05.27.10.11.12";
};

struct ExamFile {
  std::string name;
  int series = 0;  // 0 for the odd names
  int instance = 0;
  std::string description;  // the series' description, UTF-8 (written as Latin-1)
};

// The files of an exam, in no particular order. Deterministic.
std::vector<ExamFile> planExam(const ExamOptions& options);

// Writes the planned files into `folder`, which must exist. Throws
// std::runtime_error when a file cannot be written.
void writeExam(const std::string& folder, const ExamOptions& options);

// The bytes written for one file.
std::string examFileContents(const ExamFile& file, const ExamOptions& options = {});

}  // namespace slicery::tools
