// The options of each program as three places tell them, its --help, its
// manual page and the bash completion, so that none of them can forget an
// option the program takes; and the several-PATH exit order, told by --help
// and the manual alike.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "app/exam_batch.h"

namespace slicery {
namespace {

using Options = std::set<std::string>;

std::string output(const std::string& command) {
  std::string text;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[4096];
  while (const size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
  ::pclose(pipe);
  return text;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Every -x and --word in `text`.
Options optionsIn(const std::string& text) {
  static const std::regex option("(^|[^A-Za-z0-9-])(--?[A-Za-z][A-Za-z-]*)");
  Options found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
       it != std::sregex_iterator(); ++it) {
    found.insert((*it)[2]);
  }
  return found;
}

// The options --help lists: the first column of its indented option lines.
Options helpOptions(const std::string& help) {
  Options found;
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    const size_t start = line.find_first_not_of(' ');
    if (start == 0 || start == std::string::npos || start > 6 || line[start] != '-') continue;
    const Options named = optionsIn(line.substr(start, line.find("  ", start) - start));
    found.insert(named.begin(), named.end());
  }
  return found;
}

// One section of a manual page, its "\-" read as "-".
std::string manSection(const std::string& page, const std::string& name) {
  const size_t from = page.find(".SH " + name + "\n");
  if (from == std::string::npos) return {};
  const size_t to = page.find("\n.SH ", from + 1);
  return std::regex_replace(page.substr(from, to - from), std::regex(R"(\\-)"), "-");
}

// The options a manual page's OPTIONS section gives a paragraph of its own.
Options manOptions(const std::string& page) {
  Options found;
  std::istringstream lines(manSection(page, "OPTIONS"));
  bool tag = false;
  for (std::string line; std::getline(lines, line);) {
    if (tag) {
      const Options named = optionsIn(line);
      found.insert(named.begin(), named.end());
    }
    tag = line == ".TP";
  }
  return found;
}

// The words a completion function offers for a word that begins with '-'.
Options completionOptions(const std::string& script, const std::string& function) {
  const size_t from = script.find(function + "() {");
  const size_t to = script.find("\n}\n", from);
  const std::string body = from == std::string::npos ? "" : script.substr(from, to - from);
  const size_t words = body.find("compgen -W '");
  if (words == std::string::npos) return {};
  const size_t begin = words + std::string("compgen -W '").size();
  return optionsIn(body.substr(begin, body.find('\'', begin) - begin));
}

std::string oneLine(std::string text) {
  text = std::regex_replace(text, std::regex(R"(\n\.\w+ ?)"), " ");
  return std::regex_replace(text, std::regex(R"(\s+)"), " ");
}

// What is told after "the worst of theirs:", up to its full stop.
std::string exitOrder(const std::string& text) {
  const std::string line = oneLine(text);
  const size_t at = line.find("the worst of theirs:");
  if (at == std::string::npos) return {};
  return line.substr(at, line.find('.', at) - at);
}

void expectAgree(const char* program, const std::string& page, const std::string& function) {
  const std::string help = output(std::string(program) + " --help");
  const Options fromHelp = helpOptions(help);
  ASSERT_GE(fromHelp.size(), 4u) << help;
  const std::string manual = slurp(std::string(SLICERY_DIST) + "/" + page);
  EXPECT_EQ(manOptions(manual), fromHelp) << page << " against --help";
  EXPECT_EQ(
      completionOptions(slurp(std::string(SLICERY_DIST) + "/slicery.bash-completion"), function),
      fromHelp)
      << "the completion against --help";
  // The synopses name nothing the option lists do not.
  for (const std::string& option : optionsIn(manSection(manual, "SYNOPSIS"))) {
    EXPECT_TRUE(fromHelp.contains(option)) << option << " in the synopsis of " << page;
  }
}

TEST(OptionsTest, HelpManualAndCompletionOfSliceryCliAgree) {
  expectAgree(SLICERY_CLI_PROGRAM, "slicery-cli.1", "_slicery_cli");
  const std::string help = output(std::string(SLICERY_CLI_PROGRAM) + " --help");
  const std::string order = exitOrder(help);
  EXPECT_NE(order, "");
  EXPECT_EQ(
      exitOrder(manSection(slurp(std::string(SLICERY_DIST) + "/slicery-cli.1"), "EXIT STATUS")),
      order);
}

// The manual names the exams dialog by its title, buttons and columns.
TEST(OptionsTest, ManualNamesTheExamsDialogAsTheWindowShowsIt) {
  const std::string section =
      oneLine(manSection(slurp(std::string(SLICERY_DIST) + "/slicery.1"), "EXAMS"));
  const auto caption = [](std::string text) {
    std::erase(text, '&');
    return text;
  };
  for (const char* shown :
       {app::kExamsTitle, app::kExamsPreview, app::kExamsStart, app::kExamsClose}) {
    EXPECT_NE(section.find(caption(shown)), std::string::npos) << shown;
  }
  for (const app::ExamColumn& column : app::examColumns()) {
    EXPECT_NE(section.find(column.caption), std::string::npos) << column.caption;
  }
}

#if SLICERY_WITH_WINDOW
TEST(OptionsTest, HelpManualAndCompletionOfSliceryAgree) {
  expectAgree(SLICERY_WINDOW_PROGRAM, "slicery.1", "_slicery");
}
#endif

}  // namespace
}  // namespace slicery
