#include "app/form1.h"

#include "app/busy_scope.h"

namespace slicery::app {

Form1::Form1(platform::FileSystem& fs, platform::Clock& clock)
    : fs_(&fs), File2(fs, "*.ima"), File1(fs, "*.ima"), clock_(&clock) {
  btnstart.setEnabled(false);
  Check3.setEnabled(false);
  Check4.setEnabled(false);
  Text1.setEnabled(false);
  Label2.setEnabled(false);
  Label4.setEnabled(false);
  Label8.setEnabled(false);
}

void Form1::setView(Form1View* view) {
  view_ = view;
  notifier_.observer = view;
}

platform::Status Form1::drop(const std::vector<std::string>& paths) {
  if (busy_ || paths.empty()) return platform::Status::ok();
  // A run made ready is of the folder loaded before.
  if (const platform::Status given = abandonPrepared(); !given) return given;
  platform::Status loaded;
  {
    BusyScope busy(busy_);
    File1.setFileName(paths.front());
    loaded = IMADragDrop();
  }
  if (loaded) {
    // Files dropped from the loaded folder are loaded with it; other
    // folders are not.
    size_t unloaded = 0;
    platform::FileList other(*fs_, "*.ima");
    for (size_t i = 1; i < paths.size(); ++i) {
      other.setFileName(paths[i]);
      unloaded += other.path() != File1.path() ? 1 : 0;
    }
    tellDeadEnds(unloaded);
  }
  if (loaded && journaling_) offerUnfinishedRun();
  return loaded;
}

void Form1::changeCheck(CheckBoxModel& box, int value) {
  if (busy_ || !box.enabled()) return;
  setCheck(box, value);
}

void Form1::setCheck(CheckBoxModel& box, int value) {
  if (box.value() == value) return;
  box.setValue(value);
  if (&box == &Check2) {
    Check2Changed();
  } else if (&box == &Check3) {
    Check3Changed();
  } else if (&box == &Check4) {
    Check4Changed();
  }
}

void Form1::changeText1(std::string text) {
  if (busy_ || !Text1.enabled() || Text1.text() == text) return;
  Text1.setText(std::move(text));
  Text1Changed();
}

void Form1::pressStart() {
  if (busy_ || !btnstart.enabled()) return;
  {
    BusyScope busy(busy_);
    const WorkScope work(*this, Work::run);
    Start();
  }
  afterWork();
}

platform::Status Form1::readLoadedFolder(const std::string& folder) {
  using platform::PathKind;
  platform::FileSystem::Entries entries;
  std::vector<bool> hidden;
  const platform::Status read = fs_->listEntriesMarked(folder, entries, hidden);
  listing_.others.clear();
  hiddenOthers_.clear();
  if (!read) {
    listing_.index.clear();
    return read;
  }
  // The files a listing shows: regular files and links to them, hidden
  // ones left out, as the platform tells them. The rest is kept apart: a
  // plan must not give a name that one of them holds, nor touch them.
  platform::FileSystem::Entries files;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    auto& [name, kind] = entries[i];
    const bool listed = !hidden[i] &&
                        (kind == PathKind::file ||
                         (kind == PathKind::link &&
                          fs_->kindOf(platform::joinPath(folder, name)) == PathKind::file)) &&
                        scan::endsInIma(name);
    if (hidden[i]) hiddenOthers_.insert(name);
    (listed ? files : listing_.others).emplace_back(std::move(name), kind);
  }
  listing_.index.assign(std::move(files));
  return read;
}

void Form1::pressExit() {
  if (!btnExit.enabled()) return;
  if (working()) {
    askToStop(true);
  } else if (!busy_ && view_ != nullptr) {
    view_->closeWindow();
  }
}

bool Form1::closeRequested() {
  if (working()) askToStop(true);
  return !busy_;
}

void Form1::pressEscape() {
  askToStop(false);
}

std::string Form1::stopQuestion() const {
  return work_ == Work::undo ? "Stop the undo after the file in hand?"
                             : "Stop the run after the file in hand?";
}

void Form1::askToStop(bool thenClose) {
  if (!working() || view_ == nullptr) return;
  if (!stopAsked_) {
    if (!view_->askStop(stopQuestion())) return;
    stopAsked_ = true;
    stopped_ = work_;
  }
  closeAfterWork_ = closeAfterWork_ || thenClose;
}

void Form1::afterWork() {
  const Work stopped = stopped_;
  stopped_ = Work::none;
  if (closeAfterWork_) {
    closeAfterWork_ = false;
    if (view_ != nullptr) view_->closeWindow();
    return;
  }
  // An undo that stopped says so in its summary.
  if (stopped != Work::run || view_ == nullptr) return;
  view_->showMessage({"The run was stopped after " + std::to_string(filesProcessed) + " of " +
                          std::to_string(prgtotal.maximum()) +
                          " files; the others were left as they were. Press Ctrl+Z to undo "
                          "what it did, or load the folder again to finish it.",
                      "Run Stopped", Message::Icon::information});
}

}  // namespace slicery::app
