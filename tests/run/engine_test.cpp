// The engine on its own: a plan performed on a folder it is given, stopped
// between two files when the observer asks, and undone from what the journal
// holds, with no window behind it.
#include "run/engine.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "run/finish.h"
#include "support/memory_file_system.h"

namespace slicery::run {
namespace {

using platform::PathKind;

std::string imaName(const std::string& series, const std::string& slice) {
  return "PAT.MR.HEAD." + series + "." + slice + ".2026.12.08.10.00.00.1.1.IMA";
}

// Records what the engine tells, and asks to stop after `stopAfter` files.
class Recorder : public Observer, public UndoObserver {
 public:
  explicit Recorder(int stopAfter = -1) : stopAfter_(stopAfter) {}
  void seriesBegins(const rename::PlannedSeries&, const std::string&, bool) override {}
  void fileBegins(const rename::PlannedSeries&, const rename::PlannedFile&, const std::string&,
                  const std::string&) override {}
  void fileRenamed(const rename::PlannedFile&, const std::string& from,
                   const std::string& to) override {
    renamed[from] = to;
  }
  void fileEnds(const rename::PlannedFile&) override { ++ended; }
  void failed(RunFailure failure) override { failures.push_back(failure.reason); }
  bool stopWanted() override { return ended == stopAfter_; }
  void undoBegins(int) override {}
  void undoSeriesBegins(const rename::PlannedSeries&, int) override {}
  void undoStepBegins(const rename::PlannedFile&) override {}
  void filePutBack(const std::string&, const std::string&) override { ++putBack; }
  void folderPutBack(const std::string&, const std::string&) override {}
  bool undoStopWanted() override { return false; }

  std::map<std::string, std::string> renamed;
  std::vector<std::string> failures;
  int ended = 0;
  int putBack = 0;

 private:
  int stopAfter_;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.addFolder("/exam");
    // Series "01" and "1" share a name once padded, and slice 10 sorts
    // before slice 2 until padded.
    for (const char* series : {"01", "1", "2"}) {
      for (const char* slice : {"1", "2", "10"}) fs.addFile("/exam/" + imaName(series, slice));
    }
  }

  // The plan of the folder as it stands, with series folders when `folders`.
  journal::Contents inputs(bool folders) {
    platform::FileSystem::Entries entries;
    EXPECT_TRUE(fs.listEntries("/exam", entries));
    journal::Contents contents;
    contents.header.listing.index.assign(entries);
    contents.header.options.folders = folders;
    contents.header.options.folderBaseName = "Series";
    contents.header.options.seriesCount = 3;
    contents.header.options.list1 = {"01", "1", "2"};
    return contents;
  }

  Target target(platform::OpenFolder* open, scan::SeriesIndex* listing) {
    Target t;
    t.fs = &fs;
    t.folder = "/exam";
    t.open = open;
    t.listing = listing;
    return t;
  }

  testing::MemoryFileSystem fs;
};

// Stopped after four files, the engine has renamed exactly those it told,
// replaced nothing where two series meet one name, keeps its listing as the
// disk stands, and an undo puts back every one.
TEST_F(EngineTest, AStoppedRunIsExactlyWhatItToldAndIsUndoneWhole) {
  for (const bool folders : {false, true}) {
    SCOPED_TRACE(folders ? "folders" : "in place");
    const auto before = fs.entriesUnder("/exam");
    journal::Contents contents = inputs(folders);
    const rename::Plan plan = rename::makePlan(contents.header.listing, contents.header.options);
    scan::SeriesIndex listing = contents.header.listing.index;
    const auto open = fs.openFolder("/exam");
    Recorder recorder(4);
    perform(plan, target(open.get(), &listing), recorder);
    EXPECT_EQ(recorder.ended, 4);
    // "1.1" meets the name "01.1" took: refused, and nothing is replaced.
    EXPECT_FALSE(recorder.failures.empty());
    EXPECT_EQ(fs.filesUnder("/exam").size(), 9u);
    for (const auto& [from, to] : recorder.renamed) {
      EXPECT_FALSE(fs.exists(from)) << from;
      EXPECT_TRUE(fs.exists(to)) << to;
    }
    if (!folders) {
      for (const std::string_view name : listing.names()) {
        EXPECT_TRUE(fs.exists("/exam/" + std::string(name))) << name;
      }
    }

    Recorder undoing;
    const Undone undone =
        undo(plan, contents.header.listing.index, contents, target(open.get(), nullptr), undoing);
    EXPECT_TRUE(undone.failures.empty()) << undone.failures.front().reason;
    EXPECT_EQ(undone.putBack, static_cast<int>(recorder.renamed.size()));
    EXPECT_EQ(fs.entriesUnder("/exam"), before);
  }
}

// A dry run changes nothing and foresees the step whose name is taken; the
// real run then fails that step alone and goes on with the rest.
TEST_F(EngineTest, ADryRunForeseesWhatTheRunThenMeets) {
  fs.addFile("/exam/" + imaName("02", "01"), "a file under a name the run gives");
  journal::Contents contents = inputs(false);
  contents.header.options.list1 = {"01", "1", "2", "02"};
  contents.header.options.seriesCount = 4;
  const rename::Plan plan = rename::makePlan(contents.header.listing, contents.header.options);
  const auto before = fs.filesUnder("/exam");
  Recorder dry;
  perform(plan, target(nullptr, nullptr), dry);
  EXPECT_EQ(fs.filesUnder("/exam"), before);
  ASSERT_FALSE(dry.failures.empty());

  const auto open = fs.openFolder("/exam");
  scan::SeriesIndex listing = contents.header.listing.index;
  Recorder real;
  perform(plan, target(open.get(), &listing), real);
  EXPECT_EQ(real.failures, dry.failures);
  EXPECT_EQ(fs.contents("/exam/" + imaName("02", "01")), "a file under a name the run gives");
  EXPECT_FALSE(real.renamed.empty());
}

}  // namespace
}  // namespace slicery::run
