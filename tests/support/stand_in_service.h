// SPDX-License-Identifier: MIT
// A stand-in for zvxpcd that answers a script of replies in the
// background, for the replies the real service does not give (yet).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/xpc/frame_io.h"
#include "platform/xpc/wire_format.h"
#include "support/stand_in_socket.h"

namespace zvtest {

/// One request the stand-in served.
struct ServedRequest {
  std::string operation;
  std::string text;  // "(none)" for a request without text
};

/// Serves one request per reply of its script, on a stand-in socket at
/// `path`: each reply is a reply payload (zv::xpc::EncodeReply), or nullopt
/// to close the connection without a reply. As the service does, it
/// closes the connection after an error reply, and then awaits the next
/// request on a new connection. It stops when the script ends, or when no
/// client comes or sends within 10 s.
class StandInService {
 public:
  StandInService(const std::string& path, std::vector<std::optional<std::string>> replies)
      : socket_(path), thread_([this, replies = std::move(replies)] { Serve(replies); }) {}
  ~StandInService() { Wait(); }

  /// The requests served, in order, once the script ended.
  const std::vector<ServedRequest>& requests() {
    Wait();
    return requests_;
  }

 private:
  void Serve(const std::vector<std::optional<std::string>>& replies) {
    std::unique_ptr<zv::xpc::FrameReader> reader;
    for (const std::optional<std::string>& reply : replies) {
      if (socket_.connection() < 0) {
        if (!socket_.Accept(10000)) return;
        reader = std::make_unique<zv::xpc::FrameReader>(socket_.connection(), nullptr,
                                                         zv::xpc::FrameDeadlines{10000, 10000});
      }
      std::string_view payload;
      zv::xpc::RequestView request;
      std::string error;
      if (reader->Next(&payload) != zv::xpc::FrameStatus::kFrame ||
          !zv::xpc::DecodeRequest(payload, &request, &error)) {
        return;
      }
      requests_.push_back({std::string(request.operation), std::string(request.text.value_or("(none)"))});
      if (reply) {
        EXPECT_TRUE(zv::xpc::WriteFrame(socket_.connection(), *reply, &error)) << error;
      }
      const bool error_reply = reply && !reply->empty() && (*reply)[0] != 0;
      if (!reply || error_reply) socket_.CloseConnection();
    }
  }
  void Wait() {
    if (thread_.joinable()) thread_.join();
  }

  StandInSocket socket_;
  std::vector<ServedRequest> requests_;
  std::thread thread_;  // last: it uses the members above
};

/// A reply payload with `text`, and an error reply payload with `message`.
inline std::string ReplyPayload(std::string_view text) {
  return zv::xpc::EncodeReply(zv::xpc::ReplyStatus::kReply, text);
}
inline std::string ErrorPayload(std::string_view message) {
  return zv::xpc::EncodeReply(zv::xpc::ReplyStatus::kError, message);
}

}  // namespace zvtest
