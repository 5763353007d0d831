// The Win32 window driven by window messages under Wine (null display
// driver): its layout at 96 DPI, its state at open, where drops go, the
// option rules, the access keys, a run, the preview, Esc's stop, Ctrl+Z's
// undo and the context menu.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "app/form1.h"
#include "exam.h"
#include "exams_dialog.h"
#include "main_window.h"
#include "platform/clock.h"
#include "platform/real_file_system.h"
#include "platform/win32/wide.h"
#include "preview_dialog.h"
#include "support/temp_folder.h"

namespace slicery {
namespace {

using app::ControlId;

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<win32::MainWindow>(form, SW_SHOWNOACTIVATE);
    ASSERT_NE(window->hwnd(), nullptr);
    window->setQuitOnClose(false);
  }

  HWND of(ControlId id, int index = 0) const { return window->control(id, index); }
  // A child's place in the window's client coordinates.
  RECT place(HWND child) const {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, window->hwnd(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  static std::string text(HWND hwnd) {
    wchar_t buffer[512] = {};
    ::GetWindowTextW(hwnd, buffer, 512);
    return platform::win32::narrow(buffer);
  }
  static bool enabled(HWND hwnd) { return ::IsWindowEnabled(hwnd) != FALSE; }
  static bool ticked(HWND box) { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }
  static void click(HWND hwnd) { ::SendMessageW(hwnd, BM_CLICK, 0, 0); }
  // Alt with a letter, as the message loop hands it to the window.
  void altKey(wchar_t key) {
    MSG msg{::GetFocus(), WM_SYSCHAR, key, 1 << 29, 0, {}};
    window->handleDialogMessage(msg);
  }

  // Sends the window what Explorer posts for a drop of `paths` at `at`.
  void dropAt(POINT at, const std::vector<std::string>& paths) {
    std::wstring list;
    for (const std::string& path : paths) list += platform::win32::wide(path) + L'\0';
    list += L'\0';
    const size_t bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GHND, bytes);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    *drop = {sizeof(DROPFILES), at, FALSE, TRUE};
    std::memcpy(drop + 1, list.data(), list.size() * sizeof(wchar_t));
    ::GlobalUnlock(memory);
    ::SendMessageW(window->hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  }
  // What the window's tooltip says over `tool`.
  std::string tipOf(HWND tool) const {
    HWND tip = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM found) {
          wchar_t kind[32] = {};
          ::GetClassNameW(hwnd, kind, 32);
          if (std::wstring(kind) != TOOLTIPS_CLASSW) return TRUE;
          *reinterpret_cast<HWND*>(found) = hwnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&tip));
    wchar_t shown[512] = {};
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.hwnd = window->hwnd();
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = shown;
    ::SendMessageW(tip, TTM_GETTEXTW, std::size(shown), reinterpret_cast<LPARAM>(&info));
    return platform::win32::narrow(shown);
  }
  POINT centre(HWND child) const {
    const RECT r = place(child);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }

  platform::RealFileSystem fs;
  platform::RealClock clock;
  app::Form1 form{fs, clock};
  std::unique_ptr<win32::MainWindow> window;
};

// Answers the message boxes the window shows while it lives: records each
// and presses a button.
class MessageBoxCatcher {
 public:
  // The button to press in a box of this title and text; 0 leaves it.
  using Answer = std::function<int(const std::string& title, const std::string& text)>;
  // By default the unfinished run's question is answered with Finish, every
  // other box with OK.
  static constexpr int kFinishButton = 100;
  static constexpr int kStopButton = 100;
  static constexpr int kContinueButton = 101;
  static int finishOrOk(const std::string& title, const std::string&) {
    return title == "Unfinished Run" ? kFinishButton : IDOK;
  }
  explicit MessageBoxCatcher(Answer answer = finishOrOk)
      : thread_(::GetCurrentThreadId()), answer_(std::move(answer)) {
    watcher_ = std::thread([this] {
      while (!stop_) {
        ::EnumThreadWindows(thread_, &MessageBoxCatcher::answer, reinterpret_cast<LPARAM>(this));
        ::Sleep(20);
      }
    });
  }
  ~MessageBoxCatcher() {
    stop_ = true;
    watcher_.join();
  }
  std::vector<std::pair<std::string, std::string>> seen;  // title, text
  std::vector<LRESULT> icons;                             // each box's caption icon

