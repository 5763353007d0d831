#include "support/failing_append_file.h"

namespace slicery::testing {
namespace {

using platform::AppendFile;
using platform::Status;

class FailingFile : public AppendFile {
 public:
  FailingFile(std::unique_ptr<AppendFile> real, int failWrite, bool failSync)
      : real_(std::move(real)), failWrite_(failWrite), failSync_(failSync) {}
  Status append(std::string_view data) override {
    if (++writes_ == failWrite_) return Status::error("write journal", path(), "No space left");
    return real_->append(data);
  }
  Status sync() override {
    return failSync_ ? Status::error("write journal", path(), "Input/output error") : real_->sync();
  }
  const std::string& path() const override { return real_->path(); }

 private:
  std::unique_ptr<AppendFile> real_;
  int failWrite_;
  bool failSync_;
  int writes_ = 0;
};

}  // namespace

platform::AppendFileOpener failingOpener(int failWrite, bool failSync) {
  return
      [=](const std::string& path, bool fresh, std::size_t keep, std::unique_ptr<AppendFile>& out) {
        std::unique_ptr<AppendFile> real;
        if (Status opened = platform::openAppendFile(path, fresh, keep, real); !opened)
          return opened;
        out = std::make_unique<FailingFile>(std::move(real), failWrite, failSync);
        return Status::ok();
      };
}

}  // namespace slicery::testing
