// SPDX-License-Identifier: MIT
#include "platform/posix_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zv {

std::string ErrorText(int err) {
  // The caller may still look at errno after building its message; the
  // allocations below could change it.
  const int saved = errno;
  // The C library's own table, read-only: no buffer is shared between
  // threads, and the text does not depend on the locale.
  const char* description = ::strerrordesc_np(err);
  std::string text = description != nullptr ? description : "Unknown error " + std::to_string(err);
  errno = saved;
  return text;
}

std::string ErrnoText(std::string_view call, int err) {
  const int saved = errno;
  std::string text(call);
  text += ": ";
  text += ErrorText(err);
  errno = saved;
  return text;
}

std::string ErrnoText(std::string_view call, std::string_view path, int err) {
  const int saved = errno;
  std::string named(call);
  named += "(";
  named += path;
  named += ")";
  std::string text = ErrnoText(named, err);
  errno = saved;
  return text;
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

long SendWithoutWaiting(int fd, std::string_view bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    // A failure after some bytes went out is the next call's to report.
    if (errno == EAGAIN || errno == EWOULDBLOCK || sent > 0) break;
    return -1;
  }
  return static_cast<long>(sent);
}

SendOutcome SendAllBytes(int fd, std::string_view bytes, int stall_ms) {
  for (;;) {
    const long sent = SendWithoutWaiting(fd, bytes);
    if (sent < 0) return SendOutcome::kFailed;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
    if (bytes.empty()) return SendOutcome::kSent;
    const int ready = WaitUntil(fd, POLLOUT, Deadline::In(stall_ms));
    if (ready < 0) return SendOutcome::kFailed;
    if (ready == 0) return SendOutcome::kStalled;
  }
}

int WaitUntil(int fd, short events, Deadline deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    // After a signal the wait goes on to the same deadline, so repeated
    // signals cannot hold it for ever.
    const int ready = ::poll(&entry, 1, deadline.PollTimeoutMs());
    if (ready >= 0) return ready;
    if (errno != EINTR) return -1;
  }
}

int WaitFor(int fd, short events, int timeout_ms) { return WaitUntil(fd, events, Deadline::In(timeout_ms)); }

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
