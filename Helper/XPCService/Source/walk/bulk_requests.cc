// SPDX-License-Identifier: MIT
#include "walk/bulk_requests.h"

#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "walk/walk_settings.h"

namespace zv {
namespace {

std::atomic<bool> device_deaf_to_getbulk{false};
std::atomic<bool> walk_found_device_deaf{false};
std::atomic<int> remembered_repetitions{0};
WalkBulkOutcome last_walk_bulk_outcome;

int CountVariables(const netsnmp_pdu& response) {
  int count = 0;
  for (const netsnmp_variable_list* variable = response.variables; variable != nullptr;
       variable = variable->next_variable) {
    ++count;
  }
  return count;
}

// The bytes `variable` takes in a message, as the library encodes it; the
// scratch buffer's size, more than any encoding of it needs, when the
// library cannot encode it.
std::size_t EncodedSize(const netsnmp_variable_list& variable) {
  oid name[MAX_OID_LEN];
  std::size_t name_length = std::min<std::size_t>(variable.name_length, MAX_OID_LEN);
  std::copy(variable.name, variable.name + name_length, name);
  // Ten bytes per sub-identifier and room for three headers.
  std::vector<u_char> buffer(variable.val_len + name_length * 10 + 32);
  std::size_t left = buffer.size();
  if (snmp_build_var_op(buffer.data(), name, &name_length, variable.type, variable.val_len, variable.val.string,
                        &left) == nullptr) {
    return buffer.size();
  }
  return buffer.size() - left;
}

std::size_t LargestEncodedVariable(const netsnmp_pdu& response) {
  std::size_t largest = 1;
  for (const netsnmp_variable_list* variable = response.variables; variable != nullptr;
       variable = variable->next_variable) {
    largest = std::max(largest, EncodedSize(*variable));
  }
  return largest;
}

// Doubles the repetitions of a growing sizing, as far as answers of
// variables as large as `answer`'s largest still fit `largest_message`.
void Grow(BulkSizing* sizing, const netsnmp_pdu& answer, std::size_t largest_message) {
  const std::size_t room =
      largest_message > kMessageRoomBesideVariables ? largest_message - kMessageRoomBesideVariables : 0;
  const std::size_t fitting = room / LargestEncodedVariable(answer);
  const int doubled = std::min(sizing->repetitions * 2, kMaxBulkRepetitions);
  sizing->repetitions = std::max(sizing->repetitions, static_cast<int>(std::min<std::size_t>(doubled, fitting)));
}

}  // namespace

bool WalkAsksForGetBulk(long snmp_version, int asked) {
  return snmp_version != SNMP_VERSION_1 && (asked != 0 || DefaultBulkRepetitions() != 0);
}

int BulkRepetitionsForWalk(long snmp_version, int asked) {
  if (!WalkAsksForGetBulk(snmp_version, asked) || DeviceDeafToGetBulk()) return 0;
  return asked != 0 ? asked : DefaultBulkRepetitions();
}

BulkSizing StartBulkSizing(int repetitions) {
  if (repetitions == kAutoBulkRepetitions) {
    const int remembered = RememberedBulkRepetitions();
    return BulkSizing{remembered > 0 ? remembered : kFirstAutoBulkRepetitions, true, 0, true};
  }
  return BulkSizing{std::max(repetitions, 0), false, 0, false};
}

void SizeAfterAnswer(BulkSizing* sizing, const netsnmp_pdu& answer, bool walk_goes_on, std::size_t largest_message) {
  const int received = CountVariables(answer);
  if (received >= sizing->repetitions) {
    sizing->whole = std::max(sizing->whole, sizing->repetitions);
    if (sizing->grows) Grow(sizing, answer, largest_message);
  } else if (!walk_goes_on) {
    // The walk's end came in it: the device gave all there was to give.
    sizing->whole = std::max(sizing->whole, sizing->repetitions);
  } else if (sizing->grows) {
    sizing->repetitions = sizing->whole > 0 ? sizing->whole : std::max(received, 1);
    sizing->grows = false;
  }
}

void SizeAfterTooBig(BulkSizing* sizing) {
  if (sizing->whole > 0 && sizing->whole < sizing->repetitions) {
    sizing->repetitions = sizing->whole;
  } else {
    sizing->repetitions = std::max(sizing->repetitions / 2, 1);
  }
  sizing->grows = false;
}

netsnmp_pdu* NewBulkRequest(const oid* name, std::size_t length, int repetitions) {
  netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GETBULK);
  if (request == nullptr) return nullptr;
  request->non_repeaters = 0;
  request->max_repetitions = repetitions;
  snmp_add_null_var(request, name, length);
  return request;
}

BulkAnswer JudgeBulkAnswer(const netsnmp_pdu& response, const oid* asked, std::size_t asked_length,
                           int repetitions) {
  if (response.errstat == SNMP_ERR_TOOBIG && repetitions > 1) return BulkAnswer::kAskForFewer;
  if (response.errstat != SNMP_ERR_NOERROR) return BulkAnswer::kErrorStatus;
  if (response.variables == nullptr) return BulkAnswer::kNoVariables;
  if (CountVariables(response) > repetitions) return BulkAnswer::kTooManyVariables;
  const oid* before = asked;
  std::size_t before_length = asked_length;
  bool ended = false;  // an endOfMibView came
  for (const netsnmp_variable_list* variable = response.variables; variable != nullptr;
       variable = variable->next_variable) {
    if (variable->type == SNMP_NOSUCHOBJECT || variable->type == SNMP_NOSUCHINSTANCE) {
      return BulkAnswer::kOnlyGetException;
    }
    if (variable->type == SNMP_ENDOFMIBVIEW) {
      ended = true;
      continue;
    }
    if (ended) return BulkAnswer::kExceptionBeforeEnd;
    if (snmp_oid_compare(before, before_length, variable->name, variable->name_length) >= 0) {
      return BulkAnswer::kOutOfOrder;
    }
    before = variable->name;
    before_length = variable->name_length;
  }
  return BulkAnswer::kTake;
}

const char* BulkAnswerFault(BulkAnswer answer) {
  switch (answer) {
    case BulkAnswer::kTake:
    case BulkAnswer::kAskForFewer: return "";
    case BulkAnswer::kErrorStatus: return "held an error status";
    case BulkAnswer::kNoVariables: return "held no variables";
    case BulkAnswer::kTooManyVariables: return "held more variables than asked for";
    case BulkAnswer::kOutOfOrder: return "was out of order";
    case BulkAnswer::kExceptionBeforeEnd: return "held endOfMibView before its end";
    case BulkAnswer::kOnlyGetException: return "held noSuchObject or noSuchInstance, which GETNEXT never gives";
  }
  return "";
}

void SetDeviceDeafToGetBulk(bool deaf) { device_deaf_to_getbulk.store(deaf); }

bool DeviceDeafToGetBulk() { return device_deaf_to_getbulk.load(); }

bool WalkFoundDeviceDeafToGetBulk() { return walk_found_device_deaf.load(); }

void SetWalkFoundDeviceDeafToGetBulk(bool found) { walk_found_device_deaf.store(found); }

void SetRememberedBulkRepetitions(int repetitions) {
  remembered_repetitions.store(std::clamp(repetitions, 0, kMaxBulkRepetitions));
}

int RememberedBulkRepetitions() { return remembered_repetitions.load(); }

WalkBulkOutcome LastWalkBulkOutcome() { return last_walk_bulk_outcome; }

void SetLastWalkBulkOutcome(const WalkBulkOutcome& outcome) { last_walk_bulk_outcome = outcome; }

}  // namespace zv
