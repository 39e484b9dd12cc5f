// SPDX-License-Identifier: MIT
// The entries of `zvxpcd --verbose`: one per walk request (user, model,
// device, result and the reason, from the walk's notes) and one per file
// operation that answered FALSE (operation, path and reason). Written
// through the service's log channel (system_log.h): journal fields
// ZVXPC_USER, ZVXPC_MODEL, ZVXPC_DEVICE, ZVXPC_RESULT, ZVXPC_REASON,
// ZVXPC_OPERATION and ZVXPC_PATH, LOG_DEBUG for a success and LOG_WARNING
// for a failure. Off unless turned on. The walk's notes are collected
// either way: the explained walk gives the same reason to its client.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zv {

/// Installs the walk's note sink that collects each request's notes on its
/// own thread (the walk request does, before each walk).
void CollectWalkNotes();

/// Turns the entries on for the rest of the process. Call at start-up,
/// before any request is served.
void EnableVerboseLog();

/// True once EnableVerboseLog has run.
bool VerboseLogOn();

/// What one walk told about itself through its notes.
struct WalkNotes {
  std::string device;                // the device's address; empty before the arguments parsed
  std::vector<std::string> reasons;  // why it ended as it did, in order
  std::string list_problem;          // why its profile list was not written; empty when it was
  std::string last_detail;           // the last other diagnostic
  std::string count;                 // the variables-found counter, when -Cp asked for it
  std::string found;                 // what a walk that completed found (the request's own words)
};

/// Clears the notes collected so far; call before each walk.
void BeginWalkNotes();

/// The notes collected since BeginWalkNotes.
WalkNotes TakeWalkNotes();

/// The reason an entry gives for a walk with `result` and `notes`: for 0,
/// what the walk found, then the notes' reasons (a fallback met on the
/// way); otherwise the notes' reasons joined by "; ", else a text for the
/// result (-1 the parser's complaint, -2 nothing to walk, any other the
/// last diagnostic); then, after "; ", the variables found (-Cp) and the
/// list problem, if any.
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
