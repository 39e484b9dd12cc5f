#include "zvxpc/one_request.h"

#include <cstdio>
#include <cstring>

#include "client/service_client.h"

namespace zvxpc {

bool SendOneRequest(const std::optional<std::string>& socket_path, std::string_view operation,
                    std::optional<std::string_view> text, std::string* reply, std::string* error) {
  std::string path;
  if (!zv::ChooseSocketPath(socket_path, &path, error)) {
    *error += " (use --socket PATH or ZVXPC_SOCKET)";
    return false;
  }
  zv::ServiceClient client;
  if (!client.Connect(path, error)) return false;
  switch (client.Call(operation, text, reply)) {
    case zv::CallStatus::kReply:
      return true;
    case zv::CallStatus::kErrorReply:
      *error = "the service refused the request: " + *reply;
      return false;
    case zv::CallStatus::kFailed:
      *error = *reply;
      return false;
  }
  *error = "no reply";
  return false;
}

bool PrintReplyLine(const std::string& reply) {
  std::fwrite(reply.data(), 1, reply.size(), stdout);
  std::fputc('\n', stdout);
  return std::fflush(stdout) == 0;
}

bool IsHelpRequest(int argc, char** argv) {
  return argc == 1 && (std::strcmp(argv[0], "--help") == 0 || std::strcmp(argv[0], "-h") == 0);
}

}  // namespace zvxpc
