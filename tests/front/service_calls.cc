// SPDX-License-Identifier: MIT
#include "service_calls.h"

#include <poll.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zvtest {
namespace {

// The failure libzvxpc just reported on `client`, in the short form.
std::string Failure(zvxpc_client* client) {
  return (errno == EPROTO ? "error:" : "failed:") + std::string(zvxpc_error(client));
}

// The malloc'ed `reply`, freed.
std::string TakeReply(char* reply) {
  std::string text = reply;
  std::free(reply);
  return text;
}

}  // namespace

Client Connect(const std::string& socket_path) { return Client(zvxpc_connect(socket_path.c_str()), &zvxpc_close); }

std::string CallText(zvxpc_client* client, const char* operation, const std::optional<std::string>& text) {
  char* reply = nullptr;
  if (zvxpc_call(client, operation, text ? text->c_str() : nullptr, kReplyTimeoutMs, &reply) != 0) {
    return Failure(client);
  }
  return TakeReply(reply);
}

std::string AwaitReplyText(zvxpc_client* client) {
  char* reply = nullptr;
  int status;
  while ((status = zvxpc_receive(client, &reply)) == 1) {
    pollfd ready{zvxpc_fd(client), static_cast<short>(zvxpc_events(client)), 0};
    if (::poll(&ready, 1, kReplyTimeoutMs) != 1) return "failed:no reply in time";
  }
  return status == 0 ? TakeReply(reply) : Failure(client);
}

std::string CallOnce(const std::string& socket_path, const char* operation, const std::optional<std::string>& text) {
  const Client client = Connect(socket_path);
  if (!client) return std::string("failed:connect: ") + std::strerror(errno);
  return CallText(client.get(), operation, text);
}

}  // namespace zvtest
