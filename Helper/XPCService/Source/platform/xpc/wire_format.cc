// SPDX-License-Identifier: MIT
#include "platform/xpc/wire_format.h"

#include "platform/utf8.h"

namespace zv::xpc {

void EncodeFrameLength(std::uint32_t length, unsigned char* out) {
  out[0] = static_cast<unsigned char>(length >> 24);
  out[1] = static_cast<unsigned char>(length >> 16);
  out[2] = static_cast<unsigned char>(length >> 8);
  out[3] = static_cast<unsigned char>(length);
}

std::uint32_t DecodeFrameLength(const unsigned char* in) {
  return (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) | (std::uint32_t{in[2]} << 8) |
         std::uint32_t{in[3]};
}

void AppendFrame(std::string_view payload, std::string* out) {
  unsigned char header[kFrameHeaderBytes];
  EncodeFrameLength(static_cast<std::uint32_t>(payload.size()), header);
  out->append(reinterpret_cast<const char*>(header), sizeof header);
  out->append(payload);
}

std::string EncodeRequest(std::string_view operation, std::optional<std::string_view> text) {
  std::string payload;
  payload.reserve(operation.size() + 2 + (text ? text->size() : 0));
  payload.append(operation);
  payload.push_back('\0');
  payload.push_back(static_cast<char>(text ? kTextArgument : kNoArgument));
  if (text) payload.append(*text);
  return payload;
}

bool DecodeRequest(std::string_view payload, RequestView* request, std::string* error) {
  const std::size_t end_of_name = payload.find('\0');
  if (end_of_name == std::string_view::npos) {
    *error = "malformed request: no zero byte after the operation name";
    return false;
  }
  if (end_of_name == 0) {
    *error = "malformed request: empty operation name";
    return false;
  }
  if (end_of_name + 1 >= payload.size()) {
    *error = "malformed request: no presence byte";
    return false;
  }
  const auto presence = static_cast<unsigned char>(payload[end_of_name + 1]);
  const std::string_view rest = payload.substr(end_of_name + 2);
  if (presence == kNoArgument && !rest.empty()) {
    *error = "malformed request: text after presence byte 0";
    return false;
  }
  if (presence != kNoArgument && presence != kTextArgument) {
    *error = "malformed request: presence byte " + std::to_string(presence) + " is neither 0 nor 1";
    return false;
  }
  if (!IsValidUtf8(rest)) {
    *error = "request text is not valid UTF-8";
    return false;
  }
  request->operation = payload.substr(0, end_of_name);
  request->text.reset();
  if (presence == kTextArgument) request->text = rest;
  return true;
}

std::string EncodeReply(ReplyStatus status, std::string_view text) {
  std::string payload;
  payload.reserve(1 + text.size());
  payload.push_back(static_cast<char>(status));
  payload.append(text);
  return payload;
}

void AppendReplyFrame(ReplyStatus status, std::string_view text, std::string* out) {
  unsigned char header[kFrameHeaderBytes];
  EncodeFrameLength(static_cast<std::uint32_t>(1 + text.size()), header);
  out->append(reinterpret_cast<const char*>(header), sizeof header);
  out->push_back(static_cast<char>(status));
  out->append(text);
}

bool DecodeReply(std::string_view payload, ReplyStatus* status, std::string_view* text,
                 std::string* error) {
  if (payload.empty()) {
    *error = "malformed reply: empty payload";
    return false;
  }
  const auto byte = static_cast<unsigned char>(payload[0]);
  if (byte != static_cast<unsigned char>(ReplyStatus::kReply) &&
      byte != static_cast<unsigned char>(ReplyStatus::kError)) {
    *error = "malformed reply: unknown status byte " + std::to_string(byte);
    return false;
  }
  *status = static_cast<ReplyStatus>(byte);
  *text = payload.substr(1);
  return true;
}

std::string QuoteForMessage(std::string_view text) {
  const bool cut = text.size() > kMaxQuotedBytes;
  std::string quoted;
  for (const char c : text.substr(0, kMaxQuotedBytes)) {
    const auto byte = static_cast<unsigned char>(c);
    quoted.push_back(byte >= 0x20 && byte < 0x7F ? c : '?');
  }
  if (cut) quoted += "...";
  return quoted;
}

}  // namespace zv::xpc
