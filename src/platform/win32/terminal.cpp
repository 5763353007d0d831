#include "platform/terminal.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <iostream>
#include <streambuf>

#include "platform/win32/wide.h"

namespace slicery::platform {
namespace {

// Text for a console, written as UTF-16 with WriteConsoleW so that no code
// page changes it. A character split between two writes waits for its end.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_.push_back(traits_type::to_char_type(c));
    if (pending_.size() >= kFlushAt) writeWhole();
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize size) override {
    pending_.append(text, static_cast<std::size_t>(size));
    if (pending_.size() >= kFlushAt) writeWhole();
    return size;
  }
  int sync() override {
    writeWhole();
    return 0;
  }

 private:
  static constexpr std::size_t kFlushAt = 4096;

  // Writes all but the start of a character whose end has not come yet.
  void writeWhole() {
    std::size_t end = pending_.size();
    for (std::size_t back = 1; back <= 3 && back <= pending_.size(); ++back) {
      const auto byte = static_cast<unsigned char>(pending_[pending_.size() - back]);
      if ((byte & 0xC0) != 0xC0) continue;  // not the first byte of a long character
      const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
      if (length > back) end = pending_.size() - back;
      break;
    }
    const std::wstring text = win32::wide(std::string_view(pending_).substr(0, end));
    for (std::size_t at = 0; at < text.size();) {
      DWORD written = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - at, 8192));
      if (!::WriteConsoleW(console_, text.data() + at, chunk, &written, nullptr) || written == 0) {
        break;
      }
      at += written;
    }
    pending_.erase(0, end);
  }

  HANDLE console_;
  std::string pending_;
};

bool isConsole(DWORD stream) {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(stream), &mode) != 0;
}

// Whether the console of `stream` draws escape sequences (the progress bar's
// "\r\033[K"), turning that on where it can.
bool drawsEscapes(DWORD stream) {
  const HANDLE console = ::GetStdHandle(stream);
  DWORD mode = 0;
  if (!::GetConsoleMode(console, &mode)) return false;
  if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
  return ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

}  // namespace

std::vector<std::string> commandArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(win32::narrow(wide[i]));
  ::LocalFree(wide);
  return args;
}

void useUtf8Console() {
  // Never deleted: std::cout is flushed after main() returns and the
  // objects it made are gone.
  if (isConsole(STD_OUTPUT_HANDLE)) {
    std::cout.rdbuf(new ConsoleBuffer(::GetStdHandle(STD_OUTPUT_HANDLE)));
  }
  if (isConsole(STD_ERROR_HANDLE)) {
    std::cerr.rdbuf(new ConsoleBuffer(::GetStdHandle(STD_ERROR_HANDLE)));
  }
}

bool standardOutputIsTerminal() {
  return drawsEscapes(STD_OUTPUT_HANDLE);
}

bool standardErrorIsTerminal() {
  return drawsEscapes(STD_ERROR_HANDLE);
}

}  // namespace slicery::platform
