// SPDX-License-Identifier: MIT
// The walk's GETBULK requests: which walks send them, how many variables
// each asks for, how one is made, and what its answer lets the walk do.
//
// A GETBULK request with non-repeaters 0, max-repetitions N and one
// variable, the current OID, asks for the N variables that N GETNEXT
// requests would bring one by one. The walk reads an answer exactly as it
// reads GETNEXT answers, variable by variable, but only an answer that such
// a sequence can be: no more variables than asked for, each OID after the
// one before it (the first after the OID asked for), and no exception
// value but endOfMibView, and that only at its end. Any other answer is
// not read at all, not even as the walk's end: the walk goes on by GETNEXT
// from where it is and takes GETNEXT's word for the rest of the walk, so
// that a printer whose GETBULK is broken, or lies, still gives the list of
// the walk by GETNEXT, only slower. A tooBig asks again with fewer
// repetitions. A GETBULK left unanswered also sends the walk on by
// GETNEXT; the walk driver decides that one, and what it tells of the
// device (a device deaf to GETBULK, below).
//
// Repetitions are fixed (the walk's "-C r", or the service's default), or
// automatic: the walk starts at kFirstAutoBulkRepetitions (or, when the
// service knows the device, at the most repetitions that came back whole in
// its last walk: SetRememberedBulkRepetitions) and doubles them,
// up to kMaxBulkRepetitions, while answers come back whole (as many
// variables as asked for) and the next one, at the size of the largest
// variable seen, still fits the largest message the session allows. A
// tooBig, or an answer cut short (fewer variables than asked for, the
// walk's end not in it), takes the walk back to the most repetitions that
// came back whole, and it grows no more.
#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

#include <cstddef>

#include "report/walk_limits.h"

