// SPDX-License-Identifier: MIT
// What the service and the process of one walk tell each other over their
// two pipes.
//
// Service to walk (the walk's standard input, closed after the job): one
// encoded WalkJob: the walk's arguments, the process-wide walk state it
// starts from, and whether its device is known to leave GETBULK
// unanswered. The job names no file: the walk's process never opens a
// profile list.
//
// Walk to service (descriptor kWalkReportDescriptor): messages, each a
// kind byte, a 4-byte length and that many bytes, in this order:
//   - notes (WalkNote kDevice, kReason, kDetail and kCount), as the walk
//     makes them;
//   - the settings, once, as soon as the walk's arguments are parsed: the
//     `-C` toggles as the walk left them;
//   - the rows of the spool list that hold anything, each once, by row
//     number (1 to 500);
//   - the end, once and last: the walk's result, the spool's count of
//     index values, the variables-found counter and whether the device
//     left the walk's GETBULK unanswered.
// The walk's process decodes what the network sends, and anyone on the
// path can forge an SNMP answer: so the service takes nothing from it
// unchecked. WalkReportReader refuses, for good, the first message that is
// of an unknown kind, out of order, longer than its kind allows, or whose
// fields are out of range, and everything past kMaxWalkReportBytes in all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/carried_walk_state.h"
#include "report/debug_sink.h"
#include "store/zvplist.h"

namespace zv {

/// The descriptor on which a walk's process writes its messages.
inline constexpr int kWalkReportDescriptor = 3;

/// Longest note text: a reason may quote an address or root of up to
/// 2048 bytes.
inline constexpr std::size_t kMaxWalkNoteBytes = 4096;
/// All that one walk's process may send (the rows of a full table take
/// about 45 KiB; notes are a few kilobytes): past it, the walk is broken.
inline constexpr std::size_t kMaxWalkReportBytes = std::size_t{256} << 10;
/// Largest job the walk's process reads: a request frame is at most 16 MiB.
inline constexpr std::size_t kMaxWalkJobBytes = std::size_t{17} << 20;

/// One walk as the service hands it to the walk's process.
struct WalkJob {
  std::vector<std::string> arguments;  // the argument vector, program-name slot first
  WalkProcessState state;
  bool device_deaf_to_bulk = false;  // the device left GETBULK unanswered in two walks in a row, lately
  bool mibs_on_trial = false;        // MIBS came from a request's -m and has not loaded in a walk yet
  int32_t start_repetitions = 0;     // the most that came back whole in the device's last walk; 0: unknown
};

/// The bytes that carry `job`.
std::string EncodeWalkJob(const WalkJob& job);

/// Reads a job from `bytes`; false when they are not exactly one job.
bool DecodeWalkJob(std::string_view bytes, WalkJob* job);

/// How a walk ended, as its last message tells.
struct WalkEnd {
  int32_t result = 1;
  int32_t spool_count = 0;      // the spool list's iNum: 0 to 500
  int32_t variables_found = 0;  // the counter as the walk left it
  bool deaf_to_bulk = false;    // the device left this walk's first GETBULK unanswered, and answered GETNEXT
  bool mibs_not_loaded = false; // the process's MIBs did not load, so the walk sent nothing
  bool bulk_answered = false;   // the device answered a GETBULK of this walk
  int32_t whole_repetitions = 0;  // the most repetitions that came back whole (0 to 100)
};

/// What a walk whose end says deaf_to_bulk met, in the user's words: the
/// walk notes it as it goes on by GETNEXT, the service tells it from the end.
inline constexpr char kDeafToGetBulkReason[] =
    "the device left the walk's first GETBULK request unanswered; the walk went on by GETNEXT";

/// What a walk that went by GETNEXT because the service told it that its
/// device left GETBULK unanswered in two walks in a row notes. The service
/// keeps a completed walk's note only when it is this very text.
std::string KnownDeafnessReason();

/// The messages of a walk's process, in the order they are sent.
std::string EncodeNoteMessage(WalkNote note, std::string_view text);
std::string EncodeSettingsMessage(const WalkToggles& toggled);
/// One spool row: `row` is its number (1 to 500), `record` its fields
/// (InMenu is not sent: the spool never sets it).
std::string EncodeRowMessage(int row, const ProfileRecord& record);
std::string EncodeEndMessage(const WalkEnd& end);

/// What one walk's process reported, as the service checked it.
struct WalkReport {
  std::optional<WalkToggles> toggled;  // from the settings message
  std::unique_ptr<ProfileList> spool = std::make_unique<ProfileList>();  // rows by number; iNum from the end
  int rows = 0;                        // rows received
  std::optional<WalkEnd> end;
};

/// Checks and takes the bytes a walk's process sends.
class WalkReportReader {
 public:
  /// `start_count` is the variables-found counter the walk was handed: its
  /// end may not give less. `take_note` receives every note as it comes.
  WalkReportReader(int32_t start_count, std::function<void(WalkNote, std::string_view)> take_note);

  /// Appends `bytes` and takes every message now complete into `*report`,
  /// in order. False, for good, once a message is refused; problem() then
  /// says what was wrong, in words for the log.
  bool Feed(std::string_view bytes, WalkReport* report);

  /// True when bytes of an unfinished message are left over.
  bool Unfinished() const { return !pending_.empty(); }
  const std::string& problem() const { return problem_; }

 private:
  bool Take(uint8_t kind, std::string_view payload, WalkReport* report);
  bool Refuse(std::string problem);

  int32_t start_count_;
  std::function<void(WalkNote, std::string_view)> take_note_;
  std::string pending_;
  std::size_t received_ = 0;
  std::vector<bool> row_seen_;
  std::string problem_;
};

}  // namespace zv
