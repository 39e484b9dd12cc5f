// SPDX-License-Identifier: MIT
// A byte stream as a peer sends it, delivered in pieces of varying sizes to
// the frame assembler with a small buffer and a small budget. Every frame
// it gives must be the one a parse of the whole stream finds, it must stop
// where that parse meets a length over the limit, hold no more than its
// budget at any time and give all of it back. Each frame then goes through
// the request decoder.
//
// Input: byte 0 picks the buffer's first size, byte 1 the budget, byte 2
// the piece sizes; the rest is the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/xpc/frame_assembler.h"
#include "platform/xpc/wire_format.h"

namespace {

using zv::xpc::FrameAssembler;
using zv::xpc::kFrameHeaderBytes;
using zv::xpc::kMaxFrameBytes;

void Require(bool holds) {
  if (!holds) __builtin_trap();
}

// The length announced by the header at `offset`; the caller has checked
// that a whole header is there.
std::size_t LengthAt(std::string_view stream, std::size_t offset) {
  return zv::xpc::DecodeFrameLength(reinterpret_cast<const unsigned char*>(stream.data() + offset));
}

// What a whole-stream parse says of the bytes [parsed, delivered) when the
// assembler asks for more: no whole frame and no over-long header there.
void RequireNoWholeFrame(std::string_view stream, std::size_t parsed, std::size_t delivered) {
  if (delivered - parsed < kFrameHeaderBytes) return;
  const std::size_t length = LengthAt(stream, parsed);
  Require(length <= kMaxFrameBytes);
  Require(delivered - parsed < kFrameHeaderBytes + length);
}

void DecodeAsRequest(std::string_view payload) {
  zv::xpc::RequestView request;
  std::string error;
  if (zv::xpc::DecodeRequest(payload, &request, &error)) {
    Require(!request.operation.empty() && request.operation.size() < payload.size());
  } else {
    Require(!error.empty());
  }
}

// Feeds `stream` to `assembler` and checks each step against the parse.
void Assemble(FrameAssembler& assembler, const zv::xpc::FrameBudget& budget, std::size_t limit,
              unsigned piece_seed, std::string_view stream) {
  std::size_t delivered = 0, parsed = 0;
  for (unsigned round = 0;; ++round) {
    std::string_view payload;
    switch (assembler.Take(&payload)) {
      case FrameAssembler::Step::kFrame: {
        Require(delivered - parsed >= kFrameHeaderBytes);
        const std::size_t length = LengthAt(stream, parsed);
        Require(payload == stream.substr(parsed + kFrameHeaderBytes, length));
        parsed += kFrameHeaderBytes + length;
        DecodeAsRequest(payload);
        continue;
      }
      case FrameAssembler::Step::kTooLarge:
        Require(LengthAt(stream, parsed) > kMaxFrameBytes);
        Require(assembler.announced_length() == LengthAt(stream, parsed));
        return;
      case FrameAssembler::Step::kNeedBytes:
        RequireNoWholeFrame(stream, parsed, delivered);
        break;
    }
    if (delivered == stream.size()) return;
    char* where = nullptr;
    std::size_t room = 0;
    const bool granted = assembler.Room(&where, &room);
    Require(budget.held() <= limit);
    if (!granted) return;
    Require(room > 0);
    const std::size_t piece =
        std::min({room, stream.size() - delivered, std::size_t{1} + (piece_seed * (round + 7)) % 97});
    std::memcpy(where, stream.data() + delivered, piece);
    assembler.Commit(piece);
    delivered += piece;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::size_t chunk = 1 + data[0] % 64;
  const std::size_t limit = std::size_t{data[1]} * 16;
  const unsigned piece_seed = data[2];
  const std::string_view stream(reinterpret_cast<const char*>(data + 3), size - 3);
  zv::xpc::FrameBudget budget(limit);
  {
    FrameAssembler assembler(&budget, chunk);
    Assemble(assembler, budget, limit, piece_seed, stream);
  }
  Require(budget.held() == 0);
  return 0;
}
