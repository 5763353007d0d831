// The journal file: what determines a run reads back whole, however many
// names; a byte changed anywhere is caught, and a salvaging read keeps what
// stands before it; a write or a flush that fails is told, not lost.
#include "journal/journal.h"
#include "journal/last_run.h"
#include "journal/store.h"
#include "journal/writer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/journal_files.h"
#include "platform/record_log.h"
#include "support/temp_folder.h"

namespace slicery::journal {
namespace {

using namespace platform;

// A header of 20,000 names, every third a link; `names` gets them as listed.
Header sampleHeader(FileSystem::Entries& names) {
  Header header;
  header.folder = "/exam";
  header.options.folders = true;
  header.options.folderBaseName = "Series";
  header.options.seriesCount = 2;
  header.options.list1 = {"1", "2"};
  header.options.nameLimit = 143;
  header.options.foldsCase = !kNamesIgnoreCase;
  header.listing.others = {{"Series_S1", PathKind::folder}, {"DICOMDIR", PathKind::file}};
  for (int i = 0; i < 20000; ++i) {
    names.emplace_back("PAT.MR.HEAD." + std::to_string(i % 2 + 1) + "." + std::to_string(i) +
                           ".2026.12.07.10.00.00.123456." + std::to_string(i * 7919) + ".IMA",
                       i % 3 == 0 ? PathKind::link : PathKind::file);
  }
  header.listing.index.assign(names);
  return header;
}

// The names of `listing` as listed, each with its kind.
FileSystem::Entries namesOf(const rename::Listing& listing) {
  std::vector<std::string_view> names;
  std::vector<bool> links;
  listing.index.listing(names, links);
  FileSystem::Entries entries;
  for (std::size_t i = 0; i < names.size(); ++i) {
    entries.emplace_back(names[i], links[i] ? PathKind::link : PathKind::file);
  }
  return entries;
}

// One folder has one journal (and one stand-in lock), whatever way it is
// reached: a link to it, "." and ".." in the path, a trailing separator.
TEST(JournalLocation, EverySpellingOfAFolderHasOneJournal) {
  testing::TempFolder dir;
  const std::filesystem::path real = std::filesystem::path(dir.path()) / "exam";
  const std::filesystem::path link = std::filesystem::path(dir.path()) / "link";
  std::filesystem::create_directory(real);
  std::filesystem::create_directory_symlink(real, link);
  std::string byReal;
  ASSERT_TRUE(journalPathFor(real.string(), byReal));
  for (const std::string& spelling :
       {link.string(), link.string() + "/", (real / ".." / "exam" / ".").string()}) {
    std::string file;
    ASSERT_TRUE(journalPathFor(spelling, file));
    EXPECT_EQ(file, byReal) << spelling;
  }
}

// Anything at a journal's name that is no regular file is told and never
// waited on (a FIFO would hold an open for reading forever); what dead
// writers left aside goes, and so does anything left aside for a month; a
// state path that is no folder is told as such.
TEST(JournalLocation, WhatIsNoJournalIsToldNotOpenedAndLeftoversGo) {
  testing::TempFolder dir;
  ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
  const std::string state = dir / "state/slicery";
  std::filesystem::create_directories(state + "/folder.journal");
  ASSERT_EQ(::mkfifo((state + "/fifo.journal").c_str(), 0600), 0);
  std::string own;
  ASSERT_TRUE(journalPathFor(dir.path(), own));
  ASSERT_EQ(::mkfifo(own.c_str(), 0600), 0);
  std::string why;
  EXPECT_EQ(fileStore().state(own, &why), State::damaged);
  EXPECT_NE(why.find(kNotRegular), std::string::npos) << why;
  EXPECT_TRUE(listJournals().empty());

  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const std::string deadWriter = own + ".new." + std::to_string(dead);
  const std::string oldAside = state + "/other.journal.new.1";
  const std::string liveWriter = state + "/third.journal.new.1";
  for (const std::string& file : {deadWriter, oldAside, liveWriter}) std::ofstream(file) << "x";
  std::filesystem::last_write_time(
      oldAside, std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 40));
  const std::vector<Status> told = tidy(std::chrono::hours(24 * 30));
  EXPECT_EQ(told.size(), 3u);  // the two FIFOs and the folder
  for (const Status& status : told) EXPECT_EQ(status.reason(), kNotRegular) << status.toString();
  EXPECT_FALSE(std::filesystem::exists(deadWriter));
  EXPECT_FALSE(std::filesystem::exists(oldAside));
  EXPECT_TRUE(std::filesystem::exists(liveWriter));

