// Small crafted folders for the tests that kill a run, its finish and its
// undo at every step: each holds one of the shapes that make finishing or
// undoing hard (a name freed by one step and taken by a later one, a file
// renamed twice, short names, series folders the user had, a description's
// folder name the user holds, a step the disk refuses), with the options of
// its run. Every image's bytes are its own, so a tree tells where each went.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/memory_file_system.h"

namespace slicery::testing {

struct CrashShape {
  std::string name;
  // The .ima files, each with its series' description; every file's bytes
  // are its own.
  std::vector<std::pair<std::string, std::string>> images;
  // What the user had in the folder besides: folders, and files in them.
  std::vector<std::string> userFolders;
  std::vector<std::string> userFiles;
  // The run's options.
  bool shortNames = false;
  bool folders = false;
  bool describe = false;
  std::string folderWord;
  // Files the disk refuses to rename.
  std::vector<std::string> refused;
  // What makes the folder hard, checked on its uninterrupted run.
  enum class Chain { none, freedThenTaken, renamedTwice } chain = Chain::none;
  bool runFails = false;  // the uninterrupted run reports a failure
};

// A full Siemens name: series and slice in pieces four and five.
std::string imaName(const std::string& study, const std::string& series, const std::string& slice,
                    const std::string& tail = "0.0.0.0.0.0.0.0");

std::vector<CrashShape> crashShapes();

// The folder of `shape` at `folder`: in memory (its refused files refused
// there too), or on disk (the refused files are the test's to refuse).
void buildShape(const CrashShape& shape, MemoryFileSystem& disk, const std::string& folder);
void writeShape(const CrashShape& shape, const std::string& folder);

}  // namespace slicery::testing
