// SPDX-License-Identifier: MIT
// What `zvxpc call` and `zvxpc walk` share: the connection to the service
// through libzvxpc, the reasons of its failures in the user's words, the
// reply on standard output and the --socket and --timeout options.
#pragma once

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

/// Writes `reply` and a newline to standard output. False when standard
/// output refuses it.
bool PrintReplyLine(const char* reply);

/// The standard help lines of --socket, --timeout and --help.
extern const char* const kServiceOptionsHelp;

}  // namespace zvxpc
