// SPDX-License-Identifier: MIT
// The blocking call of the C client library: one request and its reply by
// a deadline, as a loop of poll(2) over the same connection the event
// loops drive without waiting (a connect that waits for room in the
// service's queue of new connections gives no event: it is tried again
// every few milliseconds).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "client/client_connection.h"
#include "platform/deadline.h"

namespace zv {

/// Sends one request on `connection` and waits by `deadline` for its
/// reply: 0 with the reply text in `*reply`, or -1 with the connection's
/// failure set: EBUSY (replies of earlier requests are pending; nothing is
/// sent), what Send and Receive fail with, ETIMEDOUT when the deadline
/// passed (the connection is then closed, as the late reply would be out
/// of turn), or poll's errno.
int BlockingCall(ClientConnection& connection, std::string_view operation, std::optional<std::string_view> text,
                 Deadline deadline, std::string* reply);

}  // namespace zv
