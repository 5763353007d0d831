// slicery-cli end to end on real folders: what it prints, what it changes,
// and its exit statuses.
#include "cli/cli.h"
#include "app/form1.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dicom_writer.h"
#include "exam.h"
#include "journal/journal.h"
#include "platform/journal_files.h"
#include "platform/real_file_system.h"
#include "support/temp_folder.h"

namespace slicery::cli {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// Runs keep journals of themselves: those of the tests go to a folder of
// their own, never to the user's.
class StateHome : public ::testing::Environment {
 public:
  void SetUp() override { ::setenv("XDG_STATE_HOME", (folder_ / "state").c_str(), 1); }

 private:
  TempFolder folder_;
};
::testing::Environment* const kStateHome = ::testing::AddGlobalTestEnvironment(new StateHome);

TEST(ArgumentsTest, OptionsAndPaths) {
  const Arguments a = parseArguments({"--short", "--folder-name", "Knee", "--quiet", "exam"});
  EXPECT_TRUE(a.shortNames);
  EXPECT_TRUE(a.quiet);
  EXPECT_EQ(a.folderName, "Knee");
  EXPECT_EQ(a.paths, std::vector<std::string>{"exam"});
  EXPECT_FALSE(a.folders || a.describe || a.dryRun);

  EXPECT_EQ(parseArguments({"--folder-name=a b", "x"}).folderName, "a b");
  EXPECT_EQ(parseArguments({"--", "--odd-folder"}).paths, std::vector<std::string>{"--odd-folder"});
  EXPECT_EQ(parseArguments({"a", "-q", "b"}).paths, (std::vector<std::string>{"a", "b"}));

  // Short options, alone or joined.
  const Arguments joined = parseArguments({"-sfn", "-q", "x"});
  EXPECT_TRUE(joined.shortNames && joined.folders && joined.dryRun && joined.quiet);
  EXPECT_FALSE(joined.describe || joined.folderName);
  EXPECT_EQ(parseArguments({"-V"}).mode, Arguments::Mode::version);
  EXPECT_EQ(parseArguments({"-qh"}).mode, Arguments::Mode::help);
  EXPECT_EQ(parseArguments({"x", "--help", "--bogus"}).mode, Arguments::Mode::help);
  EXPECT_EQ(parseArguments({"--version"}).mode, Arguments::Mode::version);

  const std::vector<std::vector<std::string>> bad = {
      {},
      {"a", ""},
      {"--bogus", "x"},
      {"-fx", "a"},
      {"--folder-name"},
      {"--folder-name", ""},
      {"--folder-name=", "x"},
      {""},
      {"--short"},
  };
  for (const auto& args : bad) {
    EXPECT_THROW(parseArguments(args), UsageError) << ::testing::PrintToString(args);
  }
}

// Every file below a folder, relative path -> contents.
std::map<std::string, std::string> snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string relative = fs::relative(entry.path(), folder).string();
    if (entry.is_directory()) {
      files[relative + "/"] = "";
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      std::stringstream contents;
      contents << in.rdbuf();
      files[relative] = contents.str();
    }
  }
  return files;
}

