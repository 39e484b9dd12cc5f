// SPDX-License-Identifier: MIT
// The listening socket of the service: handed over by systemd socket
// activation, or bound by the service itself.
#pragma once

#include <sys/types.h>

#include <string>

namespace zv::xpc {

/// An open listening AF_UNIX stream socket. A socket the service bound
/// itself has its file removed again on destruction, provided the file at
/// that path is still the one it created.
class ListenSocket {
 public:
  ListenSocket() = default;
  ~ListenSocket();
  ListenSocket(const ListenSocket&) = delete;
  ListenSocket& operator=(const ListenSocket&) = delete;

  /// Takes the socket systemd handed over (LISTEN_FDS, cleared from the
  /// environment afterwards). `*found` is false when there is none. False
  /// with a message when systemd handed over anything but exactly one
  /// listening AF_UNIX stream socket.
  bool TakeActivated(bool* found, std::string* error);

  /// Binds a new socket at `path` with file mode 0600 and listens on it.
  /// A stale socket file (nobody accepts on it) is replaced; a live service
  /// at that path, or a file that is not a socket, is left alone and gives
  /// false with a message, as do a path too long for a socket address and
  /// every failing call (named with its errno text).
  bool Bind(const std::string& path, std::string* error);

  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  std::string bound_path_;
  dev_t bound_device_ = 0;
  ino_t bound_inode_ = 0;
};

}  // namespace zv::xpc
