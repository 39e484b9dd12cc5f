// SPDX-License-Identifier: MIT
#include "walk/walk_settings.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace zv {
namespace {

constexpr const char* kConfigurationType = "snmpwalk";

std::atomic<int> default_bulk_repetitions{0};

void RegisterOne(const char* token, WalkSetting setting) {
  netsnmp_ds_register_config(ASN_BOOLEAN, kConfigurationType, token, NETSNMP_DS_APPLICATION_ID,
                             static_cast<int>(setting));
}

}  // namespace

void RegisterWalkSettings() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    RegisterOne("includeRequested", WalkSetting::kIncludeRequested);
    RegisterOne("printStatistics", WalkSetting::kPrintStatistics);
    RegisterOne("dontCheckOrdering", WalkSetting::kDontCheckOrdering);
  });
}

bool WalkSettingOn(WalkSetting setting) {
  return netsnmp_ds_get_boolean(NETSNMP_DS_APPLICATION_ID, static_cast<int>(setting)) == 1;
}

void ToggleWalkSetting(WalkSetting setting) {
  netsnmp_ds_toggle_boolean(NETSNMP_DS_APPLICATION_ID, static_cast<int>(setting));
}

int SetDefaultBulkRepetitions(int repetitions) {
  if (repetitions == kAutoBulkRepetitions) return default_bulk_repetitions.exchange(repetitions);
  return default_bulk_repetitions.exchange(std::clamp(repetitions, 0, kMaxBulkRepetitions));
}

int DefaultBulkRepetitions() { return default_bulk_repetitions.load(); }

}  // namespace zv
