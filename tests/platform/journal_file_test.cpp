// The journal file: a header too big for one block is written in pieces and
// still reads back whole, and a byte changed anywhere in it is caught.
#include "platform/journal.h"

#include <gtest/gtest.h>

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
  for (int i = 0; i < 5000; ++i) {
    names.push_back("PAT.MR.HEAD." + std::to_string(i % 2 + 1) + "." + std::to_string(i) +
                    ".2026.12.07.10.00.00.123456.1234567.IMA");
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

  // A byte in the third block of names.
  std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
  bytes.seekp(150'000);
  bytes.put('#');
  bytes.close();
  EXPECT_FALSE(readJournal(file, "/exam", read));
}

}  // namespace
}  // namespace slicery::platform