 private:
  static BOOL CALLBACK answer(HWND hwnd, LPARAM self) {
    auto* catcher = reinterpret_cast<MessageBoxCatcher*>(self);
    wchar_t name[16] = {};
    ::GetClassNameW(hwnd, name, 16);
    if (std::wstring(name) != L"#32770" || !::IsWindowVisible(hwnd) || hwnd == catcher->answered_) {
      return TRUE;
    }
    wchar_t title[128] = {};
    ::GetWindowTextW(hwnd, title, 128);
    // The box's texts: a message box's one, a task dialog's several.
    std::string body;
    ::EnumChildWindows(
        hwnd,
        [](HWND child, LPARAM text) {
          wchar_t kind[16] = {};
          wchar_t shown[512] = {};
          ::GetClassNameW(child, kind, 16);
          ::GetWindowTextW(child, shown, 512);
          auto& all = *reinterpret_cast<std::string*>(text);
          if (_wcsicmp(kind, L"Static") == 0 && shown[0] != 0) {
            if (!all.empty()) all += '\n';
            all += platform::win32::narrow(shown);
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&body));
    const int button = catcher->answer_(platform::win32::narrow(title), body);
    if (button == 0) return TRUE;
    catcher->seen.emplace_back(platform::win32::narrow(title), body);
    catcher->icons.push_back(::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
    catcher->answered_ = hwnd;
    ::PostMessageW(hwnd, WM_COMMAND, static_cast<WPARAM>(button), 0);
    return FALSE;
  }
  DWORD thread_;
  Answer answer_;
  HWND answered_ = nullptr;  // answered, and perhaps not yet gone
  std::atomic<bool> stop_{false};
  std::thread watcher_;
};

TEST_F(Win32WindowTest, OpensAsTheTablesLayItOutAt96Dpi) {
  EXPECT_EQ(text(window->hwnd()), "Slicery - Version 2.0");
  RECT client{};
  ::GetClientRect(window->hwnd(), &client);
  EXPECT_EQ(client.right, 978);
  EXPECT_EQ(client.bottom, 463);
  EXPECT_EQ(::GetWindowLongW(window->hwnd(), GWL_STYLE) & WS_THICKFRAME, 0);

  // Window coordinates of controls in each frame, twips / 15.
  const struct {
    HWND hwnd;
    RECT at;
  } places[] = {
      {window->frame(1), {8, 0, 8 + 961, 457}},
      {window->frame(3), {608, 336, 608 + 321, 336 + 89}},
      {of(ControlId::btnstart), {32, 24, 32 + 81, 24 + 33}},
      {of(ControlId::Check4), {152, 64, 152 + 249, 64 + 17}},
      {of(ControlId::Text1), {288, 88, 288 + 193, 88 + 19}},
      {of(ControlId::lblcurrentfolder), {203, 120, 203 + 689, 120 + 17}},
      {of(ControlId::Label1, 2), {40, 144, 40 + 153, 144 + 17}},
      {of(ControlId::lbltimetaken), {800, 392, 800 + 121, 392 + 17}},
      {of(ControlId::prgtotal), {56, 400, 56 + 497, 400 + 25}},
  };
  for (const auto& p : places) {
    const RECT r = place(p.hwnd);
    EXPECT_EQ(r.left, p.at.left) << text(p.hwnd);
    EXPECT_EQ(r.top, p.at.top) << text(p.hwnd);
    EXPECT_EQ(r.right, p.at.right) << text(p.hwnd);
    EXPECT_EQ(r.bottom, p.at.bottom) << text(p.hwnd);
  }

  // Captions in Verdana 8.25 pt (11 px), the hints bold; Check4 and Text1 in
  // the window's default font.
  const auto font = [](HWND hwnd) {
    LOGFONTW f{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof f, &f);
    return f;
  };
  EXPECT_STREQ(font(of(ControlId::Check1)).lfFaceName, L"Verdana");
  EXPECT_EQ(font(of(ControlId::Check1)).lfHeight, -11);
  EXPECT_EQ(font(of(ControlId::Check1)).lfWeight, FW_NORMAL);
  EXPECT_EQ(font(of(ControlId::Label4)).lfWeight, FW_BOLD);
  EXPECT_STRNE(font(of(ControlId::Check4)).lfFaceName, L"Verdana");

  EXPECT_EQ(text(of(ControlId::btnstart)), "&Start");
  EXPECT_EQ(text(of(ControlId::Label1, 9)), "Total Files Renamed/moved:");
  for (ControlId id : {ControlId::btnExit, ControlId::Check1, ControlId::Check2}) {
    EXPECT_TRUE(enabled(of(id)));
  }
  for (ControlId id : {ControlId::btnstart, ControlId::Check3, ControlId::Check4, ControlId::Text1,
                       ControlId::Label2, ControlId::Label4, ControlId::Label8}) {
    EXPECT_FALSE(enabled(of(id))) << static_cast<int>(id);
  }
  // The disabled text box asks its colour as a static control does.
  EXPECT_EQ(::SendMessageW(window->hwnd(), WM_CTLCOLORSTATIC,
                           reinterpret_cast<WPARAM>(::GetDC(of(ControlId::Text1))),
                           reinterpret_cast<LPARAM>(of(ControlId::Text1))),
            reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_INACTIVEBORDER)));

