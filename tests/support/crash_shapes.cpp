#include "support/crash_shapes.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "exam.h"

namespace slicery::testing {
namespace {

// The bytes of the `instance`-th image: its instance number makes them its
// own.
std::string imageBytes(const std::string& name, int instance, const std::string& description) {
  tools::ExamOptions options;
  options.imageSide = 1;
  return tools::examFileContents({name, 1, instance, description}, options);
}

}  // namespace

std::string imaName(const std::string& study, const std::string& series, const std::string& slice,
                    const std::string& tail) {
  return study + ".MR.HEAD." + series + "." + slice + "." + tail + ".IMA";
}

std::vector<CrashShape> crashShapes() {
  std::vector<CrashShape> all;
  {
    // Series 01 and 1 in one folder, ten series in all: 1 becomes 01 and
    // takes the names that the slices of 01 free as they are padded.
    CrashShape s;
    s.name = "FreedNameTakenLater";
    for (int slice = 1; slice <= 10; ++slice) {
      s.images.push_back({imaName("ANON", "01", std::to_string(slice)), "first"});
    }
    s.chain = CrashShape::Chain::freedThenTaken;
    s.images.push_back({imaName("ANON", "1", "1"), "second"});
    s.images.push_back({imaName("ANON", "1", "2"), "second"});
    for (int series = 2; series <= 9; ++series) {
      s.images.push_back({imaName("ANON", std::to_string(series), "1"), "more"});
    }
    all.push_back(s);
  }
  {
    // Two studies share series numbers, one spelling 1 as 01: the pass of
    // 1 pads it to 01, and the pass of 01 then renames those files again.
    CrashShape s;
    s.name = "FileRenamedTwice";
    s.chain = CrashShape::Chain::renamedTwice;
    s.images = {{imaName("ALPHA", "1", "1"), "a"},  {imaName("ALPHA", "1", "2"), "a"},
                {imaName("ALPHA", "2", "1"), "b"},  {imaName("ALPHA", "3", "1"), "c"},
                {imaName("ALPHA", "4", "1"), "d"},  {imaName("ALPHA", "5", "1"), "e"},
                {imaName("BRAVO", "01", "1"), "a"}, {imaName("BRAVO", "01", "3"), "a"},
                {imaName("BRAVO", "2", "1"), "b"},  {imaName("BRAVO", "3", "1"), "c"},
                {imaName("BRAVO", "4", "1"), "d"},  {imaName("BRAVO", "5", "1"), "e"}};
    for (int slice = 4; slice <= 9; ++slice) {
      s.images.push_back({imaName("BRAVO", "01", std::to_string(slice)), "a"});
    }
    all.push_back(s);
  }
  {
    // Short names (-s) that meet: two echoes of one slice give one short
    // name, and a six-piece name of the listing holds another's; each
    // second step is foreseen taken, and the run goes on past it.
    CrashShape s;
    s.name = "ShortNamesCollide";
    s.shortNames = true;
    s.runFails = true;
    s.images = {{imaName("ANON", "1", "1", "0.0.0.0.0.0.1.1"), "a"},
                {imaName("ANON", "1", "1", "0.0.0.0.0.0.1.2"), "a"},
                {imaName("ANON", "1", "2", "0.0.0.0.0.0.2.1"), "a"},
                {imaName("ANON", "2", "1", "0.0.0.0.0.0.3.1"), "b"},
                {imaName("ANON", "2", "2", "0.0.0.0.0.0.4.1"), "b"},
                {"ANON.MR.HEAD.2.2.IMA", "b"},
                {imaName("ANON", "3", "1", "0.0.0.0.0.0.5.1"), "c"}};
    all.push_back(s);
  }
  {
    // Short names (-s) over full and six-piece names, with gaps in the
    // numbers of series and slices.
    CrashShape s;
    s.name = "ShortNamesWithGaps";
    s.shortNames = true;
    s.images = {{imaName("ANON", "2", "1"), "t1"},
                {imaName("ANON", "2", "3"), "t1"},
                {imaName("ANON", "2", "10"), "t1"},
                {"ANON.MR.HEAD.5.1.IMA", "t2"},
                {"ANON.MR.HEAD.5.2.IMA", "t2"},
                {imaName("ANON", "11", "1", "0.0.0.0.0.0.1.11"), "t3"},
                {imaName("ANON", "11", "7", "0.0.0.0.0.0.7.11"), "t3"},
                {imaName("ANON", "11", "12", "0.0.0.0.0.0.12.11"), "t3"}};
    all.push_back(s);
  }
  {
    // Series folders, one of which the user had already, with a file of
    // their own in it.
    CrashShape s;
    s.name = "FoldersOneThereBefore";
    s.folders = true;
    s.userFolders = {"Series_S2"};
    s.userFiles = {"Series_S2/notes.txt"};
    for (int series = 1; series <= 3; ++series) {
      for (int slice = 1; slice <= 3; ++slice) {
        s.images.push_back({imaName("ANON", std::to_string(series), std::to_string(slice)), "d"});
      }
    }
    all.push_back(s);
  }
  {
    // Folders named after their description: one name the user's folder
    // holds already, and a series folder the user had.
    CrashShape s;
    s.name = "DescribeNameTaken";
    s.folders = true;
    s.describe = true;
    s.userFolders = {"t1_Series_S1", "Series_S2"};
    s.runFails = true;  // t1_Series_S1 is taken
    s.userFiles = {"t1_Series_S1/mine.txt", "Series_S2/notes.txt"};
    for (int series = 1; series <= 3; ++series) {
      for (int slice = 1; slice <= 2; ++slice) {
        std::string description = "t";
        description += std::to_string(series);
        s.images.push_back(
            {imaName("ANON", std::to_string(series), std::to_string(slice)), description});
      }
    }
    all.push_back(s);
  }
  {
    // A file the disk refuses to rename, in the middle of a series.
    CrashShape s;
    s.name = "StepFails";
    s.folders = true;
    s.folderWord = "Scan";
    for (int series = 1; series <= 2; ++series) {
      for (int slice = 1; slice <= 4; ++slice) {
        s.images.push_back({imaName("ANON", std::to_string(series), std::to_string(slice)), "d"});
      }
    }
    s.refused = {imaName("ANON", "1", "2")};
    s.runFails = true;
    all.push_back(s);
  }
  return all;
}

void buildShape(const CrashShape& shape, MemoryFileSystem& disk, const std::string& folder) {
  disk.addFolder(folder);
  int instance = 0;
  for (const auto& [name, description] : shape.images) {
    disk.addFile(platform::joinPath(folder, name), imageBytes(name, ++instance, description));
  }
  for (const std::string& f : shape.userFolders) disk.addFolder(platform::joinPath(folder, f));
  for (const std::string& file : shape.userFiles) {
    disk.addFile(platform::joinPath(folder, file), "the user's own " + file);
  }
  for (const std::string& name : shape.refused) {
    disk.failOn(MemoryFileSystem::Op::renameFile, platform::joinPath(folder, name));
  }
}

void writeShape(const CrashShape& shape, const std::string& folder) {
  const auto write = [](const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
  };
  std::filesystem::create_directories(folder);
  int instance = 0;
  for (const auto& [name, description] : shape.images) {
    write(folder + "/" + name, imageBytes(name, ++instance, description));
  }
  for (const std::string& f : shape.userFolders)
    std::filesystem::create_directories(folder + "/" + f);
  for (const std::string& file : shape.userFiles)
    write(folder + "/" + file, "the user's own " + file);
}

}  // namespace slicery::testing
