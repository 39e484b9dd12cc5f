// SPDX-License-Identifier: MIT
// The walk request: from a request text to the three profile paths, the
// walk's argument vector, one walk, its reply and its log line.
//
// Request text: MODEL ":ModelName:END" USER ":USErName:END", then each walk
// argument followed by ":arg:". Paths, user first and model second:
//   <preferences directory>USER-MODEL-profile.plist        (current)
//   <preferences directory>USER-MODEL-profile.prev.plist   (previous)
//   <preferences directory>USER-MODEL-profile.spool.plist  (spool)
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

/// Size of each of the walk request's three path buffers.
constexpr std::size_t kWalkPathBufferSize = 256;
// The path limits of the store's naming rule are these buffers' sizes.
static_assert(kMaxSpoolPathBytes == kWalkPathBufferSize - 1);
static_assert(kMaxStorePathBytes == ZV_PLIST_PATH_BUFFER_SIZE - 1);
/// Entries of the walk's argument vector.
constexpr std::size_t kWalkArgumentSlots = 512;
/// Longest reason a walk request gives (a walk's notes can hold many).
constexpr std::size_t kMaxWalkReasonBytes = 4096;
/// The walk result given to a request that is refused before any walk.
constexpr int kWalkRequestRefused = -1;

/// `directory` with a trailing slash added when it has none.
std::string PreferencesDirectoryFrom(std::string_view directory);

/// Everything one walk request owns: the names as the request gave them,
/// the three zero-filled path buffers and the argument vector (its entries
/// point into `argument_texts`; every entry from `argc` on is null, with
/// one more null entry after the 512 as argument vectors end). Lives
/// exactly as long as the request.
struct WalkRequestStorage {
  WalkRequestStorage();
  WalkRequestStorage(const WalkRequestStorage&) = delete;
  WalkRequestStorage& operator=(const WalkRequestStorage&) = delete;

  /// The request cut at its markers (views into the request's text); all
  /// empty when a marker is missing.
  WalkFields names;
  char current_path[kWalkPathBufferSize];
  char previous_path[kWalkPathBufferSize];
  char spool_path[kWalkPathBufferSize];
  int argc = 0;
  char* argv[kWalkArgumentSlots + 1];
  std::vector<std::string> argument_texts;
};

/// Outcome of decoding a walk request.
enum class WalkDecodeStatus {
  kReady,              // paths and vector are filled in
  kNoArgumentObject,   // the request carried no text
  kNameMarkers,        // a name marker is missing, or they are out of order
  kZeroByte,           // a name or an argument holds a zero byte
  kPathTooLong,        // a composed path would not fit its buffer
  kTooManyArguments,   // more than kWalkArgumentSlots arguments
  kNameLeavesFolder,   // a user or model name holds '/' or is "." or ".."
};

/// Why a request with `status` (not kReady) is refused, in a person's words.
std::string WalkRefusalReason(WalkDecodeStatus status);

/// Decodes a walk request into `*storage` (fresh from its constructor):
/// cuts the names (kept in storage->names, views into `*request`, whenever
/// the markers are there, refused or not), composes the three paths under `preferences_directory`
/// (which ends in a slash) and fills the argument vector (the text after
/// the last ":arg:" is dropped). Anything but kReady leaves the paths and
/// the vector empty. Names go in unchanged, empty ones included, unless
/// they would name another folder than the preferences folder.
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
