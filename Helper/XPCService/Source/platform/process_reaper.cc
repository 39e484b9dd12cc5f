// SPDX-License-Identifier: MIT
#include "platform/process_reaper.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace zv {

ProcessReaper::ProcessReaper(std::function<void(pid_t pid, int status)> reaped)
    : on_reaped_(std::move(reaped)), wake_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ProcessReaper::~ProcessReaper() {
  for (Waiting& waiting : waiting_) ::close(waiting.helper.pidfd);
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

void ProcessReaper::Add(HelperProcess helper) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.push_back({helper, false});
  }
  const uint64_t one = 1;
  (void)!::write(wake_fd_, &one, sizeof one);
}

std::size_t ProcessReaper::Reap(int timeout_ms) {
  std::vector<pollfd> fds = {{wake_fd_, POLLIN, 0}};
  bool any_held = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Waiting& waiting : waiting_) {
      any_held |= waiting.held;
      if (!waiting.held) fds.push_back({waiting.helper.pidfd, POLLIN, 0});
    }
  }
  if (any_held && (timeout_ms < 0 || timeout_ms > kHeldRetryMs)) timeout_ms = kHeldRetryMs;
  if (::poll(fds.data(), fds.size(), timeout_ms) > 0 && fds[0].revents != 0) {
    uint64_t added = 0;
    (void)!::read(wake_fd_, &added, sizeof added);
  }
  std::vector<std::pair<pid_t, int>> reaped;
  const std::size_t left = ReapEnded(&reaped);
  for (const auto& [pid, status] : reaped) on_reaped_(pid, status);
  return left;
}

std::size_t ProcessReaper::ReapEnded(std::vector<std::pair<pid_t, int>>* reaped) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    const pid_t pid = it->helper.pid;
    int status = 0;
    if (ReapEndedHelper(&it->helper, &status)) {
      reaped->emplace_back(pid, status);
      it = waiting_.erase(it);
      continue;
    }
    it->held = HelperEnded(it->helper);
    ++it;
  }
  return waiting_.size();
}

}  // namespace zv
