// Plain models of the window's controls. Each model holds what a toolkit
// widget would show (text, enabled, value, ...) and tells the form's view
// after every change, so a view can repaint while a long procedure runs.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/escape.h"

namespace slicery::app {

enum class ControlId {
  List1,
  List2,
  Check4,
  PRGSeries,
  prgtotal,
  btnExit,
  btnstart,
  Check1,
  Check2,
  Check3,
  Text1,
  lbltimetaken,
  Label7,
  Label1,
  lbltotalfiles,
  Label5,
  Label6,
  Label3,
  Label2,
  lblcurrentfolder,
  lblseriesnum,
  lblcountoffiles,
  lblcurrentslice,
  lbloldfilename,
  lblnewfilename,
  lblcurrentseries,
  Label8,
  Label4,
};

// Receives every change of a control model. `index` tells the elements of the
// `Label1` array apart (0 to 9) and is 0 for every other control.
class ControlObserver {
 public:
  virtual ~ControlObserver() = default;
  virtual void controlChanged(ControlId id, int index) = 0;
};

// The slot through which all models of one form reach its observer.
struct ControlNotifier {
  ControlObserver* observer = nullptr;
  void changed(ControlId id, int index) const {
    if (observer != nullptr) observer->controlChanged(id, index);
  }
};

class ControlModel {
 public:
  ControlModel(const ControlNotifier& notifier, ControlId id, int index = 0)
      : notifier_(&notifier), id_(id), index_(index) {}
  ControlModel(const ControlModel&) = delete;
  ControlModel& operator=(const ControlModel&) = delete;

  ControlId id() const { return id_; }
  int index() const { return index_; }

  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled) { assign(enabled_, enabled); }

 protected:
  template <typename T, typename U>
  void assign(T& field, U&& value) {
    if (field == value) return;
    field = std::forward<U>(value);
    notify();
  }
  void notify() const { notifier_->changed(id_, index_); }

 private:
  const ControlNotifier* notifier_;
  ControlId id_;
  int index_;
  bool enabled_ = true;
};

// A label, or a button / check box caption holder. It shows names and
// paths as a person may read them, with control characters escaped.
class LabelModel : public ControlModel {
 public:
  LabelModel(const ControlNotifier& n, ControlId id, std::string text = {}, int index = 0)
      : ControlModel(n, id, index), text_(std::move(text)) {}
  const std::string& text() const { return text_; }
  void setText(std::string_view text) {
    // The text shown already is left as it is, unread: a run gives most
    // labels a text per file, many of them the text they have.
    if (text == text_) return;
    if (platform::hasControlCharacters(text)) {
      assign(text_, platform::escapeControls(std::string(text)));
    } else {
      text_.assign(text);  // in the room the text had, as a run changes it per file
      notify();
    }
  }

 private:
  std::string text_;
};

class ButtonModel : public ControlModel {
 public:
  // `caption` carries an '&' before the access key letter.
  ButtonModel(const ControlNotifier& n, ControlId id, std::string caption)
      : ControlModel(n, id), caption_(std::move(caption)) {}
  const std::string& caption() const { return caption_; }

 private:
  std::string caption_;
};

class CheckBoxModel : public ControlModel {
 public:
  CheckBoxModel(const ControlNotifier& n, ControlId id, std::string caption)
      : ControlModel(n, id), caption_(std::move(caption)) {}
  const std::string& caption() const { return caption_; }
  int value() const { return value_; }
  bool ticked() const { return value_ == 1; }
  // Stores the value only; Form1::changeCheck also runs the box's handler.
  void setValue(int value) { assign(value_, value); }

 private:
  std::string caption_;
  int value_ = 0;
};

// Background colours of the text box, as roles of the system palette.
enum class ColourRole { inactiveBorder, windowBackground, inactiveCaptionText };

class TextBoxModel : public ControlModel {
 public:
  using ControlModel::ControlModel;
  const std::string& text() const { return text_; }
  void setText(std::string text) { assign(text_, std::move(text)); }
  ColourRole background() const { return background_; }
  void setBackground(ColourRole role) { assign(background_, role); }

 private:
  std::string text_;
  ColourRole background_ = ColourRole::inactiveBorder;
};

class ProgressBarModel : public ControlModel {
 public:
  using ControlModel::ControlModel;
  int maximum() const { return maximum_; }
  void setMaximum(int maximum) { assign(maximum_, maximum); }
  int value() const { return value_; }
  void setValue(int value) { assign(value_, value); }

 private:
  int maximum_ = 100;
  int value_ = 0;
};

// An ordered list of texts that is never shown (List1, List2).
class TextListModel : public ControlModel {
 public:
  using ControlModel::ControlModel;
  void clear() {
    if (items_.empty()) return;
    items_.clear();
    notify();
  }
  void append(std::string item) {
    items_.push_back(std::move(item));
    notify();
  }
  int count() const { return static_cast<int>(items_.size()); }
  // Throws std::out_of_range past the end.
  const std::string& entry(int index) const { return items_.at(static_cast<size_t>(index)); }
  const std::vector<std::string>& items() const { return items_; }

 private:
  std::vector<std::string> items_;
};

}  // namespace slicery::app
