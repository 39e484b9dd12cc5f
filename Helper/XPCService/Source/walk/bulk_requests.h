// SPDX-License-Identifier: MIT
// The walk's GETBULK requests: which walks send them, how one is made, and
// what its answer lets the walk do.
//
// A GETBULK request with non-repeaters 0, max-repetitions N and one
// variable, the current OID, asks for the N variables that N GETNEXT
// requests would bring one by one. The walk reads them exactly as it
// reads GETNEXT answers, variable by variable; only an answer that a
// device with a working GETBULK would not give sends it elsewhere: a
// tooBig asks again with fewer repetitions, and any other error status, an
// empty answer, one longer than asked for or one that does not begin after
// the OID asked for makes the walk go on by GETNEXT from where it is, so
// that a printer with a broken GETBULK still walks right, only slower. So
// does a GETBULK left unanswered by a device that answered the walk
// before (the walk driver decides that one).
#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

#include <cstddef>

namespace zv {

/// The repetitions a walk's GETBULK requests start with: 0 (walk by
/// GETNEXT) for an SNMPv1 session, which has no GETBULK; else `asked` (the
/// walk's own "-C r") when it is not 0; else DefaultBulkRepetitions().
int BulkRepetitionsForWalk(long snmp_version, int asked);

/// A new GETBULK request for `name` (non-repeaters 0, max-repetitions
/// `repetitions`), owned by the caller; null when the library has no
/// memory for it.
netsnmp_pdu* NewBulkRequest(const oid* name, std::size_t length, int repetitions);

/// What a walk does with a response to a GETBULK request.
enum class BulkAnswer {
  kTake,           // read its variables as GETNEXT answers
  kAskForFewer,    // tooBig: ask again with FewerBulkRepetitions
  kGoOnByGetNext,  // the device's GETBULK cannot be trusted: GETNEXT from here on
};

/// Judges `response` to a GETBULK request for `asked` (`asked_length`
/// sub-identifiers) that asked for `repetitions`: kAskForFewer for tooBig
/// while `repetitions` is above 1; kGoOnByGetNext for any other error
/// status (tooBig at 1 repetition included), no variables, more variables
/// than asked for, or a first variable that is not an exception value and
/// whose OID is not greater than `asked` (a GETNEXT then asks the device
/// the same question, and the walk's ordering check judges its answer as
/// in any walk by GETNEXT); kTake otherwise.
BulkAnswer JudgeBulkAnswer(const netsnmp_pdu& response, const oid* asked, std::size_t asked_length,
                           int repetitions);

/// Half of `repetitions`, at least 1.
int FewerBulkRepetitions(int repetitions);

}  // namespace zv
