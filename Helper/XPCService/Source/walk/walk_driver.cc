// SPDX-License-Identifier: MIT
#include "walk/walk_driver.h"

#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "report/debug_sink.h"
#include "report/walk_protocol.h"
#include "walk/bulk_requests.h"
#include "walk/request_wait.h"
#include "walk/snmp_library.h"
#include "walk/spool_list.h"
#include "walk/walk_arguments.h"
#include "walk/walk_reasons.h"
#include "walk/walk_settings.h"

namespace {

constexpr const char* kReportContext = "snmpwalk";
constexpr int kDefaultRetries = 3;
constexpr long kDefaultTimeoutMicroseconds = 250000;
constexpr oid kDefaultRoot[] = {1, 3, 6, 1, 2, 1};
// Room for an OID of 128 sub-identifiers printed as text.
constexpr std::size_t kOidTextSize = MAX_OID_LEN * 12;
// Room for one printed variable handed to the debug sink.
constexpr std::size_t kVariableTextSize = 1024;

// An OID in a fixed buffer: copied, never allocated.
struct WalkOid {
  oid ids[MAX_OID_LEN];
  std::size_t length;
};

void CopyOid(WalkOid& target, const oid* ids, std::size_t length) {
  target.length = std::min<std::size_t>(length, MAX_OID_LEN);
  std::copy(ids, ids + target.length, target.ids);
}

long request_limit = zv::kDefaultWalkRequestLimit;
zv::WalkStages walk_stages;

void CountVariable() {
  if (numprinted < INT32_MAX) ++numprinted;
}

// ---- Before the session ------------------------------------------------

// Parser results other than an index, -1 and -2 count as usage errors, so
// that no negative value is ever used as an index.
int NormaliseParseResult(int parsed) {
  if (parsed >= 0 || parsed == zv::kParseNothingToWalk) return parsed;
  return zv::kParseUsageError;
}

// The root from argv[index], or 1.3.6.1.2.1 when there is no such argument.
bool ParseRoot(int argc, char** argv, int index, WalkOid& root) {
  if (index >= argc) {
    CopyOid(root, kDefaultRoot, sizeof kDefaultRoot / sizeof kDefaultRoot[0]);
    return true;
  }
  return zv::ParseWalkRoot(argv[index], root.ids, &root.length);
}

void ApplySessionDefaults(netsnmp_session& session) {
  if (session.retries == SNMP_DEFAULT_RETRIES) session.retries = kDefaultRetries;
  if (session.timeout == SNMP_DEFAULT_TIMEOUT) session.timeout = kDefaultTimeoutMicroseconds;
}

// ---- The request loop ---------------------------------------------------

// The session's own retries, for a request that gets no other number.
constexpr int kSessionRetries = -1;

struct WalkLoop {
  netsnmp_session* session;
  WalkOid root;
  WalkOid current;
  bool check_ordering;
  zv::BulkSizing bulk;  // the next GETBULK's repetitions; 0: the walk goes on by GETNEXT
  bool running = true;
  int result = 0;
  zv::WaitOutcome last_outcome = zv::WaitOutcome::kAnswered;
  bool bulk_answered = false;          // a GETBULK of this walk had an answer
  bool getnext_try_spent = false;      // an unanswered GETBULK took one try of the next GETNEXT
  bool first_bulk_unanswered = false;  // that GETBULK was the walk's first
};

void EndWalk(WalkLoop& loop, int result) {
  loop.result = result;
  loop.running = false;
}

bool InsideSubtree(const WalkOid& root, const netsnmp_variable_list& variable) {
  return variable.name_length >= root.length &&
         std::equal(root.ids, root.ids + root.length, variable.name);
}

bool IsExceptionValue(u_char type) {
  return type == SNMP_NOSUCHOBJECT || type == SNMP_NOSUCHINSTANCE || type == SNMP_ENDOFMIBVIEW;
}

void PrintOid(char* text, std::size_t size, const oid* ids, std::size_t length) {
  if (snprint_objid(text, size, ids, length) < 0) std::snprintf(text, size, "(unprintable)");
}

void ReportNotIncreasing(const WalkLoop& loop, const netsnmp_variable_list& variable) {
  char asked[kOidTextSize];
  char returned[kOidTextSize];
  PrintOid(asked, sizeof asked, loop.current.ids, loop.current.length);
  PrintOid(returned, sizeof returned, variable.name, variable.name_length);
  zv::FormatFailure("[SNMP] Error: OID not increasing: %s >= %s", asked, returned);
}

// With the ordering check on, an OID that does not increase ends the walk.
// With it off, the OID asked for coming back would make the next request
// the same as this one, for ever: that ends the walk too.
void CheckProgress(WalkLoop& loop, const netsnmp_variable_list& variable) {
  const int order = snmp_oid_compare(loop.current.ids, loop.current.length, variable.name,
                                     variable.name_length);
  if (loop.check_ordering ? order < 0 : order != 0) return;
  if (loop.check_ordering) {
    ReportNotIncreasing(loop, variable);
  } else {
    zv::FormatFailure("[SNMP] Error: the device returned the OID asked for");
  }
  EndWalk(loop, 1);
}

void TakeVariable(WalkLoop& loop, const netsnmp_variable_list& variable) {
  if (!InsideSubtree(loop.root, variable)) {
    loop.running = false;
    return;
  }
  CountVariable();
  vSpoolPlist(variable.name, variable.name_length, &variable, 0);
  if (IsExceptionValue(variable.type)) {
    loop.running = false;
    return;
  }
  CheckProgress(loop, variable);
  CopyOid(loop.current, variable.name, variable.name_length);
}

// A GETBULK answer holds the variables that GETNEXT requests would have
// brought one by one: its reading stops where the walk would have stopped
// sending them, at the first variable that ends the walk.
void TakeVariables(WalkLoop& loop, const netsnmp_pdu& response, bool bulk_answer) {
  if (response.variables == nullptr) {
    // Asking again would get the same empty answer.
    zv::FormatFailure("[SNMP] Error: response without variables");
    EndWalk(loop, 1);
    return;
  }
  for (const netsnmp_variable_list* variable = response.variables; variable != nullptr;
       variable = variable->next_variable) {
    TakeVariable(loop, *variable);
    if (bulk_answer && !loop.running) return;
  }
}

void TakeResponse(WalkLoop& loop, zv::WaitOutcome outcome, const netsnmp_pdu* response, bool bulk_answer) {
  loop.last_outcome = outcome;
  if (outcome == zv::WaitOutcome::kAbandoned) {
    EndWalk(loop, 1);
  } else if (outcome == zv::WaitOutcome::kTimedOut) {
    zv::NoteTimeout(*loop.session, zv::WalkDeadlinePassed());
    EndWalk(loop, 1);
  } else if (outcome != zv::WaitOutcome::kAnswered || response == nullptr) {
    snmp_sess_perror(kReportContext, loop.session);
    zv::NoteSessionFailure(loop.session);
    EndWalk(loop, 1);
  } else if (response->errstat == SNMP_ERR_NOSUCHNAME) {
    loop.running = false;
  } else if (response->errstat != SNMP_ERR_NOERROR) {
    zv::NoteErrorStatus(response->errstat);
    EndWalk(loop, 2);
  } else {
    TakeVariables(loop, *response, bulk_answer);
  }
}

// Sends `request` (null: the library had no memory for it) with `retries`
// (kSessionRetries: the session's) and waits.
zv::WaitOutcome SendNewRequest(netsnmp_session* session, netsnmp_pdu* request, int retries,
                               netsnmp_pdu** response) {
  *response = nullptr;
  if (request == nullptr) return zv::WaitOutcome::kFailed;
  return zv::SendAndWaitRetrying(session, request, retries, response);  // frees the request
}

zv::WaitOutcome SendRequest(netsnmp_session* session, int command, const oid* name, std::size_t length,
                            netsnmp_pdu** response, int retries = kSessionRetries) {
  netsnmp_pdu* request = snmp_pdu_create(command);
  if (request != nullptr) snmp_add_null_var(request, name, length);
  return SendNewRequest(session, request, retries, response);
}

// The walk's first GETBULK went unanswered and the GETNEXT sent instead
// was answered: the device answers, but not GETBULK.
void NoteDeafToGetBulk() {
  zv::NoteWalk(zv::WalkNote::kReason, zv::kDeafToGetBulkReason);
  zv::SetWalkFoundDeviceDeafToGetBulk(true);
}

// After an unanswered GETBULK the GETNEXT has one try fewer, so that a
// device silent to both ends the walk after (retries + 1) tries in all, as
// a walk by GETNEXT alone would (one try more only without any retries).
void StepByGetNext(WalkLoop& loop) {
  const int retries = loop.getnext_try_spent ? std::max(loop.session->retries - 1, 0) : kSessionRetries;
  loop.getnext_try_spent = false;
  netsnmp_pdu* response = nullptr;
  const zv::WaitOutcome outcome =
      SendRequest(loop.session, SNMP_MSG_GETNEXT, loop.current.ids, loop.current.length, &response, retries);
  if (loop.first_bulk_unanswered && outcome == zv::WaitOutcome::kAnswered) NoteDeafToGetBulk();
  loop.first_bulk_unanswered = false;
  TakeResponse(loop, outcome, response, false);
  if (response != nullptr) snmp_free_pdu(response);
}

// Leaves GETBULK for the rest of the walk: the next request is a GETNEXT
// for the same current OID, and GETNEXT's answers count from there on.
void GoOnByGetNext(WalkLoop& loop, zv::BulkAnswer verdict, const netsnmp_pdu& response) {
  if (verdict == zv::BulkAnswer::kErrorStatus) {
    zv::NoteWalkReason("the device answered GETBULK with error status %ld; the walk went on by GETNEXT",
                       response.errstat);
  } else {
    zv::NoteWalkReason("the device's answer to GETBULK %s; the walk went on by GETNEXT",
                       zv::BulkAnswerFault(verdict));
  }
  loop.bulk.repetitions = 0;
}

// True when the answer is read as it is; otherwise the walk asks again,
// with fewer repetitions or by GETNEXT.
bool AcceptBulkAnswer(WalkLoop& loop, const netsnmp_pdu& response) {
  const zv::BulkAnswer verdict =
      zv::JudgeBulkAnswer(response, loop.current.ids, loop.current.length, loop.bulk.repetitions);
  if (verdict == zv::BulkAnswer::kTake) return true;
  if (verdict == zv::BulkAnswer::kAskForFewer) {
    zv::SizeAfterTooBig(&loop.bulk);
    zv::FormatDebugMessage("[SNMP] GETBULK answer too big: asking for %d repetitions", loop.bulk.repetitions);
  } else {
    GoOnByGetNext(loop, verdict, response);
  }
  return false;
}

// A GETBULK gets one try. Left unanswered, the walk goes on by GETNEXT
// from the same OID. The walk's first GETBULK may have met a device deaf
// to GETBULK: that is noted once the GETNEXT is answered, so that a silent
// device's walk ends with the timeout as its one reason. A later one was
// dropped, or lost (an answer too big for the network, say): a walk by
// GETNEXT meets the same silence at that variable, if at all.
bool GoOnByGetNextAfterSilence(WalkLoop& loop, zv::WaitOutcome outcome) {
  if (outcome != zv::WaitOutcome::kTimedOut || zv::WalkDeadlinePassed()) return false;
  loop.bulk.repetitions = 0;
  loop.getnext_try_spent = true;
  if (loop.bulk_answered) {
    zv::NoteWalkReason("the device left a GETBULK request unanswered; the walk went on by GETNEXT");
  } else {
    loop.first_bulk_unanswered = true;
  }
  return true;
}

// Returns false when the walk asks again from the same OID (with fewer
// repetitions, or by GETNEXT): the answer was not read.
bool StepByGetBulk(WalkLoop& loop) {
  netsnmp_pdu* response = nullptr;
  const zv::WaitOutcome outcome = SendNewRequest(
      loop.session, zv::NewBulkRequest(loop.current.ids, loop.current.length, loop.bulk.repetitions), 0, &response);
  bool read = true;
  if (outcome == zv::WaitOutcome::kAnswered && response != nullptr) {
    loop.bulk_answered = true;
    read = AcceptBulkAnswer(loop, *response);
    if (read) {
      TakeResponse(loop, outcome, response, true);
      zv::SizeAfterAnswer(&loop.bulk, *response, loop.running, loop.session->rcvMsgMaxSize);
    }
  } else if (GoOnByGetNextAfterSilence(loop, outcome)) {
    read = false;
  } else {
    TakeResponse(loop, outcome, response, true);
  }
  if (response != nullptr) snmp_free_pdu(response);
  return read;
}

// One request; true when it counts towards the request limit. A GETBULK
// whose answer was not read does not: the walk asks again from the same
// OID, and the walk by GETNEXT would not have sent it. Such requests are
// few (the repetitions only shrink, and GETNEXT follows the rest), so the
// walk by GETBULK stops where the walk by GETNEXT does.
bool StepOnce(WalkLoop& loop) {
  if (loop.bulk.repetitions > 0) return StepByGetBulk(loop);
  StepByGetNext(loop);
  return true;
}

// The optional GET of the root, the request loop (GETBULK with
// `bulk_repetitions` above 0 or kAutoBulkRepetitions, else GETNEXT) and
// the fallback GET.
int WalkSubtree(netsnmp_session* session, const WalkOid& root, int bulk_repetitions) {
  WalkLoop loop{.session = session,
                .root = root,
                .current = root,
                .check_ordering = !zv::WalkSettingOn(zv::WalkSetting::kDontCheckOrdering),
                .bulk = zv::StartBulkSizing(bulk_repetitions)};
  if (zv::WalkSettingOn(zv::WalkSetting::kIncludeRequested)) {
    snmp_get_and_print(session, root.ids, root.length);
  }
  for (long counted = 0; loop.running;) {
    if (counted == request_limit) {
      zv::FormatFailure("[SNMP] Error: walk stopped after %ld requests", counted);
      EndWalk(loop, 1);
      break;
    }
    if (StepOnce(loop)) ++counted;
  }
  // A fixed walk's whole answers say nothing of how many the device could
  // give: only an automatic walk's are worth remembering.
  zv::SetLastWalkBulkOutcome({loop.bulk_answered, loop.bulk.automatic ? loop.bulk.whole : 0});
  if (numprinted == 0 && loop.last_outcome == zv::WaitOutcome::kAnswered) {
    snmp_get_and_print(session, root.ids, root.length);
  }
  return loop.result;
}

// ---- One walk ------------------------------------------------------------

// A walk that would ask by GETBULK goes by GETNEXT because the device is
// known to leave GETBULK unanswered: its reason says so.
void NoteKnownDeafness(long snmp_version, int asked) {
  if (!zv::DeviceDeafToGetBulk() || !zv::WalkAsksForGetBulk(snmp_version, asked)) return;
  zv::NoteWalk(zv::WalkNote::kReason, zv::KnownDeafnessReason());
}

int RunWalk(int argc, char** argv, const zv::WalkStages& stages) {
  zv::StartWalkDeadline();
  zv::PrepareSnmpLibrary();
  vSpoolPlist(nullptr, 0, nullptr, 1);
  zv::SetWalkFoundDeviceDeafToGetBulk(false);
  zv::SetLastWalkBulkOutcome({});
  if (argc < 1) return zv::kParseUsageError;

  netsnmp_session session;
  zv::WalkArgumentStorage storage{};
  const int parsed = NormaliseParseResult(
      zv::ParseWalkArguments(argc, argv, &session, &storage, zv::kWalkLocalOptionLetters, optProc));
  if (stages.arguments_parsed != nullptr) stages.arguments_parsed();
  if (parsed < 0) return parsed;
  zv::NoteWalkDevice(session);

  WalkOid root{};
  if (!ParseRoot(argc, argv, parsed, root)) {
    zv::NoteBadRoot(argv[parsed]);
    return 1;
  }

  ApplySessionDefaults(session);
  netsnmp_session* open_session = snmp_open(&session);
  if (open_session == nullptr) {
    MyDebugMessage("[UTIL-MIB] SNMP Open Err\n", 0);
    snmp_sess_perror(kReportContext, &session);
    zv::NoteSessionFailure(&session);
    return 1;
  }
  if (stages.session_opened != nullptr && !stages.session_opened(open_session)) {
    snmp_close(open_session);
    return 1;
  }
  NoteKnownDeafness(session.version, storage.bulk_repetitions);
  const int result =
      WalkSubtree(open_session, root, zv::BulkRepetitionsForWalk(session.version, storage.bulk_repetitions));
  snmp_close(open_session);
  if (zv::WalkSettingOn(zv::WalkSetting::kPrintStatistics)) {
    MyDebugMessage("[UTIL-MIB] Variables found: ", numprinted);
    zv::NoteWalk(zv::WalkNote::kCount, std::to_string(numprinted));
  }
  return result;
}

// The library's own print_variable writes to standard output, which the
// service does not own (under a service manager it is the journal, in a
// client's process it is the client's): the printed form goes to the debug
// sink instead, like every other diagnostic of the walk.
void PrintVariable(const netsnmp_variable_list& variable) {
  char text[kVariableTextSize];
  if (snprint_variable(text, sizeof text, variable.name, variable.name_length, &variable) < 0) {
    std::snprintf(text, sizeof text, "(variable too long to print)");
  }
  MyDebugMessage(text, numprinted);
}

}  // namespace

