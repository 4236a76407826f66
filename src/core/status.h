// How the core reports a failure: as a value that says what went wrong, in
// words a user can act on, and never by printing. For a failed system call
// the reason is the system's own text for its errno, which code() keeps.
#pragma once

#include <string>

namespace qavrel {

class [[nodiscard]] Status {
 public:
  Status() = default;  // success

  // The failure of a system call; errno 0 means it succeeded.
  static Status from_errno(int code);
  // A failure the system did not name, as "corrupt gzip data".
  static Status failure(std::string reason);

  bool ok() const { return reason_.empty(); }
  // The errno of a failed system call; 0 for success or another failure.
  int code() const { return code_; }
  // Why it failed; empty for success.
  const std::string& reason() const { return reason_; }

 private:
  int code_ = 0;
  std::string reason_;
};

}  // namespace qavrel