  // Focus starts on Check2; Tab goes to Check1, btnExit and back.
  EXPECT_EQ(::GetFocus(), of(ControlId::Check2));
  HWND next = ::GetNextDlgTabItem(window->hwnd(), of(ControlId::Check2), FALSE);
  EXPECT_EQ(next, of(ControlId::Check1));
  next = ::GetNextDlgTabItem(window->hwnd(), next, FALSE);
  EXPECT_EQ(next, of(ControlId::btnExit));
  EXPECT_EQ(::GetNextDlgTabItem(window->hwnd(), next, FALSE), of(ControlId::Check2));
}

TEST_F(Win32WindowTest, ADropLoadsOnlyWhereTheControlUnderThePointerTakesIt) {
  MessageBoxCatcher catcher;
  testing::TempFolder a;
  testing::TempFolder b;
  a.write("one.ima");
  b.write("two.ima");
  const HWND loads[] = {window->hwnd(),
                        window->frame(1),
                        window->frame(2),
                        window->frame(4),
                        of(ControlId::btnstart),
                        of(ControlId::btnExit),
                        of(ControlId::Check1),
                        of(ControlId::Check3),
                        of(ControlId::Label1, 0),
                        of(ControlId::Label1, 9),
                        of(ControlId::Label2),
                        of(ControlId::Label3),
                        of(ControlId::Label4),
                        of(ControlId::Label5),
                        of(ControlId::Label6),
                        of(ControlId::lbltotalfiles),
                        of(ControlId::lblcurrentfolder)};
  const HWND takesNothing[] = {
      of(ControlId::Check2),       of(ControlId::Text1),     window->frame(3),
      of(ControlId::Check4),       of(ControlId::Label7),    of(ControlId::Label8),
      of(ControlId::lbltimetaken), of(ControlId::PRGSeries), of(ControlId::prgtotal)};
  // A frame is hit in its margin, the window in its own.
  const auto pointOn = [this](HWND hwnd) {
    if (hwnd == window->hwnd()) return POINT{3, 200};
    const bool isFrame = hwnd == window->frame(1) || hwnd == window->frame(2) ||
                         hwnd == window->frame(3) || hwnd == window->frame(4);
    return isFrame ? POINT{place(hwnd).left + 4, place(hwnd).top + 4} : centre(hwnd);
  };
  bool onA = false;
  for (HWND target : loads) {
    const std::string other = onA ? b.path() : a.path();
    dropAt(pointOn(target), {other, "C:/ignored"});
    EXPECT_EQ(form.File2.path(), other) << text(target);
    onA = !onA;
  }
  EXPECT_FALSE(ticked(of(ControlId::Check1)));  // a drop on a box does not tick it
  // Each load tells that its folder leads nowhere and that the second path
  // was not loaded.
  ASSERT_EQ(catcher.seen.size(), 2 * std::size(loads));
  EXPECT_EQ(catcher.seen[0].first, "No IMA Files") << catcher.seen[0].second;
  EXPECT_TRUE(catcher.seen[1].second.starts_with("Only the first folder, " + a.path()))
      << catcher.seen[1].second;
  const std::string loaded = form.File2.path();
  const std::string other = loaded == a.path() ? b.path() : a.path();
  for (HWND target : takesNothing) {
    dropAt(pointOn(target), {other});
    EXPECT_EQ(form.File2.path(), loaded) << text(target);
  }
  // A file loads the folder that holds it.
  dropAt(centre(of(ControlId::lblcurrentfolder)), {a / "one.ima"});
  EXPECT_EQ(std::filesystem::path(form.File2.path()), std::filesystem::path(a.path()));
  EXPECT_EQ(text(of(ControlId::lblcountoffiles)), "1");
}

TEST_F(Win32WindowTest, OptionsEnableOneAnotherAndTheTypedWordNamesTheFolders) {
  click(of(ControlId::Check2));
  EXPECT_TRUE(ticked(of(ControlId::Check2)));
  EXPECT_TRUE(enabled(of(ControlId::Check3)) && enabled(of(ControlId::Check4)) &&
              enabled(of(ControlId::Label2)));
  EXPECT_EQ(form.folderBaseName, "Series");
  click(of(ControlId::Check3));
  ASSERT_TRUE(enabled(of(ControlId::Text1)));
  ::SetWindowTextW(of(ControlId::Text1), L"Brain");  // as typing it does: EN_CHANGE
  EXPECT_EQ(form.folderBaseName, "Brain");
  EXPECT_TRUE(enabled(of(ControlId::Label4)));
  EXPECT_EQ(::SendMessageW(window->hwnd(), WM_CTLCOLOREDIT,
                           reinterpret_cast<WPARAM>(::GetDC(of(ControlId::Text1))),
                           reinterpret_cast<LPARAM>(of(ControlId::Text1))),
            reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW)));
  click(of(ControlId::Check4));
  EXPECT_TRUE(enabled(of(ControlId::Label8)));

  click(of(ControlId::Check2));
  EXPECT_FALSE(ticked(of(ControlId::Check3)) || enabled(of(ControlId::Check3)) ||
               enabled(of(ControlId::Text1)) || enabled(of(ControlId::Check4)));
  EXPECT_TRUE(ticked(of(ControlId::Check4)));
  EXPECT_EQ(text(of(ControlId::Text1)), "Brain");
  EXPECT_EQ(form.folderBaseName, "Series");
}

