// The Windows platform layer on a real disk: what a listing shows, names that
// differ in letter case only, long paths and their forms, UTF-16 names, the
// folder lock across processes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/append_file.h"
#include "platform/folder_lock.h"
#include "platform/real_file_system.h"
#include "platform/win32/wide.h"
#include "rename/new_name.h"
#include "support/temp_folder.h"

namespace {

using namespace slicery::platform;
using slicery::testing::TempFolder;
namespace win32 = slicery::platform::win32;

void makeFile(const std::string& path, const std::string& contents = "data") {
  std::unique_ptr<AppendFile> file;
  ASSERT_TRUE(openAppendFile(path, true, 0, file)) << path;
  ASSERT_TRUE(file->append(contents));
}

void setAttributes(const std::string& path, DWORD attributes) {
  ASSERT_TRUE(::SetFileAttributesW(win32::longPath(path).c_str(), attributes)) << path;
}

std::vector<std::string> filesIn(RealFileSystem& fs, const std::string& folder) {
  std::vector<std::string> names;
  EXPECT_TRUE(fs.listFiles(folder, {}, names));
  std::sort(names.begin(), names.end());
  return names;
}

std::string contentsOf(RealFileSystem& fs, const std::string& path) {
  std::unique_ptr<ReadableFile> file;
  if (!fs.openForReading(path, file)) return "(cannot open)";
  std::string data(64, '\0');
  std::size_t got = 0;
  if (!file->readAt(0, data.data(), data.size(), got)) return "(cannot read)";
  data.resize(got);
  return data;
}

TEST(WindowsFileSystem, ListingLeavesOutHiddenAndSystemFilesButTheyStayTaken) {
  TempFolder dir;
  RealFileSystem fs;
  const std::string exam = dir.mkdir("exam");
  for (const char* name : {"a.ima", "hidden.ima", "system.ima", "readonly.ima", ".dot.ima"}) {
    makeFile(joinPath(exam, name));
  }
  ASSERT_TRUE(fs.makeFolder(joinPath(exam, "folder.ima")));
  setAttributes(joinPath(exam, "hidden.ima"), FILE_ATTRIBUTE_HIDDEN);
  setAttributes(joinPath(exam, "system.ima"), FILE_ATTRIBUTE_SYSTEM);
  setAttributes(joinPath(exam, "readonly.ima"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);

  // A name beginning with '.' is an ordinary one here.
  EXPECT_EQ(filesIn(fs, exam), (std::vector<std::string>{".dot.ima", "a.ima", "readonly.ima"}));
  FileSystem::Entries entries;
  std::vector<bool> hidden;
  ASSERT_TRUE(fs.listEntriesMarked(exam, entries, hidden));
  ASSERT_EQ(entries.size(), 6u);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = entries[i].first;
    EXPECT_EQ(hidden[i], name == "hidden.ima" || name == "system.ima") << name;
  }
  const Status onHidden = fs.renameFile(joinPath(exam, "a.ima"), joinPath(exam, "HIDDEN.ima"));
  EXPECT_EQ(onHidden.code(), EEXIST) << onHidden.toString();
  EXPECT_EQ(contentsOf(fs, joinPath(exam, "a.ima")), "data");
}

TEST(WindowsFileSystem, LinksAreToldApartFromFolders) {
  TempFolder dir;
  RealFileSystem fs;
  const std::string exam = dir.mkdir("exam");
  const std::string target = dir.mkdir("elsewhere");
  makeFile(joinPath(exam, "a.ima"));
  const DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  if (!::CreateSymbolicLinkW(win32::longPath(joinPath(exam, "S1")).c_str(),
                             win32::longPath(target).c_str(),
                             flags | SYMBOLIC_LINK_FLAG_DIRECTORY) ||
      !::CreateSymbolicLinkW(win32::longPath(joinPath(exam, "b.ima")).c_str(),
                             win32::longPath(joinPath(exam, "a.ima")).c_str(), flags)) {
    GTEST_SKIP() << "this account may not make symbolic links (error " << ::GetLastError() << ")";
  }
  std::string text;
  if (fs.entryKind(joinPath(exam, "S1"), text) == PathKind::missing) {
    GTEST_SKIP() << "CreateSymbolicLinkW said yes and made no link (as Wine 8 does)";
  }
  EXPECT_EQ(fs.entryKind(joinPath(exam, "S1"), text), PathKind::link);
  EXPECT_EQ(fs.kindOf(joinPath(exam, "S1")), PathKind::folder);
  EXPECT_EQ(fs.entryKind(joinPath(exam, "b.ima"), text), PathKind::link);
  EXPECT_EQ(text, joinPath(exam, "a.ima"));  // its target, which stays right in a subfolder
  FileSystem::Entries entries;
  ASSERT_TRUE(fs.listEntries(exam, entries));
  for (const auto& [name, kind] : entries) {
    EXPECT_EQ(kind, name == "a.ima" ? PathKind::file : PathKind::link) << name;
  }
  // A link to a file is listed as the file; a link to a folder is no folder.
  EXPECT_EQ(filesIn(fs, exam), (std::vector<std::string>{"a.ima", "b.ima"}));
}

// Reparse data as NTFS gives it: tag, sizes, the names' offsets and sizes,
// a symbolic link's flags, then the substitute and the print name.
std::string reparseData(DWORD tag, const std::wstring& substitute, const std::wstring& print) {
  std::string data(tag == IO_REPARSE_TAG_SYMLINK ? 20 : 16, '\0');
  const auto put = [&data](std::size_t at, std::size_t value) {
    data[at] = static_cast<char>(value & 0xFF);
    data[at + 1] = static_cast<char>(value >> 8);
  };
  std::memcpy(data.data(), &tag, sizeof tag);
  put(8, 0);
  put(10, substitute.size() * 2);
  put(12, substitute.size() * 2);
  put(14, print.size() * 2);
  for (const std::wstring& name : {substitute, print}) {
    data.append(reinterpret_cast<const char*>(name.data()), name.size() * 2);
  }
  return data;
}

// A link's target is read from its reparse data, so a link to a file whose
// target stays right in a series folder can be moved there; only a relative
// one is refused as such (Wine 8 makes no links to try this on a disk).
TEST(WindowsFileSystem, ALinksTargetIsReadFromItsReparseData) {
  const auto textOf = [](const std::string& data) {
    return reparseLinkText(reinterpret_cast<const unsigned char*>(data.data()), data.size());
  };
  const std::string absolute =
      textOf(reparseData(IO_REPARSE_TAG_SYMLINK, L"\\??\\C:\\exam\\a.ima", L"C:\\exam\\a.ima"));
  EXPECT_EQ(absolute, "C:\\exam\\a.ima");
  EXPECT_GT(pathRootLength(absolute), 0u);
  const std::string relative =
      textOf(reparseData(IO_REPARSE_TAG_SYMLINK, L"..\\a.ima", L"..\\a.ima"));
  EXPECT_EQ(relative, "..\\a.ima");
  EXPECT_EQ(pathRootLength(relative), 0u);
  const std::string junction = textOf(reparseData(IO_REPARSE_TAG_MOUNT_POINT, L"\\??\\D:\\x", L""));
  EXPECT_EQ(junction, "\\\\?\\D:\\x");
  EXPECT_GT(pathRootLength(junction), 0u);
  const std::string cut = reparseData(IO_REPARSE_TAG_SYMLINK, L"\\??\\C:\\a", L"C:\\a");
  EXPECT_EQ(textOf(cut.substr(0, 22)), "");  // cut short: no name rather than half of one
  const DWORD dedup = 0x80000013;            // a deduplicated file, no link
  EXPECT_EQ(textOf(reparseData(dedup, L"x", L"x")), "");
}

TEST(WindowsFileSystem, ANameDifferingInLetterCaseOnlyIsTakenYetACaseOnlyRenameWorks) {
  TempFolder dir;
  RealFileSystem fs;
  const std::string exam = dir.mkdir("exam");
  makeFile(joinPath(exam, "a.ima"), "first");
  makeFile(joinPath(exam, "b.ima"), "second");
  ASSERT_TRUE(fs.makeFolder(joinPath(exam, "Series_S1")));
  ASSERT_TRUE(fs.makeFolder(joinPath(exam, "Other")));

  EXPECT_EQ(fs.renameFile(joinPath(exam, "b.ima"), joinPath(exam, "A.IMA")).code(), EEXIST);
  EXPECT_EQ(fs.renameFolder(joinPath(exam, "Other"), joinPath(exam, "SERIES_S1")).code(), EEXIST);
  EXPECT_EQ(fs.makeFolder(joinPath(exam, "series_s1")).code(), EEXIST);
  EXPECT_EQ(contentsOf(fs, joinPath(exam, "a.ima")), "first");
  EXPECT_EQ(contentsOf(fs, joinPath(exam, "b.ima")), "second");

  // NTFS and FAT change the letter case; Wine on a case-sensitive disk
  // keeps the old one, which must then be told as a failure.
  const Status caseOnly = fs.renameFile(joinPath(exam, "a.ima"), joinPath(exam, "A.ima"));
  EXPECT_EQ(filesIn(fs, exam), (std::vector<std::string>{caseOnly ? "A.ima" : "a.ima", "b.ima"}))
      << caseOnly.toString();
  EXPECT_EQ(contentsOf(fs, joinPath(exam, "A.ima")), "first");
}

TEST(WindowsFileSystem, PathsLongerThan260CharactersWorkInEveryForm) {
  TempFolder dir;
  RealFileSystem fs;
  std::string deep = dir.path();
  while (deep.size() < 320) {
    deep = joinPath(deep, std::string(40, 'd'));
    ASSERT_TRUE(fs.makeFolder(deep)) << deep.size();
  }
  makeFile(joinPath(deep, "ANON.MR.X.1.1.IMA"), "image");
  EXPECT_EQ(filesIn(fs, deep), (std::vector<std::string>{"ANON.MR.X.1.1.IMA"}));
  ASSERT_TRUE(
      fs.renameFile(joinPath(deep, "ANON.MR.X.1.1.IMA"), joinPath(deep, "ANON.MR.X.01.IMA")));
  EXPECT_EQ(contentsOf(fs, joinPath(deep, "ANON.MR.X.01.IMA")), "image");

  std::string slashes = deep;
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  EXPECT_EQ(fs.kindOf(slashes + "/ANON.MR.X.01.IMA"), PathKind::file);
  const std::string longForm = win32::narrow(win32::longPath(deep));
  ASSERT_EQ(longForm.rfind("\\\\?\\", 0), 0u);
  EXPECT_EQ(filesIn(fs, longForm), (std::vector<std::string>{"ANON.MR.X.01.IMA"}));
  EXPECT_EQ(parentPath(joinPath(longForm, "x")), longForm);
}

TEST(WindowsPaths, DrivesAndSharesAreJoinedAndSplitWithBackslashes) {
  EXPECT_EQ(joinPath("C:\\exam", "Series_S1"), "C:\\exam\\Series_S1");
  EXPECT_EQ(joinPath("C:\\", "exam"), "C:\\exam");
  EXPECT_EQ(parentPath("C:\\exam"), "C:\\");
  EXPECT_EQ(parentPath("C:\\"), "C:\\");
  EXPECT_EQ(parentPath("C:/exam/x.ima"), "C:/exam");
  EXPECT_EQ(parentPath("\\\\server\\share\\exam"), "\\\\server\\share\\");
  EXPECT_EQ(parentPath("\\\\?\\UNC\\server\\share\\exam\\x.ima"),
            "\\\\?\\UNC\\server\\share\\exam");
  EXPECT_EQ(parentPath("\\\\?\\C:\\exam"), "\\\\?\\C:\\");
  EXPECT_EQ(withoutTrailingSeparator("C:\\exam\\\\"), "C:\\exam");
  EXPECT_EQ(withoutTrailingSeparator("\\\\server\\share\\"), "\\\\server\\share\\");

  EXPECT_EQ(win32::longPath("\\\\server\\share\\exam"), L"\\\\?\\UNC\\server\\share\\exam");
  EXPECT_EQ(win32::longPath("C:/exam/../other/./x.ima"), L"\\\\?\\C:\\other\\x.ima");
  EXPECT_EQ(win32::shortForm(L"\\\\?\\UNC\\server\\share\\exam"), "\\\\server\\share\\exam");
  EXPECT_EQ(win32::shortForm(L"\\\\?\\C:\\exam"), "C:\\exam");
}

TEST(WindowsPaths, AFolderNameThatWouldLeadElsewhereOrCannotStandIsRefused) {
  using slicery::rename::unsafeFolderName;
  EXPECT_NE(unsafeFolderName("..\\x_Series_S01"), "");  // out of the loaded folder
  EXPECT_NE(unsafeFolderName("T1\\T2_Series_S01"), "");
  EXPECT_NE(unsafeFolderName("ax:stream_Series_S01"), "");  // a stream of another entry
  EXPECT_NE(unsafeFolderName("what?_Series_S01"), "");
  EXPECT_NE(unsafeFolderName("Series_S01."), "");
  EXPECT_NE(unsafeFolderName("con.t2_Series_S01"), "");
  EXPECT_EQ(unsafeFolderName("T2 tse (cor)_Series_S01"), "");
  EXPECT_EQ(unsafeFolderName("CONTRAST_Series_S01"), "");
}

TEST(WindowsText, NamesTravelToUtf16AndBackUnchanged) {
  const std::string name = "\xC3\x84rger-\xE5\x90\x8D-\xF0\x9F\x98\x80.ima";  // Ärger-名-😀
  EXPECT_EQ(win32::wide(name), L"\u00C4rger-\u540D-\U0001F600.ima");
  EXPECT_EQ(win32::narrow(win32::wide(name)), name);
  // Bytes of no character (a description in Latin-1) come back as they were.
  const std::string latin1 = "K\xF6rper\xFF";
  EXPECT_EQ(win32::narrow(win32::wide(latin1)), latin1);

  TempFolder dir;
  RealFileSystem fs;
  makeFile(joinPath(dir.path(), name));
  EXPECT_EQ(filesIn(fs, dir.path()), (std::vector<std::string>{name}));
}

// A child of this program holds the lock on the folder named here until it
// is ended.
constexpr char kHoldLock[] = "SLICERY_TEST_HOLD_LOCK";
[[maybe_unused]] const bool holdingForParent = [] {
  if (const char* folder = std::getenv(kHoldLock); folder != nullptr) {
    std::unique_ptr<FolderLock> lock;
    if (!FolderLock::acquire(folder, lock)) std::exit(3);
    ::Sleep(INFINITE);
  }
  return false;
}();

TEST(WindowsFolderLock, OneHolderAtATimeAndAHolderThatDiesLetsGo) {
  TempFolder dir;
  const std::string exam = dir.mkdir("exam");
  ASSERT_TRUE(::SetEnvironmentVariableW(L"LOCALAPPDATA", win32::wide(dir.mkdir("state")).c_str()));
  {
    std::unique_ptr<FolderLock> first;
    std::unique_ptr<FolderLock> second;
    ASSERT_TRUE(FolderLock::acquire(exam, first));
    EXPECT_EQ(FolderLock::acquire(exam + "\\.\\", second).code(), EWOULDBLOCK);
    EXPECT_TRUE(FolderLock::heldElsewhere(exam));
  }
  EXPECT_FALSE(FolderLock::heldElsewhere(exam));

  ASSERT_TRUE(::SetEnvironmentVariableW(L"SLICERY_TEST_HOLD_LOCK", win32::wide(exam).c_str()));
  wchar_t self[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=None";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  const BOOL started = ::CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &child);
  ::SetEnvironmentVariableW(L"SLICERY_TEST_HOLD_LOCK", nullptr);
  ASSERT_TRUE(started);
  win32::Handle process(child.hProcess);
  win32::Handle thread(child.hThread);
  bool held = false;
  for (int i = 0; i < 200 && !held; ++i) {
    held = FolderLock::heldElsewhere(exam);
    if (!held) ::Sleep(50);
  }
  EXPECT_TRUE(held);
  ::TerminateProcess(process.get(), 9);
  ::WaitForSingleObject(process.get(), INFINITE);
  std::unique_ptr<FolderLock> after;
  EXPECT_TRUE(FolderLock::acquire(exam, after));
}

}  // namespace
