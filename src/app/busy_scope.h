// BusyScope: marks a form busy for the life of a load, a run, a resume or an
// undo; input that arrives meanwhile takes no effect.
#pragma once

namespace slicery::app {

class BusyScope {
 public:
  explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~BusyScope() { flag_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace slicery::app