  std::filesystem::remove_all(state);
  std::ofstream(state) << "a file where the state folder belongs";
  const Status where = journalPathFor(dir.path(), own);
  EXPECT_FALSE(where);
  EXPECT_NE(where.reason().find(state + " is not a folder"), std::string::npos) << where.reason();
  ::unsetenv("XDG_STATE_HOME");
}

TEST(JournalFileTest, WhatDeterminesARunReadsBackWholeAndAChangedByteIsCaught) {
  MemoryStore store;
  FileSystem::Entries names;
  Header header = sampleHeader(names);
  header.options.sortableWidths = false;
  const std::string file = "/journals/exam.journal";
  {
    std::unique_ptr<Writer> writer;
    ASSERT_TRUE(store.create(file, header, writer));
    ASSERT_TRUE(
        writer->intent(Intent::Kind::placeholder, names[0].first, "Series_S1/x.IMA", false));
    ASSERT_TRUE(writer->pass({1, 9999, {3, 7}}));
    ASSERT_TRUE(writer->finish());
  }
  Contents read;
  ASSERT_TRUE(store.read(file, read));
  EXPECT_EQ(namesOf(read.header.listing), namesOf(header.listing));
  EXPECT_EQ(namesOf(read.header.listing).size(), names.size());
  EXPECT_EQ(read.header.listing.others, header.listing.others);
  EXPECT_EQ(read.header.options.list1, header.options.list1);
  EXPECT_EQ(read.header.options.nameLimit, 143);
  EXPECT_EQ(read.header.options.foldsCase, !kNamesIgnoreCase);
  EXPECT_TRUE(read.header.options.folders);
  EXPECT_FALSE(read.header.options.sortableWidths);
  ASSERT_EQ(read.intents.size(), 1u);
  EXPECT_EQ(read.intents[0].to, "Series_S1/x.IMA");
  ASSERT_EQ(read.passes.size(), 1u);
  EXPECT_EQ(read.passes[0].failed, (std::vector<std::uint32_t>{3, 7}));
  EXPECT_TRUE(read.finished);
  EXPECT_EQ(store.state(file), State::finished);

  // A byte of the pass record, with the end record after it: damaged, but
  // a salvaging read still has the header and the intent before it.
  std::string& bytes = store.files.at(file);
  bytes[bytes.size() - 12] = '#';
  EXPECT_FALSE(store.read(file, read));
  ASSERT_TRUE(store.read(file, read, true));
  EXPECT_FALSE(read.damage.empty());
  EXPECT_EQ(read.header.listing.index.names().size(), names.size());
  EXPECT_EQ(read.intents.size(), 1u);
  EXPECT_FALSE(read.finished);
}

// A journal that cannot be read is never taken for no journal: the run it
// tells of may be unfinished, and a new run would replace it.
TEST(JournalFileTest, AJournalThatCannotBeReadStopsANewRunAndSaysWhy) {
  MemoryStore store;
  FileSystem::Entries names;
  Header header = sampleHeader(names);
  std::string file;
  std::string key;
  ASSERT_TRUE(store.locate("/exam", file, key));
  {
    std::unique_ptr<Writer> writer;
    ASSERT_TRUE(store.create(file, header, writer));
    ASSERT_TRUE(writer->pass({1, 3, {}}));
  }
  store.failReads = 1;
  const LastRun last = findLastRun(store, "/exam", header.listing.index, {});
  EXPECT_EQ(last.state, LastRun::State::damaged);
  EXPECT_FALSE(last.allowsRun());
  EXPECT_NE(last.why.find("Input/output error"), std::string::npos) << last.why;
  store.failReads = 0;
  EXPECT_EQ(findLastRun(store, "/exam", header.listing.index, {}).state,
            LastRun::State::unfinished);
}

TEST(JournalFileTest, AFailedWriteOrFlushIsToldAndLeavesTheJournalBeforeInPlace) {
  MemoryStore store;
  const std::string file = "/journals/exam.journal";
  store.files[file] = "the journal of the run before";
  FileSystem::Entries names;
  const Header header = sampleHeader(names);
  for (const auto& [failWrite, failFlushes] : {std::pair{1, false}, std::pair{0, true}}) {
    store.failWrite = failWrite;
    store.failFlushes = failFlushes;
    std::unique_ptr<Writer> writer;
    const Status failed = store.create(file, header, writer);
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.path(), file);  // not the file written aside, which is gone
    EXPECT_EQ(writer, nullptr);
    EXPECT_EQ(store.files,
              (std::map<std::string, std::string>{{file, "the journal of the run before"}}));
  }
  // A write after the header fails as it happens.
  store.failFlushes = false;
  store.failWrite = 2;
  std::unique_ptr<Writer> writer;
  ASSERT_TRUE(store.create(file, header, writer));
  const Status failed =
      writer->intent(Intent::Kind::folderRenaming, "Series_S1", "T1_Series_S1", true);
  EXPECT_FALSE(failed);
  EXPECT_EQ(failed.path(), file);  // the journal that stays, to finish or undo from
}