TEST_F(Win32WindowTest, AltSDoesNothingWhileStartIsDisabledAndAltEClosesTheWindow) {
  altKey(L's');
  EXPECT_EQ(form.filesProcessed, 0);
  EXPECT_TRUE(::IsWindow(window->hwnd()));
  const HWND hwnd = window->hwnd();
  altKey(L'e');
  EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(Win32WindowTest, CtrlOLoadsTheChosenFolderInPlaceOfTheHintAndItsTooltip) {
  EXPECT_EQ(text(of(ControlId::lblcurrentfolder)), win32::kFolderHint);
  // The hint's tooltip and Start's name the keys; a loaded path shows whole.
  EXPECT_EQ(tipOf(of(ControlId::lblcurrentfolder)), app::kFolderHintTip);
  EXPECT_EQ(tipOf(of(ControlId::btnstart)), app::kStartTip);
  testing::TempFolder exam;
  exam.write("a.ima");
  MessageBoxCatcher catcher;
  std::string askedFrom = "never";
  window->setFolderChooser([&](HWND, const std::string& start) {
    askedFrom = start;
    return exam.path();
  });
  BYTE keys[256] = {};
  ::GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  ::SetKeyboardState(keys);
  MSG msg{of(ControlId::Check2), WM_KEYDOWN, 'O', 0, 0, {}};
  EXPECT_TRUE(window->handleDialogMessage(msg));
  keys[VK_CONTROL] = 0;
  ::SetKeyboardState(keys);
  EXPECT_EQ(askedFrom, "");
  EXPECT_EQ(form.File2.path(), exam.path());
  EXPECT_EQ(text(of(ControlId::lblcurrentfolder)), form.lblcurrentfolder.text());
  EXPECT_EQ(tipOf(of(ControlId::lblcurrentfolder)), exam.path());
  // Once an exam is loaded, the picker opens beside it, not among its files.
  keys[VK_CONTROL] = 0x80;
  ::SetKeyboardState(keys);
  EXPECT_TRUE(window->handleDialogMessage(msg));
  keys[VK_CONTROL] = 0;
  ::SetKeyboardState(keys);
  EXPECT_EQ(std::filesystem::path(askedFrom), std::filesystem::path(exam.path()).parent_path());
}

TEST(FittingDpiTest, TheWindowShrinksOnlyWhereItWouldNotFit) {
  const SIZE frame{16, 39};
  EXPECT_EQ(win32::fittingDpi(96, frame, {1920, 1040}), 96u);
  EXPECT_EQ(win32::fittingDpi(144, frame, {1920, 1040}), 144u);
  // 192 DPI would be 1956 pixels wide on a 1280-pixel screen.
  const UINT fits = win32::fittingDpi(192, frame, {1280, 800});
  EXPECT_LE(frame.cx + win32::pixels(14670, fits), 1280);
  EXPECT_GT(frame.cx + win32::pixels(14670, fits + 1), 1280);
  // A short work area limits it too.
  EXPECT_LE(frame.cy + win32::pixels(6945, win32::fittingDpi(144, frame, {1920, 500})), 500);
}

// Moved to a 192-DPI monitor whose work area is 1280 x 800 (or what Wine's
// screen leaves of it), the window keeps within it, its proportions and its
// results on screen.
TEST_F(Win32WindowTest, At192DpiTheWindowFitsTheWorkArea) {
  RECT saved{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved, 0);
  RECT small{0, 0, std::min<LONG>(1280, saved.right), std::min<LONG>(800, saved.bottom)};
  ::SystemParametersInfoW(SPI_SETWORKAREA, 0, &small, 0);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(window->hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT work = monitor.rcWork;
  RECT suggested{100, 50, 100 + 1990, 50 + 1000};
  ::SendMessageW(window->hwnd(), WM_DPICHANGED, MAKEWPARAM(192, 192),
                 reinterpret_cast<LPARAM>(&suggested));
  ::SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0);

  RECT outer{};
  ::GetWindowRect(window->hwnd(), &outer);
  EXPECT_GE(outer.left, work.left);
  EXPECT_GE(outer.top, work.top);
  EXPECT_LE(outer.right, work.right);
  EXPECT_LE(outer.bottom, work.bottom);
  EXPECT_LT(window->layoutDpi(), 192u);
  RECT client{};
  ::GetClientRect(window->hwnd(), &client);
  EXPECT_NEAR(client.right * 6945.0 / (client.bottom * 14670.0), 1.0, 0.01);
  for (HWND results :
       {window->frame(3), of(ControlId::lbltimetaken), of(ControlId::lbltotalfiles)}) {
    EXPECT_LE(place(results).right, client.right);
    EXPECT_LE(place(results).bottom, client.bottom);
  }
}

TEST_F(Win32WindowTest, StartRenamesTheLoadedExamAndThenFindsNoFilesLeft) {
  testing::TempFolder exam;
  tools::ExamOptions options;
  options.files = 12;
  options.series = 3;
  tools::writeExam(exam.path(), options);
  window->loadDropped({exam.path()});
  EXPECT_EQ(text(of(ControlId::lblseriesnum)), "3");
  ASSERT_TRUE(enabled(of(ControlId::btnstart)));

  // The progress is painted file by file while the run works, not only at its end.
  static int paints = 0;
  const SUBCLASSPROC countPaints = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR) -> LRESULT {
    if (message == WM_PAINT) ++paints;
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
  };
  ::SetWindowSubclass(of(ControlId::prgtotal), countPaints, 1, 0);
  click(of(ControlId::Check2));
  altKey(L's');
  ::RemoveWindowSubclass(of(ControlId::prgtotal), countPaints, 1);
  EXPECT_GE(paints, 12);
  EXPECT_EQ(text(of(ControlId::lbltotalfiles)), "12");
  EXPECT_EQ(::SendMessageW(of(ControlId::prgtotal), PBM_GETPOS, 0, 0),
            ::SendMessageW(of(ControlId::prgtotal), PBM_GETRANGE, FALSE, 0));
  for (int series = 1; series <= 3; ++series) {
    EXPECT_TRUE(std::filesystem::is_directory(exam / ("Series_S" + std::to_string(series))));
  }

  // Every file now stands in a series folder: Start finds none to rename.
  MessageBoxCatcher catcher;
  click(of(ControlId::btnstart));
  ASSERT_EQ(catcher.seen.size(), 1u);
  EXPECT_EQ(catcher.seen[0].first, "ERROR");
  EXPECT_EQ(catcher.seen[0].second, "No IMA Files!");
  EXPECT_EQ(text(of(ControlId::lbltotalfiles)), "12");
}

