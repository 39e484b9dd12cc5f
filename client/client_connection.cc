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
  socket_path_ = socket_path;
  std::string error;
  fd_ = ConnectUnixSocket(socket_path, &error);
  if (fd_ < 0) {
    Fail(errno, error);
    return false;
  }
  service_closed_ = false;
  buffer_ = ReplyBuffer();
  return true;
}

int ClientConnection::Fail(int error_number, std::string message) {
  error_number_ = error_number;
  error_ = std::move(message);
  return -1;
}

void ClientConnection::CloseSocket(bool by_service) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  lost_ += pending_;
  pending_ = 0;
  service_closed_ = by_service;
}

int ClientConnection::Drop(int error_number, std::string message) {
  CloseSocket(error_number == ECONNRESET);
  return Fail(error_number, std::move(message));
}

int ClientConnection::ReportLostReply() {
  --lost_;
  return Fail(ECONNRESET, "the connection closed before the reply to this request came");
}

bool ClientConnection::ClosedByServiceWhileIdle() const {
  if (pending_ > 0) return false;
  pollfd entry{fd_, POLLIN | POLLRDHUP, 0};
  if (::poll(&entry, 1, 0) <= 0) return false;
  if ((entry.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0) return true;
  // Readable with nothing pending: only the end (or a refusal before it).
  char byte;
  return ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

bool ClientConnection::Reconnect() {
  CloseSocket(true);
  return Connect(socket_path_);
}

bool ClientConnection::ReadyToSend(bool* reconnected) {
  if (fd_ >= 0 && !ClosedByServiceWhileIdle()) return true;
  if (fd_ >= 0) CloseSocket(true);
  if (!service_closed_ || *reconnected || socket_path_.empty()) {
    Fail(ENOTCONN, service_closed_ ? "the service closed the connection again"
                                   : "the connection was closed after an earlier failure");
    return false;
  }
  *reconnected = true;
  return Reconnect();
}

int ClientConnection::Send(std::string_view operation, std::optional<std::string_view> text, Deadline deadline) {
  const std::string payload = xpc::EncodeRequest(operation, text);
  if (payload.size() > xpc::kMaxFrameBytes) {
    return Fail(EMSGSIZE, "request of " + std::to_string(payload.size()) + " bytes exceeds the limit of " +
                              std::to_string(xpc::kMaxFrameBytes) + " bytes");
  }
  std::string frame;
  frame.reserve(xpc::kFrameHeaderBytes + payload.size());
  xpc::AppendFrame(payload, &frame);
  bool reconnected = false;
  if (!ReadyToSend(&reconnected)) return -1;
  bool untouched = false;
  if (SendFrame(frame, deadline, &untouched) != 0) {
    // The service closed between the check and the send: nothing of the
    // request reached it, so it may go once more on a new connection.
    if (!untouched || !ReadyToSend(&reconnected) || SendFrame(frame, deadline, &untouched) != 0) return -1;
  }
  ++pending_;
  return 0;
}

int ClientConnection::SendFrame(std::string_view frame, Deadline deadline, bool* untouched) {
  *untouched = false;
  const bool idle = pending_ == 0 && lost_ == 0;
  std::function<int()> room_wait_ms;
  if (!deadline.forever()) room_wait_ms = [&deadline] { return deadline.RemainingMs(); };
  std::size_t sent = 0;
  switch (SendAllBytes(fd_, frame, room_wait_ms, &sent)) {
    case SendOutcome::kSent:
      return 0;
    case SendOutcome::kStalled:
      return Drop(ETIMEDOUT, "the service did not take the request in time");
    case SendOutcome::kFailed:
      break;
  }
  const int saved = errno;
  const bool peer_gone = saved == EPIPE || saved == ECONNRESET;
  if (peer_gone && CollectRefusal(deadline)) return -1;
  *untouched = peer_gone && sent == 0 && idle;
  return Drop(peer_gone ? ECONNRESET : saved, ErrnoText("cannot send the request", saved));
}

bool ClientConnection::CollectRefusal(Deadline deadline) {
  // With other replies pending, the next frame would be another request's.
  if (pending_ > 0 || lost_ > 0) return false;
  ++pending_;
  std::string message;
  // Whatever comes, Receive settles the request counted here.
  return Receive(deadline, &message) == -1 && error_number_ == EPROTO;
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
  if (lost_ > 0) return ReportLostReply();
  if (pending_ == 0) return Fail(ENOMSG, "no request is waiting for its reply");
  for (;;) {
    switch (buffer_.Take(reply)) {
      case ReplyFrameStatus::kReply:
        --pending_;
        error_.clear();
        return 0;
      case ReplyFrameStatus::kErrorReply:
        // The service closes the connection after an error reply; the
        // requests sent after this one will get no reply.
        --pending_;
        CloseSocket(true);
        return Fail(EPROTO, *reply);
      case ReplyFrameStatus::kTooLarge:
      case ReplyFrameStatus::kMalformed:
        --pending_;
        return Drop(EBADMSG, *reply);
      case ReplyFrameStatus::kIncomplete:
        break;
    }
    const int status = ReadSome(deadline);
    if (status < 0) --lost_;  // this request's reply is the one that failed
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
