// SPDX-License-Identifier: MIT
// The entries of `zvxpcd --verbose`: one per walk request (user, model,
// device, result and the reason, from the walk's notes) and one per file
// operation that answered FALSE (operation, path and reason). Written
// through the service's log channel (system_log.h): journal fields
// ZVXPC_USER, ZVXPC_MODEL, ZVXPC_DEVICE, ZVXPC_RESULT, ZVXPC_REASON,
// ZVXPC_OPERATION and ZVXPC_PATH, LOG_DEBUG for a success and LOG_WARNING
// for a failure. Off unless turned on: then nothing is collected or
// formatted.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zv {

/// Turns the entries on for the rest of the process (installs the walk's
/// note sink). Call at start-up, before any request is served.
void EnableVerboseLog();

/// True once EnableVerboseLog has run.
bool VerboseLogOn();

/// What one walk told about itself through its notes.
struct WalkNotes {
  std::string device;                // the device's address; empty before the arguments parsed
  std::vector<std::string> reasons;  // why it ended as it did, in order
  std::string list_problem;          // why its profile list was not written; empty when it was
  std::string last_detail;           // the last other diagnostic
};

/// Clears the notes collected so far; call before each walk.
void BeginWalkNotes();

/// The notes collected since BeginWalkNotes.
WalkNotes TakeWalkNotes();

/// The reason an entry gives for a walk with `result` and `notes`: the
/// notes' reasons joined by "; ", else a text for the result (-1 a usage
/// error with the parser's complaint, -2 nothing to walk, 0 complete, any
/// other the last diagnostic); then, after "; ", the list problem if any.
std::string WalkReasonText(int result, const WalkNotes& notes);

/// What a walk entry tells.
struct WalkEntry {
  std::string_view user;
  std::string_view model;
  std::string_view device;
  int result = 0;
  std::string_view reason;
  bool failed = false;  // the walk failed, or its list was not written
};

/// Writes the entry of one walk request.
void LogWalkEntry(const WalkEntry& entry);

/// Writes the entry of a file operation named `operation` (its name on the
/// wire) that answered FALSE for `path`, giving `reason`.
void LogFileOperationFailure(std::string_view operation, std::string_view path, std::string_view reason);

}  // namespace zv
