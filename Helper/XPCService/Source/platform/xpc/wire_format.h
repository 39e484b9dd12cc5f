// SPDX-License-Identifier: MIT
// The wire format of the service's local socket, shared by the service and
// its clients.
//
// Every frame is a 4-byte big-endian length followed by that many bytes of
// payload, at most kMaxFrameBytes.
//
// Request payload:  operation name (e.g. "mibwalk_XPC:reply:"), one zero
//                   byte, one presence byte (0: no argument object, 1: a
//                   text follows), then the text as UTF-8 (empty allowed).
// Reply payload:    one status byte, then either the reply text as UTF-8
//                   (status 0) or a one-line error message (status 1).
//
// A request that breaks these rules gets an error reply and its connection
// is closed, as does a frame that does not arrive whole in time or would
// take the service over its memory bound for requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zv::xpc {

/// Bytes of the length prefix of every frame.
constexpr std::size_t kFrameHeaderBytes = 4;
/// Largest payload a frame may carry (16 MiB).
constexpr std::size_t kMaxFrameBytes = std::size_t{16} * 1024 * 1024;
/// A frame once begun must arrive whole within this many seconds; a
/// sender that trickles it is answered with an error and cut off.
constexpr int kFrameCompletionSeconds = 10;
/// A connection with no request in progress and nothing arriving (or a
/// reply its peer does not take) for this many seconds is closed.
constexpr int kIdleConnectionSeconds = 600;
/// Most bytes the service holds for requests across all its connections
/// (64 MiB), from a request's first byte until its reply has gone out; a
/// frame that would need more is refused with an error and its connection
/// closed.
constexpr std::size_t kMaxUnfinishedFrameBytes = std::size_t{64} * 1024 * 1024;
static_assert(kMaxUnfinishedFrameBytes >= kMaxFrameBytes, "one whole frame must fit the budget");
/// Longest piece of client-sent text quoted in an error message.
constexpr std::size_t kMaxQuotedBytes = 64;

/// Presence byte of a request payload.
constexpr unsigned char kNoArgument = 0;
constexpr unsigned char kTextArgument = 1;

/// Status byte of a reply payload.
enum class ReplyStatus : unsigned char { kReply = 0, kError = 1 };

/// A decoded request; the views point into the payload it came from.
struct RequestView {
  std::string_view operation;
  std::optional<std::string_view> text;  // nullopt: no argument object
};

/// Writes the 4-byte big-endian `length` at `out`.
void EncodeFrameLength(std::uint32_t length, unsigned char* out);
/// Reads a 4-byte big-endian length at `in`.
std::uint32_t DecodeFrameLength(const unsigned char* in);

/// Appends one whole frame (length prefix and payload) to `*out`. The
/// caller keeps `payload` within kMaxFrameBytes.
void AppendFrame(std::string_view payload, std::string* out);

/// The request payload for `operation` and `text` (nullopt: no argument).
std::string EncodeRequest(std::string_view operation, std::optional<std::string_view> text);

/// Decodes a request payload. False with a one-line message in `*error`
/// when the payload is empty, has no zero byte after a non-empty operation
/// name, lacks the presence byte, has a presence byte other than 0 or 1,
/// carries text after presence byte 0, or when the text is not valid UTF-8.
/// The operation name is not checked against any list here.
bool DecodeRequest(std::string_view payload, RequestView* request, std::string* error);

/// The reply payload of `status` and `text`.
std::string EncodeReply(ReplyStatus status, std::string_view text);

/// Appends one whole reply frame of `status` and `text` to `*out` (the
/// frame of EncodeReply's payload, without building that payload apart).
void AppendReplyFrame(ReplyStatus status, std::string_view text, std::string* out);

/// Decodes a reply payload into its status and text (a view into
/// `payload`). False with a message when the payload is empty or its status
/// byte is unknown.
bool DecodeReply(std::string_view payload, ReplyStatus* status, std::string_view* text,
                 std::string* error);

/// `text` made safe to quote in a one-line message: bytes outside printable
/// ASCII become '?', and text beyond kMaxQuotedBytes is cut and marked
/// with "...".
std::string QuoteForMessage(std::string_view text);

}  // namespace zv::xpc
