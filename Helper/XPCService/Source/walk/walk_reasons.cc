// SPDX-License-Identifier: MIT
#include "walk/walk_reasons.h"

#include <fcntl.h>
#include <unistd.h>

#include <net-snmp/net-snmp-includes.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/posix_io.h"
#include "report/debug_sink.h"
#include "report/walk_globals.h"
#include "walk/request_wait.h"

namespace zv {
namespace {

constexpr double kMicrosecondsPerSecond = 1e6;

const char* PeerName(const netsnmp_session& session) { return session.peername != nullptr ? session.peername : ""; }

// The device's SNMPv3 reports of a wrong key (usmStatsWrongDigests) or an
// unknown user (usmStatsUnknownUserNames), as the library names them.
bool IsAuthenticationFailure(int snmp_error) {
  return snmp_error == SNMPERR_AUTHENTICATION_FAILURE || snmp_error == SNMPERR_UNKNOWN_USER_NAME;
}

// An SNMPv3 device that answered the engine discovery and then leaves an
// encrypted request unanswered most likely could not decrypt it: a wrong
// privacy pass phrase or key gets no report, the device drops the request.
bool SilentAfterDiscovery(const netsnmp_session& session) {
  return session.version == SNMP_VERSION_3 && session.securityLevel == SNMP_SEC_LEVEL_AUTHPRIV &&
         session.securityEngineIDLen > 0;
}

// What a silent device most likely means: a wrong community for SNMPv1
// and SNMPv2c (a device drops a request with a community it does not
// know), a wrong privacy key for SNMPv3 after its engine discovery.
const char* SilenceHint(const netsnmp_session& session) {
  if (session.version == SNMP_VERSION_1 || session.version == SNMP_VERSION_2c) {
    return " (check the address and the community: a device drops a request with a community it does not know)";
  }
  if (SilentAfterDiscovery(session)) {
    return " after its SNMPv3 engine discovery (check the privacy pass phrase: a device drops what it cannot "
           "decrypt)";
  }
  return "";
}

// The authentication protocol the walk asked for, as -a names it.
std::string AuthProtocolName(const netsnmp_session& session) {
  const int type = sc_get_authtype(session.securityAuthProto, static_cast<u_int>(session.securityAuthProtoLen));
  const char* name = type < 0 ? nullptr : usm_lookup_auth_str(type);
  return name != nullptr ? name : "unknown";
}

}  // namespace

void NoteWalkDevice(const netsnmp_session& session) {
  if (!WalkNotesWanted()) return;
  NoteWalk(WalkNote::kDevice, session.peername != nullptr ? session.peername : "");
}

void NoteTimeout(const netsnmp_session& session, bool deadline_passed) {
  if (deadline_passed) {
    NoteWalkReason("the walk was cut at its time limit of %lld s", static_cast<long long>(walk_clock.limit.count()));
    return;
  }
  const int retries = session.retries < 0 ? 0 : session.retries;
  const double wait = static_cast<double>(session.timeout) * (retries + 1) / kMicrosecondsPerSecond;
  NoteWalkReason("%s did not answer within %g s (%d %s)%s", PeerName(session), wait, retries,
                 retries == 1 ? "retry" : "retries", SilenceHint(session));
}

void NoteSessionFailure(netsnmp_session* session) {
  if (!WalkNotesWanted()) return;
  int system_errno = 0;
  int snmp_errno_value = 0;
  char* text = nullptr;
  snmp_error(session, &system_errno, &snmp_errno_value, &text);
  if (snmp_errno_value == SNMPERR_TIMEOUT) {
    NoteTimeout(*session, WalkDeadlinePassed());
  } else if (IsAuthenticationFailure(snmp_errno_value)) {
    NoteWalkReason("authentication failed with -a %s (check the user, the pass phrases and the protocol)",
                   AuthProtocolName(*session).c_str());
  } else if (snmp_errno_value == SNMPERR_BAD_ADDRESS) {
    NoteWalkReason("unknown host %s", PeerName(*session));
  } else {
    NoteWalkReason("the request failed: %s", text != nullptr ? text : "unknown error");
  }
  std::free(text);
}

void NoteErrorStatus(long status) {
  NoteWalkReason("the device answered with error status %ld (%s)", status, snmp_errstring(static_cast<int>(status)));
}

void NoteBadRoot(const char* root) {
  const char* text = root != nullptr ? root : "";
  NoteWalkReason("the root '%s' is not an OID%s", text, text[0] == '-' ? " (options go before the address)" : "");
}

}  // namespace zv
