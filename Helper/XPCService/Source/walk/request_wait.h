// SPDX-License-Identifier: MIT
// Sending one request and waiting for its answer, as the library's
// synchronous call does, but in slices, so that a walk can be ended from
// outside (the service stops) or by its own wall-clock deadline.
#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

namespace zv {

/// The wait's outcome besides the library's STAT_SUCCESS, STAT_ERROR and
/// STAT_TIMEOUT: walks were abandoned while it waited (or before).
constexpr int kStatAbandoned = 3;

/// Starts the deadline of the walk that begins now: SendAndWait reports a
/// timeout once the walk time limit (SetWalkTimeLimit) has passed since.
void StartWalkDeadline();

/// True once the deadline that StartWalkDeadline set has passed.
bool WalkDeadlinePassed();

/// True once AbandonWalks has been called in this process.
bool WalksAbandoned();

/// Sends `request` (always consumed) over `session`, a session opened with
/// snmp_open, and waits for the answer with the session's retries and
/// timeout. Returns STAT_SUCCESS with `*response` set (the caller frees
/// it), STAT_ERROR (send or receive failed, or an SNMPv3 report), or
/// STAT_TIMEOUT when the retries ran out or the walk's deadline passed; and
/// kStatAbandoned within about 0.05 s of AbandonWalks. An SNMPv3 engine
/// discovery that the send makes first is cut to the deadline but not
/// abandoned. `*response` is null
/// unless STAT_SUCCESS. A request left unanswered stays with the session
/// until it is closed.
int SendAndWait(netsnmp_session* session, netsnmp_pdu* request, netsnmp_pdu** response);

}  // namespace zv
