// SPDX-License-Identifier: MIT
// One connection to the service as the C client library sees it: requests
// sent with or without a deadline, replies collected blocking, by a
// deadline or without waiting, and the last failure as an errno value and
// a message. The C entry points in zvxpc.cc are thin wrappers around it.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "client/reply_buffer.h"

namespace zv {

/// How long a send or receive may wait.
class Deadline {
 public:
  /// Waits as long as it takes.
  static Deadline Forever() { return Deadline(std::nullopt); }
  /// Waits `timeout_ms` at most; negative waits for ever.
  static Deadline After(int timeout_ms);
  /// Never waits: what the socket holds now, nothing more.
  static Deadline Now() { return Deadline(std::chrono::steady_clock::time_point{}); }

  bool forever() const { return !at_; }
  bool now() const { return at_ && *at_ == std::chrono::steady_clock::time_point{}; }
  /// Milliseconds left for poll(2), at least 0.
  int RemainingMs() const;

 private:
  explicit Deadline(std::optional<std::chrono::steady_clock::time_point> at) : at_(at) {}
  std::optional<std::chrono::steady_clock::time_point> at_;
};

/// A connection; used by one thread at a time.
///
/// The service closes the connection after an error reply, after 10
/// minutes of idleness, and when it stops (a socket-activated service is
/// started again on the next connection). The connection follows it: an
/// error reply closes the socket here too, and every request still
/// waiting for its reply then ends with ECONNRESET, one Receive each. A
/// Send that finds the connection closed by the service, with no reply
/// pending and before any byte of its request went out, connects once
/// more to the same socket and sends there; a request that may have
/// reached the service is never sent twice.
class ClientConnection {
 public:
  ClientConnection() = default;
  ~ClientConnection();
  ClientConnection(const ClientConnection&) = delete;
  ClientConnection& operator=(const ClientConnection&) = delete;

  /// Connects to `socket_path`. False with error_number() and error() set.
  bool Connect(const std::string& socket_path);

  /// Sends one request (`text` nullopt: no argument object) and counts its
  /// reply as pending, reconnecting first as the class comment says.
  /// 0, or -1 with the failure set.
  int Send(std::string_view operation, std::optional<std::string_view> text, Deadline deadline);

  /// The next pending reply: 0 with its text, 1 when it has not arrived
  /// whole by the deadline and the deadline is Now(), -1 with the failure
  /// set (EPROTO with the service's message for an error reply, ECONNRESET
  /// for a request whose connection closed before its reply came, ENOMSG
  /// when none is pending). A missed deadline other than Now() drops the
  /// connection with ETIMEDOUT.
  int Receive(Deadline deadline, std::string* reply);

  /// Replies not yet received, those that will end with ECONNRESET
  /// included.
  int pending() const { return pending_ + lost_; }
  /// The socket, -1 once closed.
  int fd() const { return fd_; }

  /// Records a failure found by a caller (bad arguments and the like).
  int Fail(int error_number, std::string message);
  int error_number() const { return error_number_; }
  const std::string& error() const { return error_; }

 private:
  // Sends the whole frame: 0, or -1 with the failure set. `*untouched`
  // tells whether the connection was found closed by the service before
  // any byte went out.
  int SendFrame(std::string_view frame, Deadline deadline, bool* untouched);
  // Reads what the socket holds into the buffer, waiting by the deadline:
  // 0 when bytes came, 1 when none came by Now(), -1 on failure.
  int ReadSome(Deadline deadline);
  // After a refused send: the error reply the service sent before it
  // closed, when there is one.
  bool CollectRefusal(Deadline deadline);
  // A socket to send on: the open one, or a new one when the service
  // closed the old one and no reply is pending, unless `*reconnected` says
  // this request already made one (then set). False with ENOTCONN (closed
  // after a failure of this side, or again after a reconnection) or the
  // connect failure.
  bool ReadyToSend(bool* reconnected);
  // True when no reply is pending and the service has closed its end.
  bool ClosedByServiceWhileIdle() const;
  bool Reconnect();
  // Closes the socket; the replies still pending will never come.
  void CloseSocket(bool by_service);
  // Fail, and close the socket: the stream can no longer be trusted.
  int Drop(int error_number, std::string message);
  // A pending request whose connection closed ends: -1 with ECONNRESET.
  int ReportLostReply();

  std::string socket_path_;
  int fd_ = -1;
  int pending_ = 0;       // requests sent on the open socket, replies not taken
  int lost_ = 0;          // requests whose connection closed before their reply
  bool service_closed_ = false;  // the socket was closed because the service closed its end
  ReplyBuffer buffer_;
  int error_number_ = 0;
  std::string error_;
};

/// The socket a client uses: `given` when not null, else $ZVXPC_SOCKET
/// when set and not empty, else $XDG_RUNTIME_DIR/zvxpcd.sock. False with a
/// message when none can be had.
bool ChooseClientSocketPath(const char* given, std::string* path, std::string* error);

}  // namespace zv
