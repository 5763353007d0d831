#include "app/window_table.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "app/form1.h"

namespace slicery::app {

namespace {

using enum ControlKind;
using enum ControlId;
using enum CaptionFont;
using enum DropRole;
constexpr Overflow kPath = Overflow::path;
constexpr Overflow kName = Overflow::name;

constexpr ControlPlace frameEntry(const char* name, int number, int parent, Twips at, DropRole drop,
                                  int tab) {
  // A frame has no model: its id is never read.
  return {name, ControlKind::frame, List1, number, parent, at, none, drop, tab};
}

// A label one row high in the regular caption font, as all but the hints
// are.
constexpr ControlPlace rowLabel(const char* name, ControlId id, int index, int parent, int left,
                                int top, int width, DropRole drop, int tab,
                                Overflow overflow = Overflow::clip) {
  return {name, label, id, index, parent, {left, top, width, 255}, regular, drop, tab, overflow};
}

constexpr ControlPlace kLayout[] = {
    frameEntry("Frame1", 1, 0, {120, 0, 14415, 6855}, load, 0),
    // Top band: commands and options, in rows at 240, 600, 960 and 1320.
    {"btnstart", button, btnstart, 0, 1, {360, 360, 1215, 495}, regular, load, 25},
    {"btnExit", button, btnExit, 0, 1, {360, 960, 1215, 495}, regular, load, 26},
    {"Check1", checkBox, Check1, 0, 1, {2160, 240, 5415, 255}, regular, load, 24},
    {"Check2", checkBox, Check2, 0, 1, {2160, 600, 7575, 255}, regular, ignore, 23},
    {"Label8", label, Label8, 0, 1, {6000, 960, 7455, 255}, bold, refuse, 40},
    {"Check3", checkBox, Check3, 0, 1, {2160, 1320, 1935, 255}, regular, load, 22},
    {"Text1", textBox, Text1, 0, 1, {4200, 1320, 2895, 285}, none, ignore, 21},
    {"Label4", label, Label4, 0, 1, {7320, 1320, 5895, 255}, bold, load, 28},
    // Middle band: the folder and the file being renamed, a caption and a
    // value on each row.
    frameEntry("Frame4", 4, 1, {360, 1560, 13696, 3135}, load, 1),
    rowLabel("Label1(0)", Label1, 0, 4, 1005, 240, 1335, load, 15),
    rowLabel("lblcurrentfolder", lblcurrentfolder, 0, 4, 2565, 240, 10335, load, 8, kPath),
    rowLabel("Label1(2)", Label1, 2, 4, 120, 600, 2295, load, 13),
    rowLabel("lblseriesnum", lblseriesnum, 0, 4, 2565, 600, 2055, load, 7),
    rowLabel("Label1(1)", Label1, 1, 4, 930, 960, 1455, load, 14),
    rowLabel("lblcountoffiles", lblcountoffiles, 0, 4, 2565, 960, 2175, load, 6),
    rowLabel("Label1(3)", Label1, 3, 4, 285, 1320, 2175, load, 12),
    rowLabel("lblcurrentseries", lblcurrentseries, 0, 4, 2565, 1320, 2175, load, 2),
    rowLabel("Label1(4)", Label1, 4, 4, 405, 1680, 1935, load, 11),
    rowLabel("lblcurrentslice", lblcurrentslice, 0, 4, 2565, 1680, 1455, load, 5),
    rowLabel("Label1(5)", Label1, 5, 4, 1080, 2040, 1335, load, 10),
    rowLabel("lbloldfilename", lbloldfilename, 0, 4, 2565, 2040, 10335, load, 4, kName),
    rowLabel("Label1(6)", Label1, 6, 4, 1005, 2400, 1335, load, 9),
    rowLabel("lblnewfilename", lblnewfilename, 0, 4, 2565, 2400, 10335, load, 3, kName),
    rowLabel("Label2", Label2, 0, 4, 720, 2760, 1695, load, 19),
    rowLabel("Label3", Label3, 0, 4, 2565, 2760, 5775, load, 20, kPath),
    // Bottom band: progress and the results of the run.
    frameEntry("Frame2", 2, 1, {360, 4800, 13695, 1815}, load, 16),
    rowLabel("Label1(7)", Label1, 7, 2, 360, 240, 2655, load, 18),
    rowLabel("Label1(8)", Label1, 8, 2, 360, 960, 2655, load, 17),
    frameEntry("Frame3", 3, 2, {8640, 240, 4815, 1335}, refuse, 30),
    rowLabel("Label5", Label5, 0, 3, 1320, 360, 1455, load, 32),
    rowLabel("Label6", Label6, 0, 3, 2880, 360, 1695, load, 31),
    rowLabel("Label1(9)", Label1, 9, 3, 240, 600, 2535, load, 34),
    rowLabel("lbltotalfiles", lbltotalfiles, 0, 3, 2880, 600, 1695, load, 33),
    rowLabel("Label7", Label7, 0, 3, 1600, 840, 1215, refuse, 35),
    rowLabel("lbltimetaken", lbltimetaken, 0, 3, 2880, 840, 1815, refuse, 36),
    // The window's own controls, which lie above Frame1 and Frame2.
    {"Check4", checkBox, Check4, 0, 0, {2280, 960, 3735, 255}, none, refuse, 39},
    {"PRGSeries", progressBar, PRGSeries, 0, 0, {840, 5280, 7455, 375}, none, refuse, 38},
    {"prgtotal", progressBar, prgtotal, 0, 0, {840, 6000, 7455, 375}, none, refuse, 37},
};

constexpr AnswerButton kStopButtons[] = {{Answer::stop, "&Stop"}, {Answer::keepGoing, "&Continue"}};
constexpr Question kStop{"Slicery", QuestionIcon::question, kStopButtons, Answer::keepGoing};

constexpr AnswerButton kUnfinishedRunButtons[] = {
    {Answer::finish, "&Finish"}, {Answer::undo, "&Undo"}, {Answer::cancel, nullptr}};
constexpr Question kUnfinishedRun{"Unfinished Run", QuestionIcon::warning, kUnfinishedRunButtons,
                                  Answer::cancel};

constexpr AnswerButton kUndoButtons[] = {{Answer::yes, nullptr}, {Answer::no, nullptr}};
constexpr Question kUndo{nullptr, QuestionIcon::question, kUndoButtons, Answer::no};

// Undo of the last run has no button, for want of room: a key and the menu.
constexpr CommandEntry kContextMenu[] = {
    {Command::openFolder, "Open folder\u2026", "Ctrl+O"},
    {Command::preview, "Preview\u2026", "Ctrl+P"},
    {Command::undo, "Undo last run", "Ctrl+Z"},
    {Command::stop, "Stop", "Esc"},
};

bool takesFocus(const ControlPlace& place) {
  return place.kind == checkBox || place.kind == textBox || place.kind == button;
}

}  // namespace

std::span<const ControlPlace> windowLayout() {
  return kLayout;
}

const ControlPlace& framePlace(int number) {
  for (const ControlPlace& place : kLayout) {
    if (place.kind == frame && place.index == number) return place;
  }
  throw std::out_of_range("no frame " + std::to_string(number));
}

Twips inWindow(const ControlPlace& place) {
  Twips at = place.at;
  for (int parent = place.parent; parent != 0; parent = framePlace(parent).parent) {
    at.left += framePlace(parent).at.left;
    at.top += framePlace(parent).at.top;
  }
  return at;
}

std::vector<const ControlPlace*> tabOrder() {
  std::vector<const ControlPlace*> order;
  for (const ControlPlace& place : kLayout) {
    if (takesFocus(place)) order.push_back(&place);
  }
  std::ranges::sort(order, {}, &ControlPlace::tab);
  return order;
}

const ControlPlace& firstFocus(const Form1& form) {
  const std::vector<const ControlPlace*> order = tabOrder();
  for (const ControlPlace* place : order) {
    if (modelOf(form, *place).enabled()) return *place;
  }
  return *order.front();
}

const ControlModel& modelOf(const Form1& form, const ControlPlace& place) {
  return modelOf(const_cast<Form1&>(form), place);
}

ControlModel& modelOf(Form1& form, const ControlPlace& place) {
  if (place.kind == frame) throw std::out_of_range("a frame has no model");
  switch (place.id) {
    case ControlId::List1:
      return form.List1;
    case ControlId::List2:
      return form.List2;
    case ControlId::Check4:
      return form.Check4;
    case ControlId::PRGSeries:
      return form.PRGSeries;
    case ControlId::prgtotal:
      return form.prgtotal;
    case ControlId::btnExit:
      return form.btnExit;
    case ControlId::btnstart:
      return form.btnstart;
    case ControlId::Check1:
      return form.Check1;
    case ControlId::Check2:
      return form.Check2;
    case ControlId::Check3:
      return form.Check3;
    case ControlId::Text1:
      return form.Text1;
    case ControlId::lbltimetaken:
      return form.lbltimetaken;
    case ControlId::Label7:
      return form.Label7;
    case ControlId::Label1:
      return form.Label1.at(static_cast<size_t>(place.index));
    case ControlId::lbltotalfiles:
      return form.lbltotalfiles;
    case ControlId::Label5:
      return form.Label5;
    case ControlId::Label6:
      return form.Label6;
    case ControlId::Label3:
      return form.Label3;
    case ControlId::Label2:
      return form.Label2;
    case ControlId::lblcurrentfolder:
      return form.lblcurrentfolder;
    case ControlId::lblseriesnum:
      return form.lblseriesnum;
    case ControlId::lblcountoffiles:
      return form.lblcountoffiles;
    case ControlId::lblcurrentslice:
      return form.lblcurrentslice;
    case ControlId::lbloldfilename:
      return form.lbloldfilename;
    case ControlId::lblnewfilename:
      return form.lblnewfilename;
    case ControlId::lblcurrentseries:
      return form.lblcurrentseries;
    case ControlId::Label8:
      return form.Label8;
    case ControlId::Label4:
      return form.Label4;
  }
  throw std::out_of_range("unknown control");
}

std::span<const CommandEntry> contextMenu() {
  return kContextMenu;
}

bool commandApplies(Form1& form, Command command) {
  switch (command) {
    case Command::openFolder:
      return form.canOpenFolder();
    case Command::preview:
      return form.canPreview();
    case Command::undo:
      return form.undoOffer().applies;
    case Command::stop:
      return form.canStop();
  }
  return false;
}

void runCommand(Form1& form, CommandView& view, Command command) {
  switch (command) {
    case Command::openFolder:
      view.openFolder();
      break;
    case Command::preview:
      view.openPreview();
      break;
    case Command::undo:
      view.undo();
      break;
    case Command::stop:
      form.pressEscape();
      break;
  }
}

const Question& stopQuestion() {
  return kStop;
}

const Question& unfinishedRunQuestion() {
  return kUnfinishedRun;
}

const Question& undoQuestion() {
  return kUndo;
}

bool AskingView::askStop(const std::string& text) {
  return ask(stopQuestion(), text, {}) == Answer::stop;
}

Form1View::UnfinishedRunChoice AskingView::askUnfinishedRun(const std::string& text) {
  switch (ask(unfinishedRunQuestion(), text, {})) {
    case Answer::finish:
      return UnfinishedRunChoice::finish;
    case Answer::undo:
      return UnfinishedRunChoice::undo;
    default:
      return UnfinishedRunChoice::cancel;
  }
}

bool AskingView::confirm(const std::string& text, const std::string& title) {
  return ask(undoQuestion(), text, title) == Answer::yes;
}

}  // namespace slicery::app
