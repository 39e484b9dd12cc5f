// SPDX-License-Identifier: MIT
#include "client/client_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "client/unix_connect.h"
#include "platform/posix_io.h"
#include "platform/xpc/socket_path.h"
#include "platform/xpc/wire_format.h"

namespace zv {

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
  writing_stopped_ = false;
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
  writing_stopped_ = false;
  queue_.Clear();
}

int ClientConnection::Drop(int error_number, std::string message) {
  CloseSocket(error_number == ECONNRESET);
  return Fail(error_number, std::move(message));
}

int ClientConnection::GiveUp(int error_number, std::string message) {
  Drop(error_number, std::move(message));
  // The request given up is one of those the close counted as lost.
  if (lost_ > 0) --lost_;
  return -1;
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
  if (fd_ >= 0 && writing_stopped_) {
    // The service closed its end while requests were written; their
    // replies are still to be read from this socket.
    if (pending_ > 0) {
      Fail(ECONNRESET, "the service closed the connection while replies are pending");
      return false;
    }
    CloseSocket(true);
  }
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

int ClientConnection::Send(std::string_view operation, std::optional<std::string_view> text) {
  const std::string payload = xpc::EncodeRequest(operation, text);
  if (payload.size() > xpc::kMaxFrameBytes) {
    return Fail(EMSGSIZE, "request of " + std::to_string(payload.size()) + " bytes exceeds the limit of " +
                              std::to_string(xpc::kMaxFrameBytes) + " bytes");
  }
  std::string frame;
  frame.reserve(xpc::kFrameHeaderBytes + payload.size());
  xpc::AppendFrame(payload, &frame);
  if (!queue_.Fits(frame.size())) {
    return Fail(EAGAIN, "earlier requests still wait to be written (" + std::to_string(queue_.size()) +
                            " bytes); this one would take the queue over " +
                            std::to_string(RequestQueue::kMaxQueuedBytes) + " bytes");
  }
  bool reconnected = false;
  if (!ReadyToSend(&reconnected)) return -1;
  bool untouched = false;
  if (QueueAndWrite(frame, &untouched) < 0) {
    // The service closed an idle connection before any byte of the request
    // reached it: unless it said why, the request may go once more on a
    // new connection.
    if (!untouched || TakeRefusal() || !ReadyToSend(&reconnected) || QueueAndWrite(frame, &untouched) < 0) {
      return -1;
    }
  }
  ++pending_;
  return 0;
}

int ClientConnection::QueueAndWrite(std::string_view frame, bool* untouched) {
  const bool idle = pending_ == 0 && lost_ == 0;
  queue_.Push(frame);
  std::size_t written = 0;
  const int status = WriteQueue(&written);
  *untouched = status < 0 && idle && written == 0 && writing_stopped_;
  return status;
}

int ClientConnection::Flush() {
  std::size_t written = 0;
  return WriteQueue(&written);
}

int ClientConnection::WriteQueue(std::size_t* written) {
  *written = 0;
  if (queue_.empty()) return 0;
  const long sent = SendWithoutWaiting(fd_, queue_.Unwritten());
  if (sent < 0) return StopWriting(errno);
  *written = static_cast<std::size_t>(sent);
  queue_.Consume(*written);
  return queue_.empty() ? 0 : 1;
}

int ClientConnection::StopWriting(int saved_errno) {
  const std::string message = ErrnoText("cannot send the request", saved_errno);
  if (saved_errno != EPIPE && saved_errno != ECONNRESET) return Drop(saved_errno, message);
  // The service closed its end: what it sent before is still to be read,
  // and then the end of the stream settles the requests it never answered.
  queue_.Clear();
  writing_stopped_ = true;
  return Fail(ECONNRESET, message);
}

bool ClientConnection::TakeRefusal() {
  // With other replies pending, the next frame would be another request's.
  if (pending_ > 0 || lost_ > 0 || fd_ < 0) return false;
  // The service wrote its refusal before it closed: it is all in the socket.
  const int saved_error_number = error_number_;
  std::string saved_error = error_;
  while (ReadSome() == 0) {
  }
  std::string message;
  if (buffer_.Take(&message) == ReplyFrameStatus::kErrorReply) {
    CloseSocket(true);
    Fail(EPROTO, message);
    return true;
  }
  Fail(saved_error_number, std::move(saved_error));
  return false;
}

int ClientConnection::ReadSome() {
  for (;;) {
    std::size_t available = 0;
    char* space = buffer_.Space(&available);
    const ssize_t n = ::recv(fd_, space, available, MSG_DONTWAIT);
    if (n > 0) {
      buffer_.Commit(static_cast<std::size_t>(n));
      return 0;
    }
    if (n == 0) return Drop(ECONNRESET, "the service closed the connection without a reply");
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 1;
    const int saved = errno;
    return Drop(saved, ErrnoText("cannot read the reply", saved));
  }
}

int ClientConnection::Receive(std::string* reply) {
  // A failed write closes the socket or stops the writing; either way the
  // outcome of each request comes below.
  Flush();
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
    const int status = ReadSome();
    if (status < 0) --lost_;  // this request's reply is the one that failed
    if (status != 0) return status;
  }
}

short ClientConnection::Events() const {
  if (fd_ < 0) return 0;
  short events = 0;
  if (!queue_.empty()) events |= POLLOUT;
  if (pending_ > 0) events |= POLLIN;
  return events;
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
