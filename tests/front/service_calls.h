// SPDX-License-Identifier: MIT
// Requests to the real zvxpcd through libzvxpc, the client that ships,
// with the outcome in the one short form the service tests compare.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "zvxpc.h"

namespace zvtest {

/// How long a test waits for a reply before it counts the call as failed.
constexpr int kReplyTimeoutMs = 60000;

/// A libzvxpc client, closed at the end of its owner's scope.
using Client = std::unique_ptr<zvxpc_client, decltype(&zvxpc_close)>;

/// Connects to the service at `socket_path`; a null client (errno set)
/// when it cannot.
Client Connect(const std::string& socket_path);

/// The outcome of `operation` with `text` (nullopt: no argument object) on
/// `client`: the reply text, "error:MESSAGE" when the service answered with
/// an error, "failed:MESSAGE" when no reply came.
std::string CallText(zvxpc_client* client, const char* operation, const std::optional<std::string>& text);

/// The outcome, as CallText gives it, of the one request sent on `client`
/// with zvxpc_send, waited for on a poll loop of zvxpc_events.
std::string AwaitReplyText(zvxpc_client* client);

/// CallText on a fresh connection to `socket_path`, closed afterwards;
/// "failed:connect: ..." when it cannot connect.
std::string CallOnce(const std::string& socket_path, const char* operation, const std::optional<std::string>& text);

}  // namespace zvtest
