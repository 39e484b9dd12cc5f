// SPDX-License-Identifier: MIT
// The bytes the service sends a client, cut into pieces the way reads may
// deliver them, through the client library's reply decoding. Nothing may
// crash, hang, leak or read outside the input; a frame that is no reply
// ends the stream, as the library then drops the connection.
#include <cstddef>
#include <cstdint>
#include <string>

#include "client/reply_buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the piece size of the reads.
  const std::size_t piece = 1 + data[0] % 64;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  std::size_t left = size - 1;
  zv::ReplyBuffer buffer;
  std::string text;
  while (left > 0) {
    const std::size_t count = left < piece ? left : piece;
    std::size_t available = 0;
    char* space = buffer.Space(&available);
    if (available == 0) __builtin_trap();
    const std::size_t taken = count < available ? count : available;
    for (std::size_t i = 0; i < taken; ++i) space[i] = bytes[i];
    buffer.Commit(taken);
    bytes += taken;
    left -= taken;
    for (zv::ReplyFrameStatus status; (status = buffer.Take(&text)) != zv::ReplyFrameStatus::kIncomplete;) {
      if (status == zv::ReplyFrameStatus::kTooLarge || status == zv::ReplyFrameStatus::kMalformed) return 0;
    }
  }
  return 0;
}
