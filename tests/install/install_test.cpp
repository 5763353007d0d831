// `cmake --install` into a fresh prefix puts every file a desktop and a shell
// look for in its place, and the desktop's validators accept the entry and
// the metainfo (when they are installed).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace slicery {
namespace {

namespace fs = std::filesystem;

struct Ran {
  int status = -1;
  std::string output;  // standard output and error
};

Ran run(const std::string& command) {
  Ran ran;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return ran;
  char buffer[4096];
  while (const size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) ran.output.append(buffer, n);
  const int status = ::pclose(pipe);
  ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return ran;
}

bool installed(const std::string& program) {
  return run("command -v " + program).status == 0;
}

std::string head(const std::string& path, size_t bytes) {
  std::ifstream in(path, std::ios::binary);
  std::string data(bytes, '\0');
  in.read(data.data(), static_cast<std::streamsize>(bytes));
  data.resize(static_cast<size_t>(in.gcount()));
  return data;
}

// Width and height from a PNG file's header.
std::pair<int, int> pngSize(const std::string& path) {
  const std::string h = head(path, 24);
  if (h.size() < 24 || h.compare(1, 3, "PNG") != 0) return {0, 0};
  const auto be32 = [&h](size_t at) {
    int v = 0;
    for (size_t i = 0; i < 4; ++i) v = v * 256 + static_cast<unsigned char>(h[at + i]);
    return v;
  };
  return {be32(16), be32(20)};
}

TEST(InstallTest, PutsEveryFileInItsPlace) {
  testing::TempFolder prefix;
  const Ran install = run(std::string("'") + SLICERY_CMAKE + "' --install '" + SLICERY_BUILD +
                          "' --prefix '" + prefix.path() + "'");
  ASSERT_EQ(install.status, 0) << install.output;
  const auto at = [&prefix](const std::string& relative) { return prefix / relative; };

  std::vector<std::string> programs = {"bin/slicery-cli"};
  std::vector<std::string> files = {"share/man/man1/slicery-cli.1.gz",
                                    "share/bash-completion/completions/slicery-cli"};
  if (SLICERY_WITH_WINDOW) {
    programs.push_back("bin/slicery");
    files.insert(
        files.end(),
        {"share/man/man1/slicery.1.gz", "share/bash-completion/completions/slicery",
         "share/applications/slicery.desktop", "share/metainfo/org.slicery.Slicery.metainfo.xml",
         "share/icons/hicolor/scalable/apps/slicery.svg"});
  }
  for (const std::string& program : programs) {
    EXPECT_TRUE((fs::status(at(program)).permissions() & fs::perms::owner_exec) != fs::perms::none)
        << program;
  }
  for (const std::string& file : files) {
    EXPECT_TRUE(fs::is_regular_file(at(file)) && fs::file_size(at(file)) > 0) << file;
  }
  for (const std::string& file : files) {
    if (file.ends_with(".gz")) {
      EXPECT_EQ(head(at(file), 2), "\x1f\x8b") << file;
    }
  }
  if (!SLICERY_WITH_WINDOW) return;
  for (const int size : {16, 32, 48, 64, 128, 256}) {
    const std::string name = std::to_string(size) + "x" + std::to_string(size);
    EXPECT_EQ(pngSize(at("share/icons/hicolor/" + name + "/apps/slicery.png")),
              std::make_pair(size, size))
        << name;
  }
  EXPECT_NE(head(at("share/icons/hicolor/scalable/apps/slicery.svg"), 200).find("<svg"),
            std::string::npos);
}

TEST(InstallTest, DesktopEntryPassesDesktopFileValidate) {
  if (!installed("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate is not installed";
  const Ran ran = run(std::string("desktop-file-validate '") + SLICERY_DIST + "/slicery.desktop'");
  EXPECT_EQ(ran.status, 0);
  // Not even a hint: two main categories would list the entry twice.
  EXPECT_EQ(ran.output, "");
}

TEST(InstallTest, MetainfoPassesAppstreamValidate) {
  if (!installed("appstreamcli")) GTEST_SKIP() << "appstreamcli is not installed";
  const Ran ran = run(std::string("appstreamcli validate --no-net '") + SLICERY_DIST +
                      "/org.slicery.Slicery.metainfo.xml'");
  EXPECT_EQ(ran.status, 0) << ran.output;
}

}  // namespace
}  // namespace slicery
