// SPDX-License-Identifier: MIT
#include "walk/request_wait.h"

#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/large_fd_set.h>
#include <sys/select.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>

#include "platform/posix_io.h"
#include "report/walk_globals.h"
#include "walk/walk_driver.h"

namespace zv {
namespace {

using Clock = std::chrono::steady_clock;

// Longest single wait: how late an abandonment may be noticed.
constexpr std::chrono::milliseconds kWaitSlice{50};

std::atomic<bool> walks_abandoned{false};

// What the library's response callback leaves for the waiting loop.
struct PendingRequest {
  int request_id = 0;
  bool waiting = false;
  WaitOutcome outcome = WaitOutcome::kFailed;
  netsnmp_pdu* response = nullptr;
};

// The session's callback while a request is pending: takes the answer to
// this request (a copy, since the library frees its own), a timeout after
// the last retry, a report or a disconnection; ignores answers to earlier
// requests. An SNMPv3 report that the library will resend after (the
// device's time window) keeps the request waiting.
int TakeAnswer(int operation, netsnmp_session* session, int request_id, netsnmp_pdu* pdu, void* magic) {
  PendingRequest& pending = *static_cast<PendingRequest*>(magic);
  if (request_id != pending.request_id && pdu != nullptr && pdu->command != SNMP_MSG_REPORT) return 0;
  pending.waiting = false;
  if (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && pdu != nullptr) {
    if (pdu->command == SNMP_MSG_REPORT) {
      const int report = snmpv3_get_report_type(pdu);
      pending.waiting = report == SNMPERR_NOT_IN_TIME_WINDOW;
      pending.outcome = WaitOutcome::kFailed;
      session->s_snmp_errno = report;
    } else if (pdu->command == SNMP_MSG_RESPONSE) {
      pending.response = snmp_clone_pdu(pdu);
      pending.outcome = WaitOutcome::kAnswered;
      session->s_snmp_errno = SNMPERR_SUCCESS;
    } else {
      pending.outcome = WaitOutcome::kFailed;
      session->s_snmp_errno = SNMPERR_PROTOCOL;
    }
  } else if (operation == NETSNMP_CALLBACK_OP_TIMED_OUT) {
    pending.outcome = WaitOutcome::kTimedOut;
    session->s_snmp_errno = SNMPERR_TIMEOUT;
  } else {
    pending.outcome = WaitOutcome::kFailed;
    session->s_snmp_errno = SNMPERR_ABORT;
  }
  return 1;
}

// The wait of one slice: the library's own next retransmission time, cut
// to the slice and to the walk's deadline.
timeval NextWait(const timeval& library_wait, bool library_blocks) {
  auto wait = std::min<Clock::duration>(kWaitSlice, walk_clock.deadline - Clock::now());
  if (!library_blocks) {
    wait = std::min<Clock::duration>(
        wait, std::chrono::seconds(library_wait.tv_sec) + std::chrono::microseconds(library_wait.tv_usec));
  }
  const auto microseconds = std::max<long long>(
      0, std::chrono::duration_cast<std::chrono::microseconds>(wait).count());
  return timeval{static_cast<time_t>(microseconds / 1000000), static_cast<suseconds_t>(microseconds % 1000000)};
}

// One slice: reads what arrived, or lets the library retransmit or give up
// when its own timer ran out. False on a select failure.
bool WaitOneSlice(void* handle) {
  netsnmp_large_fd_set descriptors;
  netsnmp_large_fd_set_init(&descriptors, FD_SETSIZE);
  int descriptor_count = 0;
  // On entry, 1 says "no timeout of the caller's": the library then gives
  // its own next retransmission time. With 0 it would take the zero in
  // `library_wait` as the caller's limit, and every slice would return at
  // once, spinning until the answer came.
  int block = 1;
  timeval library_wait{};
  snmp_sess_select_info2_flags(handle, &descriptor_count, &descriptors, &library_wait, &block,
                               NETSNMP_SELECT_NOALARMS);
  timeval wait = NextWait(library_wait, block == 1);
  const int ready = netsnmp_large_fd_set_select(descriptor_count, &descriptors, nullptr, nullptr, &wait);
  bool ok = true;
  if (ready > 0) {
    snmp_sess_read2(handle, &descriptors);
  } else if (ready == 0) {
    snmp_sess_timeout(handle);  // retransmits or gives up only what is due
  } else if (errno != EINTR) {
    snmp_set_detail(ErrorText(errno).c_str());
    ok = false;
  }
  netsnmp_large_fd_set_cleanup(&descriptors);
  return ok;
}

// Waits until the callback ends the request, the deadline passes or walks
// are abandoned.
WaitOutcome WaitForAnswer(void* handle, PendingRequest& pending) {
  while (pending.waiting) {
    if (walks_abandoned.load()) return WaitOutcome::kAbandoned;
    if (WalkDeadlinePassed()) return WaitOutcome::kTimedOut;
    if (!WaitOneSlice(handle)) return WaitOutcome::kFailed;
  }
  return pending.outcome;
}

// An SNMPv3 session that does not know the device's engine yet asks for
// it inside the library's send, which waits with the session's retries
// and timeout and cannot be interrupted. That wait is cut to what is left
// of the walk's deadline by shortening the timeout during the send.
int SendWithinDeadline(void* handle, netsnmp_session* session, netsnmp_pdu* request) {
  const bool discovers = session->version == SNMP_VERSION_3 && session->securityEngineIDLen == 0;
  const long saved_timeout = session->timeout;
  if (discovers) {
    const long long left =
        std::chrono::duration_cast<std::chrono::microseconds>(walk_clock.deadline - Clock::now()).count();
    const long long tries = static_cast<long long>(std::max(session->retries, 0)) + 1;
    const long long per_try = std::max<long long>(left / tries, 1000);
    if (per_try < session->timeout) session->timeout = static_cast<long>(per_try);
  }
  const int request_id = snmp_sess_send(handle, request);
  session->timeout = saved_timeout;
  return request_id;
}

// The library decides whether a request that timed out is sent again
// from the session's retries at that moment, not at the send: `retries`,
// unless negative, takes their place while the answer is awaited.
WaitOutcome SendAndWaitOn(void* handle, netsnmp_session* session, netsnmp_pdu* request, int retries,
                          netsnmp_pdu** response) {
  PendingRequest pending;
  const snmp_callback saved_callback = session->callback;
  void* const saved_magic = session->callback_magic;
  const int saved_retries = session->retries;
  session->callback = TakeAnswer;
  session->callback_magic = &pending;
  pending.request_id = SendWithinDeadline(handle, session, request);
  WaitOutcome outcome = WaitOutcome::kFailed;
  if (pending.request_id == 0) {
    snmp_free_pdu(request);
  } else {
    if (retries >= 0) session->retries = retries;
    pending.waiting = true;
    outcome = WaitForAnswer(handle, pending);
  }
  // The pending record ends here: the library must never call back into it.
  session->callback = saved_callback;
  session->callback_magic = saved_magic;
  session->retries = saved_retries;
  if (outcome == WaitOutcome::kAnswered) {
    *response = pending.response;
  } else if (pending.response != nullptr) {
    snmp_free_pdu(pending.response);
  }
  return outcome;
}

}  // namespace

void AbandonWalks() { walks_abandoned.store(true); }

bool WalksAbandoned() { return walks_abandoned.load(); }

bool WalkDeadlinePassed() { return Clock::now() >= walk_clock.deadline; }

int SetWalkTimeLimit(int seconds) {
  const auto before = walk_clock.limit;
  walk_clock.limit = std::chrono::seconds(std::max(seconds, 1));
  return static_cast<int>(before.count());
}

void StartWalkDeadline() { walk_clock.deadline = Clock::now() + walk_clock.limit; }

WaitOutcome SendAndWait(netsnmp_session* session, netsnmp_pdu* request, netsnmp_pdu** response) {
  return SendAndWaitRetrying(session, request, -1, response);
}

WaitOutcome SendAndWaitRetrying(netsnmp_session* session, netsnmp_pdu* request, int retries,
                                netsnmp_pdu** response) {
  *response = nullptr;
  if (walks_abandoned.load()) {
    snmp_free_pdu(request);
    return WaitOutcome::kAbandoned;
  }
  void* const handle = snmp_sess_pointer(session);
  if (handle == nullptr) {
    snmp_free_pdu(request);
    return WaitOutcome::kFailed;
  }
  // The library finds the session's callback through the pointer it
  // handed out, which is `session` itself for a traditional session.
  return SendAndWaitOn(handle, snmp_sess_session(handle), request, retries, response);
}

}  // namespace zv
