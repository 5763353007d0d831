// RecordedIntent: records each fallback step of a rename in the run's
// journal before the step is taken, for a run, its finish and its undo.
#pragma once

#include <string_view>

#include "journal/writer.h"
#include "platform/file_system.h"

namespace slicery::journal {

// Records each fallback step of a rename in the journal before it is taken;
// a record that cannot be written goes to `error` too (when given), which
// stops the run.
class RecordedIntent : public platform::RenameIntent {
 public:
  RecordedIntent(Writer* journal, std::string_view from, std::string_view to,
                 platform::Status* error = nullptr)
      : journal_(journal), from_(from), to_(to), error_(error) {}
  platform::Status before(Kind kind) override {
    if (journal_ == nullptr) return platform::Status::ok();
    platform::Status written =
        journal_->intent(kind == Kind::cutMove ? Intent::Kind::cutMove : Intent::Kind::placeholder,
                         from_, to_, false);
    if (!written && error_ != nullptr) *error_ = written;
    return written;
  }

 private:
  Writer* journal_;
  std::string_view from_;
  std::string_view to_;
  platform::Status* error_;
};

}  // namespace slicery::journal
