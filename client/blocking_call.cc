// SPDX-License-Identifier: MIT
#include "client/blocking_call.h"

#include <cerrno>

#include "platform/posix_io.h"

namespace zv {

int BlockingCall(ClientConnection& connection, std::string_view operation, std::optional<std::string_view> text,
                 Deadline deadline, std::string* reply) {
  if (connection.pending() > 0) return connection.Fail(EBUSY, "replies of sent requests are still pending");
  if (connection.Send(operation, text) != 0) return -1;
  for (;;) {
    const int status = connection.Receive(reply);
    if (status != 1) return status;
    // Receive wrote what the socket took; wait for room or for the reply.
    const int ready = WaitUntil(connection.fd(), connection.Events(), deadline);
    if (ready == 0) {
      return connection.GiveUp(ETIMEDOUT, connection.sending() ? "the service did not take the request in time"
                                                               : "the service did not reply in time");
    }
    if (ready < 0) {
      const int saved = errno;
      return connection.GiveUp(saved, ErrnoText("poll", saved));
    }
  }
}

}  // namespace zv
