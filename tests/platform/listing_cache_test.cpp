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
