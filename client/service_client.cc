// SPDX-License-Identifier: MIT
#include "client/service_client.h"

#include <unistd.h>

#include "client/unix_connect.h"
#include "platform/xpc/wire_format.h"

namespace zv {

ServiceClient::~ServiceClient() { Close(); }

bool ServiceClient::Connect(const std::string& socket_path, std::string* error) {
  Close();
  const int fd = ConnectUnixSocket(socket_path, error);
  if (fd < 0) return false;
  fd_ = fd;
  reader_.emplace(fd_);
  return true;
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

}  // namespace zv
