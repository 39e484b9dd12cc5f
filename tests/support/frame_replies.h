// SPDX-License-Identifier: MIT
// Reading the service's replies in tests, in one short form.
#pragma once

#include <string>
#include <string_view>

#include "platform/xpc/frame_io.h"
#include "platform/xpc/wire_format.h"

namespace zvtest {

/// What NextReply gives when the reader's deadline passed before a reply.
inline constexpr const char* kNoReplyInTime = "no reply in time";

/// The next reply on `reader` as "ok:TEXT" or "error:TEXT"; "closed" when
/// no frame came, kNoReplyInTime when the reader has deadlines and the
/// next one passed first, "undecodable" when the frame is no reply.
inline std::string NextReply(zv::xpc::FrameReader& reader) {
  std::string_view payload;
  const zv::xpc::FrameStatus frame = reader.Next(&payload);
  if (frame == zv::xpc::FrameStatus::kIdleTimedOut || frame == zv::xpc::FrameStatus::kFrameTimedOut) {
    return kNoReplyInTime;
  }
  if (frame != zv::xpc::FrameStatus::kFrame) return "closed";
  zv::xpc::ReplyStatus status;
  std::string_view text;
  std::string error;
  if (!zv::xpc::DecodeReply(payload, &status, &text, &error)) return "undecodable";
  return (status == zv::xpc::ReplyStatus::kReply ? "ok:" : "error:") + std::string(text);
}

}  // namespace zvtest
