// Exams: the folders of a tree that a batch works on one by one, found from
// the listings alone. A folder is an exam when its files include an .ima
// file of a series (a name with a fourth piece), as the census counts them.
// A series folder that a run made (every .ima file in it of the one series
// its name ends in, rename::namesSeriesFolder) is an exam's result: it is
// neither an exam nor searched. Links to folders are not followed, hidden
// folders are left out as a listing leaves them, and no file is opened.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/status.h"

namespace slicery::run {

struct FoundFolder {
  std::string path;
  // Its files include an .ima file of a series: a run would rename them.
  bool exam = false;
  // It holds a series folder a run made: the result of an earlier run,
  // whose journal a finish, an undo or a forget looks for.
  bool holdsSeriesFolders = false;
  // Its .ima files, as listed.
  size_t files = 0;
};

struct ExamSearch {
  // The exams and the folders holding a run's series folders, at or below
  // the root, in listing order: a folder before the folders in it, the
  // folders in one folder sorted as a listing sorts names.
  std::vector<FoundFolder> folders;
  // The folders below the root that could not be listed, each with why.
  std::vector<platform::Status> unreadable;
};

// Searches the tree at `root`, a folder. Fails, finding nothing, when the
// root itself cannot be listed. `progress`, where given, is told the number
// of folders listed so far after each listing, so a long search can show
// that it works.
platform::Status findExams(platform::FileSystem& fs, const std::string& root, ExamSearch& found,
                           const std::function<void(size_t searched)>& progress = {});

// Whether `folder` itself is an exam, from its own listing alone: nothing
// below it is listed. Fails when it cannot be listed.
platform::Status isExam(platform::FileSystem& fs, const std::string& folder, bool& exam);

}  // namespace slicery::run
