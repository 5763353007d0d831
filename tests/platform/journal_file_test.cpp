// The journal file: a header too big for one block is written in pieces and
// still reads back whole, and a byte changed anywhere in it is caught; a
// journal of the earlier version, with the names written whole, still reads.
#include "platform/journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp_folder.h"

namespace slicery::platform {
namespace {

TEST(JournalFileTest, AHeaderOfManyBlocksReadsBackWholeAndAChangedByteIsCaught) {
  testing::TempFolder dir;
  JournalHeader header;
  header.folder = "/exam";
  header.check2 = true;
  header.folderBaseName = "Series";
  header.seriesCount = 2;
  header.list1 = {"1", "2"};
  header.existingFolders = {"Series_S1"};
  std::vector<std::string> names;
  for (int i = 0; i < 20000; ++i) {
    names.push_back("PAT.MR.HEAD." + std::to_string(i % 2 + 1) + "." + std::to_string(i) +
                    ".2026.12.07.10.00.00.123456." + std::to_string(i * 7919) + ".IMA");
  }
  const std::vector<std::string_view> views(names.begin(), names.end());
  const std::string file = dir / "exam.journal";
  {
    std::unique_ptr<JournalWriter> writer;
    ASSERT_TRUE(JournalWriter::create(file, header, views, writer));
    ASSERT_TRUE(writer->append(JournalStep::Kind::fileRenamed, names[0], "Series_S1/x.IMA"));
    ASSERT_TRUE(writer->finish());
  }
  JournalContents read;
  ASSERT_TRUE(readJournal(file, "/exam", read));
  EXPECT_EQ(read.header.names, names);
  EXPECT_EQ(read.header.list1, header.list1);
  EXPECT_EQ(read.header.existingFolders, header.existingFolders);
  EXPECT_TRUE(read.header.check2);
  ASSERT_EQ(read.steps.size(), 1u);
  EXPECT_EQ(read.steps[0].to, "Series_S1/x.IMA");
  EXPECT_TRUE(read.finished);

  // A byte in the second block of names, well before the steps.
  ASSERT_GT(std::filesystem::file_size(file), 200'000u);
  std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
  bytes.seekp(100'000);
  bytes.put('#');
  bytes.close();
  EXPECT_FALSE(readJournal(file, "/exam", read));
}

// Little-endian bytes as the journal writes them.
std::string u32(std::uint32_t v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
          static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}
std::string str(const std::string& s) {
  std::string bytes = u32(static_cast<std::uint32_t>(s.size()));
  bytes += s;
  return bytes;
}

TEST(JournalFileTest, AJournalOfTheEarlierVersionStillReads) {
  // A finished run's journal as version 1 wrote it, its checksums those of
  // the common CRC-32 (zlib's).
  std::string header(1, '\x01');
  for (const std::string& part :
       {u32(1), str("/exam"), std::string("\x00\x01\x00", 3), str("Series"), u32(1), u32(1),
        str("1"), u32(2), str("A.B.C.1.1.IMA"), str("A.B.C.1.2.IMA"), u32(0)}) {
    header += part;
  }
  ASSERT_EQ(header.size(), 82u);
  testing::TempFolder dir;
  const std::string file = dir / "old.journal";
  std::ofstream(file, std::ios::binary)
      << u32(82) << u32(0xbf52dd40) << header << u32(1) << u32(0xa2681b02) << "\x05";
  JournalContents read;
  ASSERT_TRUE(readJournal(file, "/exam", read));
  EXPECT_EQ(read.header.names, (std::vector<std::string>{"A.B.C.1.1.IMA", "A.B.C.1.2.IMA"}));
  EXPECT_TRUE(read.header.check2);
  EXPECT_TRUE(read.finished);
}

}  // namespace
}  // namespace slicery::platform
