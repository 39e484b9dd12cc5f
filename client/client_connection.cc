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
namespace {

constexpr const char* kClosedBeforeReply = "the connection closed before the reply to this request came";

}  // namespace

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
  writing_stopped_ = false;
  buffer_ = ReplyBuffer();
  return true;
}

int ClientConnection::Fail(int error_number, std::string message) {
  error_number_ = error_number;
  error_ = std::move(message);
  return -1;
}

void ClientConnection::CloseSocket(const Failure& lost) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  for (; pending_ > 0; --pending_) lost_.push_back(lost);
  connecting_ = false;
  writing_stopped_ = false;
  queue_.Clear();
}

void ClientConnection::CloseSocket() { CloseSocket(Failure{ECONNRESET, kClosedBeforeReply}); }

int ClientConnection::Drop(int error_number, std::string message) {
  CloseSocket();
  return Fail(error_number, std::move(message));
}

int ClientConnection::GiveUp(int error_number, std::string message) {
  Drop(error_number, std::move(message));
  // The request given up is the oldest of those the close counted as lost.
  if (!lost_.empty()) lost_.pop_front();
  return -1;
}

int ClientConnection::ReportLostReply() {
  Failure failure = std::move(lost_.front());
  lost_.pop_front();
  return Fail(failure.error_number, std::move(failure.message));
}

ClientConnection::IdleStream ClientConnection::CheckIdleStream() {
  pollfd entry{fd_, POLLIN | POLLRDHUP, 0};
  if (!buffer_.HasPartialFrame() && ::poll(&entry, 1, 0) <= 0) return IdleStream::kOpen;
  std::string text;
  const ReplyFrameStatus status = ReadWhatCame(&text);
  if (status == ReplyFrameStatus::kErrorReply) {
    // A refusal, such as "too many connections", before the service closed.
    CloseSocket();
    Fail(EPROTO, text);
    return IdleStream::kRefused;
  }
  if (status == ReplyFrameStatus::kIncomplete && !buffer_.HasPartialFrame()) {
    return fd_ < 0 ? IdleStream::kClosed : IdleStream::kOpen;
  }
  // A frame after the last reply would be taken as the next request's.
  Drop(EBADMSG, "the service sent a frame that no request asked for");
  return IdleStream::kRefused;
}

bool ClientConnection::Reconnect() {
  CloseSocket();
  std::string error;
  fd_ = NewUnixStreamSocket(&error);
  if (fd_ < 0) {
    Fail(errno, error);
    return false;
  }
  writing_stopped_ = false;
  buffer_ = ReplyBuffer();
  connecting_ = true;
  return AdvanceConnect() >= 0;
}

int ClientConnection::AdvanceConnect() {
  std::string error;
  switch (ConnectWithoutWaiting(fd_, socket_path_, &error)) {
    case ConnectProgress::kConnected: connecting_ = false; return 0;
    case ConnectProgress::kWaiting: return 1;
    case ConnectProgress::kFailed: break;
  }
  // The requests queued on this connection never went out: they end with
  // the connect's failure.
  const Failure failure{errno, error};
  CloseSocket(failure);
  return Fail(failure.error_number, failure.message);
}

bool ClientConnection::ReadyToSend(bool* reconnected) {
  if (fd_ >= 0 && writing_stopped_) {
    // The service closed its end while requests were written; their
    // replies are still to be read from this socket.
    if (pending_ > 0) {
      Fail(ECONNRESET, "the service closed the connection while replies are pending");
      return false;
    }
    CloseSocket();
  }
  if (fd_ >= 0 && (connecting_ || pending_ > 0)) return true;
  if (fd_ >= 0) {
    const IdleStream idle = CheckIdleStream();
    if (idle != IdleStream::kClosed) return idle == IdleStream::kOpen;
  }
  if (*reconnected) {
    Fail(ENOTCONN, "the service closed the connection again");
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
  const bool idle = pending_ == 0 && lost_.empty();
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
  if (connecting_) {
    const int progress = AdvanceConnect();
    if (progress != 0) return progress;
  }
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
  if (pending_ > 0 || !lost_.empty() || fd_ < 0) return false;
  // The service wrote its refusal before it closed: it is all in the socket.
  const Failure write_failure{error_number_, error_};
  std::string message;
  if (ReadWhatCame(&message) == ReplyFrameStatus::kErrorReply) {
    CloseSocket();
    Fail(EPROTO, message);
    return true;
  }
  Fail(write_failure.error_number, write_failure.message);
  return false;
}

ReplyFrameStatus ClientConnection::ReadWhatCame(std::string* text) {
  for (;;) {
    const ReplyFrameStatus status = buffer_.Take(text);
    if (status != ReplyFrameStatus::kIncomplete || fd_ < 0 || ReadSome() != 0) return status;
  }
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
  if (!lost_.empty()) return ReportLostReply();
  if (pending_ == 0) return Fail(ENOMSG, "no request is waiting for its reply");
  if (connecting_) return 1;
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
        CloseSocket();
        return Fail(EPROTO, *reply);
      case ReplyFrameStatus::kTooLarge:
      case ReplyFrameStatus::kMalformed:
        --pending_;
        return Drop(EBADMSG, *reply);
      case ReplyFrameStatus::kIncomplete:
        break;
    }
    const int status = ReadSome();
    // The close counted this request's reply as lost: it is the one that
    // failed, and ends here.
    if (status < 0) lost_.pop_front();
    if (status != 0) return status;
  }
}

short ClientConnection::Events() const {
  if (fd_ < 0) return 0;
  if (connecting_) return POLLOUT;
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
