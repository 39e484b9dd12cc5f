// SPDX-License-Identifier: MIT
#include "client/unix_connect.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zv {

int ConnectUnixSocket(const std::string& socket_path, std::string* error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path.empty() || socket_path.size() >= sizeof address.sun_path) {
    *error = "socket path '" + socket_path + "' is empty or too long";
    errno = socket_path.empty() ? EINVAL : ENAMETOOLONG;
    return -1;
  }
  std::memcpy(address.sun_path, socket_path.data(), socket_path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int saved = errno;
    *error = "connect(" + socket_path + "): " + std::strerror(saved);
    ::close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

}  // namespace zv