// A batch writes the journals of the exams it makes ready aside, and puts
// them in place together before any exam takes a step. Until then each
// folder's last run is the run before; a flush that fails places no journal
// and leaves no file aside.
TEST(JournalFileTest, JournalsWrittenAsideTakeNoPlaceUntilPlacedTogether) {
  FileSystem::Entries names;
  const Header header = sampleHeader(names);
  const std::string before = "/journals/a.journal", fresh = "/journals/b.journal";
  for (const bool flushFails : {true, false}) {
    MemoryStore store;
    store.files[before] = "the run before";
    store.failFlushes = flushFails;
    std::unique_ptr<Writer> a, b;
    ASSERT_TRUE(Writer::writeAside(store, before, header, a));
    ASSERT_TRUE(Writer::writeAside(store, fresh, header, b));
    EXPECT_EQ(store.files.at(before), "the run before");
    EXPECT_EQ(store.files.count(fresh), 0u);
    EXPECT_FALSE(a->placed());

    const std::vector<Status> placed = Writer::placeTogether({a.get(), b.get()});
    ASSERT_EQ(placed.size(), 2u);
    if (flushFails) {
      EXPECT_FALSE(placed[0]);
      EXPECT_EQ(placed[1].path(), fresh);
      EXPECT_FALSE(a->placed() || b->placed());
      EXPECT_EQ(store.files, (std::map<std::string, std::string>{{before, "the run before"}}));
      continue;
    }
    EXPECT_TRUE(placed[0] && placed[1]);
    EXPECT_TRUE(a->placed() && b->placed());
    EXPECT_EQ(store.files.at(before + kPreviousJournalSuffix), "the run before");
    for (const std::string& file : {before, fresh}) {
      Contents contents;
      ASSERT_TRUE(store.read(file, contents)) << file;
      EXPECT_TRUE(namesOf(contents.header.listing) == namesOf(header.listing)) << file;
    }
    EXPECT_EQ(store.files.size(), 3u);
  }
}

// A journal of version 4 says which widths its plan took and whether its
// folder folds letter case; one of version 3 took the counts' digits alone
// and compared names as this platform does; versions 2 and 5 are refused,
// saying so.
TEST(JournalFileTest, EachVersionIsReadWithItsOwnWidthsOrRefused) {
  testing::TempFolder dir;
  const std::string file = dir / "exam.journal";
  for (const std::uint32_t version : {2U, 3U, 4U, 5U}) {
    RecordBuilder b;
    b.begin(1);
    b.u32(version);
    b.str("/exam");
    if (version == 4) b.u32(0);  // no studies
    for (int i = 0; i < (version == 4 ? 4 : 3); ++i) b.u8(1);
    b.str("Series");
    b.u32(1);
    b.strs({"1"});
    b.u32(255);
    if (version == 4) b.u8(kNamesIgnoreCase ? 0 : 1);  // the other way than the platform's
    b.u32(0);                                          // no names, no link bits
    b.u32(0);                                          // no other entries
    b.seal();
    std::ofstream(file, std::ios::binary | std::ios::trunc) << b.buffer();
    Contents read;
    const Status status = fileStore().read(file, read);
    if (version == 3 || version == 4) {
      ASSERT_TRUE(status) << status.toString();
      EXPECT_EQ(read.header.options.sortableWidths, version == 4);
      EXPECT_EQ(read.header.options.foldsCase, version == 4 ? !kNamesIgnoreCase : kNamesIgnoreCase);
      EXPECT_TRUE(read.header.options.describe);
      EXPECT_EQ(read.header.options.list1, std::vector<std::string>{"1"});
    } else {
      EXPECT_NE(status.reason().find("of version " + std::to_string(version)), std::string::npos)
          << status.reason();
    }
  }
}

TEST(JournalFileTest, TheChecksumIsTheCommonCrc32) {
  EXPECT_EQ(crc32(0, "123456789", 9), 0xCBF43926U);
  EXPECT_EQ(crc32(crc32(0, "1234", 4), "56789", 5), 0xCBF43926U);
}

}  // namespace
}  // namespace slicery::journal
