// SPDX-License-Identifier: MIT
#include "platform/xpc/connection.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <new>
#include <system_error>

#include "platform/memory_wipe.h"
#include "platform/posix_io.h"
#include "platform/xpc/frame_assembler.h"
#include "platform/xpc/frame_io.h"
#include "platform/xpc/wire_format.h"

namespace zv::xpc {
namespace {

// Argument and reply buffers up to this size are kept for the next request.
constexpr std::size_t kKeptBufferBytes = FrameAssembler::kReadChunkBytes;

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The part of a buffer of `bytes` that the budget covers: as for frames,
// one read chunk per connection is free.
std::size_t ChargedPart(std::size_t bytes) {
  return bytes > FrameAssembler::kReadChunkBytes ? bytes - FrameAssembler::kReadChunkBytes : 0;
}

// Frees the memory of `buffer` when it is large.
void ReleaseIfLarge(std::string* buffer) {
  if (buffer->capacity() > kKeptBufferBytes) std::string().swap(*buffer);
}

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

Connection::Connection(int fd, std::function<void()> on_finished)
    : fd_(fd), on_finished_(std::move(on_finished)), idle_since_ns_(NowNs()) {}

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

bool Connection::TryEvict() {
  // A request whose first bytes wait in the socket is in progress, even
  // before the connection's thread has woken to read them.
  int waiting = 0;
  if (::ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0) return false;
  int expected = kIdle;
  if (!state_.compare_exchange_strong(expected, kEvicted)) return false;
  // Wakes the thread's wait for the next request; the descriptor itself is
  // closed by the owner.
  ::shutdown(fd_, SHUT_RDWR);
  return true;
}

std::optional<long long> Connection::idle_since_ns() const {
  if (state_.load() != kIdle) return std::nullopt;
  return idle_since_ns_.load();
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
    // Bytes of a further request already buffered keep the connection busy.
    if (!reader.HasBufferedBytes() && !AwaitNextRequest()) return;
    const FrameStatus status = reader.Next(&payload);
    if (status != FrameStatus::kFrame) {
      // A stream cut short by the service's own stop is no client's fault.
      const std::string message = stopping_.load() ? std::string() : StreamEndMessage(status, reader, limits_);
      if (!message.empty()) SendError(message);
      return;
    }
    const bool go_on = HandleRequestGuarded(reader, payload);
    ReleaseRequest();
    if (!go_on) return;
  }
}

bool Connection::AwaitNextRequest() {
  // Idle since the last reply (SendReply took the time), or since the
  // connection was accepted.
  if (state_.load() == kBusy) state_.store(kIdle);
  const int idle_ms = limits_.deadlines.idle_ms > 0 ? limits_.deadlines.idle_ms : -1;
  const int ready = WaitFor(fd_, POLLIN, idle_ms);
  // An eviction that came first wins: the bytes that woke the wait are
  // never read.
  int expected = kIdle;
  if (!state_.compare_exchange_strong(expected, kBusy)) return false;
  return ready > 0;
}

bool Connection::HandleRequestGuarded(FrameReader& reader, std::string_view payload) {
  // Running out of memory ends this connection, not the service.
  try {
    return HandleRequest(reader, payload);
  } catch (const std::bad_alloc&) {
    SendError("out of memory");
    return false;
  }
}

bool Connection::HandleRequest(FrameReader& reader, std::string_view payload) {
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
  if (!TakeArgument(reader, request.text)) {
    SendError("the service is busy");
    return false;
  }
  const bool replied = Invoke(index);
  // The request may hold secrets (a walk's pass phrases): it is wiped as
  // soon as it has been served, before its reply goes out.
  if (argument_) WipeString(&*argument_);
  if (!replied) {
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

bool Connection::TakeArgument(FrameReader& reader, std::optional<std::string_view> text) {
  // Small argument buffers are reused from request to request.
  if (text) {
    if (!argument_) argument_.emplace();
    argument_->assign(*text);
  } else {
    argument_.reset();
  }
  std::size_t held = reader.HandOverFrame();
  FrameBudget* const budget = limits_.budget;
  if (budget == nullptr) return true;
  const std::size_t needed = argument_ ? ChargedPart(argument_->capacity()) : 0;
  if (held > needed) {
    budget->Give(held - needed);
    held = needed;
  }
  argument_charge_ = held;
  // Only a frame that shared its buffer with the next one hands over less.
  if (held < needed && !budget->TryTake(needed - held)) return false;
  argument_charge_ = needed;
  return true;
}

void Connection::ReleaseRequest() {
  if (limits_.budget != nullptr) limits_.budget->Give(argument_charge_);
  argument_charge_ = 0;
  if (argument_ && argument_->capacity() > kKeptBufferBytes) argument_.reset();
  ReleaseIfLarge(&reply_text_);
  ReleaseIfLarge(&out_);
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
  // The idle time counts from the last reply, taken before it goes out:
  // connections rank as idle in the order their clients saw the replies,
  // however late this thread gets to wait for the next request.
  idle_since_ns_.store(NowNs());
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
