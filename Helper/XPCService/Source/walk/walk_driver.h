// SPDX-License-Identifier: MIT
// The walk driver: walks one subtree of one SNMP device and spools the
// rows of its profile table. It merges nothing: the walk's process reports
// the spool (EncodeWalkOutcome) and the service merges it.
#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

#include <cstddef>
#include <string>

#include "report/walk_limits.h"

/// Walks the device named in the snmpwalk-style argument vector (entry 0 is
/// a program-name slot; then options, the device's address, optionally the
/// root OID; later arguments are ignored) with one GETNEXT per variable,
/// or, when the walk asks for it ("-C r", or SetDefaultBulkRepetitions) and
/// the session is not SNMPv1, with GETBULK requests read variable by
/// variable to the same end (bulk_requests.h says when GETBULK gives way
/// to GETNEXT); clears the spool list first and hands every variable
/// inside the subtree to vSpoolPlist, in the same order and counted the
/// same either way. Runs the stages of SetWalkStages, if any.
/// Returns 0 (complete: end of the subtree or of the device's view, or
/// noSuchName), 1 (failed: bad root, session not opened, timeout, send or
/// receive error, an OID that did not increase, an empty response, or,
/// with the ordering check off, the OID asked for coming back), 2 (another
/// error status from the device), -1 (usage error; also `argc` 0) or -2
/// (nothing to walk: `-H`). No request is sent for -1 or -2.
/// A walk that outlasts the walk time limit ends as a timed-out request
/// does (1). Once AbandonWalks has been called, the walk ends and returns
/// zv::kWalkAbandoned: its spool then counts for nothing.
/// Not reentrant: callers never let two walks overlap.
int mib_walk(int argc, char** argv);

/// Sends one GET for `name` and, when the device answers without error,
/// counts each variable in `numprinted` and hands its printed form to the
/// debug sink (the service has no standard output to print to). Failures
/// are silent. The variables are not spooled.
void snmp_get_and_print(netsnmp_session* session, const oid* name, std::size_t name_length);

namespace zv {

/// What a walk's process does at two moments of a walk (null: nothing).
struct WalkStages {
  /// Once the arguments are parsed, whatever the parse gave (the `-C`
  /// toggles have then been flipped).
  void (*arguments_parsed)() = nullptr;
  /// Once the session is open (the device's name resolved, its transport
  /// made), before the first request. False ends the walk with result 1
  /// before any request: the stage notes why.
  bool (*session_opened)(netsnmp_session* session) = nullptr;
};

/// Sets the stages of later walks (each null: nothing at that moment).
void SetWalkStages(const WalkStages& stages);

/// The messages that close the report of the walk that just returned
/// `result` (walk_protocol.h): every row of the spool list that holds
/// anything, then the end, with the spool's count, the variables-found
/// counter and whether the device left the walk's GETBULK unanswered.
std::string EncodeWalkOutcome(int result);

/// Sets the request limit of later walks (at least 1); tests lower it to
/// reach it quickly. Returns the limit in force before.
long SetWalkRequestLimit(long limit);

/// Sets the time limit of later walks in seconds (at least 1); returns the
/// limit in force before.
int SetWalkTimeLimit(int seconds);

/// For a service that stops: the walk in progress, if any, ends within
/// about 0.1 s, and every later walk ends at once; all of them return
/// kWalkAbandoned and write nothing. Lasts for the life of the process.
/// Safe to call from any thread, and from a signal handler. One wait is
/// out of its reach: an SNMPv3 walk's engine discovery, inside the
/// library's send, ends only after its tries (at most the walk's time
/// limit).
void AbandonWalks();

}  // namespace zv
