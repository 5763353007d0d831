// slicery-cli.exe on a real exam folder: its journal in %LOCALAPPDATA%\Slicery,
// undo from it, the lock across processes and Ctrl+Break; what it tells a
// Windows user (its help, the commands it suggests, its version resource).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string_view>
#include <vector>

#include "app/form1.h"
#include "dicom_writer.h"
#include "exam.h"
#include "platform/clock.h"
#include "platform/folder_lock.h"
#include "platform/real_file_system.h"
#include "platform/win32/wide.h"
#include "support/temp_folder.h"

namespace {

using slicery::platform::FolderLock;
using slicery::testing::TempFolder;
namespace win32 = slicery::platform::win32;

// Every path below `folder`, relative, with '/' between names.
std::set<std::string> treeOf(const std::string& folder) {
  std::set<std::string> tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    tree.insert(std::filesystem::relative(entry.path(), folder).generic_string());
  }
  return tree;
}

class CliOnWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    exam = temp.mkdir("exam");
    state = temp.mkdir("local");
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", win32::wide(state).c_str());
  }

  static std::wstring program() {
    return win32::wide(win32::shortForm(win32::longPath(SLICERY_CLI_PROGRAM)));
  }

  // Starts slicery-cli.exe with `arguments` (or, with `commandLine`, that
  // command line as it stands), its output to a file of its own.
  win32::Handle start(const std::string& arguments, DWORD flags = 0,
                      const std::wstring& commandLine = {}) {
    std::wstring command = L"\"" + program() + L"\" " + win32::wide(arguments);
    if (!commandLine.empty()) command = commandLine;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    win32::Handle output(::CreateFileW(win32::wide(temp / "output.txt").c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION child{};
    if (!::CreateProcessW(commandLine.empty() ? program().c_str() : nullptr, command.data(),
                          nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &child)) {
      ADD_FAILURE() << "cannot start " << SLICERY_CLI_PROGRAM << ": " << ::GetLastError();
      return win32::Handle();
    }
    ::CloseHandle(child.hThread);
    return win32::Handle(child.hProcess);
  }

  static DWORD exitOf(const win32::Handle& process) {
    if (!process.valid()) return 999;
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD status = 999;
    ::GetExitCodeProcess(process.get(), &status);
    return status;
  }

  DWORD run(const std::string& arguments) { return exitOf(start(arguments)); }

  std::string quotedExam() const { return "\"" + exam + "\""; }

  // What the last program started wrote.
  std::string output() const {
    std::ifstream in(temp / "output.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  TempFolder temp;
  std::string exam;
  std::string state;
};

TEST_F(CliOnWindows, RunKeepsItsJournalInLocalAppDataAndUndoPutsEveryNameBack) {
  slicery::tools::ExamOptions options;
  options.files = 60;
  options.series = 12;
  options.shortNames = true;
  slicery::tools::writeExam(exam, options);
  const std::set<std::string> before = treeOf(exam);

  ASSERT_EQ(run("--describe " + quotedExam()), 0u);
  const std::set<std::string> after = treeOf(exam);
  EXPECT_NE(after, before);
  EXPECT_EQ(after.count("localizer__Series_S01"), 1u);
  EXPECT_EQ(after.size(), before.size() + 12);  // the series folders
  std::size_t journals = 0;
  for (const auto& entry : std::filesystem::directory_iterator(state + "\\Slicery")) {
    journals += entry.path().extension() == ".journal";
  }
  EXPECT_EQ(journals, 1u);

  ASSERT_EQ(run("--undo " + quotedExam()), 0u);
  EXPECT_EQ(treeOf(exam), before);
}

TEST_F(CliOnWindows, TheDryRunForeseesANameTakenInAnotherLetterCase) {
  for (int slice = 1; slice <= 10; ++slice) {
    temp.write("exam/ANON.MR.X.1." + std::to_string(slice) + ".2003.IMA", "image");
  }
  temp.mkdir("exam/anon.mr.x.1.01.2003.ima");  // where slice 1 would go
  const std::set<std::string> before = treeOf(exam);

  EXPECT_EQ(run("-n " + quotedExam()), 1u);
  EXPECT_NE(output().find("ANON.MR.X.1.1.2003.IMA"), std::string::npos) << output();
  EXPECT_EQ(run(quotedExam()), 1u);
  EXPECT_NE(output().find("ANON.MR.X.1.1.2003.IMA"), std::string::npos) << output();
  const std::set<std::string> after = treeOf(exam);
  EXPECT_EQ(after.count("ANON.MR.X.1.1.2003.IMA"), 1u);
  EXPECT_EQ(after.count("anon.mr.x.1.01.2003.ima"), 1u);
  EXPECT_EQ(after.size(), before.size());
}

// A description holding characters Windows refuses in a name, as the common
// T2* sequences do, still names the folder, each such character written as
// '_'; --series-description prints the same.
TEST_F(CliOnWindows, ADescriptionWithCharactersWindowsRefusesStillNamesTheFolder) {
  const auto image = [](std::string_view description) {
    return slicery::tools::DicomWriter::file()
        .addMetaGroup(slicery::tools::kExplicitVrLittleEndian, slicery::tools::kMrImageStorage,
                      "2.25.7")
        .add(0x0008, 0x103E, "LO", description)
        .bytes();
  };
  temp.write("exam/ANON.MR.X.1.1.2003.IMA", image("T2* "));
  temp.write("exam/ANON.MR.X.2.1.2003.IMA", image("a:b?"));

  ASSERT_EQ(run("--describe " + quotedExam()), 0u) << output();
  const std::set<std::string> after = treeOf(exam);
  EXPECT_EQ(after.count("T2___Series_S1/ANON.MR.X.1.1.2003.IMA"), 1u) << output();
  EXPECT_EQ(after.count("a_b__Series_S2/ANON.MR.X.2.1.2003.IMA"), 1u) << output();
  ASSERT_EQ(run("--series-description \"" + exam + "\\T2___Series_S1\\ANON.MR.X.1.1.2003.IMA\""),
            0u)
      << output();
  EXPECT_NE(output().find("\tT2__"), std::string::npos) << output();
}

// Files marked hidden or system are not the run's: neither renamed nor
// moved by a dry run, a run or its undo; their names stay taken.
TEST_F(CliOnWindows, HiddenAndSystemFilesAreNeitherRenamedNorMoved) {
  for (int slice = 1; slice <= 12; ++slice) {
    temp.write("exam/ANON.MR.X.1." + std::to_string(slice) + ".2003.IMA", "image");
  }
  const std::string hidden = "ANON.MR.X.1.2.2003.IMA";
  const std::string system = "ANON.MR.X.1.3.2003.IMA";
  ASSERT_TRUE(
      ::SetFileAttributesW(win32::wide(exam + "\\" + hidden).c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(
      ::SetFileAttributesW(win32::wide(exam + "\\" + system).c_str(), FILE_ATTRIBUTE_SYSTEM));
  const std::set<std::string> before = treeOf(exam);

  EXPECT_EQ(run("-n -f " + quotedExam()), 0u);
  EXPECT_EQ(output().find(hidden), std::string::npos) << output();
  EXPECT_EQ(output().find(system), std::string::npos) << output();
  ASSERT_EQ(run("-f " + quotedExam()), 0u);
  EXPECT_NE(output().find("Total Files Renamed/moved: 10"), std::string::npos) << output();
  const std::set<std::string> after = treeOf(exam);
  EXPECT_EQ(after.count(hidden), 1u);
  EXPECT_EQ(after.count(system), 1u);
  EXPECT_EQ(after.count("Series_S1/ANON.MR.X.1.01.2003.IMA"), 1u);
  ASSERT_EQ(run("--undo " + quotedExam()), 0u);
  EXPECT_EQ(treeOf(exam), before);
}

// A folder named as a journal is told, never taken for one, and the run
// goes on.
TEST_F(CliOnWindows, AFolderNamedAsAJournalIsToldAndLeftAlone) {
  slicery::tools::writeExam(exam, {});
  const std::string odd = state + "\\Slicery\\odd.journal";
  std::filesystem::create_directories(odd);
  EXPECT_EQ(run(quotedExam()), 0u);
  EXPECT_NE(output().find("odd.journal: not a regular file"), std::string::npos) << output();
  EXPECT_TRUE(std::filesystem::is_directory(odd));
}

TEST_F(CliOnWindows, AFolderLockedByAnotherRunIsLeftAlone) {
  slicery::tools::writeExam(exam, {});
  const std::set<std::string> before = treeOf(exam);
  std::unique_ptr<FolderLock> lock;
  ASSERT_TRUE(FolderLock::acquire(exam, lock));
  EXPECT_EQ(run("-f " + quotedExam()), 5u);
  EXPECT_EQ(treeOf(exam), before);
  lock.reset();
  EXPECT_EQ(run("-f " + quotedExam()), 0u);
}

TEST_F(CliOnWindows, CtrlBreakStopsTheRunWith130AndItCanBeUndone) {
  // The child shares this program's console, made here when it has none.
  if (!::AllocConsole() && ::GetLastError() != ERROR_ACCESS_DENIED) {
    GTEST_SKIP() << "no console can be made here (error " << ::GetLastError() << ")";
  }
  slicery::tools::ExamOptions options;
  options.files = 1000;
  options.series = 10;
  options.imageSide = 4;
  slicery::tools::writeExam(exam, options);
  const std::set<std::string> before = treeOf(exam);
  win32::Handle process = start("-f " + quotedExam(), CREATE_NEW_PROCESS_GROUP);
  ASSERT_TRUE(process.valid());
  ::Sleep(50);  // for its handler to be set
  if (!::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, ::GetProcessId(process.get()))) {
    exitOf(process);
    GTEST_SKIP() << "no console to send Ctrl+Break through (error " << ::GetLastError() << ")";
  }
  const DWORD status = exitOf(process);
  if (status == 0) GTEST_SKIP() << "the run ended before Ctrl+Break arrived";
  EXPECT_EQ(status, 130u);
  ASSERT_EQ(run("--undo " + quotedExam()), 0u);
  EXPECT_EQ(treeOf(exam), before);
}

TEST_F(CliOnWindows, HelpNamesWindowsPlacesAndKeys) {
  ASSERT_EQ(run("--help"), 0u);
  const std::string help = output();
  for (const char* windows : {"%LOCALAPPDATA%\\Slicery\\", "Ctrl+Break", "closing the console"}) {
    EXPECT_NE(help.find(windows), std::string::npos) << windows;
  }
  for (const char* posix : {"XDG_STATE_HOME", "~/.local", "SIGTERM", "SIGINT"}) {
    EXPECT_EQ(help.find(posix), std::string::npos) << posix;
  }
}

// The version Explorer shows is the one --version prints, and the program
// carries a manifest as the window does.
TEST_F(CliOnWindows, VersionResourceAndManifestAgreeWithVersion) {
  ASSERT_EQ(run("--version"), 0u);
  const std::wstring file = program();
  std::vector<char> info(::GetFileVersionInfoSizeW(file.c_str(), nullptr));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(::GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  wchar_t* version = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                               reinterpret_cast<void**>(&version), &length));
  EXPECT_EQ(output(), "slicery-cli " + win32::narrow(version) + "\r\n");
  const HMODULE image = ::LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(image, nullptr);
  EXPECT_NE(::FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr);
  ::FreeLibrary(image);
}

// Asks the run to stop after its first file.
class StopAfterOneFile : public slicery::app::Form1View {
 public:
  explicit StopAfterOneFile(std::atomic<bool>& stop) : stop_(stop) {}
  void fileRenamed(const std::string&, const std::string&) override { stop_ = true; }

 private:
  std::atomic<bool>& stop_;
};

// The command slicery-cli suggests for an unfinished run, pasted into cmd.exe
// as it stands, finishes that run, in a folder whose path needs quotes.
TEST_F(CliOnWindows, TheSuggestedResumeCommandWorksInCmd) {
  exam = temp.mkdir("exam & co 1");
  slicery::tools::ExamOptions options;
  options.files = 12;
  options.series = 3;
  slicery::tools::writeExam(exam, options);
  {
    slicery::platform::RealFileSystem fs;
    slicery::platform::RealClock clock;
    slicery::app::Form1 form(fs, clock);
    std::atomic<bool> stop{false};
    StopAfterOneFile view(stop);
    form.setView(&view);
    form.setJournaling(true);
    form.setStopFlag(&stop);
    ASSERT_TRUE(form.drop({exam}));
    form.changeCheck(form.Check2, 1);
    form.pressStart();
    ASSERT_LT(form.filesRenamed, 12);
  }

  EXPECT_EQ(run("-f " + quotedExam()), 4u);
  const std::string told = output();
  const size_t from = told.find("Run slicery-cli --resume ");
  const size_t to = told.find(" to finish it", from);
  ASSERT_TRUE(from != std::string::npos && to != std::string::npos) << told;
  const std::string resume = told.substr(from + 4, to - from - 4);
  EXPECT_TRUE(resume.starts_with("slicery-cli --resume \"") && resume.ends_with("\\exam & co 1\""))
      << resume;

  // cmd.exe finds slicery-cli on the PATH, as after an install.
  const std::wstring folder = program().substr(0, program().rfind(L'\\'));
  std::wstring path(32767, L'\0');
  path.resize(::GetEnvironmentVariableW(L"PATH", path.data(), 32767));
  ::SetEnvironmentVariableW(L"PATH", (folder + L";" + path).c_str());
  const DWORD status = exitOf(start({}, 0, L"cmd.exe /c " + win32::wide(resume)));
  ::SetEnvironmentVariableW(L"PATH", path.c_str());
  EXPECT_EQ(status, 0u) << output();
  for (const std::string& entry : treeOf(exam)) {
    EXPECT_TRUE(entry.starts_with("Series_S")) << entry;
  }
}

}  // namespace
