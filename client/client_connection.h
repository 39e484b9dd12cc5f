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
class ClientConnection {
 public:
  ClientConnection() = default;
  ~ClientConnection();
  ClientConnection(const ClientConnection&) = delete;
  ClientConnection& operator=(const ClientConnection&) = delete;

  /// Connects to `socket_path`. False with error_number() and error() set.
  bool Connect(const std::string& socket_path);

  /// Sends one request (`text` nullopt: no argument object) and counts its
  /// reply as pending. 0, or -1 with the failure set.
  int Send(std::string_view operation, std::optional<std::string_view> text, Deadline deadline);

  /// The next pending reply: 0 with its text, 1 when it has not arrived
  /// whole by the deadline and the deadline is Now(), -1 with the failure
  /// set (EPROTO with the service's message for an error reply). A missed
  /// deadline other than Now() drops the connection with ETIMEDOUT.
  int Receive(Deadline deadline, std::string* reply);

  /// Replies not yet received.
  int pending() const { return pending_; }
  /// The socket, -1 once dropped.
  int fd() const { return fd_; }

  /// Records a failure found by a caller (bad arguments and the like).
  int Fail(int error_number, std::string message);
  int error_number() const { return error_number_; }
  const std::string& error() const { return error_; }

 private:
  int SendAll(std::string_view bytes, Deadline deadline);
  // Reads what the socket holds into the buffer, waiting by the deadline:
  // 0 when bytes came, 1 when none came by Now(), -1 on failure.
  int ReadSome(Deadline deadline);
  // After a refused send: the error reply the service sent before it
  // closed, when there is one.
  bool CollectRefusal(Deadline deadline);
  // Fail, and close the socket: the stream can no longer be trusted.
  int Drop(int error_number, std::string message);
  // The socket is open; else fails with ENOTCONN.
  bool CheckOpen();

  int fd_ = -1;
  int pending_ = 0;
  ReplyBuffer buffer_;
  int error_number_ = 0;
  std::string error_;
};

/// The socket a client uses: `given` when not null, else $ZVXPC_SOCKET
/// when set and not empty, else $XDG_RUNTIME_DIR/zvxpcd.sock. False with a
/// message when none can be had.
bool ChooseClientSocketPath(const char* given, std::string* path, std::string* error);

}  // namespace zv
