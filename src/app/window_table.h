// The window's table: where each control stands and how it looks, what a
// drop on it does, the order Tab visits the controls in, the commands of the
// context menu with their keys, and the questions the window asks with their
// answers. The Qt and the Win32 window lay themselves out from it and only
// map it to their own widgets, so both show one and the same window.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/form1.h"

namespace slicery::app {

// The window's client area, in twips (1/1440 inch; 15 make a pixel at 96
// DPI).
inline constexpr int kClientWidth = 14670;
inline constexpr int kClientHeight = 6945;

struct Twips {
  int left;
  int top;
  int width;
  int height;
};

enum class ControlKind { frame, label, checkBox, textBox, button, progressBar };

// What a drop onto a control does: loads the dropped folder, is taken and
// does nothing, or is refused.
enum class DropRole { load, ignore, refuse };

// A caption's own font, Verdana of 8.25 points, regular or bold; or none, so
// that the control shows the window's default font.
enum class CaptionFont { none, regular, bold };

// How a label shows a value wider than itself: cut off at its edge, or
// shortened with an ellipsis where a path misses it least (its middle) or a
// file name (its end), the whole value offered as a tooltip.
enum class Overflow { clip, path, name };

struct ControlPlace {
  const char* name;  // "Label1(3)" for an element of Label1
  ControlKind kind;
  ControlId id;  // the model's, for every kind but a frame
  int index;     // the element of Label1; a frame's number, 1 to 4
  int parent;    // the frame it lies in, 0 for the window itself
  Twips at;      // from the parent's outer top left
  CaptionFont font;
  DropRole drop;
  int tab;  // the place in the tab order
  Overflow overflow = Overflow::clip;
};

// Every control of the window, parents before what they hold. Among the
// controls of one parent, a later one lies above an earlier one.
std::span<const ControlPlace> windowLayout();
// Frame `number` (1 to 4).
const ControlPlace& framePlace(int number);
// Where `place` stands in the window's client area.
Twips inWindow(const ControlPlace& place);
// The controls that take keyboard focus, in the order Tab visits them.
std::vector<const ControlPlace*> tabOrder();
// The control that holds focus as the window opens: the first in the tab
// order that is enabled.
const ControlPlace& firstFocus(const Form1& form);

// The model that `place` shows; Label1's elements by their index. Throws
// std::out_of_range for a frame, which has none.
ControlModel& modelOf(Form1& form, const ControlPlace& place);
const ControlModel& modelOf(const Form1& form, const ControlPlace& place);

// The commands of the window's context menu, each with its key, in the order
// the menu lists them.
enum class Command { openFolder, preview, undo, stop };
struct CommandEntry {
  Command command;
  const char* caption;
  // The key as a person reads it, which a toolkit can also parse:
  // "Ctrl+O", "Esc".
  const char* keys;
};
std::span<const CommandEntry> contextMenu();
// Whether `command` applies now; the menu offers it only then.
bool commandApplies(Form1& form, Command command);
// The commands a window carries out with dialogs of its own.
class CommandView {
 public:
  virtual ~CommandView() = default;
  virtual void openFolder() = 0;
  virtual void openPreview() = 0;
  virtual void undo() = 0;
};
// Carries out `command`, chosen from the menu or by its key.
void runCommand(Form1& form, CommandView& view, Command command);

// A question the window asks and the answers it offers. The text, and for
// the undo its title, are the form's; a button without a caption is the
// platform's own (Cancel, Yes, No, in its words).
enum class Answer { stop, keepGoing, finish, undo, cancel, yes, no };
enum class QuestionIcon { question, warning };
struct AnswerButton {
  Answer answer;
  const char* caption;  // with '&' before the access key; nullptr: the platform's
};
struct Question {
  const char* title;  // nullptr: the title the form gives
  QuestionIcon icon;
  std::span<const AnswerButton> buttons;
  // Enter, Esc and the close button give this one: the answer that changes
  // nothing.
  Answer safeAnswer;
};
// Esc, Exit and the close button during a run, a finish or an undo.
const Question& stopQuestion();
// A loaded folder whose last run did not finish.
const Question& unfinishedRunQuestion();
// Ctrl+Z, before the last run is undone.
const Question& undoQuestion();

// A view that asks each of the form's questions above with one dialog of its
// own, and tells the form the answer.
class AskingView : public Form1View {
 public:
  // Asks `question`, with the form's `text` (and `title` where the table
  // gives none); returns the answer given.
  virtual Answer ask(const Question& question, const std::string& text,
                     const std::string& title) = 0;

  bool askStop(const std::string& text) override;
  UnfinishedRunChoice askUnfinishedRun(const std::string& text) override;
  bool confirm(const std::string& text, const std::string& title) override;
};

}  // namespace slicery::app
