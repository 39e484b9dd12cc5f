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

/// Notes that the device did not answer: "the device did not answer
/// within T s (R retries)", T being the whole wait of `session`; for an
/// SNMPv3 authPriv session whose device answered the engine discovery, a
/// hint at the privacy pass phrase follows.
void NoteNoAnswer(const netsnmp_session& session);

/// Notes why a session could not be opened or a request failed, from the
/// session's last error: "authentication failed (check the user and pass
/// phrases)" for the device's report of a wrong key or an unknown user, an
/// unknown host, a timeout, or the library's error text.
void NoteSessionFailure(netsnmp_session* session);

/// Notes an error status that the device answered with, by number and name.
void NoteErrorStatus(long status);

/// Notes a root that is not a numeric OID the walk can send.
void NoteBadRoot(const char* root);

/// Notes that the profile list at `path` could not be written because of
/// `reason`.
void NoteListNotWritten(const char* path, const std::string& reason);

/// Why the store's write-access test refused the profile list at `path`
/// (the errno text of the open that refuses, or the folder's); "the
/// write-access test refused it" when the same open now succeeds.
std::string WriteAccessRefusalReason(const char* path);

}  // namespace zv