namespace zv {

/// The repetitions of an automatic walk's first GETBULK, for a device
/// whose last walk is not known.
inline constexpr int kFirstAutoBulkRepetitions = 25;


/// Room kept for what a message holds besides its variables (header,
/// community or SNMPv3 security parameters, PDU fields) when an automatic
/// walk predicts the size of its next answer.
inline constexpr std::size_t kMessageRoomBesideVariables = 256;

/// The repetitions a walk's GETBULK requests start with: 0 (walk by
/// GETNEXT) for an SNMPv1 session, which has no GETBULK, and for a device
/// known to be deaf to GETBULK (SetDeviceDeafToGetBulk); else `asked` (the
/// walk's own "-C r") when it is not 0; else DefaultBulkRepetitions(),
/// which may be kAutoBulkRepetitions.
int BulkRepetitionsForWalk(long snmp_version, int asked);

/// True when a walk of `snmp_version` whose own "-C r" gave `asked` asks
/// by GETBULK, whatever is known of its device.
bool WalkAsksForGetBulk(long snmp_version, int asked);

/// How many variables a walk's next GETBULK asks for.
struct BulkSizing {
  int repetitions = 0;     // of the next GETBULK; 0: the walk goes by GETNEXT
  bool grows = false;      // automatic, and still growing
  int whole = 0;           // the most repetitions that came back whole; 0: none yet
  bool automatic = false;  // sized to the device's answers, not fixed
};

/// The sizing of a walk that BulkRepetitionsForWalk gave `repetitions`:
/// kAutoBulkRepetitions starts at RememberedBulkRepetitions(), else at
/// kFirstAutoBulkRepetitions, and grows; any other value stays as it is.
BulkSizing StartBulkSizing(int repetitions);

/// Before a walk: the most repetitions that came back whole in the last
/// walk of the device of the walks that start afterwards in this process
/// (1 to kMaxBulkRepetitions; 0, the value at process start: unknown).
void SetRememberedBulkRepetitions(int repetitions);

/// The value SetRememberedBulkRepetitions set.
int RememberedBulkRepetitions();

/// Follows an answer the walk read (`answer`, judged kTake) to a GETBULK
/// that `sizing` sized. A whole answer (as many variables as asked for, or
/// the walk's end in it: `walk_goes_on` false) is noted, and a growing
/// sizing, for as many variables as asked for,
/// doubles (at most kMaxBulkRepetitions, and no more than answers of
/// `answer`'s largest variable fit in `largest_message` bytes, less
/// kMessageRoomBesideVariables). An answer cut short while
/// `walk_goes_on` ends a growing sizing at its most whole repetitions (or
/// at the count that came back, when none came back whole yet). A fixed
/// sizing keeps its repetitions.
void SizeAfterAnswer(BulkSizing* sizing, const netsnmp_pdu& answer, bool walk_goes_on, std::size_t largest_message);

/// Follows a tooBig answer: the most repetitions that came back whole when
/// they are fewer than asked, else half of them (at least 1); the sizing
/// grows no more.
void SizeAfterTooBig(BulkSizing* sizing);

/// A new GETBULK request for `name` (non-repeaters 0, max-repetitions
/// `repetitions`), owned by the caller; null when the library has no
/// memory for it.
netsnmp_pdu* NewBulkRequest(const oid* name, std::size_t length, int repetitions);

/// What a walk does with a response to a GETBULK request: take it, ask
/// again with fewer repetitions, or (every other value, a fault of the
/// device's GETBULK) go on by GETNEXT from where it is.
enum class BulkAnswer {
  kTake,                 // read its variables as GETNEXT answers
  kAskForFewer,          // tooBig: ask again as SizeAfterTooBig says
  kErrorStatus,          // any other error status, tooBig at 1 repetition included
  kNoVariables,          // no variables at all
  kTooManyVariables,     // more variables than asked for
  kOutOfOrder,           // an OID not after the one before it (the first: the OID asked for)
  kExceptionBeforeEnd,   // endOfMibView followed by another variable
  kOnlyGetException,     // noSuchObject or noSuchInstance, which GETNEXT never gives
};

/// Judges `response` to a GETBULK request for `asked` (`asked_length`
/// sub-identifiers) that asked for `repetitions`: kAskForFewer for tooBig
/// while `repetitions` is above 1, else kErrorStatus, kNoVariables and
/// kTooManyVariables in that order, else the fault of the first variable
/// that has one, else kTake. The order is checked for variables that are
/// not exception values (endOfMibView comes back under the OID asked
/// for); a run of endOfMibView at the end is the walk's end.
BulkAnswer JudgeBulkAnswer(const netsnmp_pdu& response, const oid* asked, std::size_t asked_length,
                           int repetitions);

/// The fault a BulkAnswer other than kTake and kAskForFewer stands for, as
/// the end of "the device's answer to GETBULK ..." ("was out of order");
/// "" for those two.
const char* BulkAnswerFault(BulkAnswer answer);

/// Before a walk: true says that the device of the walks that start
/// afterwards in this process is known to leave GETBULK requests
/// unanswered: they send no GETBULK and walk by GETNEXT from their first
/// request, whatever the default or their own "-C r" ask for. False (the
/// value at process start) lets them use GETBULK. Meant for the service,
/// which remembers the devices that WalkFoundDeviceDeafToGetBulk named.
void SetDeviceDeafToGetBulk(bool deaf);

/// The value SetDeviceDeafToGetBulk set.
bool DeviceDeafToGetBulk();

/// After a walk: true when the walk that ran last in this process found
/// its device deaf to GETBULK: its first GETBULK went unanswered within
/// its one try, and the GETNEXT it sent instead, from the same OID, was
/// answered. False when a GETBULK of the walk was answered (one dropped
/// later in the walk is a lost request, not deafness), when the device
/// answered neither, and when the walk sent no GETBULK. Each walk's request
/// loop starts it at false; a walk that ends before its first request (a
/// usage error, a root that does not parse, a session that does not open)
/// leaves the value of the walk before it.
bool WalkFoundDeviceDeafToGetBulk();

/// The walk's request loop: sets what WalkFoundDeviceDeafToGetBulk tells.
void SetWalkFoundDeviceDeafToGetBulk(bool found);

/// After a walk: what its GETBULK requests met. Each walk's request loop
/// starts it afresh, as WalkFoundDeviceDeafToGetBulk.
struct WalkBulkOutcome {
  bool answered = false;  // the device answered a GETBULK of the walk
  int whole = 0;          // the most repetitions that came back whole in an automatic walk; 0: none
};
WalkBulkOutcome LastWalkBulkOutcome();

/// The walk's request loop: sets what LastWalkBulkOutcome tells.
void SetLastWalkBulkOutcome(const WalkBulkOutcome& outcome);

}  // namespace zv
