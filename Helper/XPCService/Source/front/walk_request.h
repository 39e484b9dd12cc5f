// SPDX-License-Identifier: MIT
// The walk request: from a request text to the current profile list's
// path (named as store/profile_list_path.h says), the walk's arguments,
// one walk, its reply and its log line.
//
// Request text: MODEL ":ModelName:END" USER ":USErName:END", then each walk
// argument followed by ":arg:".
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "front/request_decoding.h"
#include "front/walk_supervisor.h"
#include "platform/xpc/interface.h"
#include "store/profile_list_path.h"
#include "store/zvplist.h"

namespace zv {

/// Entries of the walk's argument vector.
constexpr std::size_t kWalkArgumentSlots = 512;
/// Longest reason a walk request gives (a walk's notes can hold many).
constexpr std::size_t kMaxWalkReasonBytes = 4096;
/// The walk result given to a request that is refused before any walk.
constexpr int kWalkRequestRefused = -1;

/// `directory` with a trailing slash added when it has none.
std::string PreferencesDirectoryFrom(std::string_view directory);

/// Everything one walk request owns: the names as the request gave them,
/// the path of its current profile list and its walk arguments. Lives
/// exactly as long as the request.
struct WalkRequestStorage {
  WalkRequestStorage() = default;
  WalkRequestStorage(const WalkRequestStorage&) = delete;
  WalkRequestStorage& operator=(const WalkRequestStorage&) = delete;

  /// The request cut at its markers (views into the request's text); all
  /// empty when a marker is missing.
  WalkFields names;
  std::string current_path;
  std::vector<std::string> argument_texts;
};

/// Outcome of decoding a walk request.
enum class WalkDecodeStatus {
  kReady,              // the path and the arguments are filled in
  kNoArgumentObject,   // the request carried no text
  kNameMarkers,        // a name marker is missing, or they are out of order
  kZeroByte,           // a name or an argument holds a zero byte
  kPathTooLong,        // a path of the naming rule would pass its limit
  kTooManyArguments,   // more than kWalkArgumentSlots arguments
  kNameLeavesFolder,   // a user or model name holds '/' or is "." or ".."
};

/// Why a request with `status` (not kReady) is refused, in a person's words.
std::string WalkRefusalReason(WalkDecodeStatus status);

/// Decodes a walk request into `*storage` (fresh from its constructor):
/// cuts the names (kept in storage->names, views into `*request`, whenever
/// the markers are there, refused or not), composes the current list's
/// path under `preferences_directory` (which ends in a slash; refused when
/// any of the three paths of the naming rule would be too long) and takes
/// the walk arguments (the text after the last ":arg:" is dropped).
/// Anything but kReady leaves the path and the arguments empty. Names go
/// in unchanged, empty ones included, unless they would name another
/// folder than the preferences folder.
WalkDecodeStatus DecodeWalkRequest(const std::optional<std::string>& request,
                                   std::string_view preferences_directory, WalkRequestStorage* storage);

/// One walk as the service runs it: in a process of its own
/// (RunWalkInItsProcess), or as a test says.
using WalkRunner = std::function<WalkRun(const WalkJob& job, const std::optional<std::string>& mibs)>;

/// What walk requests take from the process, set at start-up.
struct WalkEnvironment {
  /// Directory of the profile property lists, ending in a slash (the
  /// service sets it at start-up).
  std::string preferences_directory;
  /// Runs each walk; empty: each walk runs in a process of its own.
  WalkRunner run;
  /// Receives the log line of every walk request; null: the system log.
  void (*log)(std::string_view line) = nullptr;
};

/// Replaces the process's walk environment for the walk requests that
/// start afterwards.
void SetWalkEnvironment(WalkEnvironment environment);

/// For a service that stops: walks waiting for their turn and later ones
/// are abandoned, and the processes of running walks are killed
/// (walk_supervisor.h). Safe to call from any thread.
void StopWalks();

/// The whole walk request (`mibwalk_XPC:reply:`): decodes the request,
/// waits for its turn (walk_admission.h: walks of one list one after the
/// other, however the list is named, and a bounded number at once), runs
/// the walk in its own process, checks what it reports, brings the profile
/// list up to date in the service (UpdateProfileListFile), replies
/// "iRet=<result>" and then logs "xpc - mibwalk_XPC - iRet=<result>" (and
/// one more line when the walk's process ended without a result or broke
/// a rule: the profile list is then not changed). The list is merged as
/// for a failed walk when the walk outlasted its deadline. A request that
/// cannot be decoded is not walked: it gets "iRet=-1" and the same log
/// line. An `-m` whose files are not regular files the walk may read is a
/// usage error of the walk (-1, merged as a failed walk, nothing sent);
/// one that passes holds from the next walk on. A walk abandoned because
/// the service stops gets no reply and no log line. Before the walk the
/// preferences folder is created when it is missing
/// (preferences_on_demand.h). With the verbose log on, one more entry
/// tells user, model, device, result and reason. The service tells what it
/// knows itself: the device is the address the request names, a completed
/// walk's reason says what the service merged, and the notes of the walk's
/// process give the reason of a failed walk only.
void RunWalkRequest(const std::optional<std::string>& request, const xpc::Reply& reply);

/// As RunWalkRequest, with the reply "iRet=<result>" ZVXPC_REASON_MARKER
/// and the reason the verbose entry gives (one line of UTF-8; for a walk
/// that completed, what it found): the explained walk
/// (`mibwalkReason_XPC:reply:`).
void RunExplainedWalkRequest(const std::optional<std::string>& request, const xpc::Reply& reply);

/// The folder of the profile lists, ending in a slash.
std::string WalkPreferencesDirectory();

/// Walks running now, and walks waiting for their turn.
int WalksRunning();
int WalksWaiting();

}  // namespace zv
