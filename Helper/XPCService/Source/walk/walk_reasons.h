// SPDX-License-Identifier: MIT
// Why a walk ended as it did, told to the walk's note sink (debug_sink.h)
// in the words of the person who runs the service. Each function formats
// nothing when no note sink is installed.
#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

#include <string>

namespace zv {

/// Notes the device's address (the session's peer name) once the
/// arguments are parsed.
void NoteWalkDevice(const netsnmp_session& session);

/// Notes why a request timed out: "ADDRESS did not answer within T s (R
/// retries)", T being the whole wait of `session` (for an SNMPv3 authPriv
/// session whose device answered the engine discovery, a hint at the
/// privacy pass phrase follows); or, when the walk's own deadline ended it
/// (`deadline_passed`), that the walk was cut at its time limit.
void NoteTimeout(const netsnmp_session& session, bool deadline_passed);

/// Notes why a session could not be opened or a request failed, from the
/// session's last error: "authentication failed (check the user and pass
/// phrases)" for the device's report of a wrong key or an unknown user, an
/// unknown host, a timeout, or the library's error text.
void NoteSessionFailure(netsnmp_session* session);

/// Notes an error status that the device answered with, by number and name.
void NoteErrorStatus(long status);

/// Notes a root that is not an OID the walk can send ("the root 'R' is
/// not an OID"), with a hint when it looks like an option.
void NoteBadRoot(const char* root);

}  // namespace zv
