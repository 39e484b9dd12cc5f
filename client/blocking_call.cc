// SPDX-License-Identifier: MIT
#include "client/blocking_call.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix_io.h"

namespace zv {
namespace {

// How long a connect that waits for room in the service's queue of new
// connections pauses between tries: the socket gives no event for it.
constexpr int kConnectRetryMs = 10;

// Waits by `deadline` for what the connection waits for: 1 when the next
// Receive may get further, 0 when the deadline passed, -1 with errno set.
int WaitForProgress(const ClientConnection& connection, Deadline deadline) {
  if (!connection.connecting()) return WaitUntil(connection.fd(), connection.Events(), deadline);
  const int left_ms = deadline.PollTimeoutMs();
  if (left_ms == 0) return 0;
  ::poll(nullptr, 0, left_ms < 0 ? kConnectRetryMs : std::min(left_ms, kConnectRetryMs));
  return 1;
}

// Why a call ran out of time, by how far its request got.
const char* TimeoutReason(const ClientConnection& connection) {
  if (connection.connecting()) return "the service did not take the connection in time";
  return connection.sending() ? "the service did not take the request in time" : "the service did not reply in time";
}

}  // namespace

int BlockingCall(ClientConnection& connection, std::string_view operation, std::optional<std::string_view> text,
                 Deadline deadline, std::string* reply) {
  if (connection.pending() > 0) return connection.Fail(EBUSY, "replies of sent requests are still pending");
  if (connection.Send(operation, text) != 0) return -1;
  for (;;) {
    const int status = connection.Receive(reply);
    if (status != 1) return status;
    // Receive wrote what the socket took; wait for room or for the reply.
    const int ready = WaitForProgress(connection, deadline);
    if (ready == 0) return connection.GiveUp(ETIMEDOUT, TimeoutReason(connection));
    if (ready < 0) {
      const int saved = errno;
      return connection.GiveUp(saved, ErrnoText("poll", saved));
    }
  }
}

}  // namespace zv
