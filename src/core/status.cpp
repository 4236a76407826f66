#include "core/status.h"

#include <cstring>

namespace qavrel {

Status Status::from_errno(int code) {
  Status status;
  if (code != 0) {
    status.code_ = code;
    status.reason_ = std::strerror(code);
  }
  return status;
}

Status Status::failure(std::string reason) {
  Status status;
  status.reason_ = std::move(reason);
  return status;
}

}  // namespace qavrel
