// SPDX-License-Identifier: MIT
// One connection to the service as the C client library sees it: requests
// queued and written as the socket takes them, replies collected as they
// arrive, the poll events to wait for, and the last failure as an errno
// value and a message. Nothing here waits: the blocking calls loop over it
// (blocking_call.h), and the C entry points in zvxpc_api.cc are thin
// wrappers around both.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "client/reply_buffer.h"
#include "client/request_queue.h"

namespace zv {

/// A connection; used by one thread at a time. Its socket is non-blocking.
///
/// The service closes the connection after an error reply, after 10
/// minutes of idleness, and when it stops (a socket-activated service is
/// started again on the next connection). The connection follows it: an
/// error reply closes the socket here too, and every request still
/// waiting for its reply then ends with ECONNRESET, one Receive each. A
/// Send that finds the connection closed by the service, with no reply
/// pending and before any byte of its request went out, connects once
/// more to the same socket and sends there; a request that may have
/// reached the service is never sent twice. When the service closes while
/// requests are still being written, the rest of them is dropped and the
/// replies it sent before closing are still read.
class ClientConnection {
 public:
  ClientConnection() = default;
  ~ClientConnection();
  ClientConnection(const ClientConnection&) = delete;
  ClientConnection& operator=(const ClientConnection&) = delete;

  /// Connects to `socket_path`. False with error_number() and error() set.
  bool Connect(const std::string& socket_path);

  /// Queues one request (`text` nullopt: no argument object), reconnecting
  /// first as the class comment says, writes what the socket takes of the
  /// queue and counts the request's reply as pending. 0, or -1 with the
  /// failure set and the request not counted: EMSGSIZE (over the frame
  /// limit) and EAGAIN (the queue is full) before anything is queued,
  /// EPROTO when the service refused the connection with an error reply,
  /// ECONNRESET when the connection failed while it was written.
  int Send(std::string_view operation, std::optional<std::string_view> text);

  /// Writes what the socket takes of the queued requests: 0 when nothing
  /// remains queued, 1 when some does, -1 with the failure set when the
  /// connection failed (ECONNRESET: the service closed it). After a
  /// failure the queue is dropped and the pending requests end through
  /// Receive, with the replies the service sent before, else ECONNRESET.
  int Flush();

  /// Flushes, then takes the next pending reply without waiting: 0 with its
  /// text, 1 when it has not arrived whole yet, -1 with the failure set
  /// (EPROTO with the service's message for an error reply, ECONNRESET for
  /// a request whose connection closed before its reply came, ENOMSG when
  /// none is pending).
  int Receive(std::string* reply);

  /// The poll(2) events to wait for before the next Flush or Receive:
  /// POLLOUT while requests are queued, POLLIN while replies are pending;
  /// 0 when nothing is pending, or when the socket is closed (then each
  /// pending request ends at the next Receive without waiting).
  short Events() const;

  /// Ends the oldest pending request with `error_number` and `message`
  /// and closes the connection (its late reply would be out of turn): -1.
  int GiveUp(int error_number, std::string message);

  /// Replies not yet received, those that will end with ECONNRESET
  /// included.
  int pending() const { return pending_ + lost_; }
  /// True while requests are queued and not yet written whole.
  bool sending() const { return !queue_.empty(); }
  /// The socket, -1 once closed.
  int fd() const { return fd_; }

  /// Records a failure found by a caller (bad arguments and the like).
  int Fail(int error_number, std::string message);
  int error_number() const { return error_number_; }
  const std::string& error() const { return error_; }

 private:
  // Queues `frame` and writes what the socket takes. `*untouched` tells
  // whether the write failed because the service had closed an idle
  // connection, before any byte of the frame went out.
  int QueueAndWrite(std::string_view frame, bool* untouched);
  // Writes the queue as Flush does; `*written` gets the bytes written.
  int WriteQueue(std::size_t* written);
  // After the socket refused bytes: stops writing, and closes the socket
  // unless the service closed its end (then its replies are still read).
  int StopWriting(int saved_errno);
  // Reads what the socket holds into the buffer: 0 when bytes came, 1
  // when none are there yet, -1 on failure or at the end of the stream
  // (the socket is then closed; the buffer keeps what came before).
  int ReadSome();
  // After a refused first write: the error reply the service sent before
  // it closed, taken as the failure (EPROTO), when there is one.
  bool TakeRefusal();
  // A socket to send on: the open one, or a new one when the service
  // closed the old one and no reply is pending, unless `*reconnected` says
  // this request already made one (then set). False with ENOTCONN (closed
  // after a failure of this side, or again after a reconnection),
  // ECONNRESET (closed by the service with replies pending) or the connect
  // failure.
  bool ReadyToSend(bool* reconnected);
  // True when no reply is pending and the service has closed its end.
  bool ClosedByServiceWhileIdle() const;
  bool Reconnect();
  // Closes the socket and drops the queue; the replies still pending will
  // never come.
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
  bool writing_stopped_ = false; // the service closed its end while requests were written
  RequestQueue queue_;
  ReplyBuffer buffer_;
  int error_number_ = 0;
  std::string error_;
};

/// The socket a client uses: `given` when not null, else $ZVXPC_SOCKET
/// when set and not empty, else $XDG_RUNTIME_DIR/zvxpcd.sock. False with a
/// message when none can be had.
bool ChooseClientSocketPath(const char* given, std::string* path, std::string* error);

}  // namespace zv
