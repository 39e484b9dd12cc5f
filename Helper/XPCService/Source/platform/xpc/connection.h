// SPDX-License-Identifier: MIT
// One client connection: its exported interface and object, and the serial
// queue (one thread) that serves its requests in order.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/xpc/frame_io.h"
#include "platform/xpc/interface.h"
#include "platform/xpc/wire_format.h"

namespace zv::xpc {

/// What bounds one connection: the time its frames may take (the idle
/// period also bounds how long a reply may wait for a peer that does not
/// read it) and the budget its unfinished frames and the request in
/// progress draw on (not owned; it outlives the connection; nullptr: no
/// bound).
struct ConnectionLimits {
  FrameDeadlines deadlines;
  FrameBudget* budget = nullptr;
};

/// An accepted connection. It owns its socket. Until Resume it serves
/// nothing; after Resume its thread takes one request at a time, runs the
/// exported object's operation and sends the reply before it reads the
/// next request. A protocol error (see wire_format.h; also an operation
/// that the interface does not know) is answered with an error reply and
/// ends the connection, as do a frame that does not arrive whole in time
/// and one the budget cannot hold; an idle connection is closed without a
/// word. Other connections are unaffected. The text of a request is held
/// on the budget from its first byte until its reply has gone out; after
/// each request the connection keeps only small buffers. The text of a
/// request is wiped, in the frame it came in and in its copy, once its
/// operation has returned, before the reply goes out.
class Connection {
 public:
  /// Takes ownership of the connected socket `fd`. `on_finished` runs on
  /// the connection's thread once it has stopped serving.
  Connection(int fd, std::function<void()> on_finished);
  /// Stops serving (as Stop) and waits for the thread; closes the socket.
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  /// Sets what bounds the connection (none by default). Call before Resume.
  void SetLimits(const ConnectionLimits& limits) { limits_ = limits; }

  /// Exports `object`: requests are served by the operations of `Protocol`
  /// on it. Call before Resume; without it every request is an unknown
  /// operation.
  template <class Protocol>
  void SetExportedObject(std::shared_ptr<Protocol> object) {
    exported_ = std::make_unique<ProtocolInterface<Protocol>>(std::move(object));
  }

  /// Starts serving on the connection's own thread. False when the thread
  /// could not be started; the connection then serves nothing.
  bool Resume();
  bool resumed() const { return thread_.joinable(); }

  /// Stops taking requests: a request in progress still finishes and gets
  /// its reply; no further request is read. An operation that returns
  /// without a reply from now on is answered with the error "the service is
  /// stopping". Safe to call more than once.
  void Stop();
  /// As Stop, and no longer waits for the peer to take replies: a reply
  /// being sent fails at once, and a reply of a request still in progress
  /// goes out only as far as the socket takes it at once.
  void Abandon();
  /// Closes the connection if it is idle: between requests, with no byte of
  /// a further request received (or waiting in its socket). True when it was: it then takes no
  /// further request and its thread ends at once (Join returns soon), the
  /// peer seeing the end without a word. False, with no effect, while a
  /// request is in progress (from its first byte until its reply has gone
  /// out) and once the connection has stopped serving.
  bool TryEvict();
  /// Since when (steady clock, in nanoseconds) the connection has been
  /// idle, as TryEvict means it; nullopt while it is not.
  std::optional<long long> idle_since_ns() const;
  /// True once the connection's thread has stopped serving.
  bool finished() const { return finished_.load(); }
  /// Waits for the connection's thread to end.
  void Join();

 private:
  void Serve();
  // Reads and answers requests until the connection must end.
  void ServeRequests();
  // Waits, idle, for the first bytes of the next request. False when the
  // connection must end without a word: evicted, idle too long, or the
  // wait failed.
  bool AwaitNextRequest();
  // Runs one request payload that `reader` gave; false when the
  // connection must end.
  bool HandleRequest(FrameReader& reader, std::string_view payload);
  bool HandleRequestGuarded(FrameReader& reader, std::string_view payload);
  // Copies the request's text into argument_ and has the budget cover that
  // copy instead of the frame, whose buffer `reader` gives back. False when
  // the budget cannot cover it.
  bool TakeArgument(FrameReader& reader, std::optional<std::string_view> text);
  // Gives back the request's hold on the budget and the memory of large
  // argument and reply buffers, keeping small ones for the next request.
  void ReleaseRequest();
  void SendError(const std::string& message);
  bool SendReply(ReplyStatus status, std::string_view text);
  // Runs operation `index` on argument_; false when it never replied,
  // else its reply is in reply_text_.
  bool Invoke(int index);

  int fd_;
  std::function<void()> on_finished_;
  ConnectionLimits limits_;
  std::unique_ptr<ExportedInterface> exported_;
  Request argument_;
  std::size_t argument_charge_ = 0;  // bytes of the budget argument_ holds
  std::string reply_text_;
  std::string out_;
  // Idle (kIdle since idle_since_ns_), serving a request, or evicted.
  enum State : int { kIdle, kBusy, kEvicted };
  std::atomic<int> state_{kIdle};
  std::atomic<long long> idle_since_ns_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> abandoned_{false};
  std::atomic<bool> sending_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

/// Sends `message` as an error reply on the socket `fd` without waiting for
/// a slow reader; used to refuse a connection before closing it.
void SendRefusal(int fd, std::string_view message);

}  // namespace zv::xpc
