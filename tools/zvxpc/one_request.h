// What `zvxpc call` and `zvxpc walk` share: one request to the service and
// its reply on standard output.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zvxpc {

/// Connects to the service's socket (`socket_path` when given, else
/// $ZVXPC_SOCKET, else the default path), sends `operation` with `text`
/// (nullopt: no argument object) and waits for the reply. True with the
/// reply text in `*reply`; false with a one-line reason in `*error` when no
/// socket can be chosen, the connection fails, or the service answers with
/// an error reply.
bool SendOneRequest(const std::optional<std::string>& socket_path, std::string_view operation,
                    std::optional<std::string_view> text, std::string* reply, std::string* error);

/// Writes `reply` and a newline to standard output. False when standard
/// output refuses it.
bool PrintReplyLine(const std::string& reply);

/// True for a lone `--help` or `-h`.
bool IsHelpRequest(int argc, char** argv);

}  // namespace zvxpc
