// SPDX-License-Identifier: MIT
#include "platform/deadline.h"

#include <algorithm>

namespace zv {

Deadline Deadline::In(int timeout_ms) {
  Deadline deadline;
  if (timeout_ms >= 0) {
    deadline.never_ = false;
    deadline.at_ = Clock::now() + std::chrono::milliseconds(timeout_ms);
  }
  return deadline;
}

int Deadline::PollTimeoutMs() const {
  if (never_) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(at_ - Clock::now()).count();
  // A deadline is made from an int of milliseconds, so what is left fits.
  return static_cast<int>(std::max<decltype(left)>(left, 0));
}

}  // namespace zv