void snmp_get_and_print(netsnmp_session* session, const oid* name, std::size_t name_length) {
  netsnmp_pdu* response = nullptr;
  const zv::WaitOutcome outcome = SendRequest(session, SNMP_MSG_GET, name, name_length, &response);
  if (outcome == zv::WaitOutcome::kAnswered && response != nullptr && response->errstat == SNMP_ERR_NOERROR) {
    for (const netsnmp_variable_list* variable = response->variables; variable != nullptr;
         variable = variable->next_variable) {
      CountVariable();
      PrintVariable(*variable);
    }
  }
  if (response != nullptr) snmp_free_pdu(response);
}

long zv::SetWalkRequestLimit(long limit) {
  const long before = request_limit;
  request_limit = limit < 1 ? 1 : limit;
  return before;
}

void zv::SetWalkStages(const WalkStages& stages) { walk_stages = stages; }

std::string zv::EncodeWalkOutcome(int result) {
  static const ProfileRecord kEmpty{};
  std::string messages;
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) {
    const ProfileRecord& record = PlistForSpool.slots[slot];
    if (std::memcmp(&record, &kEmpty, sizeof record) != 0) messages += EncodeRowMessage(slot + 1, record);
  }
  WalkEnd end;
  end.result = result;
  end.spool_count = PlistForSpool.iNum;
  end.variables_found = numprinted;
  end.deaf_to_bulk = WalkFoundDeviceDeafToGetBulk();
  end.bulk_answered = LastWalkBulkOutcome().answered;
  end.whole_repetitions = LastWalkBulkOutcome().whole;
  return messages + EncodeEndMessage(end);
}

int mib_walk(int argc, char** argv) {
  const int result = RunWalk(argc, argv, walk_stages);
  // A service that stops has not seen the walk fail: nothing of it counts.
  return zv::WalksAbandoned() ? zv::kWalkAbandoned : result;
}
