// SPDX-License-Identifier: MIT
// The three walk settings: booleans in the application part of Net-SNMP's
// default store, registered as configuration tokens of the configuration
// type "snmpwalk" (so `DIR/snmpwalk.conf` or a "[snmpwalk] ..." line can
// preset them). All false at process start; a `-C` letter toggles one.
// The service carries what a walk toggled over to its later walks
// (carried_walk_state.h).
#pragma once

#include "report/walk_limits.h"

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

/// Flips the setting for the rest of the process.
void ToggleWalkSetting(WalkSetting setting);

/// Sets the GETBULK repetitions of the later walks whose arguments give no
/// "-C r": 0 walks them by GETNEXT, 1 to kMaxBulkRepetitions by GETBULK
/// with that many, kAutoBulkRepetitions by GETBULK sized to the device's
/// answers (SNMPv1 walks always use GETNEXT). Other values are brought to
/// the nearer end of 0 to kMaxBulkRepetitions. Unlike the three settings
/// above, no walk argument changes it. Returns the value in force before.
int SetDefaultBulkRepetitions(int repetitions);

/// The repetitions set by SetDefaultBulkRepetitions: 0 to
/// kMaxBulkRepetitions or kAutoBulkRepetitions; 0 at process start (the
/// service sets its own default, kAutoBulkRepetitions unless told
/// otherwise, in each walk's process).
int DefaultBulkRepetitions();

}  // namespace zv
