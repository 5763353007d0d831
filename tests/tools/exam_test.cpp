// The synthetic exams: their .ima files are DICOM files that our reader and,
// where installed, dcmtk's dcmdump read alike.
#include "exam.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dicom/dicom_hdr.h"
#include "support/memory_file_system.h"
#include "support/temp_folder.h"

namespace slicery::tools {
namespace {

using testing::MemoryFileSystem;

const ExamFile kSagittal = {"ANON.MR.HEAD_ROUTINE.3.7.IMA", 3, 7, "SAG T2 FSE"};
const ExamFile kUebersicht = {"a.ima", 11, 1,
                              "T2 \xC3\x9C"
                              "bersicht"};

TEST(Exam, ImaFilesAreDicomInEitherSyntax) {
  for (const bool implicitVr : {false, true}) {
    ExamOptions options;
    options.implicitVr = implicitVr;
    MemoryFileSystem fs;
    fs.addFile("/s.ima", examFileContents(kSagittal, options));
    fs.addFile("/u.ima", examFileContents(kUebersicht, options));
    const auto read = [&](const char* path, const char* group, const char* element) {
      return dicom::DICOM_hdr(fs, group, element, path);
    };
    EXPECT_EQ(read("/s.ima", "8", "103E"), "SAG_T2_FSE");
    EXPECT_EQ(read("/s.ima", "20", "11"), "3_");
    EXPECT_EQ(read("/s.ima", "20", "13"), "7_");
    EXPECT_EQ(read("/s.ima", "8", "60"), "MR");
    EXPECT_EQ(read("/s.ima", "2", "10"), implicitVr ? std::string("1.2.840.10008.1.2\0", 18)
                                                    : std::string("1.2.840.10008.1.2.1\0", 20));
    EXPECT_EQ(read("/u.ima", "8", "103E"),
              "T2_\xC3\x9C"
              "bersicht");
    EXPECT_EQ(read("/u.ima", "20", "11"), "11");
  }
}

TEST(Exam, ImageSizeIsAnOptionAndOtherNamesStayText) {
  ExamOptions options;
  const std::size_t standard = examFileContents(kSagittal, options).size();
  options.imageSide = 64;
  EXPECT_EQ(examFileContents(kSagittal, options).size(), standard + (64 * 64 - 32 * 32) * 2);
  EXPECT_EQ(examFileContents({"notes.txt", 0, 0, "odd"}, options).substr(0, 6), "series");
}

// Runs `command`, keeping what it printed on either stream; -1 when it could
// not run.
int run(const std::string& command, std::string& output) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// dcmtk is an independent reader; where it is not installed there is nothing
// to compare with.
TEST(Exam, DcmdumpReadsTheFilesWithoutComplaint) {
  std::string ignored;
  if (run("command -v dcmdump", ignored) != 0) GTEST_SKIP() << "dcmdump is not installed";
  testing::TempFolder dir;
  const std::string data = SLICERY_TEST_DATA;
  for (const bool implicitVr : {false, true}) {
    ExamOptions options;
    options.implicitVr = implicitVr;
    const std::string path =
        dir.write(implicitVr ? "i.ima" : "e.ima", examFileContents(kUebersicht, options));
    for (const std::string& file :
         {path, data + (implicitVr ? "/implicit_t2_uebersicht.ima" : "/explicit_sag_t2_fse.ima")}) {
      std::string dump;
      // File format only, no silent corrections, UIDs as numbers, text as UTF-8.
      ASSERT_EQ(run("dcmdump +fo -dc -Un +U8 '" + file + "'", dump), 0) << dump;
      EXPECT_FALSE(contains(dump, "W: ") || contains(dump, "E: ")) << dump;
      EXPECT_TRUE(contains(dump, std::string("# Used TransferSyntax: Little Endian ") +
                                     (implicitVr ? "Implicit" : "Explicit")))
          << dump;
      EXPECT_TRUE(contains(dump, "(0008,0060) CS [MR]")) << dump;
      EXPECT_TRUE(contains(dump, "(0020,0011) IS [")) << dump;
      EXPECT_TRUE(contains(dump, "(0020,0013) IS [")) << dump;
      EXPECT_TRUE(contains(dump, "(7fe0,0010) OW ")) << dump;
    }
    std::string dump;
    ASSERT_EQ(run("dcmdump +fo -dc -Un +U8 '" + path + "'", dump), 0);
    EXPECT_TRUE(contains(dump,
                         "(0008,103e) LO [T2 \xC3\x9C"
                         "bersicht]"))
        << dump;
    EXPECT_TRUE(contains(dump, "(0020,0011) IS [11]")) << dump;
    EXPECT_TRUE(contains(dump, "(7fe0,0010) OW 001f\\0026")) << dump;
    EXPECT_TRUE(contains(dump, "# 2048, 1 PixelData")) << dump;
  }
}

}  // namespace
}  // namespace slicery::tools
