// SPDX-License-Identifier: MIT
#include "client/unix_connect.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_io.h"

namespace zv {
namespace {

// The socket address of `socket_path`; false with errno and a message.
bool AddressOf(const std::string& socket_path, sockaddr_un* address, std::string* error) {
  if (MakeUnixAddress(socket_path, address)) return true;
  *error = "socket path '" + socket_path + "' is empty or too long";
  return false;
}

// Closes `fd` and gives -1, keeping errno.
int CloseKeepingErrno(int fd) {
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return -1;
}

}  // namespace

int ConnectUnixSocket(const std::string& socket_path, std::string* error) {
  sockaddr_un address;
  if (!AddressOf(socket_path, &address, error)) return -1;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = ErrnoText("socket", errno);
    return -1;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    *error = ErrnoText("connect", socket_path, errno);
    return CloseKeepingErrno(fd);
  }
  // The connect waits as a blocking one does (a full backlog holds it);
  // from then on nothing waits on this socket.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    *error = ErrnoText("fcntl", errno);
    return CloseKeepingErrno(fd);
  }
  return fd;
}

int NewUnixStreamSocket(std::string* error) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) *error = ErrnoText("socket", errno);
  return fd;
}

ConnectProgress ConnectWithoutWaiting(int fd, const std::string& socket_path, std::string* error) {
  sockaddr_un address;
  if (!AddressOf(socket_path, &address, error)) return ConnectProgress::kFailed;
  for (;;) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return ConnectProgress::kConnected;
    }
    switch (errno) {
      case EINTR: continue;
      case EISCONN: return ConnectProgress::kConnected;
      case EAGAIN:
      case EINPROGRESS:
      case EALREADY: return ConnectProgress::kWaiting;
      default: *error = ErrnoText("connect", socket_path, errno); return ConnectProgress::kFailed;
    }
  }
}

}  // namespace zv
