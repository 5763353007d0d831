// slicery-cli over folders as exports and users leave them: two studies in
// one folder, links where series folders go, pipes, and descriptions that
// hold terminal controls.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <chrono>
#include <filesystem>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "dicom/dicom_hdr.h"
#include "dicom_writer.h"
#include "platform/clock.h"
#include "platform/real_file_system.h"
#include "support/temp_folder.h"

namespace slicery::cli {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

std::string image(const std::string& description, const std::string& uid) {
  return tools::DicomWriter::file()
      .addMetaGroup(tools::kExplicitVrLittleEndian, tools::kMrImageStorage, uid)
      .add(0x0008, 0x103E, "LO", tools::evenLength(description))
      .bytes();
}

struct Result {
  int status;
  std::string out;
  std::string err;
};

class HostileFolderTest : public ::testing::Test {
 protected:
  HostileFolderTest() { exam = temp.mkdir("exam"); }

  // Files study.MR.HEAD.<series>.<slice>.2003.05.27.10.11.12.1.2.IMA.
  void writeSeries(const std::string& study, int series, int slices,
                   const std::string& description) {
    for (int slice = 1; slice <= slices; ++slice) {
      const std::string name = study + ".MR.HEAD." + std::to_string(series) + "." +
                               std::to_string(slice) + ".2003.05.27.10.11.12.1.2.IMA";
      temp.write("exam/" + name, image(description, "2.25." + std::to_string(++uid_)));
    }
  }

  Result run(std::vector<std::string> args) {
    std::ostringstream out, err;
    Console console{out, err};
    const int status = runCommand(args, realFs, clock, console);
    return {status, out.str(), err.str()};
  }

  TempFolder temp;
  std::string exam;
  platform::RealFileSystem realFs;
  platform::SettableClock clock{3600.0};

 private:
  int uid_ = 0;
};

TEST_F(HostileFolderTest, AFolderNamedAfterADescriptionHoldsOnlyImagesWithThatDescription) {
  // One patient scanned twice: both sessions have a series 1 and a series
  // 2, which share their series folders.
  writeSeries("PATA", 1, 3, "T1 AX");
  writeSeries("PATA", 2, 3, "T1 COR");
  writeSeries("PATB", 1, 3, "T2 SAG");
  writeSeries("PATB", 2, 3, "FLAIR");
  run({"--describe", exam});

  for (const auto& folder : fs::directory_iterator(exam)) {
    if (!folder.is_directory()) continue;
    const std::string name = folder.path().filename().string();
    for (const auto& file : fs::directory_iterator(folder.path())) {
      const std::string description = dicom::DICOM_hdr(realFs, "8", "103E", file.path().string());
      const bool described = name.rfind("Series_S", 0) != 0;
      if (described) {
        EXPECT_EQ(name.rfind(description + "_", 0), 0u)
            << file.path().filename() << " (" << description << ") in " << name;
      }
    }
  }
}

TEST_F(HostileFolderTest, ADryRunPromisesNoMoveOntoADanglingLink) {
  writeSeries("P", 1, 3, "T1");
  writeSeries("P", 2, 3, "T2");
  temp.mkdir("exam/Series_S2");
  ASSERT_EQ(::symlink("/nonexistent/elsewhere", (exam + "/Series_S1").c_str()), 0);
  // And one where a file's new name goes.
  ASSERT_EQ(::symlink("/nonexistent/elsewhere",
                      (exam + "/Series_S2/P.MR.HEAD.2.1.2003.05.27.10.11.12.1.2.IMA").c_str()),
            0);
  const Result dry = run({"--folders", "--dry-run", exam});
  const Result real = run({"--folders", exam});
  EXPECT_EQ(real.status, kStepsFailed);
  EXPECT_EQ(dry.status, real.status);
  EXPECT_EQ(dry.out, real.out + "Dry run: nothing was changed.\n");
  EXPECT_EQ(dry.err, real.err);
}

TEST_F(HostileFolderTest, SeriesDescriptionOfAPipeReturns) {
  const std::string pipe = temp / "x.1.1.ima";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  auto described = std::async(std::launch::async, [&] {
    return run({"--series-description", pipe});
  });
  if (described.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    // A writer that goes at once lets the blocked reader return.
    const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
    ADD_FAILURE() << "reading the series description of a pipe blocked";
  }
  const Result r = described.get();
  EXPECT_EQ(r.status, kStepsFailed);
  EXPECT_EQ(r.out, "");
}

TEST_F(HostileFolderTest, ANineBitControlNeitherNamesAFolderNorReachesTheTerminal) {
  // 9B is CSI in Latin-1, the character set of DICOM texts; as a lone byte
  // in a file name it is CSI to a terminal that reads eight-bit controls.
  writeSeries("P", 1, 3,
              "\x9b"
              "2J");
  temp.write(
      "exam/P\x9b"
      "31m.MR.HEAD.2.1.x.IMA",
      image("T2", "2.25.99"));
  const Result r = run({"--describe", exam});
  EXPECT_EQ(r.out.find('\x9b'), std::string::npos) << r.out;
  EXPECT_EQ(r.err.find('\x9b'), std::string::npos) << r.err;
  for (const auto& entry : fs::directory_iterator(exam)) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find("\xc2\x9b"), std::string::npos) << name;
  }
}

TEST_F(HostileFolderTest, AFailureToReadADescriptionPrintsTheFileNameEscaped) {
  // Not DICOM, so the description cannot be read; the reason names the file.
  for (int slice = 1; slice <= 3; ++slice) {
    temp.write("exam/P.MR.HEAD.1." + std::to_string(slice) + ".\x1b[31mred\nline.IMA", "no dicom");
  }
  const Result r = run({"--describe", exam});
  EXPECT_EQ(r.status, kStepsFailed);
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
  std::istringstream lines(r.err);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.rfind("slicery-cli: ", 0), 0u) << line;
  }
}

TEST_F(HostileFolderTest, AnOperandTooManyIsPrintedEscaped) {
  // As a shell glob over a folder hands the names to the command.
  const Result r = run({exam, exam + "/P.\x1b[2J\nX.1.1.IMA"});
  EXPECT_EQ(r.status, kBadUsage);
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
  EXPECT_EQ(run({"--x\x1b[2J"}).err.find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace slicery::cli