// Renames the first file of a run, then asks it to stop.
class StopAfterOneFile : public app::Form1View {
 public:
  explicit StopAfterOneFile(std::atomic<bool>& stop) : stop_(stop) {}
  void fileRenamed(const std::string&, const std::string&) override { stop_ = true; }

 private:
  std::atomic<bool>& stop_;
};

TEST_F(Win32WindowTest, ALoadOffersToFinishAnUnfinishedRunAndFinishesIt) {
  testing::TempFolder exam;
  tools::ExamOptions options;
  options.files = 12;
  options.series = 3;
  tools::writeExam(exam.path(), options);
  {
    app::Form1 other(fs, clock);
    std::atomic<bool> stop{false};
    StopAfterOneFile view(stop);
    other.setView(&view);
    other.setJournaling(true);
    other.setStopFlag(&stop);
    ASSERT_TRUE(other.drop({exam.path()}));
    other.changeCheck(other.Check2, 1);
    other.pressStart();
    ASSERT_LT(other.filesRenamed, 12);
  }

  form.setJournaling(true);
  MessageBoxCatcher catcher;
  window->loadDropped({exam.path()});
  ASSERT_FALSE(catcher.seen.empty());
  EXPECT_EQ(catcher.seen[0].first, "Unfinished Run");
  // The finish ends telling what the run did in all.
  ASSERT_EQ(catcher.seen.size(), 2u);
  EXPECT_EQ(catcher.seen[1].first, "Run Finished");
  EXPECT_NE(catcher.seen[1].second.find("12 of 12 files renamed or moved"), std::string::npos)
      << catcher.seen[1].second;
  int loose = 0;
  int sorted = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(exam.path())) {
    if (!entry.is_regular_file()) continue;
    ++(entry.path().parent_path() == std::filesystem::path(exam.path()) ? loose : sorted);
  }
  EXPECT_EQ(loose, 0);
  EXPECT_EQ(sorted, 12);
}

// The window, with a hook run after each file the run renames.
class HookedWindow : public win32::MainWindow {
 public:
  using MainWindow::MainWindow;
  void fileRenamed(const std::string&, const std::string&) override {
    ++renamed;
    if (onRename) onRename();
  }
  int renamed = 0;
  std::function<void()> onRename;
};

