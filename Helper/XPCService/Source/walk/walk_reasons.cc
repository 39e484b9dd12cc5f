// SPDX-License-Identifier: MIT
#include "walk/walk_reasons.h"

#include <fcntl.h>
#include <unistd.h>

#include <net-snmp/net-snmp-includes.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/posix_io.h"
#include "walk/debug_sink.h"
#include "walk/request_wait.h"
#include "walk/walk_state.h"

namespace zv {
namespace {

constexpr double kMicrosecondsPerSecond = 1e6;

const char* PeerName(const netsnmp_session& session) { return session.peername != nullptr ? session.peername : ""; }

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
  NoteWalkReason("%s did not answer within %g s (%d retries)", PeerName(session), wait, retries);
}

void NoteSessionFailure(netsnmp_session* session) {
  if (!WalkNotesWanted()) return;
  int system_errno = 0;
  int snmp_errno_value = 0;
  char* text = nullptr;
  snmp_error(session, &system_errno, &snmp_errno_value, &text);
  if (snmp_errno_value == SNMPERR_TIMEOUT) {
    NoteTimeout(*session, WalkDeadlinePassed());
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
