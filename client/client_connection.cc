// SPDX-License-Identifier: MIT
#include "client/client_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "client/unix_connect.h"
#include "platform/posix_io.h"
#include "platform/xpc/socket_path.h"
#include "platform/xpc/wire_format.h"

namespace zv {

Deadline Deadline::After(int timeout_ms) {
  if (timeout_ms < 0) return Forever();
  return Deadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms));
}

int Deadline::RemainingMs() const {
  if (!at_ || now()) return 0;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*at_ - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

ClientConnection::~ClientConnection() {
  if (fd_ >= 0) ::close(fd_);
}

bool ClientConnection::Connect(const std::string& socket_path) {
  std::string error;
  fd_ = ConnectUnixSocket(socket_path, &error);
  if (fd_ < 0) {
    Fail(errno, error);
    return false;
  }
  return true;
}

int ClientConnection::Fail(int error_number, std::string message) {
  error_number_ = error_number;
  error_ = std::move(message);
  return -1;
}

int ClientConnection::Drop(int error_number, std::string message) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  pending_ = 0;
  return Fail(error_number, std::move(message));
}

bool ClientConnection::CheckOpen() {
  if (fd_ >= 0) return true;
  Fail(ENOTCONN, "the connection was closed after an earlier failure");
  return false;
}

int ClientConnection::Send(std::string_view operation, std::optional<std::string_view> text, Deadline deadline) {
  if (!CheckOpen()) return -1;
  const std::string payload = xpc::EncodeRequest(operation, text);
  if (payload.size() > xpc::kMaxFrameBytes) {
    return Fail(EMSGSIZE, "request of " + std::to_string(payload.size()) + " bytes exceeds the limit of " +
                              std::to_string(xpc::kMaxFrameBytes) + " bytes");
  }
  std::string frame;
  frame.reserve(xpc::kFrameHeaderBytes + payload.size());
  xpc::AppendFrame(payload, &frame);
  if (SendAll(frame, deadline) != 0) return -1;
  ++pending_;
  return 0;
}

int ClientConnection::SendAll(std::string_view bytes, Deadline deadline) {
  std::function<int()> room_wait_ms;
  if (!deadline.forever()) room_wait_ms = [&deadline] { return deadline.RemainingMs(); };
  switch (SendAllBytes(fd_, bytes, room_wait_ms)) {
    case SendOutcome::kSent:
      return 0;
    case SendOutcome::kStalled:
      return Drop(ETIMEDOUT, "the service did not take the request in time");
    case SendOutcome::kFailed:
      break;
  }
  const int saved = errno;
  if ((saved == EPIPE || saved == ECONNRESET) && CollectRefusal(deadline)) return -1;
  return Drop(saved == EPIPE ? ECONNRESET : saved, ErrnoText("cannot send the request", saved));
}

bool ClientConnection::CollectRefusal(Deadline deadline) {
  ++pending_;
  std::string message;
  const int status = Receive(deadline, &message);
  if (status == -1 && error_number_ == EPROTO) {
    Drop(EPROTO, error_);
    return true;
  }
  return false;
}

int ClientConnection::ReadSome(Deadline deadline) {
  for (;;) {
    if (!deadline.forever() && !deadline.now()) {
      if (WaitFor(fd_, POLLIN, deadline.RemainingMs()) == 0) {
        return Drop(ETIMEDOUT, "the service did not reply in time");
      }
    }
    std::size_t available = 0;
    char* space = buffer_.Space(&available);
    const ssize_t n = ::recv(fd_, space, available, deadline.now() ? MSG_DONTWAIT : 0);
    if (n > 0) {
      buffer_.Commit(static_cast<std::size_t>(n));
      return 0;
    }
    if (n == 0) return Drop(ECONNRESET, "the service closed the connection without a reply");
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (deadline.now()) return 1;
      continue;
    }
    const int saved = errno;
    return Drop(saved, ErrnoText("cannot read the reply", saved));
  }
}

int ClientConnection::Receive(Deadline deadline, std::string* reply) {
  if (!CheckOpen()) return -1;
  if (pending_ == 0) return Fail(ENOMSG, "no request is waiting for its reply");
  for (;;) {
    switch (buffer_.Take(reply)) {
      case ReplyFrameStatus::kReply:
        --pending_;
        error_.clear();
        return 0;
      case ReplyFrameStatus::kErrorReply:
        --pending_;
        return Fail(EPROTO, *reply);
      case ReplyFrameStatus::kTooLarge:
      case ReplyFrameStatus::kMalformed:
        return Drop(EBADMSG, *reply);
      case ReplyFrameStatus::kIncomplete:
        break;
    }
    const int status = ReadSome(deadline);
    if (status != 0) return status;
  }
}

bool ChooseClientSocketPath(const char* given, std::string* path, std::string* error) {
  if (given != nullptr) {
    *path = given;
    return true;
  }
  const char* from_environment = std::getenv("ZVXPC_SOCKET");
  if (from_environment != nullptr && *from_environment != '\0') {
    *path = from_environment;
    return true;
  }
  return xpc::DefaultSocketPath(path, error);
}

}  // namespace zv