struct Result {
  int status;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  CliTest() { exam = temp.mkdir("exam"); }
  void writeExam(int files, int series) {
    tools::ExamOptions options;
    options.files = files;
    options.series = series;
    tools::writeExam(exam, options);
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
};

const char* const kResults =
    "Files Processed: 12\nTotal Files Renamed/moved: 12\nTime Taken: 0 Seconds\n";

// The suggested --resume and --undo commands, pasted into the console of
// each platform, must hand slicery-cli the path unchanged.
TEST(CommandForTest, QuotesThePathAsTheConsoleReadsIt) {
  using platform::ShellQuoting;
  EXPECT_EQ(commandFor("--undo", "/data/exam 1/it's", ShellQuoting::posix),
            "slicery-cli --undo '/data/exam 1/it'\\''s'");
  EXPECT_EQ(commandFor("--undo", "/data/exam", ShellQuoting::posix),
            "slicery-cli --undo /data/exam");
  // cmd.exe reads no single quotes; a backslash before the closing quote
  // would escape it when the program splits its command line.
  EXPECT_EQ(commandFor("--resume", "D:\\Exams\\0415", ShellQuoting::windows),
            "slicery-cli --resume D:\\Exams\\0415");
  EXPECT_EQ(commandFor("--resume", "C:\\My Exams\\knee & hip", ShellQuoting::windows),
            "slicery-cli --resume \"C:\\My Exams\\knee & hip\"");
  EXPECT_EQ(commandFor("--undo", "\\\\server\\share (2)\\", ShellQuoting::windows),
            "slicery-cli --undo \"\\\\server\\share (2)\\\\\"");
  EXPECT_EQ(commandFor("--undo", "-x y", ShellQuoting::windows), "slicery-cli --undo -- \"-x y\"");
}

TEST_F(CliTest, PrintsEachRenameRelativeToTheFolderThenTheResults) {
  writeExam(12, 1);
  const Result r = run({exam});
  EXPECT_EQ(r.status, kSucceeded) << r.err;
  EXPECT_EQ(r.err, "");
  std::istringstream lines(r.out);
  std::string first;
  std::getline(lines, first);
  EXPECT_EQ(first,
            "ANON.MR.HEAD_ROUTINE.1.1.2003.05.27.10.11.12.100001.1000001.IMA -> "
            "ANON.MR.HEAD_ROUTINE.1.01.2003.05.27.10.11.12.100001.1000001.IMA");
  // Slices 10 to 12 already have two digits.
  const std::string results =
      "Files Processed: 12\nTotal Files Renamed/moved: 9\nTime Taken: 0 Seconds\n";
  ASSERT_GT(r.out.size(), results.size());
  EXPECT_EQ(r.out.substr(r.out.size() - results.size()), results);
  EXPECT_TRUE(
      fs::exists(exam + "/ANON.MR.HEAD_ROUTINE.1.01.2003.05.27.10.11.12.100001.1000001.IMA"));
}

TEST_F(CliTest, DryRunPrintsWhatTheRunDoesAndChangesNothing) {
  int round = 0;
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--folders"}, {"--short", "--folder-name", "Knee"}, {}}) {
    SCOPED_TRACE(::testing::PrintToString(options));
    exam = temp.mkdir("exam" + std::to_string(++round));
    writeExam(30, 3);
    const auto before = snapshot(exam);
    std::vector<std::string> args = options;
    args.push_back("--dry-run");
    args.push_back(exam);
    const Result dry = run(args);
    EXPECT_EQ(snapshot(exam), before);
    args.erase(args.end() - 2);
    const Result real = run(args);
    // The same lines, and one that says the disk is as it was.
    EXPECT_EQ(dry.out, real.out + "Dry run: nothing was changed.\n");
    EXPECT_EQ(dry.status, real.status);
    EXPECT_NE(snapshot(exam), before);
  }
}

