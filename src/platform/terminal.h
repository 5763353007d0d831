// The console a command runs in: its arguments, whether the standard streams
// lead to a terminal (for progress display), and text written to it as UTF-8.
#pragma once

#include <string>
#include <vector>

namespace slicery::platform {

// The arguments after the program's name, as UTF-8 (on Windows read again
// from the wide command line, which the code page cannot spoil).
std::vector<std::string> commandArguments(int argc, char** argv);
// Makes std::cout and std::cerr show UTF-8 text rightly on a console whatever
// its code page; output to a file or pipe stays UTF-8 bytes. Call once, first.
void useUtf8Console();

bool standardOutputIsTerminal();
bool standardErrorIsTerminal();

// How the platform's consoles read a quoted argument: a POSIX shell's single
// quotes, or the double quotes that both cmd.exe and PowerShell take on
// Windows.
enum class ShellQuoting { posix, windows };
#ifdef _WIN32
inline constexpr ShellQuoting kShellQuoting = ShellQuoting::windows;
#else
inline constexpr ShellQuoting kShellQuoting = ShellQuoting::posix;
#endif

}  // namespace slicery::platform
