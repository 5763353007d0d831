#include "platform/listing_cache.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/memory_file_system.h"

namespace slicery::platform {
namespace {

using testing::MemoryFileSystem;

std::vector<std::string> sortedListing(FileSystem& fs, const std::string& folder) {
  std::vector<std::string> names;
  EXPECT_TRUE(fs.listFiles(folder, {}, names));
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ListingCache, ReReadsAgreeWithTheDiskAfterItsOwnChanges) {
  MemoryFileSystem disk;
  disk.addFolder("/exam");
  for (const char* name : {"a.1.ima", "a.2.ima", "a.3.ima", "b.1.ima"}) {
    disk.addFile(std::string("/exam/") + name);
  }
  ListingCache cache(disk);
  ListingCache::Scope scope(cache);
  EXPECT_EQ(sortedListing(cache, "/exam"), sortedListing(disk, "/exam"));

  ASSERT_TRUE(cache.renameFile("/exam/a.1.ima", "/exam/a.01.ima"));
  ASSERT_TRUE(cache.makeFolder("/exam/S1"));
  ASSERT_TRUE(cache.renameFile("/exam/a.2.ima", "/exam/S1/a.02.ima"));
  EXPECT_FALSE(cache.renameFile("/exam/a.3.ima", "/exam/b.1.ima"));  // refused, nothing changes
  ASSERT_TRUE(cache.renameFile("/exam/a.3.ima", "/exam/.hidden"));
  EXPECT_EQ(sortedListing(cache, "/exam"), sortedListing(disk, "/exam"));
  EXPECT_EQ(sortedListing(cache, "/exam/S1"), sortedListing(disk, "/exam/S1"));

  ASSERT_TRUE(cache.renameFolder("/exam/S1", "/exam/T_S1"));
  EXPECT_EQ(sortedListing(cache, "/exam/T_S1"), std::vector<std::string>{"a.02.ima"});

  std::vector<std::string> filtered;
  ASSERT_TRUE(cache.listFiles(
      "/exam", [](std::string_view n) { return n[0] == 'b'; }, filtered));
  EXPECT_EQ(filtered, std::vector<std::string>{"b.1.ima"});
}

TEST(ListingCache, PatternListingsAgreeWithTestingEveryName) {
  MemoryFileSystem disk;
  disk.addFolder("/exam");
  for (int s = 1; s <= 12; ++s) {
    for (int i = 1; i <= 12; ++i) {
      disk.addFile("/exam/P.MR.S." + std::to_string(s) + "." + std::to_string(i) +
                   ".2003.05.27.10.11.12.1.2." + (i % 2 == 0 ? "IMA" : "ima"));
    }
  }
  ListingCache cache(disk);
  ListingCache::Scope scope(cache);
  const auto both = [&](const std::string& pattern) {
    std::vector<std::string> fast, slow;
    EXPECT_TRUE(cache.listMatching("/exam", pattern, fast));
    EXPECT_TRUE(disk.listFiles(
        "/exam", [&](std::string_view n) { return matchesPattern(n, pattern); }, slow));
    std::sort(fast.begin(), fast.end());
    std::sort(slow.begin(), slow.end());
    EXPECT_EQ(fast, slow) << pattern;
    return fast.size();
  };
  EXPECT_EQ(both("*.*.*.2.*.*.*.*.*.*.*.*.*.ima"), 12u);
  EXPECT_EQ(both("*.*.*.10.*.*.*.*.*.*.*.*.*.ima"), 12u);  // 10 also stands in every time
  EXPECT_EQ(both("*.*.*.2.*.ima"), 23u);                   // slice 2 of every series as well
  ASSERT_TRUE(
      cache.renameFile("/exam/P.MR.S.2.1.2003.05.27.10.11.12.1.2.ima", "/exam/P.MR.S.02.01.IMA"));
  EXPECT_EQ(both("*.*.*.2.*.*.*.*.*.*.*.*.*.ima"), 11u);
  EXPECT_EQ(both("*.*.*.02.*.ima"), 1u);
  EXPECT_EQ(both("*.ima"), 144u);
  EXPECT_EQ(both("p.mr.s.02.01.ima"), 1u);
}

TEST(ListingCache, RemembersNothingOutsideAScope) {
  MemoryFileSystem disk;
  disk.addFolder("/exam");
  ListingCache cache(disk);
  {
    ListingCache::Scope scope(cache);
    EXPECT_TRUE(sortedListing(cache, "/exam").empty());
  }
  disk.addFile("/exam/new.ima");  // a change the cache did not make
  EXPECT_EQ(sortedListing(cache, "/exam"), std::vector<std::string>{"new.ima"});
  disk.failOn(MemoryFileSystem::Op::list, "/exam");
  ListingCache::Scope scope(cache);
  std::vector<std::string> names;
  EXPECT_FALSE(cache.listFiles("/exam", {}, names));
}

}  // namespace
}  // namespace slicery::platform
