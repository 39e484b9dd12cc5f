// SPDX-License-Identifier: MIT
// One connection to the service as the C client library sees it: requests
// queued and written as the socket takes them, replies collected as they
// arrive, the poll events to wait for, and the last failure as an errno
// value and a message. Nothing here waits: the blocking calls loop over it
// (blocking_call.h), and the C entry points in zvxpc_api.cc are thin
// wrappers around both.
#pragma once

#include <deque>
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
/// waiting for its reply then ends with ECONNRESET, one Receive each. This
/// side closes it too when the stream can no longer be trusted (a timeout,
/// a frame that is no reply, a frame no request asked for).
///
/// A Send that finds the connection closed, by either side, with no reply
/// pending on it and before any byte of its request went out, connects
/// once more to the same socket without waiting and sends there; a request
/// that may have reached the service is never sent twice. The connect
/// completes at once unless the service's queue of new connections is
/// full: the connection is then connecting, its requests stay queued,
/// Events() asks for POLLOUT, and each Flush (or Receive) tries once more.
/// When the service closes while requests are still being written, the
/// rest of them is dropped and the replies it sent before closing are
/// still read.
class ClientConnection {
 public:
  ClientConnection() = default;
  ~ClientConnection();
  ClientConnection(const ClientConnection&) = delete;
  ClientConnection& operator=(const ClientConnection&) = delete;

  /// Connects to `socket_path`, waiting while the service's queue of new
  /// connections is full. False with error_number() and error() set.
  bool Connect(const std::string& socket_path);

  /// The socket Connect was given ("" before it).
  const std::string& socket_path() const { return socket_path_; }

  /// Queues one request (`text` nullopt: no argument object), reconnecting
  /// first as the class comment says, writes what the socket takes of the
  /// queue and counts the request's reply as pending. 0, or -1 with the
  /// failure set and the request not counted: EMSGSIZE (over the frame
  /// limit) and EAGAIN (the queue is full) before anything is queued,
  /// EPROTO when the service refused the connection with an error reply,
  /// EBADMSG when it sent a frame no request asked for (the connection is
  /// closed, nothing is sent), ECONNRESET when the connection failed while
  /// it was written, the connect's errno when reconnecting failed, ENOTCONN
  /// when the service closed the new connection at once.
  int Send(std::string_view operation, std::optional<std::string_view> text);

  /// Writes what the socket takes of the queued requests, finishing the
  /// connect first: 0 when nothing remains queued, 1 when some does (or
  /// the connect has not completed), -1 with the failure set when the
  /// connection failed (ECONNRESET: the service closed it; the connect's
  /// errno). After a failure the queue is dropped and the pending requests
  /// end through Receive, with the replies the service sent before, else
  /// ECONNRESET (the connect's failure for requests that never went out).
  int Flush();

  /// Flushes, then takes the next pending reply without waiting: 0 with its
  /// text, 1 when it has not arrived whole yet, -1 with the failure set
  /// (EPROTO with the service's message for an error reply, EBADMSG for a
  /// frame that is no reply, ECONNRESET for a request whose connection
  /// closed before its reply came, ENOMSG when none is pending).
  int Receive(std::string* reply);

  /// The poll(2) events to wait for before the next Flush or Receive:
  /// POLLOUT while connecting or while requests are queued, POLLIN while
  /// replies are pending; 0 when nothing is pending, or when the socket is
  /// closed (then each pending request ends at the next Receive without
  /// waiting).
  short Events() const;

  /// Ends the oldest pending request with `error_number` and `message`
  /// and closes the connection (its late reply would be out of turn): -1.
  int GiveUp(int error_number, std::string message);

  /// Replies not yet received, those that will end with a failure
  /// included.
  int pending() const { return pending_ + static_cast<int>(lost_.size()); }
  /// True while requests are queued and not yet written whole.
  bool sending() const { return !queue_.empty(); }
  /// True while a connect waits for room in the service's queue of new
  /// connections.
  bool connecting() const { return connecting_; }
  /// The socket, -1 once closed.
  int fd() const { return fd_; }

  /// Records a failure found by a caller (bad arguments and the like).
  int Fail(int error_number, std::string message);
  int error_number() const { return error_number_; }
  const std::string& error() const { return error_; }

 private:
  /// A failure: what a request that cannot get its reply ends with.
  struct Failure {
    int error_number;
    std::string message;
  };
  /// What the stream of an idle connection held when a request came.
  enum class IdleStream { kOpen, kClosed, kRefused };

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
  // Reads all the socket holds and takes the first frame of it: the last
  // word of a service that closed, or what it sent unasked.
  ReplyFrameStatus ReadWhatCame(std::string* text);
  // After a refused first write: the error reply the service sent before
  // it closed, taken as the failure (EPROTO), when there is one.
  bool TakeRefusal();
  // With no reply pending the service has nothing to say: bytes that came
  // are its end (kClosed, the socket closed), its refusal before the end
  // or a frame no request asked for (kRefused: the socket closed and the
  // failure set, EPROTO or EBADMSG).
  IdleStream CheckIdleStream();
  // A socket to send on: the open or connecting one, or a new one when the
  // old one was closed, unless `*reconnected` says this request already
  // made one (then set). False with the failure set: ENOTCONN (closed
  // again right after a reconnection), ECONNRESET (the service closed it
  // with replies pending), what CheckIdleStream refused, or the connect's.
  bool ReadyToSend(bool* reconnected);
  // Starts a new connection to the same socket without waiting.
  bool Reconnect();
  // Tries the connect once more: 0 connected, 1 not yet, -1 failed (the
  // socket closed, the failure set; the requests queued end with it).
  int AdvanceConnect();
  // Closes the socket and drops the queue; the replies still pending will
  // never come: each ends with `lost`.
  void CloseSocket(const Failure& lost);
  void CloseSocket();
  // Fail, and close the socket: the stream can no longer be trusted.
  int Drop(int error_number, std::string message);
  // A pending request whose connection closed ends: -1 with its failure.
  int ReportLostReply();

  std::string socket_path_;
  int fd_ = -1;
  bool connecting_ = false;       // the connect has not completed yet
  int pending_ = 0;               // requests sent on the open socket, replies not taken
  std::deque<Failure> lost_;      // requests whose connection closed before their reply
  bool writing_stopped_ = false;  // the service closed its end while requests were written
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