// An exam of several series loaded in a journaling window, Check2 ticked.
class Win32TrustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tools::ExamOptions options;
    options.files = 12;
    options.series = 3;
    tools::writeExam(exam.path(), options);
    before = files();
    form.setJournaling(true);
    window = std::make_unique<HookedWindow>(form, SW_SHOWNOACTIVATE);
    ASSERT_NE(window->hwnd(), nullptr);
    window->setQuitOnClose(false);
    window->loadDropped({exam.path()});
    ::SendMessageW(window->control(ControlId::Check2), BM_CLICK, 0, 0);
    ASSERT_TRUE(form.btnstart.enabled());
  }
  // The text the window shows in a control.
  std::string shown(ControlId id) const {
    wchar_t buffer[512] = {};
    ::GetWindowTextW(window->control(id), buffer, 512);
    return platform::win32::narrow(buffer);
  }
  // Every file under the exam, by its path from the exam on.
  std::set<std::string> files() const {
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(exam.path())) {
      if (entry.is_regular_file()) {
        found.insert(entry.path().lexically_relative(exam.path()).generic_string());
      }
    }
    return found;
  }
  // A key pressed with Ctrl, as the message loop hands it to the window.
  void ctrlKey(WPARAM key) {
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    MSG msg{window->control(ControlId::Check2), WM_KEYDOWN, key, 0, 0, {}};
    window->handleDialogMessage(msg);
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
  }
  // Posts `message` to the window and lets the run's next repaint find it.
  void postDuringRun(UINT message, WPARAM wParam) {
    ::PostMessageW(window->hwnd(), message, wParam, 0);
    ::Sleep(win32::MainWindow::kPaintIntervalMs + 10);
  }
  // Each command of the context menu, by name, and whether it is enabled.
  using Menu = std::map<std::string, bool>;
  void watchMenu(Menu& seen) {
    window->onCommandMenu = [&seen](HMENU menu) {
      for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        wchar_t name[64] = {};
        ::GetMenuStringW(menu, static_cast<UINT>(i), name, 64, MF_BYPOSITION);
        const std::string shown = platform::win32::narrow(name);
        seen[shown.substr(0, shown.find('\t'))] =
            (::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) == 0;
      }
      ::EndMenu();
    };
  }
  Menu rightClick() {
    Menu seen;
    watchMenu(seen);
    ::SendMessageW(window->hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window->frame(2)),
                   MAKELPARAM(100, 100));
    return seen;
  }

  testing::TempFolder exam;
  std::set<std::string> before;
  platform::RealFileSystem fs;
  platform::RealClock clock;
  app::Form1 form{fs, clock};
  std::unique_ptr<HookedWindow> window;
};

TEST_F(Win32TrustTest, PreviewListsWhatStartThenDoesAndChangesNothing) {
  const app::Preview preview = form.preview();
  bool shown = false;
  window->onPreview = [&](HWND dialog) {
    shown = true;
    wchar_t title[64] = {};
    ::GetWindowTextW(dialog, title, 64);
    EXPECT_STREQ(title, L"Slicery - Preview");
    const HWND list = ::GetDlgItem(dialog, win32::kPreviewSteps);
    ASSERT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0),
              static_cast<LRESULT>(preview.steps.size()));
    // The last row, as the list asks for it.
    const int last = static_cast<int>(preview.steps.size()) - 1;
    wchar_t cell[MAX_PATH] = {};
    LVITEMW item{};
    item.iSubItem = 1;
    item.pszText = cell;
    item.cchTextMax = MAX_PATH;
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(last),
                   reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(platform::win32::narrow(cell), app::Preview::shownTo(preview.steps.back()));
    EXPECT_EQ(::SendMessageW(dialog, WM_GETICON, ICON_BIG, 0),
              static_cast<LRESULT>(::GetClassLongPtrW(window->hwnd(), GCLP_HICON)));
    EXPECT_EQ(files(), before);
    ::SendMessageW(::GetDlgItem(dialog, win32::kPreviewStart), BM_CLICK, 0, 0);
  };
  ctrlKey('P');
  ASSERT_TRUE(shown);

  // The preview's Start ran: each file stands where its step said.
  std::set<std::string> expected = before;
  int renames = 0;
  for (const app::PreviewStep& step : preview.steps) {
    if (step.kind != app::PreviewStep::Kind::rename) continue;
    ASSERT_EQ(expected.erase(std::filesystem::path(step.from).generic_string()), 1u) << step.from;
    expected.insert(std::filesystem::path(step.to).generic_string());
    ++renames;
  }
  EXPECT_EQ(renames, 12);
  EXPECT_EQ(files(), expected);
}

// The preview's columns show each name whole while the dialog has room for
// them, and share the list's width, names before the note, when it has not.
TEST(PreviewColumnsTest, FitTheNamesOrShareTheList) {
  app::Preview preview;
  for (int slice = 1; slice <= 30; ++slice) {
    preview.steps.push_back({app::PreviewStep::Kind::rename,
                             "ANON.MR.KNEE." + std::to_string(slice) + ".IMA",
                             "Series_S1\\ANON.MR.KNEE.00" + std::to_string(slice) + ".IMA",
                             {}});
  }
  const auto widths = [](HWND list) {
    std::vector<int> shown;
    for (int column = 0; column < 3; ++column) {
      shown.push_back(static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0)));
    }
    return shown;
  };
  bool checked = false;
  win32::runPreviewDialog(nullptr, preview, false, [&](HWND dialog) {
    const HWND list = ::GetDlgItem(dialog, win32::kPreviewSteps);
    const std::vector<int> opened = widths(list);
    for (const app::PreviewStep& step : preview.steps) {
      const auto need = [list](const std::string& name) {
        const std::wstring text = platform::win32::wide(name);
        return static_cast<int>(
            ::SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
      };
      EXPECT_GT(opened[0], need(app::Preview::shownFrom(step)));
      EXPECT_GT(opened[1], need(app::Preview::shownTo(step)));
    }
    RECT at{};
    ::GetWindowRect(dialog, &at);
    ::SetWindowPos(dialog, nullptr, 0, 0, 300, at.bottom - at.top, SWP_NOMOVE | SWP_NOZORDER);
    RECT inside{};
    ::GetClientRect(list, &inside);
    const std::vector<int> narrow = widths(list);
    EXPECT_LE(narrow[0] + narrow[1] + narrow[2], inside.right);
    EXPECT_LT(narrow[0], opened[0]);
    EXPECT_LT(narrow[1], opened[1]);
    checked = true;
    ::EndDialog(dialog, 0);
  });
  EXPECT_TRUE(checked);
}

