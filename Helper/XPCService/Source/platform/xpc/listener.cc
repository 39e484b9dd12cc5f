// SPDX-License-Identifier: MIT
#include "platform/xpc/listener.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

#include "platform/posix_io.h"
#include "platform/xpc/peer_credentials.h"
#include "platform/xpc/socket_path.h"

namespace zv::xpc {
namespace {

// Pause after accept fails for want of descriptors or memory, so that a
// listening socket that stays readable does not spin the loop.
constexpr auto kAcceptBackoff = std::chrono::milliseconds(100);

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

bool IsResourceShortage(int err) { return err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM; }

void DrainCounter(int fd) {
  std::uint64_t count;
  while (::read(fd, &count, sizeof count) > 0) {
  }
}

}  // namespace

std::unique_ptr<Listener> Listener::ServiceListener(const ListenerOptions& options, std::string* error) {
  std::unique_ptr<Listener> listener(new Listener(options));
  bool activated = false;
  if (!listener->socket_.TakeActivated(&activated, error)) return nullptr;
  if (!activated) {
    std::string path;
    if (options.socket_path) {
      path = *options.socket_path;
    } else if (!DefaultSocketPath(&path, error)) {
      return nullptr;
    }
    if (!listener->socket_.Bind(path, error)) return nullptr;
  }
  listener->wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (listener->wake_fd_ < 0) {
    *error = ErrnoText("eventfd", errno);
    return nullptr;
  }
  return listener;
}

Listener::~Listener() {
  StopAll();
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

bool BlockStopSignals(std::string* error) {
  const sigset_t signals = StopSignals();
  const int failed = ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  if (failed != 0) {
    *error = ErrnoText("pthread_sigmask", failed);
    return false;
  }
  return true;
}

bool Listener::Resume(std::string* error) {
  if (!BlockStopSignals(error)) return false;
  const sigset_t signals = StopSignals();
  const int signal_fd = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (signal_fd < 0) {
    *error = ErrnoText("signalfd", errno);
    return false;
  }
  idle_since_ms_ = NowMs();
  LoopStep step;
  do {
    step = WaitAndServe(signal_fd, error);
  } while (step == LoopStep::kGoOn);
  StopAll();
  ::close(signal_fd);
  return step == LoopStep::kStop;
}

Listener::LoopStep Listener::WaitAndServe(int signal_fd, std::string* error) {
  pollfd fds[3] = {{socket_.fd(), POLLIN, 0}, {signal_fd, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
  const int ready = ::poll(fds, 3, PollTimeoutMs());
  if (ready < 0 && errno == EINTR) return LoopStep::kGoOn;
  if (ready < 0) {
    *error = ErrnoText("poll", errno);
    return LoopStep::kFailed;
  }
  if (fds[1].revents != 0) {
    // SIGTERM or SIGINT, taken so that it no longer pends.
    signalfd_siginfo taken;
    const ssize_t got = ::read(signal_fd, &taken, sizeof taken);
    (void)got;
    return LoopStep::kStop;
  }
  if (fds[2].revents != 0) {
    DrainCounter(wake_fd_);
    ReapFinished();
  }
  if (fds[0].revents != 0 && !AcceptPending(error)) return LoopStep::kFailed;
  const bool idle_over = options_.idle_exit_seconds && connections_.empty() && PollTimeoutMs() == 0;
  return idle_over ? LoopStep::kStop : LoopStep::kGoOn;
}

int Listener::PollTimeoutMs() const {
  if (!options_.idle_exit_seconds || !connections_.empty()) return -1;
  const long long deadline = idle_since_ms_ + static_cast<long long>(*options_.idle_exit_seconds) * 1000;
  return static_cast<int>(std::max(0LL, deadline - NowMs()));
}

bool Listener::AcceptPending(std::string* error) {
  for (;;) {
    const int fd = ::accept4(socket_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      Admit(fd);
      continue;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (IsResourceShortage(errno)) {
      Tell(ErrnoText("accept4", errno));
      std::this_thread::sleep_for(kAcceptBackoff);
      return true;
    }
    *error = ErrnoText("accept4", errno);
    return false;
  }
}

void Listener::Admit(int fd) {
  PeerCredentials peer;
  std::string failure;
  if (!ReadPeerCredentials(fd, &peer, &failure)) {
    Tell(failure);
    ::close(fd);
    return;
  }
  if (!PeerMayConnect(peer)) {
    Tell("closed a connection of uid " + std::to_string(peer.uid) + " (pid " + std::to_string(peer.pid) +
         "): only the service's own user may connect");
    ::close(fd);
    return;
  }
  if (options_.refuse_peer && options_.refuse_peer(peer.pid)) {
    Tell("closed a connection of pid " + std::to_string(peer.pid) + ": a process the service refuses");
    ::close(fd);
    return;
  }
  ReapFinished();
  // A client that leaks idle connections must not lock out the others.
  if (connections_.size() >= kMaxConnections && !EvictIdlest()) {
    SendRefusal(fd, "too many connections");
    ::close(fd);
    Tell("refused a connection: too many connections");
    return;
  }
  const int wake_fd = wake_fd_;
  auto connection = std::make_shared<Connection>(fd, [wake_fd] {
    const std::uint64_t one = 1;
    // An eventfd only refuses a write when its counter is full, and then
    // the listener is already due to wake: nothing to do on failure.
    if (::write(wake_fd, &one, sizeof one) < 0) return;
  });
  connection->SetLimits({options_.deadlines, &budget_});
  const bool accepted = delegate_ != nullptr && delegate_->listenerShouldAcceptNewConnection(*this, *connection);
  if (accepted && connection->resumed()) connections_.push_back(std::move(connection));
}

void Listener::ReapFinished() {
  const bool had_connections = !connections_.empty();
  std::erase_if(connections_, [](const std::shared_ptr<Connection>& c) { return c->finished(); });
  if (had_connections && connections_.empty()) idle_since_ms_ = NowMs();
}

bool Listener::EvictIdlest() {
  // A connection may take a request between the choice and the eviction;
  // the next idlest is tried then, within a bound.
  for (std::size_t attempt = 0; attempt < kMaxConnections; ++attempt) {
    auto idlest = connections_.end();
    long long idlest_since = 0;
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
      const std::optional<long long> since = (*it)->idle_since_ns();
      if (since && (idlest == connections_.end() || *since < idlest_since)) {
        idlest = it;
        idlest_since = *since;
      }
    }
    if (idlest == connections_.end()) return false;
    if (!(*idlest)->TryEvict()) continue;
    // Its thread ends at once; joined here, its descriptor is closed before
    // the new one counts, so the cap holds for descriptors too.
    (*idlest)->Join();
    connections_.erase(idlest);
    Tell("closed the connection idle longest to admit a new one");
    return true;
  }
  return false;
}

void Listener::StopAll() {
  for (const auto& connection : connections_) connection->Stop();
  if (!stop_begun_) {
    stop_begun_ = true;
    if (options_.on_stop) options_.on_stop();
  }
  AwaitConnections(kStopGraceMs);
  // A peer that does not read its replies must not hold the stop.
  for (const auto& connection : connections_) connection->Abandon();
  connections_.clear();  // each connection joins its thread as it goes
}

void Listener::AwaitConnections(int timeout_ms) {
  const long long deadline = NowMs() + timeout_ms;
  for (;;) {
    ReapFinished();
    const long long left = deadline - NowMs();
    if (connections_.empty() || left <= 0) return;
    pollfd wake{wake_fd_, POLLIN, 0};
    if (::poll(&wake, 1, static_cast<int>(left)) > 0) DrainCounter(wake_fd_);
  }
}

void Listener::Tell(std::string_view line) const {
  if (options_.diagnostics) options_.diagnostics(line);
}

}  // namespace zv::xpc
