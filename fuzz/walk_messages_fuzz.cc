// SPDX-License-Identifier: MIT
// The bytes a walk's process sends the service (a process that a hostile
// printer may have taken over), cut into pieces where the first byte says,
// and the bytes of a job. Nothing may crash, hang or read outside the
// input; a report the reader takes holds only what the service allows.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "report/walk_protocol.h"

namespace {

bool Terminated(const char (&field)[ZV_PROFILE_NAME_SIZE]) {
  return std::string_view(field, sizeof field).find('\0') != std::string_view::npos;
}

// What every report the reader took must hold.
void CheckReport(const zv::WalkReport& report) {
  for (const ProfileRecord& row : report.spool->slots) {
    if (!Terminated(row.FileName) || !Terminated(row.ProfileName)) __builtin_trap();
  }
  if (report.rows < 0 || report.rows > ZV_PROFILE_SLOTS) __builtin_trap();
  if (report.end && (report.end->result < -2 || report.end->result > 2)) __builtin_trap();
  if (report.end && (report.spool->iNum < 0 || report.spool->iNum > ZV_PROFILE_SLOTS)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = data[0] % 16 + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  std::size_t note_bytes = 0;
  zv::WalkReportReader reader(0, [&note_bytes](zv::WalkNote, std::string_view text) {
    note_bytes += text.size();
    if (text.size() > zv::kMaxWalkNoteBytes) __builtin_trap();
  });
  zv::WalkReport report;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    if (!reader.Feed(bytes.substr(at, piece), &report)) break;
  }
  if (note_bytes > zv::kMaxWalkReportBytes) __builtin_trap();
  CheckReport(report);
  zv::WalkJob job;
  (void)zv::DecodeWalkJob(bytes, &job);
  return 0;
}
