// The window's table as a user meets it: every control shown once and none
// hiding another, Tab reaching what can be used, the context menu offering
// only what applies, and each question's buttons answering what it asks.
#include "app/window_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/form1.h"
#include "support/memory_file_system.h"

namespace slicery::app {
namespace {

using testing::MemoryFileSystem;

// The controls a person sees: every model but the two lists.
std::vector<std::pair<ControlId, int>> shownControls() {
  std::vector<std::pair<ControlId, int>> shown;
  for (int id = static_cast<int>(ControlId::Check4); id <= static_cast<int>(ControlId::Label4);
       ++id) {
    const int elements = static_cast<ControlId>(id) == ControlId::Label1 ? 10 : 1;
    for (int index = 0; index < elements; ++index) shown.emplace_back(ControlId(id), index);
  }
  return shown;
}

bool overlap(const Twips& a, const Twips& b, int slack) {
  return a.left + slack < b.left + b.width && b.left + slack < a.left + a.width &&
         a.top + slack < b.top + b.height && b.top + slack < a.top + a.height;
}

TEST(WindowTableTest, EveryControlIsShownOnceInsideItsFrameAndHidesNoOther) {
  MemoryFileSystem fs;
  platform::SettableClock clock;
  Form1 form(fs, clock);
  std::multiset<std::pair<ControlId, int>> placed;
  std::set<std::string> names;
  for (const ControlPlace& place : windowLayout()) {
    EXPECT_TRUE(names.insert(place.name).second) << place.name;
    if (place.kind != ControlKind::frame) {
      placed.emplace(place.id, place.index);
      // The widget shows its own control's model, not another's.
      EXPECT_EQ(modelOf(form, place).id(), place.id) << place.name;
      EXPECT_EQ(modelOf(form, place).index(), place.index) << place.name;
    }
    // A control reaching past its frame's edge would be cut off.
    const int width = place.parent == 0 ? kClientWidth : framePlace(place.parent).at.width;
    const int height = place.parent == 0 ? kClientHeight : framePlace(place.parent).at.height;
    EXPECT_GE(std::min(place.at.left, place.at.top), 0) << place.name;
    EXPECT_LE(place.at.left + place.at.width, width) << place.name;
    EXPECT_LE(place.at.top + place.at.height, height) << place.name;
  }
  for (const auto& control : shownControls()) {
    EXPECT_EQ(placed.count(control), 1u) << static_cast<int>(control.first) << control.second;
  }
  // Where two controls meet, one may cover at most a pixel's row of the
  // other (at 96 DPI), as the progress bars do their captions' lowest.
  const auto layout = windowLayout();
  for (auto a = layout.begin(); a != layout.end(); ++a) {
    for (auto b = a + 1; b != layout.end(); ++b) {
      if (a->kind == ControlKind::frame || b->kind == ControlKind::frame) continue;
      EXPECT_FALSE(overlap(inWindow(*a), inWindow(*b), 15)) << a->name << " and " << b->name;
    }
  }
}

TEST(WindowTableTest, TabVisitsEachUsableControlOnceFromTheFirstEnabled) {
  MemoryFileSystem fs;
  platform::SettableClock clock;
  Form1 form(fs, clock);
  std::vector<std::string> order;
  for (const ControlPlace* place : tabOrder()) {
    if (modelOf(form, *place).enabled()) order.push_back(place->name);
  }
  // At open only these can be used; the tab order visits them so, and the
  // first of them holds the focus.
  EXPECT_EQ(order, (std::vector<std::string>{"Check2", "Check1", "btnExit"}));
  EXPECT_EQ(std::string(firstFocus(form).name), "Check2");
  std::set<int> tabs;
  for (const ControlPlace& place : windowLayout()) {
    EXPECT_TRUE(tabs.insert(place.tab).second) << place.name << " shares its tab place";
  }
}

// A view that asks as the windows do, answers Stop to the stop question and
// the safe answer to the others, and keeps what it was asked.
class AnsweringView : public AskingView {
 public:
  Answer ask(const Question& question, const std::string& text, const std::string& title) override {
    asked.emplace_back(&question, text);
    if (&question == &undoQuestion()) undoTitle = title;
    return &question == &stopQuestion() ? Answer::stop : question.safeAnswer;
  }
  void fileRenamed(const std::string&, const std::string&) override { onFileRenamed(); }
  std::vector<std::pair<const Question*, std::string>> asked;
  std::string undoTitle;
  std::function<void()> onFileRenamed = [] {};
};

std::string lower(std::string text) {
  std::ranges::transform(text, text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

TEST(WindowTableTest, TheMenuOffersWhatAppliesAndEachQuestionsButtonsAnswerIt) {
  journal::MemoryStore journals;
  MemoryFileSystem fs;
  fs.addFolder("/exam");
  for (int slice = 1; slice <= 4; ++slice) {
    fs.addFile("/exam/P.MR.S.2." + std::to_string(slice) + ".IMA");
  }
  platform::SettableClock clock;
  Form1 form(fs, clock);
  AnsweringView view;
  form.setView(&view);
  form.setJournaling(true);
  form.setJournalStore(journals);
  const auto offered = [&form] {
    std::string commands;
    for (const CommandEntry& entry : contextMenu()) {
      if (commandApplies(form, entry.command)) commands += entry.keys + std::string(" ");
    }
    return commands;
  };
  EXPECT_EQ(offered(), "Ctrl+O ");
  ASSERT_TRUE(form.drop({"/exam"}));
  EXPECT_EQ(offered(), "Ctrl+O Ctrl+P ");
  form.changeCheck(form.Check2, 1);  // each file moves into a series folder

  // During the run only Stop is offered, until it has been asked for.
  std::vector<std::string> duringRun;
  view.onFileRenamed = [&] {
    duringRun.push_back(offered());
    if (duringRun.size() == 1) form.pressEscape();
  };
  form.pressStart();
  ASSERT_EQ(duringRun.size(), 1u);  // stopped after the file in hand
  EXPECT_EQ(duringRun[0], "Esc ");
  EXPECT_EQ(offered(), "Ctrl+O Ctrl+P Ctrl+Z ");

  form.offerUnfinishedRun();
  form.pressUndo();
  ASSERT_EQ(view.asked.size(), 3u);
  EXPECT_EQ(view.asked[0].first, &stopQuestion());
  EXPECT_EQ(view.asked[1].first, &unfinishedRunQuestion());
  EXPECT_EQ(view.asked[2].first, &undoQuestion());
  EXPECT_FALSE(view.undoTitle.empty());
  for (const auto& [question, text] : view.asked) {
    std::set<char> keys;
    bool safeOffered = false;
    for (const AnswerButton& button : question->buttons) {
      safeOffered = safeOffered || button.answer == question->safeAnswer;
      if (button.caption == nullptr) continue;
      const std::string caption = button.caption;
      const size_t amp = caption.find('&');
      ASSERT_NE(amp, std::string::npos) << caption;
      EXPECT_TRUE(keys.insert(static_cast<char>(std::tolower(caption[amp + 1]))).second) << caption;
      // A button that acts names what the question offers to do.
      std::string word = caption;
      word.erase(amp, 1);
      if (button.answer != question->safeAnswer) {
        EXPECT_NE(lower(text).find(lower(word)), std::string::npos) << word << " in: " << text;
      }
    }
    EXPECT_TRUE(safeOffered) << text;  // Esc always has a button to give
  }
}

}  // namespace
}  // namespace slicery::app
