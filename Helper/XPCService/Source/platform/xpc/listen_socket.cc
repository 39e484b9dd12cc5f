// SPDX-License-Identifier: MIT
#include "platform/xpc/listen_socket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_io.h"

namespace zv::xpc {
namespace {

// Creation mask while binding, so the socket file is born with mode 0600
// rather than being open to others until a chmod.
constexpr mode_t kBindUmask = 0177;

bool MakeAddress(const std::string& path, sockaddr_un* address, std::string* error) {
  if (MakeUnixAddress(path, address)) return true;
  if (path.empty()) {
    *error = "the socket path is empty";
  } else {
    *error = "socket path " + path + " is too long (" + std::to_string(path.size()) + " bytes; at most " +
             std::to_string(sizeof address->sun_path - 1) + ")";
  }
  return false;
}

// Removes a socket file that nobody accepts on any more. Leaves a live
// service's socket and anything that is not a socket alone.
bool ClearStaleSocket(const std::string& path, const sockaddr_un& address, std::string* error) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    *error = ErrnoText("lstat", path, errno);
    return false;
  }
  if (!S_ISSOCK(st.st_mode)) {
    *error = path + " exists and is not a socket; not replacing it";
    return false;
  }
  const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) {
    *error = ErrnoText("socket", errno);
    return false;
  }
  const int connected = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int connect_errno = errno;
  ::close(probe);
  if (connected == 0) {
    *error = "a service is already listening at " + path;
    return false;
  }
  if (connect_errno != ECONNREFUSED) {
    *error = ErrnoText("connect", path, connect_errno);
    return false;
  }
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    *error = ErrnoText("unlink", path, errno);
    return false;
  }
  return true;
}

bool BindWithPrivateMode(int fd, const sockaddr_un& address, const std::string& path, std::string* error) {
  const mode_t saved = ::umask(kBindUmask);
  const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int bind_errno = errno;
  ::umask(saved);
  if (bound != 0) {
    *error = ErrnoText("bind", path, bind_errno);
    return false;
  }
  return true;
}

}  // namespace

ListenSocket::~ListenSocket() {
  if (fd_ >= 0) ::close(fd_);
  if (bound_path_.empty()) return;
  struct stat st;
  if (::lstat(bound_path_.c_str(), &st) == 0 && st.st_dev == bound_device_ && st.st_ino == bound_inode_) {
    ::unlink(bound_path_.c_str());
  }
}

bool ListenSocket::TakeActivated(bool* found, std::string* error) {
  *found = false;
  const int count = sd_listen_fds(1);
  if (count < 0) {
    *error = ErrnoText("sd_listen_fds", -count);
    return false;
  }
  if (count == 0) return true;
  if (count != 1) {
    *error = "systemd handed over " + std::to_string(count) +
             " sockets; exactly one listening AF_UNIX stream socket is needed";
    return false;
  }
  const int fd = SD_LISTEN_FDS_START;
  const int is_unix = sd_is_socket_unix(fd, SOCK_STREAM, 1, nullptr, 0);
  if (is_unix <= 0) {
    *error = is_unix < 0 ? ErrnoText("sd_is_socket_unix", -is_unix)
                         : "the socket systemd handed over is not a listening AF_UNIX stream socket";
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 || ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
    *error = ErrnoText("fcntl", errno);
    return false;
  }
  fd_ = fd;
  *found = true;
  return true;
}

bool ListenSocket::Bind(const std::string& path, std::string* error) {
  sockaddr_un address;
  if (!MakeAddress(path, &address, error) || !ClearStaleSocket(path, address, error)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *error = ErrnoText("socket", errno);
    return false;
  }
  struct stat st;
  if (!BindWithPrivateMode(fd, address, path, error)) {
    ::close(fd);
    return false;
  }
  if (::lstat(path.c_str(), &st) != 0 || ::listen(fd, SOMAXCONN) != 0) {
    *error = ErrnoText("listen", path, errno);
    ::close(fd);
    ::unlink(path.c_str());
    return false;
  }
  fd_ = fd;
  bound_path_ = path;
  bound_device_ = st.st_dev;
  bound_inode_ = st.st_ino;
  return true;
}

}  // namespace zv::xpc
