#include "client/service_client.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/xpc/socket_path.h"
#include "platform/xpc/wire_format.h"

namespace zv {

ServiceClient::~ServiceClient() { Close(); }

bool ServiceClient::Connect(const std::string& socket_path, std::string* error) {
  Close();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path.empty() || socket_path.size() >= sizeof address.sun_path) {
    *error = "socket path '" + socket_path + "' is empty or too long";
    return false;
  }
  std::memcpy(address.sun_path, socket_path.data(), socket_path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    *error = "connect(" + socket_path + "): " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  fd_ = fd;
  reader_.emplace(fd_);
  return true;
}

bool ServiceClient::Send(std::string_view operation, std::optional<std::string_view> text, std::string* error) {
  bool write_failed = false;
  return SendRequest(operation, text, &write_failed, error);
}

bool ServiceClient::SendRequest(std::string_view operation, std::optional<std::string_view> text,
                                bool* write_failed, std::string* error) {
  *write_failed = false;
  if (fd_ < 0) {
    *error = "not connected";
    return false;
  }
  const std::string payload = xpc::EncodeRequest(operation, text);
  if (payload.size() > xpc::kMaxFrameBytes) {
    *error = "request of " + std::to_string(payload.size()) + " bytes exceeds the limit of " +
             std::to_string(xpc::kMaxFrameBytes) + " bytes";
    return false;
  }
  *write_failed = !xpc::WriteFrame(fd_, payload, error);
  return !*write_failed;
}

CallStatus ServiceClient::Receive(std::string* text) {
  if (fd_ < 0) {
    *text = "not connected";
    return CallStatus::kFailed;
  }
  std::string_view payload;
  switch (reader_->Next(&payload)) {
    case xpc::FrameStatus::kFrame:
      break;
    case xpc::FrameStatus::kReadError:
      *text = reader_->error();
      return CallStatus::kFailed;
    case xpc::FrameStatus::kTooLarge:
      *text = "the service sent a frame over the size limit";
      return CallStatus::kFailed;
    default:
      *text = "the service closed the connection without a reply";
      return CallStatus::kFailed;
  }
  xpc::ReplyStatus status;
  std::string_view reply;
  if (!xpc::DecodeReply(payload, &status, &reply, text)) return CallStatus::kFailed;
  *text = std::string(reply);
  return status == xpc::ReplyStatus::kReply ? CallStatus::kReply : CallStatus::kErrorReply;
}

CallStatus ServiceClient::Call(std::string_view operation, std::optional<std::string_view> text,
                               std::string* reply) {
  bool write_failed = false;
  if (!SendRequest(operation, text, &write_failed, reply)) {
    // The service may have answered before it closed (a refusal); prefer
    // its word over the write error.
    std::string answer;
    if (write_failed && Receive(&answer) == CallStatus::kErrorReply) {
      *reply = answer;
      return CallStatus::kErrorReply;
    }
    return CallStatus::kFailed;
  }
  return Receive(reply);
}

void ServiceClient::Close() {
  reader_.reset();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool ChooseSocketPath(const std::optional<std::string>& given, std::string* path, std::string* error) {
  if (given) {
    *path = *given;
    return true;
  }
  const char* from_environment = std::getenv("ZVXPC_SOCKET");
  if (from_environment != nullptr && *from_environment != '\0') {
    *path = from_environment;
    return true;
  }
  return xpc::DefaultSocketPath(path, error);
}

}  // namespace zv
