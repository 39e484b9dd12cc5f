// SPDX-License-Identifier: MIT
// The service listener: accepts connections on the service's socket and
// hands each to the delegate, until a stop signal or an idle period ends it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xpc/connection.h"
#include "platform/xpc/frame_assembler.h"
#include "platform/xpc/frame_io.h"
#include "platform/xpc/listen_socket.h"
#include "platform/xpc/wire_format.h"

namespace zv::xpc {

/// Most connections served at once. One more makes room by closing the
/// connection idle longest; when none is idle it is refused with an error
/// reply "too many connections" and closed.
constexpr std::size_t kMaxConnections = 64;

/// How long a stop waits for the connections to finish their requests and
/// for their peers to take the replies before it gives up those replies.
constexpr int kStopGraceMs = 500;

class Listener;

/// Blocks SIGTERM and SIGINT in the calling thread (and so in every thread
/// it starts later), so that they wait for the listener to read them
/// instead of ending the process. Call first thing in main. False with a
/// message when the mask cannot be changed.
bool BlockStopSignals(std::string* error);

/// Decides about every new connection that passed the peer check.
class ListenerDelegate {
 public:
  virtual ~ListenerDelegate() = default;
  /// Sets up and resumes `newConnection` and returns true to keep it; a
  /// connection refused here, or not resumed, is closed at once.
  virtual bool listenerShouldAcceptNewConnection(Listener& listener, Connection& newConnection) = 0;
};

/// How the service listener is set up.
struct ListenerOptions {
  /// Where to bind when systemd hands over no socket; nullopt: the default
  /// path (socket_path.h).
  std::optional<std::string> socket_path;
  /// End after this many seconds without any open connection; nullopt:
  /// never.
  std::optional<int> idle_exit_seconds;
  /// Receives one line for each event worth telling an administrator
  /// (refused peers, failed accepts); may be empty.
  std::function<void(std::string_view)> diagnostics;
  /// True for a peer process (by its SO_PEERCRED pid) that is closed at
  /// once, whatever its user; may be empty.
  std::function<bool(pid_t pid)> refuse_peer;
  /// Called once, on the listener's thread, when a stop begins (after
  /// every connection has stopped taking requests), so that long
  /// operations can be abandoned; may be empty.
  std::function<void()> on_stop;
  /// Time limits of every connection's frames (tests shorten them).
  FrameDeadlines deadlines{kFrameCompletionSeconds * 1000, kIdleConnectionSeconds * 1000};
  /// Bytes all connections together may hold for requests being received
  /// or served.
  std::size_t unfinished_frame_bytes = kMaxUnfinishedFrameBytes;
};

/// Accepts connections on one listening socket. Only peers running as the
/// service's own user (or root) get past the door; others are closed
/// without a word. Every admitted connection goes to the delegate.
class Listener {
 public:
  /// The process's service listener: the socket handed over by systemd, or
  /// one bound at the configured or default path. Null with a message in
  /// `*error` when neither can be had.
  static std::unique_ptr<Listener> ServiceListener(const ListenerOptions& options, std::string* error);

  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  /// Sets the delegate (not owned; it outlives the listener's Resume).
  void SetDelegate(ListenerDelegate* delegate) { delegate_ = delegate; }

  /// Serves until SIGTERM or SIGINT arrives, or the idle period passes:
  /// then accepts no more, calls on_stop, lets every request in progress
  /// finish and reply (replies not taken within kStopGraceMs are given
  /// up), closes all connections and returns true. False with a message
  /// when the listener itself fails. Blocks SIGTERM and SIGINT as
  /// BlockStopSignals does.
  bool Resume(std::string* error);

 private:
  explicit Listener(const ListenerOptions& options)
      : options_(options), budget_(options.unfinished_frame_bytes) {}

  enum class LoopStep { kGoOn, kStop, kFailed };
  // Waits for the next event and handles it.
  LoopStep WaitAndServe(int signal_fd, std::string* error);

  // Accepts every pending connection; false when the listener is broken.
  bool AcceptPending(std::string* error);
  void Admit(int fd);
  // Joins and drops connections whose thread has ended.
  void ReapFinished();
  // Closes the connection idle longest, joins and drops it; false when no
  // connection is idle.
  bool EvictIdlest();
  // Stops every connection, tells on_stop, and ends them all.
  void StopAll();
  // Waits up to `timeout_ms` for every connection to finish.
  void AwaitConnections(int timeout_ms);
  int PollTimeoutMs() const;
  void Tell(std::string_view line) const;

  ListenerOptions options_;
  FrameBudget budget_;
  bool stop_begun_ = false;
  ListenSocket socket_;
  ListenerDelegate* delegate_ = nullptr;
  std::vector<std::shared_ptr<Connection>> connections_;
  int wake_fd_ = -1;
  long long idle_since_ms_ = 0;
};

}  // namespace zv::xpc
