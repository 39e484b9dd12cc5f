// SPDX-License-Identifier: MIT
#include "platform/xpc/connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <new>
#include <system_error>

#include "platform/xpc/frame_io.h"
#include "platform/xpc/wire_format.h"

namespace zv::xpc {
namespace {

// `ms` as a short duration: "10 s", or "250 ms" below whole seconds.
std::string Duration(int ms) {
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// The error a client gets when its stream ends the connection, or empty
// when it gets none (a clean end, an idle close, a failed read).
std::string StreamEndMessage(FrameStatus status, const FrameReader& reader, const ConnectionLimits& limits) {
  switch (status) {
    case FrameStatus::kTooLarge:
      return "frame of " + std::to_string(reader.announced_length()) + " bytes exceeds the limit of " +
             std::to_string(kMaxFrameBytes) + " bytes";
    case FrameStatus::kTruncated:
      return "malformed request: the stream ended inside a frame";
    case FrameStatus::kFrameTimedOut:
      return "malformed request: the frame did not arrive whole within " + Duration(limits.deadlines.frame_ms);
    case FrameStatus::kOverBudget:
      return "the service is busy";
    default:
      return {};
  }
}

}  // namespace

Connection::Connection(int fd, std::function<void()> on_finished) : fd_(fd), on_finished_(std::move(on_finished)) {}

Connection::~Connection() {
  Stop();
  Join();
  ::close(fd_);
}

bool Connection::Resume() {
  if (thread_.joinable()) return true;
  try {
    thread_ = std::thread([this] { Serve(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void Connection::Stop() {
  if (stopping_.exchange(true)) return;
  // Wakes a thread that waits for the next request; a reply being written
  // still goes out.
  ::shutdown(fd_, SHUT_RD);
}

void Connection::Abandon() {
  Stop();
  // Either the thread sees abandoned_ before it waits on a send, or this
  // sees sending_ and wakes it: shut down, the send fails at once.
  abandoned_.store(true);
  if (sending_.load()) ::shutdown(fd_, SHUT_RDWR);
}

void Connection::Join() {
  if (thread_.joinable()) thread_.join();
}

void Connection::Serve() {
  ServeRequests();
  // The peer sees the end at once; the descriptor itself is closed by the
  // owner, so Stop never acts on a reused descriptor number.
  ::shutdown(fd_, SHUT_RDWR);
  finished_.store(true);
  if (on_finished_) on_finished_();
}

void Connection::ServeRequests() {
  // The reader's budget goes back when this returns, before the peer can
  // see the end.
  FrameReader reader(fd_, limits_.budget, limits_.deadlines);
  std::string_view payload;
  while (!stopping_.load()) {
    const FrameStatus status = reader.Next(&payload);
    if (status != FrameStatus::kFrame) {
      // A stream cut short by the service's own stop is no client's fault.
      const std::string message = stopping_.load() ? std::string() : StreamEndMessage(status, reader, limits_);
      if (!message.empty()) SendError(message);
      return;
    }
    if (!HandleRequestGuarded(payload)) return;
  }
}

bool Connection::HandleRequestGuarded(std::string_view payload) {
  // Running out of memory ends this connection, not the service.
  try {
    return HandleRequest(payload);
  } catch (const std::bad_alloc&) {
    SendError("out of memory");
    return false;
  }
}

bool Connection::HandleRequest(std::string_view payload) {
  RequestView request;
  std::string error;
  if (!DecodeRequest(payload, &request, &error)) {
    SendError(error);
    return false;
  }
  const int index = exported_ ? exported_->Find(request.operation) : -1;
  if (index < 0) {
    SendError("unknown operation: " + QuoteForMessage(request.operation));
    return false;
  }
  // The argument and reply buffers are reused from request to request.
  if (request.text) {
    if (!argument_) argument_.emplace();
    argument_->assign(*request.text);
  } else {
    argument_.reset();
  }
  if (!Invoke(index)) {
    // An operation abandoned because the service stops (a walk) ends
    // without a reply; its client learns why.
    if (stopping_.load()) {
      SendError("the service is stopping");
      return false;
    }
    SendError("the operation gave no reply");
    return true;
  }
  return SendReply(ReplyStatus::kReply, reply_text_);
}

bool Connection::Invoke(int index) {
  bool replied = false;
  // Only the first call counts: an operation replies exactly once.
  const Reply callback = [this, &replied](std::string_view text) {
    if (replied) return;
    replied = true;
    reply_text_.assign(text);
  };
  exported_->Invoke(index, argument_, callback);
  return replied;
}

bool Connection::SendReply(ReplyStatus status, std::string_view text) {
  out_.clear();
  AppendReplyFrame(status, text, &out_);
  std::string ignored;
  sending_.store(true);
  const int idle_ms = limits_.deadlines.idle_ms > 0 ? limits_.deadlines.idle_ms : -1;
  const bool sent = WriteAllBytesWithin(fd_, out_, abandoned_.load() ? 0 : idle_ms, &ignored);
  sending_.store(false);
  return sent;
}

void Connection::SendError(const std::string& message) { SendReply(ReplyStatus::kError, message); }

void SendRefusal(int fd, std::string_view message) {
  std::string frame;
  AppendReplyFrame(ReplyStatus::kError, message, &frame);
  // A fresh socket's buffer takes this small frame at once; never block.
  (void)::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace zv::xpc
