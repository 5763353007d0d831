// A folder's facts: a run whose journal cannot be kept never begins, and an
// undo whose journal cannot be read changes nothing, with journals kept in
// memory where any read or flush can fail.
#include "run/facts.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "support/memory_file_system.h"

namespace slicery::run {
namespace {

class Quiet : public Observer, public UndoObserver {
 public:
  void seriesBegins(const rename::PlannedSeries&, const std::string&, bool) override {}
  void fileBegins(const rename::PlannedSeries&, const rename::PlannedFile&, const std::string&,
                  const std::string&) override {}
  void fileRenamed(const rename::PlannedFile&, const std::string&, const std::string&) override {}
  void fileEnds(const rename::PlannedFile&) override {}
  void failed(RunFailure) override {}
  bool stopWanted() override { return false; }
  void undoBegins(int) override {}
  void undoSeriesBegins(const rename::PlannedSeries&, int) override {}
  void undoStepBegins(const rename::PlannedFile&) override {}
  void filePutBack(const std::string&, const std::string&) override {}
  void folderPutBack(const std::string&, const std::string&) override {}
  bool undoStopWanted() override { return false; }
};

class FactsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.addFolder("/exam");
    for (const char* slice : {"1", "2", "10"}) {
      fs.addFile(std::string("/exam/PAT.MR.HEAD.1.") + slice + ".2026.12.08.IMA", slice);
    }
    platform::FileSystem::Entries entries;
    ASSERT_TRUE(fs.listEntries("/exam", entries));
    listing.index.assign(entries);
    options.folders = true;
    options.folderBaseName = "Series";
    options.seriesCount = 1;
    options.list1 = {"1"};
    before = fs.entriesUnder("/exam");
  }

  testing::MemoryFileSystem fs;
  journal::MemoryStore journals;
  rename::Listing listing;
  rename::PlanOptions options;
  std::map<std::string, platform::PathKind> before;
  Quiet quiet;
};

TEST_F(FactsTest, ARunWhoseJournalCannotBeFlushedNeverBeginsAndLeavesNoJournal) {
  Facts facts(fs, journals);
  journals.failFlushes = true;
  const rename::Plan plan = rename::makePlan(listing, options);
  journal::LastRun refusal;
  std::unique_ptr<journal::Writer> journal;
  EXPECT_FALSE(facts.beginRun("/exam", listing, plan, refusal, journal));
  EXPECT_EQ(refusal.state, journal::LastRun::State::noJournal);
  EXPECT_NE(refusal.why.find("Input/output error"), std::string::npos) << refusal.why;
  EXPECT_EQ(journal, nullptr);
  EXPECT_FALSE(facts.locked());
  EXPECT_TRUE(journals.files.empty());  // nothing left aside
  EXPECT_EQ(facts.lastRun("/exam", listing).state, journal::LastRun::State::none);
}

TEST_F(FactsTest, AnUndoWhoseJournalCannotBeReadChangesNothingAndTheNextPutsAllBack) {
  Facts facts(fs, journals);
  const rename::Plan plan = rename::makePlan(listing, options);
  journal::LastRun refusal;
  std::unique_ptr<journal::Writer> journal;
  ASSERT_TRUE(facts.beginRun("/exam", listing, plan, refusal, journal));
  const auto open = fs.openFolder("/exam");
  Target target;
  target.fs = &fs;
  target.folder = "/exam";
  target.open = open.get();
  target.journal = journal.get();
  ASSERT_TRUE(perform(plan, target, quiet).changed);
  ASSERT_TRUE(closeJournal(*journal, true, true));
  journal.reset();
  facts.release();
  const auto done = fs.entriesUnder("/exam");
  ASSERT_NE(done, before);

  journals.failReads = 1;
  Undone undone;
  EXPECT_FALSE(facts.undoLastRun("/exam", listing, quiet, undone));
  EXPECT_EQ(fs.entriesUnder("/exam"), done);
  facts.release();

  journals.failReads = 0;
  ASSERT_TRUE(facts.undoLastRun("/exam", listing, quiet, undone));
  EXPECT_TRUE(undone.failures.empty());
  EXPECT_EQ(undone.putBack, 3);
  EXPECT_EQ(fs.entriesUnder("/exam"), before);
  EXPECT_TRUE(journals.files.empty());
}

}  // namespace
}  // namespace slicery::run
