// SPDX-License-Identifier: MIT
// The internal C++ client of the service's local socket (connect, send
// requests, read replies) that the tests and benchmarks drive the service
// with. Programs use the installed C library of zvxpc.h instead.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/xpc/frame_io.h"

namespace zv {

/// Outcome of a request.
enum class CallStatus {
  kReply,       // the service replied; the text is its reply text
  kErrorReply,  // the service refused the request; the text is its message
  kFailed,      // no reply could be had; the text says why
};

/// One connection to the service, one request at a time; Receive alone
/// reads what the service sends unasked (a refusal, or its closing).
class ServiceClient {
 public:
  ServiceClient() = default;
  ~ServiceClient();
  ServiceClient(const ServiceClient&) = delete;
  ServiceClient& operator=(const ServiceClient&) = delete;

  /// Connects to the service's socket at `socket_path`. False with a
  /// message naming the failing call and the errno text.
  bool Connect(const std::string& socket_path, std::string* error);

  /// Reads the next reply into `*text` (see CallStatus).
  CallStatus Receive(std::string* text);

  /// Sends one request (`text` nullopt sends no argument object) and reads
  /// its reply. A request over the frame limit, or one sent while not
  /// connected, fails without being sent.
  CallStatus Call(std::string_view operation, std::optional<std::string_view> text, std::string* reply);

  /// Closes the connection; further calls fail until Connect.
  void Close();

 private:
  // Sends one request, telling in `*write_failed` whether the socket
  // refused the bytes.
  bool SendRequest(std::string_view operation, std::optional<std::string_view> text, bool* write_failed,
                   std::string* error);

  int fd_ = -1;
  std::optional<xpc::FrameReader> reader_;
};

}  // namespace zv
