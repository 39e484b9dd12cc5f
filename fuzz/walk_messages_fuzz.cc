// SPDX-License-Identifier: MIT
// The bytes a walk's process sends the service (a process that a hostile
// printer may have taken over), cut into pieces where the first byte says,
// and the bytes of a job. Nothing may crash, hang or read outside the
// input; a result's state, re-encoded, must read back the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "walk/walk_job.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = data[0] % 16 + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  zv::WalkMessageReader reader;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    const bool fine = reader.Feed(bytes.substr(at, piece), [](const zv::WalkMessage& message) {
      if (message.kind != zv::WalkMessageKind::kResult) return;
      zv::WalkMessageReader again;
      int results = 0;
      again.Feed(zv::EncodeResultMessage(message.result, message.state), [&](const zv::WalkMessage& copy) {
        if (copy.result != message.result || copy.state.mibs != message.state.mibs) __builtin_trap();
        ++results;
      });
      if (results != 1) __builtin_trap();
    });
    if (!fine) break;
  }
  zv::WalkJob job;
  (void)zv::DecodeWalkJob(bytes, &job);
  return 0;
}
