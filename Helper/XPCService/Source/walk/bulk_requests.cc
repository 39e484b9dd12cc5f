// SPDX-License-Identifier: MIT
#include "walk/bulk_requests.h"

#include <net-snmp/net-snmp-includes.h>

#include <algorithm>

#include "walk/walk_settings.h"

namespace zv {

int BulkRepetitionsForWalk(long snmp_version, int asked) {
  if (snmp_version == SNMP_VERSION_1) return 0;
  return asked != 0 ? asked : DefaultBulkRepetitions();
}

netsnmp_pdu* NewBulkRequest(const oid* name, std::size_t length, int repetitions) {
  netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GETBULK);
  if (request == nullptr) return nullptr;
  request->non_repeaters = 0;
  request->max_repetitions = repetitions;
  snmp_add_null_var(request, name, length);
  return request;
}

namespace {

bool IsExceptionValue(u_char type) {
  return type == SNMP_NOSUCHOBJECT || type == SNMP_NOSUCHINSTANCE || type == SNMP_ENDOFMIBVIEW;
}

// An agent's GETBULK answer begins with what a GETNEXT for the OID asked
// for would give: an OID after it, or an exception value (endOfMibView
// comes back under the OID asked for).
bool BeginsAfter(const netsnmp_variable_list& first, const oid* asked, std::size_t asked_length) {
  return IsExceptionValue(first.type) ||
         snmp_oid_compare(asked, asked_length, first.name, first.name_length) < 0;
}

}  // namespace

BulkAnswer JudgeBulkAnswer(const netsnmp_pdu& response, const oid* asked, std::size_t asked_length,
                           int repetitions) {
  if (response.errstat == SNMP_ERR_TOOBIG && repetitions > 1) return BulkAnswer::kAskForFewer;
  if (response.errstat != SNMP_ERR_NOERROR || response.variables == nullptr ||
      !BeginsAfter(*response.variables, asked, asked_length)) {
    return BulkAnswer::kGoOnByGetNext;
  }
  long count = 0;
  for (const netsnmp_variable_list* variable = response.variables; variable != nullptr;
       variable = variable->next_variable) {
    if (++count > repetitions) return BulkAnswer::kGoOnByGetNext;
  }
  return BulkAnswer::kTake;
}

int FewerBulkRepetitions(int repetitions) { return std::max(repetitions / 2, 1); }

}  // namespace zv
