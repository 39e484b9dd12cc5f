// SPDX-License-Identifier: MIT
#include "platform/posix_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace zv {

std::string ErrnoText(std::string_view call, int err) {
  std::string text(call);
  text += ": ";
  text += std::strerror(err);
  return text;
}

std::string ErrnoText(std::string_view call, std::string_view path, int err) {
  std::string named(call);
  named += "(";
  named += path;
  named += ")";
  return ErrnoText(named, err);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

SendOutcome SendAllBytes(int fd, std::string_view bytes, const std::function<int()>& room_wait_ms,
                         std::size_t* sent) {
  const int flags = MSG_NOSIGNAL | (room_wait_ms ? MSG_DONTWAIT : 0);
  std::size_t sent_here = 0;
  if (sent == nullptr) sent = &sent_here;
  *sent = 0;
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), flags);
    if (n >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      *sent += static_cast<std::size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if ((errno != EAGAIN && errno != EWOULDBLOCK) || !room_wait_ms) return SendOutcome::kFailed;
    const int ready = WaitFor(fd, POLLOUT, room_wait_ms());
    if (ready < 0) return SendOutcome::kFailed;
    if (ready == 0) return SendOutcome::kStalled;
  }
  return SendOutcome::kSent;
}

int WaitFor(int fd, short events, int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  int wait_ms = timeout_ms;
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, wait_ms);
    if (ready >= 0) return ready;
    if (errno != EINTR) return -1;
    // A signal does not restart the wait from the beginning: the time
    // already spent counts, so repeated signals cannot hold it forever.
    if (timeout_ms >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait_ms = left > 0 ? static_cast<int>(left) : 0;
    }
  }
}

bool CanOpenForReading(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool HoldsZeroByte(std::string_view text) { return text.find('\0') != std::string_view::npos; }

bool MakeUnixAddress(std::string_view path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address->sun_path) {
    errno = path.empty() ? EINVAL : ENAMETOOLONG;
    return false;
  }
  std::memcpy(address->sun_path, path.data(), path.size());
  return true;
}

}  // namespace zv
