// SPDX-License-Identifier: MIT
// A stand-in for zvxpcd on a socket of its own, for the replies and
// closings the real service never gives.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "platform/posix_io.h"
#include "platform/xpc/frame_io.h"
#include "platform/xpc/wire_format.h"

namespace zvtest {

/// A listening socket the test itself serves: it accepts one connection,
/// reads what the client sent and answers, keeps silent (so a client
/// waits) or closes it.
class StandInSocket {
 public:
  explicit StandInSocket(const std::string& path) : path_(path) {
    sockaddr_un address;
    zv::MakeUnixAddress(path, &address);
    listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listen_fd_, 4), 0);
  }
  ~StandInSocket() {
    if (accepted_fd_ >= 0) ::close(accepted_fd_);
    ::close(listen_fd_);
  }
  const char* path() const { return path_.c_str(); }
  /// Accepts the connection a client made, waiting up to `wait_ms` for one
  /// (-1: no limit), in place of the one accepted before; false when none
  /// came.
  bool Accept(int wait_ms = -1) {
    if (zv::WaitFor(listen_fd_, POLLIN, wait_ms) != 1) return false;
    if (accepted_fd_ >= 0) ::close(accepted_fd_);
    accepted_fd_ = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    return accepted_fd_ >= 0;
  }
  /// The accepted connection (-1: none).
  int connection() const { return accepted_fd_; }
  /// Bytes the client sent that are waiting now.
  ssize_t WaitingBytes() {
    char buffer[256];
    const ssize_t n = ::recv(accepted_fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    return n < 0 && errno == EAGAIN ? 0 : n;
  }
  void CloseConnection() {
    ::close(accepted_fd_);
    accepted_fd_ = -1;
  }
  /// Waits for the client's first bytes, then closes without a reply.
  void CloseOnceBytesArrive() {
    zv::WaitFor(accepted_fd_, POLLIN, 10000);
    CloseConnection();
  }
  /// True when a client connected again and waits to be accepted.
  bool ConnectionWaiting() {
    return zv::WaitFor(listen_fd_, POLLIN, 0) == 1;
  }
  /// Reads, without waiting, the bytes the client sent that are there now.
  std::string Drain() {
    std::string bytes;
    char buffer[64 * 1024];
    ssize_t n;
    while ((n = ::recv(accepted_fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) bytes.append(buffer, n);
    return bytes;
  }
  /// Answers with one reply frame.
  void Reply(zv::xpc::ReplyStatus status, std::string_view text) {
    std::string error;
    EXPECT_TRUE(zv::xpc::WriteFrame(accepted_fd_, zv::xpc::EncodeReply(status, text), &error)) << error;
  }
  /// Shuts the accepted connection down from another thread: a client
  /// call waiting on it then fails.
  void CutOff() { ::shutdown(accepted_fd_, SHUT_RDWR); }

 private:
  std::string path_;
  int listen_fd_ = -1;
  int accepted_fd_ = -1;
};

}  // namespace zvtest