TEST_F(Win32TrustTest, EscStopsAfterTheFileInHandAndCtrlZPutsTheFolderBack) {
  MessageBoxCatcher catcher([](const std::string& title, const std::string& text) {
    if (text.find("Stop the run after the file in hand?") != std::string::npos) {
      return MessageBoxCatcher::kStopButton;
    }
    return title == "Undo Run" && text.starts_with("Undo the last run") ? IDYES : IDOK;
  });
  // While the stop question is open, the window shows no more files renamed
  // than processed.
  std::string processedAtStop;
  std::string renamedAtStop;
  window->onRename = [&] {
    if (window->renamed != 4) return;
    processedAtStop = shown(ControlId::Label6);
    renamedAtStop = shown(ControlId::lbltotalfiles);
    postDuringRun(WM_KEYDOWN, VK_ESCAPE);
  };
  ::SendMessageW(window->control(ControlId::btnstart), BM_CLICK, 0, 0);
  EXPECT_EQ(window->renamed, 4);  // the file in hand, and no more
  EXPECT_EQ(processedAtStop, "4");
  EXPECT_EQ(renamedAtStop, "4");
  EXPECT_EQ(form.lastRun().state, journal::LastRun::State::unfinished);
  ASSERT_EQ(catcher.seen.size(), 2u);
  EXPECT_EQ(catcher.seen[1].first, "Run Stopped");
  // The question and the message carry Slicery's icon, not the default one.
  for (const LRESULT icon : catcher.icons) {
    EXPECT_EQ(icon, static_cast<LRESULT>(::GetClassLongPtrW(window->hwnd(), GCLP_HICON)));
    EXPECT_NE(icon, reinterpret_cast<LRESULT>(::LoadIconW(nullptr, IDI_APPLICATION)));
  }
  EXPECT_NE(files(), before);

  window->onRename = nullptr;
  ctrlKey('Z');
  EXPECT_EQ(files(), before);
  ASSERT_EQ(catcher.seen.size(), 4u);
  EXPECT_EQ(catcher.seen[2].first, "Undo Run");
  EXPECT_NE(catcher.seen[3].second.find("4 names were put back"), std::string::npos)
      << catcher.seen[3].second;
  // The undo of the stopped run counts the four files it put back, not the
  // twelve of the exam.
  EXPECT_EQ(shown(ControlId::Label6), "4");
  EXPECT_EQ(shown(ControlId::lbltotalfiles), "4");
  EXPECT_EQ(::SendMessageW(window->control(ControlId::prgtotal), PBM_GETRANGE, FALSE, 0), 4);
}

// After a load, the preview tells why it handles fewer files than the
// window counted.
TEST_F(Win32TrustTest, ThePreviewTellsTheFilesWithoutASeries) {
  std::ofstream(exam / "NOSERIES.IMA") << "no series number in its name";
  window->loadDropped({exam.path()});
  EXPECT_EQ(shown(ControlId::lblcountoffiles), "13");
  EXPECT_NE(form.preview().summary().find("Start would handle 12 files"), std::string::npos);
  EXPECT_NE(form.preview().summary().find("The other 1 .ima file listed carries no series number"),
            std::string::npos)
      << form.preview().summary();
}

TEST_F(Win32TrustTest, TheContextMenuOffersWhatAppliesAndCloseAsksDuringARun) {
  EXPECT_EQ(rightClick(), (Menu{{"Open folder\u2026", true},
                                {"Preview\u2026", true},
                                {"Undo last run", false},
                                {"Stop", false}}));

  // During the run only Stop applies; the close button asks, and Continue
  // lets the run go on to its end with the window open.
  MessageBoxCatcher catcher([](const std::string&, const std::string& text) {
    return text.find("Stop the run") != std::string::npos ? MessageBoxCatcher::kContinueButton
                                                          : IDOK;
  });
  Menu during;
  window->onRename = [&] {
    if (window->renamed == 1) {
      watchMenu(during);
      postDuringRun(WM_RBUTTONUP, 0);
    }
    if (window->renamed == 2) postDuringRun(WM_NCLBUTTONDOWN, HTCLOSE);
  };
  ::SendMessageW(window->control(ControlId::btnstart), BM_CLICK, 0, 0);
  EXPECT_EQ(during, (Menu{{"Open folder\u2026", false},
                          {"Preview\u2026", false},
                          {"Undo last run", false},
                          {"Stop", true}}));
  ASSERT_EQ(catcher.seen.size(), 1u);
  EXPECT_EQ(window->renamed, 12);
  EXPECT_TRUE(::IsWindow(window->hwnd()));
  window->onRename = nullptr;
  EXPECT_TRUE(rightClick()["Undo last run"]);
}

}  // namespace
}  // namespace slicery

