// SPDX-License-Identifier: MIT
// What the service and the process of one walk tell each other over their
// two pipes.
//
// Service to walk (the walk's standard input, closed after the job): one
// encoded WalkJob. Walk to service (descriptor kWalkMessageDescriptor):
// messages, each a kind byte, a 4-byte length and that many bytes: every
// note of the walk (kind and text) and every line it logs, as they are
// made, then one result message with the walk's result and its
// process-wide state as it ended. A process that ends before its result
// message has no result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "walk/debug_sink.h"
#include "walk/walk_process_state.h"

namespace zv {

/// The descriptor on which a walk's process writes its messages.
inline constexpr int kWalkMessageDescriptor = 3;

/// Longest message a walk's process may send (a note is far shorter); a
/// longer one is a broken or hostile process.
inline constexpr std::size_t kMaxWalkMessageBytes = 1 << 20;

/// What a walk's process is asked to do.
enum class WalkJobKind : uint8_t {
  kWalk = 0,         // walk the device and merge, as mib_walk does
  kMergeFailed = 1,  // merge nothing but a failed walk's ageing (result 1)
};

/// One walk as the service hands it to the walk's process.
struct WalkJob {
  WalkJobKind kind = WalkJobKind::kWalk;
  std::string current_path;   // the profile list the merge reads and writes
  std::string previous_path;  // composed, never touched by a walk
  std::string spool_path;     // composed, never touched by a walk
  std::vector<std::string> arguments;  // the argument vector, program-name slot first
  WalkProcessState state;
};

/// The bytes that carry `job`.
std::string EncodeWalkJob(const WalkJob& job);

/// Reads a job from `bytes`; false when they are not exactly one job.
bool DecodeWalkJob(std::string_view bytes, WalkJob* job);

/// The message that carries one note.
std::string EncodeNoteMessage(WalkNote note, std::string_view text);

/// The message that carries one line the walk logs whatever the verbose
/// setting (LogWalkLine).
std::string EncodeLogLineMessage(std::string_view line);

/// The message that carries the walk's result and its state at the end.
std::string EncodeResultMessage(int result, const WalkProcessState& state);

/// What one message from a walk's process carries.
enum class WalkMessageKind : uint8_t { kNote = 1, kLogLine = 2, kResult = 3 };

/// One message from a walk's process.
struct WalkMessage {
  WalkMessageKind kind = WalkMessageKind::kNote;
  WalkNote note = WalkNote::kDetail;  // a note's kind, passed on whatever its value
  std::string text;                   // a note's text, or the logged line
  int result = 0;                     // the result message's result
  WalkProcessState state;             // the result message's state
};

/// Splits the bytes a walk's process sends into messages.
class WalkMessageReader {
 public:
  /// Appends `bytes` and hands every message now complete to `take`, in
  /// order. False (and nothing more taken, ever) once a message is
  /// malformed, of an unknown kind or longer than kMaxWalkMessageBytes.
  bool Feed(std::string_view bytes, const std::function<void(const WalkMessage&)>& take);

  /// True when bytes of an unfinished message are left over.
  bool Unfinished() const { return !pending_.empty(); }

 private:
  std::string pending_;
  bool broken_ = false;
};

}  // namespace zv
