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

namespace zv {
namespace {

constexpr double kMicrosecondsPerSecond = 1e6;

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

// The directory part of `path` ("." when it has none).
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void NoteWalkDevice(const netsnmp_session& session) {
  if (!WalkNotesWanted()) return;
  NoteWalk(WalkNote::kDevice, session.peername != nullptr ? session.peername : "");
}

void NoteNoAnswer(const netsnmp_session& session) {
  const int retries = session.retries < 0 ? 0 : session.retries;
  const double wait = static_cast<double>(session.timeout) * (retries + 1) / kMicrosecondsPerSecond;
  NoteWalkReason("the device did not answer within %g s (%d retries)%s", wait, retries,
                 SilentAfterDiscovery(session)
                     ? " after its SNMPv3 engine discovery (check the privacy pass phrase: a device drops "
                       "what it cannot decrypt)"
                     : "");
}

void NoteSessionFailure(netsnmp_session* session) {
  if (!WalkNotesWanted()) return;
  int system_errno = 0;
  int snmp_errno_value = 0;
  char* text = nullptr;
  snmp_error(session, &system_errno, &snmp_errno_value, &text);
  if (snmp_errno_value == SNMPERR_TIMEOUT) {
    NoteNoAnswer(*session);
  } else if (IsAuthenticationFailure(snmp_errno_value)) {
    NoteWalkReason("authentication failed (check the user and pass phrases)");
  } else if (snmp_errno_value == SNMPERR_BAD_ADDRESS) {
    NoteWalkReason("unknown host '%s'", session->peername != nullptr ? session->peername : "");
  } else {
    NoteWalkReason("the request failed: %s", text != nullptr ? text : "unknown error");
  }
  std::free(text);
}

void NoteErrorStatus(long status) {
  NoteWalkReason("the device answered with error status %ld (%s)", status, snmp_errstring(static_cast<int>(status)));
}

void NoteBadRoot(const char* root) {
  NoteWalkReason("'%s' is not a numeric OID to walk from", root != nullptr ? root : "");
}

void NoteListNotWritten(const char* path, const std::string& reason) {
  if (!WalkNotesWanted()) return;
  const std::string where = path != nullptr ? path : "";
  NoteWalk(WalkNote::kList, "the profile list '" + where + "' could not be written: " + reason);
}

std::string WriteAccessRefusalReason(const char* path) {
  if (path == nullptr || path[0] == '\0') return "no profile path is set";
  // The store's write-access test opens the list for writing, creating it
  // when it is missing; the same open without creating tells why it refused.
  const int fd = ::open(path, O_RDWR | O_APPEND | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) {
    ::close(fd);
    return "the write-access test refused it";
  }
  if (errno != ENOENT) return ErrnoText("open", errno);
  const std::string directory = DirectoryOf(path);
  if (::access(directory.c_str(), W_OK | X_OK) != 0) {
    return ErrnoText("folder '" + directory + "'", errno);
  }
  return "the write-access test refused it";
}

}  // namespace zv
