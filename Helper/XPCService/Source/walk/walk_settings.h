// SPDX-License-Identifier: MIT
// The three walk settings: booleans in the application part of Net-SNMP's
// default store, registered as configuration tokens of the configuration
// type "snmpwalk" (so `DIR/snmpwalk.conf` or a "[snmpwalk] ..." line can
// preset them). All false at process start; a `-C` letter toggles one for
// the current walk and every later walk of the process.
#pragma once

namespace zv {

enum class WalkSetting : int {
  kIncludeRequested = 1,   // fetch the root itself with one GET first ("-Ci")
  kPrintStatistics = 2,    // hand the variable count to the debug sink ("-Cp")
  kDontCheckOrdering = 3,  // accept OIDs that do not increase ("-Cc")
};

/// Registers the three settings with the library. Registration appends to
/// a list inside the library on every call, so it happens once per process
/// whatever the number of calls; it must come before the library is
/// initialised, or the configuration tokens are ignored. Never resets a
/// value.
void RegisterWalkSettings();

/// The setting's current value.
bool WalkSettingOn(WalkSetting setting);

/// Flips the setting for this and every later walk of the process.
void ToggleWalkSetting(WalkSetting setting);

}  // namespace zv
