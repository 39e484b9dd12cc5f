// SPDX-License-Identifier: MIT
// The bytes a client sends: a request payload, then the decoders of every
// operation's text. Nothing may crash, hang or read outside the input.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "front/request_decoding.h"
#include "platform/xpc/wire_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view payload(reinterpret_cast<const char*>(data), size);
  zv::xpc::RequestView request;
  std::string error;
  if (!zv::xpc::DecodeRequest(payload, &request, &error)) return 0;
  const std::optional<std::string> text =
      request.text ? std::optional<std::string>(std::string(*request.text)) : std::nullopt;
  (void)zv::DecodePathRequest(text);
  (void)zv::DecodeSwapRequest(text);
  zv::UrlAndBody url_and_body;
  (void)zv::SplitUrlAndBody(text, &url_and_body);
  zv::WalkFields walk;
  if (text && zv::DecodeWalkFields(*text, &walk)) {
    std::vector<std::string_view> arguments;
    (void)zv::SplitWalkArguments(walk.arguments, 512, &arguments);
  }
  return 0;
}
