// SPDX-License-Identifier: MIT
#include "zvxpc/service_session.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/posix_io.h"

namespace zvxpc {
namespace {

constexpr int kMaxTimeoutSeconds = 86400;

// The socket the library will use, for messages: --socket, else
// $ZVXPC_SOCKET, else $XDG_RUNTIME_DIR/zvxpcd.sock.
std::string SocketForMessages(const ServiceOptions& options) {
  if (options.socket_path != nullptr) return options.socket_path;
  const char* from_environment = std::getenv("ZVXPC_SOCKET");
  if (from_environment != nullptr && *from_environment != '\0') return from_environment;
  const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
  return std::string(runtime_dir != nullptr ? runtime_dir : "") + "/zvxpcd.sock";
}

}  // namespace

bool ParseTimeout(const char* text, ServiceOptions* options, std::string* error) {
  const std::string_view digits = text;
  int seconds = 0;
  const auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
  if (digits.empty() || status != std::errc() || end != digits.data() + digits.size() || seconds < 1 ||
      seconds > kMaxTimeoutSeconds) {
    *error = "--timeout takes whole seconds from 1 to 86400, not '" + std::string(digits) + "'";
    return false;
  }
  options->timeout_ms = seconds * 1000;
  return true;
}

zvxpc_client* ConnectToService(const ServiceOptions& options, std::string* error) {
  zvxpc_client* client = zvxpc_connect(options.socket_path);
  if (client != nullptr) return client;
  const int reason = errno;
  const std::string socket = SocketForMessages(options);
  switch (reason) {
    case ENOENT:
    case ECONNREFUSED:
      *error = "the service is not running at " + socket +
               " (start it with 'systemctl --user start zvxpcd.socket' or as " ZVXPCD_PROGRAM
               ", or give --socket PATH)";
      break;
    case EACCES:
    case EPERM:
      *error = "no permission to use the service's socket " + socket;
      break;
    case ENAMETOOLONG:
      *error = "the socket path is too long: " + socket;
      break;
    case EINVAL:
      *error = "no socket to use: give --socket PATH, or set ZVXPC_SOCKET or XDG_RUNTIME_DIR";
      break;
    default:
      *error = zv::ErrnoText("cannot reach the service at " + socket, reason);
  }
  return nullptr;
}

std::string RequestFailure(const zvxpc_client* client, int error_number) {
  const std::string message = zvxpc_error(client);
  switch (error_number) {
    case EPROTO:
      return "the service refused the request: " + message;
    case ECONNRESET:
    case EPIPE:
      return "the service closed the connection without a reply";
    case ETIMEDOUT:
      return "the service did not reply in time";
    case EMSGSIZE:
      return "the request is too long: " + message;
    case EBADMSG:
    case EINVAL:
      return message;
    default:
      return "the request failed: " + message;
  }
}

bool IsUnknownOperation(const zvxpc_client* client, int error_number) {
  return error_number == EPROTO && std::string_view(zvxpc_error(client)).starts_with("unknown operation");
}

bool RequestStatus(zvxpc_client* client, int timeout_ms, std::string* reply) {
  char* text = nullptr;
  if (zvxpc_call(client, ZVXPC_OP_STATUS, nullptr, timeout_ms, &text) != 0) return false;
  reply->assign(text);
  std::free(text);
  return true;
}

std::optional<std::string> ServiceFolder(zvxpc_client* client, int timeout_ms) {
  std::string reply;
  char* folder = nullptr;
  if (!RequestStatus(client, timeout_ms, &reply) ||
      zvxpc_status_field(reply.c_str(), ZVXPC_STATUS_PREFERENCES_DIR, &folder) != 0) {
    return std::nullopt;
  }
  std::string result = folder;
  std::free(folder);
  return result;
}

int AwaitReply(zvxpc_client* client, int timeout_ms, std::string* reply) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    char* text = nullptr;
    const int status = zvxpc_receive(client, &text);
    if (status == 0) {
      reply->assign(text);
      std::free(text);
      return 0;
    }
    if (status < 0) return -1;
    int wait_ms = -1;
    if (timeout_ms >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        errno = ETIMEDOUT;
        return -1;
      }
      wait_ms = static_cast<int>(left);
    }
    pollfd watched{zvxpc_fd(client), static_cast<short>(zvxpc_events(client)), 0};
    if (::poll(&watched, 1, wait_ms) < 0 && errno != EINTR) return -1;
  }
}

bool PrintReplyLine(const char* reply) {
  std::fputs(reply, stdout);
  std::fputc('\n', stdout);
  return std::fflush(stdout) == 0;
}

}  // namespace zvxpc
