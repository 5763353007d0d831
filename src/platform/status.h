// Status: the outcome of an operation on the file system or another platform
// service. An ok Status carries nothing; a failed one carries the operation,
// the path(s) involved and the system's reason, so callers can record it and
// tell the user exactly what went wrong.
#pragma once

#include <cstring>
#include <string>
#include <utility>

namespace slicery::platform {

class Status {
 public:
  Status() = default;

  static Status ok() { return Status(); }
  // `code` is the errno value where the failure came from the system, else 0.
  static Status error(std::string operation, std::string path, std::string reason, int code = 0,
                      std::string newPath = {}) {
    Status s;
    s.failed_ = true;
    s.operation_ = std::move(operation);
    s.path_ = std::move(path);
    s.newPath_ = std::move(newPath);
    s.reason_ = std::move(reason);
    s.code_ = code;
    return s;
  }

  // A failure the system reported as errno `code`, with its message.
  static Status systemError(std::string operation, std::string path, int code,
                            std::string newPath = {}) {
    return error(std::move(operation), std::move(path), std::strerror(code), code,
                 std::move(newPath));
  }

  bool isOk() const { return !failed_; }
  explicit operator bool() const { return !failed_; }

  const std::string& operation() const { return operation_; }
  const std::string& path() const { return path_; }
  const std::string& newPath() const { return newPath_; }
  const std::string& reason() const { return reason_; }
  int code() const { return code_; }

  // "rename /a -> /b: File exists" / "list /a: Permission denied".
  std::string toString() const {
    if (!failed_) return "ok";
    std::string s = operation_ + " " + path_;
    if (!newPath_.empty()) s += " -> " + newPath_;
    return s + ": " + reason_;
  }

 private:
  bool failed_ = false;
  std::string operation_;
  std::string path_;
  std::string newPath_;
  std::string reason_;
  int code_ = 0;
};

}  // namespace slicery::platform