TEST_F(CliTest, DescribedFoldersArePrintedAfterTheirFiles) {
  // Descriptions of odd length are padded with a space, hence "__".
  writeExam(6, 3);
  temp.write("exam/Series_S3", "a file where a series folder would go");
  const auto before = snapshot(exam);
  const Result dry = run({"--describe", "--dry-run", exam});
  EXPECT_EQ(snapshot(exam), before);
  const Result r = run({"--describe", exam});
  EXPECT_EQ(r.status, kStepsFailed);
  EXPECT_EQ(dry.out, r.out + "Dry run: nothing was changed.\n");
  EXPECT_EQ(dry.err, r.err);
  EXPECT_NE(r.out.find("\nSeries_S1/ -> localizer__Series_S1/\n"
                       "Series_S2/ -> t1_se_tra__Series_S2/\n"
                       "Files Processed: 6\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find("slicery-cli: 'Series_S3/': cannot make folder: File exists\n"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(fs::is_directory(exam + "/t1_se_tra__Series_S2"));
}

// The window's preview and the dry run show one plan: the same renames and
// the same folder names, descriptions included.
TEST_F(CliTest, TheDryRunAndTheWindowsPreviewShowTheSameSteps) {
  writeExam(12, 3);
  temp.write("exam/Series_S3", "a file where a series folder would go");
  const Result dry = run({"--describe", "--dry-run", exam});
  std::string printed;
  std::istringstream lines(dry.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(" -> ") != std::string::npos) printed += line + "\n";
  }
  app::Form1 form(realFs, clock);
  ASSERT_TRUE(form.drop({exam}));
  form.changeCheck(form.Check2, 1);
  form.changeCheck(form.Check4, 1);
  const app::Preview preview = form.preview();
  std::string shown;
  int failures = 0;
  for (const app::PreviewStep& step : preview.steps) {
    failures += step.failure.empty() ? 0 : 1;
    if (!step.failure.empty() || step.kind == app::PreviewStep::Kind::keep ||
        step.kind == app::PreviewStep::Kind::makeFolder) {
      continue;
    }
    const bool folder = step.kind == app::PreviewStep::Kind::nameFolder;
    shown += app::Preview::shownFrom(step) + (folder ? "/ -> " : " -> ") +
             app::Preview::shownTo(step) + "\n";
  }
  EXPECT_EQ(shown, printed);
  EXPECT_NE(shown.find("Series_S2/ -> t1_se_tra__Series_S2/\n"), std::string::npos) << shown;
  // The series folder that cannot be made, and each of its files.
  EXPECT_EQ(failures, 1 + 4);
  EXPECT_EQ(std::count(dry.err.begin(), dry.err.end(), '\n'), failures) << dry.err;
}

// Two studies share the series folders. Where the second study's first file
// of a series gives no description (empty, or no DICOM file at all), the
// folder keeps its name; the dry run foresees it.
TEST_F(CliTest, AFolderSharedByTwoStudiesIsNamedOnlyAfterADescriptionBothGive) {
  tools::ExamOptions options;
  options.files = 9;
  options.series = 3;
  for (const tools::ExamFile& file : tools::planExam(options)) {
    temp.write("exam/" + file.name, tools::examFileContents(file));
    tools::ExamFile other = file;
    other.name.replace(0, 4, "ZED");
    if (file.series == 2) other.description = "";
    temp.write("exam/" + other.name, file.series == 3 && file.instance == 1
                                         ? std::string("not an image")
                                         : tools::examFileContents(other));
  }
  const auto before = snapshot(exam);
  const Result dry = run({"--describe", "-n", exam});
  EXPECT_EQ(snapshot(exam), before);
  const Result r = run({"--describe", exam});
  EXPECT_EQ(r.status, kStepsFailed);
  EXPECT_EQ(dry.status, r.status);
  EXPECT_EQ(dry.err, r.err);
  EXPECT_NE(r.out.find("Series_S1/ -> localizer__Series_S1/\n"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::is_directory(exam + "/Series_S2"));
  EXPECT_TRUE(fs::is_directory(exam + "/Series_S3"));
  EXPECT_NE(r.err.find("'Series_S2': the series description of ZED."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("'Series_S3': the series description of ZED."), std::string::npos) << r.err;
}

TEST_F(CliTest, FoldersAndQuiet) {
  writeExam(12, 1);
  const Result r =
      run({"--quiet", "--folders",
           exam + "/" + "ANON.MR.HEAD_ROUTINE.1.5" + ".2003.05.27.10.11.12.100005.1000001.IMA"});
  EXPECT_EQ(r.status, kSucceeded);
  EXPECT_EQ(r.out, kResults);
  EXPECT_EQ(snapshot(exam + "/Series_S1").size(), 12u);
}

TEST_F(CliTest, FailedStepsAreToldAndTheRestIsDone) {
  writeExam(12, 1);
  const std::string taken = "ANON.MR.HEAD_ROUTINE.1.03.2003.05.27.10.11.12.100003.1000001.IMA";
  std::ofstream(exam + "/" + taken) << "in the way";
  const Result r = run({exam});
  EXPECT_EQ(r.status, kStepsFailed);
  EXPECT_EQ(r.err,
            "slicery-cli: 'ANON.MR.HEAD_ROUTINE.1.3.2003.05.27.10.11.12.100003.1000001.IMA': "
            "cannot rename to '" +
                taken + "': File exists\n");
  EXPECT_NE(r.out.find("Total Files Renamed/moved: 8\n"), std::string::npos);
  EXPECT_EQ(snapshot(exam)[taken], "in the way");
}

// A folder word the run would refuse for some series is refused at once,
// before anything is touched, with the reason: 252 bytes and "_S1" fit in a
// name, but not with the five digits of the widest series number.
TEST_F(CliTest, AFolderWordTheRunWouldRefuseIsRefusedFirst) {
  writeExam(4, 1);
  const auto before = snapshot(temp.path());
  for (const std::string& word :
       {std::string("../out"), std::string("a/b"), std::string(".hidden"), std::string("a\tb"),
        std::string("\xC0\xAF"), std::string("\xED\xA0\x80"), std::string("\xF4\x90\x80\x80"),
        std::string(252, 'w')}) {
    const Result r = run({"--folder-name", word, exam});
    EXPECT_EQ(r.status, kBadUsage) << ::testing::PrintToString(word);
    EXPECT_TRUE(r.err.starts_with("slicery-cli: --folder-name '")) << r.err;
    EXPECT_NE(r.err.find("' is refused: a folder name "), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(snapshot(temp.path()), before);
  EXPECT_EQ(run({"--folder-name=\xC3\x9C"
                 "bersicht",
                 exam})
                .status,
            kSucceeded);
}

TEST_F(CliTest, ExitStatusesForNothingToDoAndBadInput) {
  temp.write("exam/notes.txt", "x");
  temp.write("exam/SCOUT.IMA", "x");
  Result r = run({exam});
  EXPECT_EQ(r.status, kNoSeries);
  EXPECT_NE(r.err.find("No IMA Files!"), std::string::npos);
  EXPECT_EQ(r.out, "");

  r = run({temp / "missing"});
  EXPECT_EQ(r.status, kBadUsage);
  EXPECT_NE(r.err.find("slicery-cli: '" + temp / "missing" + "': cannot list: "), std::string::npos)
      << r.err;
  r = run({"--bogus", exam});
  EXPECT_EQ(r.status, kBadUsage);
  EXPECT_NE(r.err.find("--help"), std::string::npos);

  r = run({"--help"});
  EXPECT_EQ(r.status, kSucceeded);
  for (const char* option : {"--short", "--folders", "--folder-name WORD", "--describe",
                             "--dry-run", "--quiet", "--version", "Exit status"}) {
    EXPECT_NE(r.out.find(option), std::string::npos) << option;
  }
  r = run({"--version"});
  EXPECT_EQ(r.out, "slicery-cli 2.0\n");
}

// A parent folder dropped by mistake: the message names the subfolders
// that hold exams.
TEST_F(CliTest, AFolderWithoutSeriesTellsOfExamsInItsSubfolders) {
  for (const char* sub : {"exam/b", "exam/a", "exam/c", "exam/d"}) {
    temp.mkdir(sub);
    temp.write(std::string(sub) + "/P.MR.X.1.1.IMA");
  }
  temp.mkdir("exam/notes");
  temp.write("exam/notes/readme.txt");
  Result r = run({exam});
  EXPECT_EQ(r.status, kNoSeries);
  EXPECT_EQ(r.err, "slicery-cli: '" + exam +
                       "': No IMA Files! No series found (0 .ima files listed); 4 subfolders hold "
                       ".ima files, give each as PATH or this folder with -r: 'a', 'b', 'c', "
                       "...\n");
  r = run({temp / "exam/notes"});
  EXPECT_EQ(r.err, "slicery-cli: '" + temp / "exam/notes" +
                       "': No IMA Files! No series found (0 .ima files listed)\n");
}

TEST_F(CliTest, TheProgressBarHoldsWhenASeriesIsCountedTwice) {
  // Series 1 stands twice in the census (PATA, then PATB after PATA's 2),
  // so its files are processed twice: more than the files listed at start.
  for (const char* study : {"PATA", "PATB"}) {
    for (int i = 1; i <= 3; ++i) {
      temp.write("exam/" + std::string(study) + ".MR.HEAD.1." + std::to_string(i) + ".IMA");
    }
  }
  temp.write("exam/PATA.MR.HEAD.2.1.IMA");
  std::ostringstream out, err;
  Console console{out, err, /*errIsTerminal=*/true};
  EXPECT_EQ(runCommand({"--short", exam}, realFs, clock, console), kSucceeded) << err.str();
  EXPECT_NE(err.str().find("[##############################] 100% 7/7 files"), std::string::npos)
      << err.str();
  EXPECT_EQ(err.str().find("% 8/7"), std::string::npos) << err.str();
  EXPECT_NE(out.str().find("Files Processed: 13\n"), std::string::npos) << out.str();
}

TEST_F(CliTest, NamesAreNeverPrintedRaw) {
  const std::string name = "P.MR.A\nB.1.9.\x1b]0;owned\x07.ima";
  temp.write("exam/" + name);
  for (int i = 1; i <= 9; ++i) temp.write("exam/P.MR.A.1." + std::to_string(i) + ".x.ima");
  const Result r = run({"--short", exam});
  EXPECT_EQ(r.status, kSucceeded) << r.err;
  EXPECT_NE(r.out.find("P.MR.A\\nB.1.9.\\x1b]0;owned\\x07.ima -> P.MR.A\\nB.1.09.ima\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
}

TEST_F(CliTest, ADryRunForeseesANameTooLongForTheDisk) {
  // 255 bytes now; two more zeros make it too long.
  const std::string name = "P.MR." + std::string(240, 'n') + ".1.1.x.IMA";
  ASSERT_EQ(name.size(), 255u);
  temp.write("exam/" + name);
  for (int i = 2; i <= 100; ++i) temp.write("exam/P.MR.A.1." + std::to_string(i) + ".x.IMA");
  const auto before = snapshot(exam);
  const Result dry = run({"--dry-run", exam});
  EXPECT_EQ(snapshot(exam), before);
  const Result real = run({exam});
  EXPECT_EQ(dry.status, kStepsFailed);
  EXPECT_EQ(dry.status, real.status);
  EXPECT_EQ(dry.err, real.err);
  EXPECT_NE(dry.err.find("File name too long"), std::string::npos) << dry.err;
}

TEST_F(CliTest, ASeriesFolderWhoseFirstFileIsNoDicomFileKeepsItsName) {
  writeExam(30, 3);
  temp.mkdir("exam/Series_S3");
  temp.write("exam/Series_S3/a.txt", "notes");  // listed first
  const Result r = run({"--describe", exam});
  EXPECT_EQ(r.status, kStepsFailed);
  EXPECT_NE(r.out.find("Series_S2/ -> t1_se_tra__Series_S2/\nFiles Processed: 30\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.err, "slicery-cli: 'Series_S3': cannot read the series description: " + exam +
                       "/Series_S3/a.txt: no element (0008,103E) before the end of the file\n");
  EXPECT_EQ(snapshot(exam + "/Series_S3").size(), 11u);
}

TEST_F(CliTest, SeriesDescriptionPrintsEachFilesValueOrWhyNot) {
  const auto image = [](const std::string& description) {
    return tools::DicomWriter::file()
        .addMetaGroup(tools::kImplicitVrLittleEndian, tools::kMrImageStorage, "2.25.9")
        .addImplicit(0x0008, 0x103E, description)
        .bytes();
  };
  const std::string a = temp.write("a.ima", image("SAG T2 FSE"));
  const std::string b = temp.write("b.ima", image(std::string("x\0y\\z", 5)));
  const std::string none = temp.write("none.ima", std::string(200, '\0'));
  // As --describe puts it in a folder name: what Windows, exFAT or FAT
  // refuse in a name is written as '_', as a space is.
  const std::string c = temp.write("c.ima", image("a:b? T2*"));
  Result r = run({"--series-description", a, b, c});
  EXPECT_EQ(r.status, kSucceeded);
  EXPECT_EQ(r.out, a + "\tSAG_T2_FSE\n" + b + "\tx\\0y_z\n" + c + "\ta_b__T2_\n");
  EXPECT_EQ(r.err, "");

  r = run({"--series-description", none, a, temp / "missing.ima"});
  EXPECT_EQ(r.status, kStepsFailed);
  EXPECT_EQ(r.out, a + "\tSAG_T2_FSE\n");
  EXPECT_EQ(r.err, "slicery-cli: '" + none +
                       "': no element (0008,103E) before the end of the file\n"
                       "slicery-cli: '" +
                       temp / "missing.ima" + "': open: No such file or directory\n");

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--series-description"}, {"--series-description", "--short", a}}) {
    EXPECT_EQ(run(bad).status, kBadUsage) << ::testing::PrintToString(bad);
  }
  EXPECT_EQ(parseArguments({"--series-description", "--", "-x.ima"}).files,
            std::vector<std::string>{"-x.ima"});
  EXPECT_NE(run({"--help"}).out.find("--series-description FILE..."), std::string::npos);
}

// Each PATH is its own exam: one that fails does not stop the next, and the
// status is the worst of them.
TEST_F(CliTest, SeveralPathsRunInTurnWithTheWorstStatus) {
  writeExam(12, 1);
  const std::string empty = temp.mkdir("empty");
  const std::string missing = temp / "missing";
  Result r = run({"-q", missing, empty, exam});
  EXPECT_EQ(r.status, kBadUsage);
  EXPECT_EQ(r.out, "==> " + missing + " <==\n\n==> " + empty + " <==\n\n==> " + exam +
                       " <==\nFiles Processed: 12\nTotal Files Renamed/moved: 9\n"
                       "Time Taken: 0 Seconds\n");
  // Every message names its path first.
  std::istringstream lines(r.err);
  std::vector<std::string> messages;
  for (std::string line; std::getline(lines, line);) messages.push_back(line);
  ASSERT_EQ(messages.size(), 2u) << r.err;
  EXPECT_TRUE(messages[0].starts_with("slicery-cli: '" + missing + "': cannot list: "));
  EXPECT_TRUE(messages[1].starts_with("slicery-cli: '" + empty + "': No IMA Files!"));
  EXPECT_TRUE(
      snapshot(exam).contains("ANON.MR.HEAD_ROUTINE.1.01.2003.05.27.10.11.12.100001.1000001.IMA"));

  // A failed step outweighs a folder without series; with several folders
  // the failure names whole paths.
  EXPECT_EQ(run({"-n", exam, empty}).status, kNoSeries);
  const std::string taken = exam + "/Series_S1";
  std::ofstream(taken) << "in the way";
  r = run({"-f", empty, exam});
  EXPECT_EQ(r.status, kStepsFailed) << r.err;
  EXPECT_NE(r.err.find("slicery-cli: '" + taken + "/': cannot make folder: "), std::string::npos)
      << r.err;
}

// The program itself, as a script would call it.
// What the shell makes of `line`, one word a line.
std::string shellWords(const std::string& line) {
  FILE* pipe = ::popen(("printf '%s\\n' " + line).c_str(), "r");
  std::string words;
  char buffer[4096];
  while (const size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) words.append(buffer, n);
  ::pclose(pipe);
  return words;
}

// The ways out that a refused run prints can be pasted into a shell as they
// stand, whatever the folder is called.
TEST(CliProgramTest, TheCommandsForAnUnfinishedRunCanBePasted) {
  TempFolder temp;
  // Given relative to the shell's folder, told by its full path.
  const std::string folder = "-it's my exam; $HOME";
  temp.mkdir(folder);
  tools::ExamOptions options;
  options.files = 6;
  options.series = 1;
  tools::writeExam(temp / folder, options);
  const auto quoted = [](const std::string& text) {
    std::string q = "'";
    for (const char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  };
  const std::string err = temp / "err";
  const auto cli = [&](const std::string& args) {
    const std::string line = "cd " + quoted(temp.path()) + " && " SLICERY_CLI_PROGRAM " " + args +
                             " >/dev/null 2>" + quoted(err);
    return WEXITSTATUS(std::system(line.c_str()));
  };
  ASSERT_EQ(cli("--folders -- " + quoted(folder)), 0);
  std::string journal;
  ASSERT_TRUE(platform::journalPathFor(temp / folder, journal));
  fs::resize_file(journal, fs::file_size(journal) - 9);  // its end record

  ASSERT_EQ(cli("-- " + quoted(folder)), 4);
  std::ifstream in(err);
  const std::string message((std::istreambuf_iterator<char>(in)), {});
  for (const std::string option : {"--resume", "--undo"}) {
    const size_t at = message.find("slicery-cli " + option);
    ASSERT_NE(at, std::string::npos) << message;
    const size_t from = at + std::string("slicery-cli ").size();
    const std::string args = message.substr(from, message.find(" to ", from) - from);
    EXPECT_EQ(shellWords(args), option + "\n" + temp / folder + "\n") << args;
  }
  const size_t undo = message.find("slicery-cli --undo ");
  EXPECT_EQ(cli(message.substr(undo + 12, message.find(" to undo") - undo - 12)), 0);

  // A journal that cannot be read is no way out: the message says so.
  ASSERT_EQ(cli("--folders -- " + quoted(folder)), 0);
  fs::resize_file(journal, fs::file_size(journal) - 9);
  std::fstream(journal, std::ios::in | std::ios::out | std::ios::binary).seekp(20).put('\x7f');
  ASSERT_EQ(cli("-- " + quoted(folder)), 4);
  std::ifstream again(err);
  const std::string damaged((std::istreambuf_iterator<char>(again)), {});
  EXPECT_EQ(damaged.find("--resume"), std::string::npos) << damaged;
  EXPECT_NE(damaged.find("remove '" + journal + "'"), std::string::npos) << damaged;
}

TEST(CliProgramTest, RunsFromTheShell) {
  TempFolder temp;
  tools::ExamOptions options;
  options.files = 12;
  options.series = 2;
  tools::writeExam(temp.mkdir("exam"), options);
  const std::string command = std::string(SLICERY_CLI_PROGRAM) + " --folders " + temp.path() +
                              "/exam 2>" + temp.path() + "/err";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  while (const size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  const int status = ::pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(out.find(" -> Series_S2/ANON.MR.HEAD_ROUTINE.2.1."), std::string::npos) << out;
  EXPECT_NE(out.find("Files Processed: 12\nTotal Files Renamed/moved: 12\nTime Taken: "),
            std::string::npos);
  EXPECT_EQ(snapshot(temp.path())["err"], "");  // no progress bar when not a terminal
}

}  // namespace
}  // namespace slicery::cli
