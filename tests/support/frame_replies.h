// SPDX-License-Identifier: MIT
// Reading the service's replies in tests, in one short form.
#pragma once

#include <string>
#include <string_view>

#include "platform/xpc/frame_io.h"
#include "platform/xpc/wire_format.h"

namespace zvtest {

/// The next reply on `reader` as "ok:TEXT" or "error:TEXT"; "closed" when
/// no frame came, "undecodable" when the frame is no reply.
inline std::string NextReply(zv::xpc::FrameReader& reader) {
  std::string_view payload;
  if (reader.Next(&payload) != zv::xpc::FrameStatus::kFrame) return "closed";
  zv::xpc::ReplyStatus status;
  std::string_view text;
  std::string error;
  if (!zv::xpc::DecodeReply(payload, &status, &text, &error)) return "undecodable";
  return (status == zv::xpc::ReplyStatus::kReply ? "ok:" : "error:") + std::string(text);
}

}  // namespace zvtest
