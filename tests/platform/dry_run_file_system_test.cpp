// The dry-run layer: it shows its own changes and leaves the layer below as
// it was.
#include "platform/dry_run_file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "support/memory_file_system.h"

namespace slicery::platform {
namespace {

using Names = std::vector<std::string>;

class DryRunTest : public ::testing::Test {
 protected:
  DryRunTest() {
    real.addFolder("/exam/old");
    real.addFile("/exam/a.ima", "A");
    real.addFile("/exam/b.ima", "B");
    real.addFile("/exam/old/c.ima", "C");
    before = real.filesUnder("/");
  }
  std::vector<std::string> list(const std::string& folder) {
    std::vector<std::string> names;
    EXPECT_TRUE(dry.listFiles(folder, {}, names)) << folder;
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string read(const std::string& path) {
    std::unique_ptr<ReadableFile> file;
    if (!dry.openForReading(path, file)) return "<cannot open>";
    std::string text(16, '\0');
    size_t got = 0;
    EXPECT_TRUE(file->readAt(0, text.data(), text.size(), got));
    text.resize(got);
    return text;
  }

  testing::MemoryFileSystem real;
  DryRunFileSystem dry{real};
  std::vector<std::string> unused;
  std::map<std::string, std::string> before;
};

TEST_F(DryRunTest, MovesIntoAMadeFolderShowAboveAndNotBelow) {
  ASSERT_TRUE(dry.makeFolder("/exam/S1"));
  ASSERT_TRUE(dry.renameFile("/exam/a.ima", "/exam/S1/a1.ima"));
  ASSERT_TRUE(dry.renameFile("/exam/b.ima", "/exam/b1.ima"));
  EXPECT_EQ(list("/exam"), (Names{"b1.ima"}));
  EXPECT_EQ(list("/exam/S1"), (Names{"a1.ima"}));
  EXPECT_EQ(dry.kindOf("/exam/S1"), PathKind::folder);
  EXPECT_EQ(dry.kindOf("/exam/a.ima"), PathKind::missing);
  EXPECT_EQ(read("/exam/S1/a1.ima"), "A");
  EXPECT_EQ(read("/exam/a.ima"), "<cannot open>");
  // Filters apply to recorded names as to real ones.
  std::vector<std::string> names;
  ASSERT_TRUE(dry.listFiles(
      "/exam/S1", [](std::string_view n) { return n[0] == 'x'; }, names));
  EXPECT_TRUE(names.empty());

  EXPECT_EQ(real.filesUnder("/"), before);
  EXPECT_FALSE(real.exists("/exam/S1"));
}

TEST_F(DryRunTest, RenamedFoldersCarryRealAndRecordedFiles) {
  ASSERT_TRUE(dry.renameFile("/exam/a.ima", "/exam/old/a.ima"));
  ASSERT_TRUE(dry.renameFolder("/exam/old", "/exam/new"));
  EXPECT_EQ(list("/exam/new"), (Names{"a.ima", "c.ima"}));
  EXPECT_EQ(read("/exam/new/c.ima"), "C");
  EXPECT_EQ(read("/exam/new/a.ima"), "A");
  EXPECT_EQ(dry.kindOf("/exam/old"), PathKind::missing);
  EXPECT_FALSE(dry.listFiles("/exam/old", {}, unused));

  ASSERT_TRUE(dry.makeFolder("/exam/made"));
  ASSERT_TRUE(dry.renameFile("/exam/new/c.ima", "/exam/made/c.ima"));
  ASSERT_TRUE(dry.renameFolder("/exam/made", "/exam/Desc_made"));
  EXPECT_EQ(list("/exam/Desc_made"), (Names{"c.ima"}));
  EXPECT_EQ(read("/exam/Desc_made/c.ima"), "C");
  EXPECT_EQ(list("/exam/new"), (Names{"a.ima"}));
  // A folder made again where one was renamed away starts empty.
  ASSERT_TRUE(dry.makeFolder("/exam/old"));
  EXPECT_TRUE(list("/exam/old").empty());

  EXPECT_EQ(real.filesUnder("/"), before);
}

TEST_F(DryRunTest, RefusesWhatTheRealOneWould) {
  EXPECT_EQ(dry.renameFile("/exam/a.ima", "/exam/b.ima").code(), EEXIST);
  EXPECT_EQ(dry.renameFile("/exam/none.ima", "/exam/x.ima").code(), ENOENT);
  EXPECT_EQ(dry.renameFile("/exam/a.ima", "/exam/S9/a.ima").code(), ENOENT);
  EXPECT_EQ(dry.renameFile("/exam/a.ima", "/exam/b.ima/a.ima").code(), ENOTDIR);
  EXPECT_EQ(dry.makeFolder("/exam/old").code(), EEXIST);
  EXPECT_EQ(dry.makeFolder("/exam/a.ima").code(), EEXIST);
  EXPECT_EQ(dry.makeFolder("/none/S1").code(), ENOENT);
  EXPECT_EQ(dry.renameFolder("/exam/a.ima", "/exam/f").code(), ENOTDIR);
  EXPECT_TRUE(dry.renameFile("/exam/a.ima", "/exam/a.ima"));
  // Recorded changes count too: the name moved away is free again.
  ASSERT_TRUE(dry.renameFile("/exam/a.ima", "/exam/z.ima"));
  EXPECT_TRUE(dry.renameFile("/exam/b.ima", "/exam/a.ima"));
  EXPECT_EQ(dry.renameFile("/exam/z.ima", "/exam/a.ima").code(), EEXIST);
  EXPECT_EQ(read("/exam/a.ima"), "B");
  EXPECT_EQ(list("/exam"), (Names{"a.ima", "z.ima"}));

  real.failOn(testing::MemoryFileSystem::Op::list, "/exam/old");
  EXPECT_EQ(dry.listFiles("/exam/old", {}, unused).code(), EACCES);
  EXPECT_EQ(real.filesUnder("/"), before);
}

// A file system that counts the questions it is asked one path at a time.
class CountingFileSystem : public testing::MemoryFileSystem {
 public:
  PathKind kindOf(const std::string& path) override {
    ++kindQuestions;
    return MemoryFileSystem::kindOf(path);
  }
  Status listEntries(const std::string& folder, Entries& entries) override {
    ++listings;
    return MemoryFileSystem::listEntries(folder, entries);
  }
  int kindQuestions = 0;
  int listings = 0;
};

TEST(DryRunCostTest, ManyRenamesReadEachFolderOnce) {
  CountingFileSystem real;
  real.addFolder("/exam/Series_S1");
  real.addFile("/exam/.hidden.ima");
  for (int i = 0; i < 500; ++i) real.addFile("/exam/f" + std::to_string(i) + ".ima");
  DryRunFileSystem dry(real);
  ASSERT_TRUE(dry.makeFolder("/exam/Series_S2"));
  for (int i = 0; i < 500; ++i) {
    // Appended, not "f" + std::string: GCC 12 takes that for an overlap.
    std::string name = "f";
    name += std::to_string(i);
    name += ".ima";
    const std::string folder = i % 2 == 0 ? "/exam/Series_S1/" : "/exam/Series_S2/";
    ASSERT_TRUE(dry.renameFile("/exam/" + name, folder + name));
  }
  // Names the listing holds are still refused, hidden ones and folders too.
  EXPECT_EQ(dry.renameFile("/exam/Series_S1/f0.ima", "/exam/.hidden.ima").code(), EEXIST);
  EXPECT_EQ(dry.renameFile("/exam/Series_S1/f0.ima", "/exam/Series_S1").code(), EEXIST);
  EXPECT_LE(real.kindQuestions, 4);
  EXPECT_LE(real.listings, 3);

  FileSystem::Entries entries;
  ASSERT_TRUE(dry.listEntries("/exam", entries));
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (FileSystem::Entries{{".hidden.ima", PathKind::file},
                                          {"Series_S1", PathKind::folder},
                                          {"Series_S2", PathKind::folder}}));
}

// Takes a path without a leading separator as relative to the root, as the
// working folder.
class RelativeFileSystem : public testing::MemoryFileSystem {
 public:
  PathKind kindOf(const std::string& path) override {
    return MemoryFileSystem::kindOf(absolute(path));
  }
  Status listEntries(const std::string& folder, Entries& entries) override {
    return MemoryFileSystem::listEntries(absolute(folder), entries);
  }
  Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>& file) override {
    return MemoryFileSystem::openForReading(absolute(path), file);
  }
  static std::string absolute(std::string path) {
    while (path.rfind("./", 0) == 0) path.erase(0, 2);
    if (path == ".") return "/";
    return path[0] == '/' ? path : "/" + path;
  }
};

// Random makes and renames, done by the dry run over a folder and for real
// on a copy of it, must leave both showing the same kinds, listings and
// contents at every path, however the dry run's paths are spelled.
TEST(DryRunRandomTest, ShowsWhatTheRealChangesWouldLeave) {
  const std::vector<std::string> names{"a", "b", "S", "T"};
  std::vector<std::string> paths{"/exam"};
  for (size_t at = 0; at < paths.size() && paths.size() < 1 + 4 + 16 + 64; ++at) {
    for (const std::string& name : names) paths.push_back(paths[at] + "/" + name);
  }
  for (unsigned seed = 1; seed <= 80; ++seed) {
    RelativeFileSystem real;
    testing::MemoryFileSystem changed;
    for (testing::MemoryFileSystem* fs :
         {static_cast<testing::MemoryFileSystem*>(&real), &changed}) {
      fs->addFolder("/exam/S/T");
      fs->addFile("/exam/a", "1");
      fs->addFile("/exam/b", "2");
      fs->addFile("/exam/S/a", "3");
      fs->addFile("/exam/S/T/b", "4");
    }
    const auto before = real.filesUnder("/");
    DryRunFileSystem dry(real);
    std::mt19937 random(seed);
    const auto pick = [&](size_t count) {
      return std::uniform_int_distribution<size_t>(0, count - 1)(random);
    };
    // Every other round the dry run works on "exam" for "/exam".
    int spelling = 0;
    const auto spelled = [&](const std::string& path) {
      const std::string dryPath = seed % 2 == 0 ? path.substr(1) : path;
      if (spelling == 1) return dryPath + "/";
      if (spelling == 2 && seed % 2 == 0) return "./" + dryPath;
      return dryPath;
    };
    const std::string where = "seed " + std::to_string(seed);
    for (int step = 0; step < 40; ++step) {
      // Mostly something there, to be moved about.
      std::vector<std::string> there;
      for (const std::string& path : paths) {
        if (path != "/exam" && changed.kindAt(path) != PathKind::missing) there.push_back(path);
      }
      const std::string from =
          pick(4) > 0 && !there.empty() ? there[pick(there.size())] : paths[pick(paths.size())];
      const std::string& to = paths[1 + pick(paths.size() - 1)];
      spelling = static_cast<int>(pick(3));
      Status done;
      Status expected;
      if (pick(4) == 0) {
        done = dry.makeFolder(spelled(to));
        expected = changed.makeFolder(to);
      } else if (changed.kindAt(from) == PathKind::folder) {
        if (to.rfind(from + "/", 0) == 0) continue;  // into itself
        done = dry.renameFolder(spelled(from), spelled(to));
        expected = changed.renameFolder(from, to);
        // The double tells no ENOTDIR apart from ENOENT here.
        if (!done && !expected) continue;
      } else {
        done = dry.renameFile(spelled(from), spelled(to));
        expected = changed.renameFile(from, to);
      }
      ASSERT_EQ(done.code(), expected.code())
          << where << " step " << step << ": " << done.toString() << " / " << expected.toString();
    }
    for (const std::string& path : paths) {
      spelling = static_cast<int>(pick(3));
      const PathKind kind = changed.kindAt(path);
      ASSERT_EQ(dry.kindOf(spelled(path)), kind) << where << " " << path;
      if (kind == PathKind::folder) {
        FileSystem::Entries shown;
        FileSystem::Entries wanted;
        ASSERT_TRUE(dry.listEntries(spelled(path), shown));
        ASSERT_TRUE(changed.listEntries(path, wanted));
        std::sort(shown.begin(), shown.end());
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(shown, wanted) << where << " " << path;
      } else if (kind == PathKind::file) {
        std::unique_ptr<ReadableFile> file;
        ASSERT_TRUE(dry.openForReading(spelled(path), file));
        char text = 0;
        size_t got = 0;
        ASSERT_TRUE(file->readAt(0, &text, 1, got));
        EXPECT_EQ(std::string(&text, got), changed.contents(path)) << where << " " << path;
      }
    }
    EXPECT_EQ(real.filesUnder("/"), before);
  }
}

}  // namespace
}  // namespace slicery::platform