namespace slicery {
namespace {

// A tree of two exams dropped on the window opens the exams dialog; Esc
// during Start stops the batch with the second exam untouched, and Ctrl+Z
// puts back what the batch did.
TEST(Win32ExamsTest, ADroppedTreeRunsInTheExamsDialogStopsAndIsUndone) {
  testing::TempFolder tree;
  tools::ExamOptions options;
  options.files = 12;
  options.series = 3;
  for (const char* exam : {"a", "b/exam"}) {
    std::filesystem::create_directories(std::filesystem::path(tree.path()) / exam);
    tools::writeExam((std::filesystem::path(tree.path()) / exam).string(), options);
  }
  const auto files = [&tree](const char* under) {
    std::set<std::string> found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(
             std::filesystem::path(tree.path()) / under)) {
      if (e.is_regular_file()) found.insert(e.path().generic_string());
    }
    return found;
  };
  const std::set<std::string> beforeA = files("a");
  const std::set<std::string> beforeB = files("b");
  platform::RealFileSystem fs;
  platform::SettableClock clock;
  app::Form1 form(fs, clock);
  form.setJournaling(true);
  form.setCheck(form.Check2, 1);  // into series folders: every file moves
  HookedWindow window(form, SW_SHOWNOACTIVATE);
  window.setQuitOnClose(false);
  MessageBoxCatcher catcher([](const std::string& title, const std::string& text) {
    if (title == app::kExamsTitle && text.find("Batch") == std::string::npos) return 0;
    if (text.find("Stop the run after the file in hand?") != std::string::npos) {
      return MessageBoxCatcher::kStopButton;
    }
    return text.starts_with("Undo the last batch") ? IDYES : IDOK;
  });
  const auto cell = [](HWND dialog, int row, int column) {
    wchar_t buffer[256] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 256;
    ::SendMessageW(::GetDlgItem(dialog, win32::kExamsList), LVM_GETITEMTEXTW, row,
                   reinterpret_cast<LPARAM>(&item));
    return platform::win32::narrow(buffer);
  };
  int shown = 0;
  window.onExams = [&](HWND dialog) {
    ++shown;
    // The search's count is gone once it has ended: the hint shows again.
    wchar_t folder[256] = {};
    ::GetWindowTextW(window.control(ControlId::lblcurrentfolder), folder, 256);
    EXPECT_EQ(platform::win32::narrow(folder), app::kFolderHint);
    ASSERT_EQ(::SendMessageW(::GetDlgItem(dialog, win32::kExamsList), LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(cell(dialog, 0, 3), "no run on record");
    window.onRename = [&] {
      if (window.renamed != 3) return;
      ::PostMessageW(::GetDlgItem(dialog, win32::kExamsList), WM_KEYDOWN, VK_ESCAPE, 0);
      ::Sleep(win32::MainWindow::kPaintIntervalMs + 10);
    };
    ::SendMessageW(::GetDlgItem(dialog, win32::kExamsStart), BM_CLICK, 0, 0);
    window.onRename = nullptr;
    EXPECT_TRUE(cell(dialog, 0, 4).starts_with("stopped")) << cell(dialog, 0, 4);
    EXPECT_EQ(cell(dialog, 1, 4), "not started");
    ::SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  };
  window.loadDropped({tree.path()});
  ASSERT_EQ(shown, 1);
  EXPECT_EQ(files("b"), beforeB);
  EXPECT_NE(files("a"), beforeA);
  ASSERT_EQ(catcher.seen.size(), 2u);
  EXPECT_NE(catcher.seen[1].second.find("Not started:"), std::string::npos);

  window.onExams = [&](HWND dialog) {
    ++shown;
    EXPECT_TRUE(cell(dialog, 0, 4).starts_with("undone")) << cell(dialog, 0, 4);
    ::SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  };
  BYTE keys[256] = {};
  ::GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  ::SetKeyboardState(keys);
  MSG msg{window.control(ControlId::Check2), WM_KEYDOWN, 'Z', 0, 0, {}};
  window.handleDialogMessage(msg);
  keys[VK_CONTROL] = 0;
  ::SetKeyboardState(keys);
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(files("a"), beforeA);
  EXPECT_EQ(files("b"), beforeB);
}

}  // namespace
}  // namespace slicery
