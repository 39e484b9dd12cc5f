// SPDX-License-Identifier: MIT
#include "client/unix_connect.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_io.h"

namespace zv {

int ConnectUnixSocket(const std::string& socket_path, std::string* error) {
  sockaddr_un address;
  if (!MakeUnixAddress(socket_path, &address)) {
    *error = "socket path '" + socket_path + "' is empty or too long";
    return -1;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = ErrnoText("socket", errno);
    return -1;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int saved = errno;
    *error = ErrnoText("connect", socket_path, saved);
    ::close(fd);
    errno = saved;
    return -1;
  }
  // The connect waits as a blocking one does (a full backlog holds it);
  // from then on nothing waits on this socket.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    const int saved = errno;
    *error = ErrnoText("fcntl", saved);
    ::close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

}  // namespace zv
