// SPDX-License-Identifier: MIT
// Sending one request and waiting for its answer, as the library's
// synchronous call does, but in slices, so that a walk can be ended from
// outside (the service stops) or by its own wall-clock deadline.
#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

namespace zv {

/// How SendAndWait ended. A type of the wait's own rather than the
/// library's STAT_* numbers, which an outcome the library does not have
/// (abandoned) could one day collide with.
enum class WaitOutcome {
  kAnswered,   // an answer came: *response holds it
  kFailed,     // the send or the receive failed, or an SNMPv3 report came
  kTimedOut,   // the retries ran out, or the walk's deadline passed
  kAbandoned,  // walks were abandoned while it waited (or before)
};

/// Starts the deadline of the walk that begins now (walk_globals.h): the
/// walk time limit (SetWalkTimeLimit) from now on.
void StartWalkDeadline();

/// True once the deadline that StartWalkDeadline set has passed.
bool WalkDeadlinePassed();

/// True once AbandonWalks has been called in this process.
bool WalksAbandoned();

/// Sends `request` (always consumed) over `session`, a session opened with
/// snmp_open, and waits for the answer with the session's retries and
/// timeout. Returns kAnswered with `*response` set (the caller frees it),
/// kFailed, kTimedOut when the retries ran out or the walk's deadline
/// passed, and kAbandoned within about 0.05 s of AbandonWalks. An SNMPv3
/// engine discovery that the send makes first is cut to the deadline but
/// not abandoned. `*response` is null unless kAnswered. A request left
/// unanswered stays with the session until it is closed.
WaitOutcome SendAndWait(netsnmp_session* session, netsnmp_pdu* request, netsnmp_pdu** response);

/// As SendAndWait, but the request is sent again at most `retries` times
/// (0: once only; negative: the session's own retries); each try waits
/// the session's timeout. The session's retries are its own again when
/// the call returns, and an SNMPv3 engine discovery that the send makes
/// first still uses them.
WaitOutcome SendAndWaitRetrying(netsnmp_session* session, netsnmp_pdu* request, int retries,
                                netsnmp_pdu** response);

}  // namespace zv
