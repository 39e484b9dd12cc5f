// SPDX-License-Identifier: MIT
// What the commands that talk to the service share: the connection
// through libzvxpc, the reasons of its failures in the user's words, the
// service's status, the reply on standard output and the --socket and
// --timeout options.
#pragma once

#include <optional>
#include <string>

#include "zvxpc.h"

namespace zvxpc {

/// The options every request command takes.
struct ServiceOptions {
  const char* socket_path = nullptr;  // null: the library's default rule
  int timeout_ms = -1;                // -1: wait for ever
};

/// Takes the value of --timeout SECONDS (a whole number, 1 to 86400) into
/// `*options`. False with a reason in `*error`.
bool ParseTimeout(const char* text, ServiceOptions* options, std::string* error);

/// Connects to the service. Null with a one-line reason in `*error`.
zvxpc_client* ConnectToService(const ServiceOptions& options, std::string* error);

/// Why the last request on `client` failed, for the user (from errno and
/// the library's message).
std::string RequestFailure(const zvxpc_client* client, int error_number);

/// True when the last request on `client` failed because the service does
/// not know its operation (a service older than this client).
bool IsUnknownOperation(const zvxpc_client* client, int error_number);

/// The service's status reply on `client` into `*reply`. False with errno
/// and zvxpc_error set as zvxpc_call sets them.
bool RequestStatus(zvxpc_client* client, int timeout_ms, std::string* reply);

/// The folder of the profile lists the service uses, from its status;
/// nullopt when it does not tell (a service older than the status
/// operation, or no answer), and the library's default rule applies.
std::optional<std::string> ServiceFolder(zvxpc_client* client, int timeout_ms);

/// Waits by `timeout_ms` (< 0: for ever) for the reply of the request sent
/// last on `client` (zvxpc_send and the like), watching its descriptor as
/// an event loop does: 0 with the reply in `*reply`, or -1 with errno as
/// zvxpc_receive sets it, ETIMEDOUT when the time ran out.
int AwaitReply(zvxpc_client* client, int timeout_ms, std::string* reply);

/// Writes `reply` and a newline to standard output. False when standard
/// output refuses it.
bool PrintReplyLine(const char* reply);

}  // namespace zvxpc
