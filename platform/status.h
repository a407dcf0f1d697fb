// Status: the result of an operation that can fail. Success carries nothing;
// a failure carries one sentence a user can act on, usually "path: reason".
#pragma once

#include <string>
#include <utility>

namespace korva {

class Status {
 public:
  Status() = default;  // success

  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }
  // "path: reason", the form every file operation reports.
  static Status PathError(const std::string& path, const std::string& reason) {
    return Status(path + ": " + reason);
  }

  // The user asked to stop: the work was not done, and nothing went wrong.
  static Status Cancelled(std::string message = "Cancelled.") {
    Status status(std::move(message));
    status.cancelled_ = true;
    return status;
  }

  bool ok() const { return !failed_; }
  bool cancelled() const { return cancelled_; }
  explicit operator bool() const { return ok(); }
  const std::string& message() const { return message_; }

 private:
  explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}

  bool failed_ = false;
  bool cancelled_ = false;
  std::string message_;
};

}  // namespace korva
