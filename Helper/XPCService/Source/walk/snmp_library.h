// SPDX-License-Identifier: MIT
// The Net-SNMP library's process-wide set-up for the walk. The library
// keeps its initialisation, configuration, log handlers, default store and
// session list for the life of the process; this is the one place that
// prepares them.
#pragma once

namespace zv {

/// Once per process, before any other library call: silences the
/// library's log (the service has no console: without a handler of our own
/// the library would fall back to standard error), keeps the library from
/// loading or saving its persistent state, and registers the walk
/// settings. Later calls do nothing.
void PrepareSnmpLibrary();

/// Initialises the library under the application name "snmpapp" once per
/// process (reading its configuration files and MIBs then); later calls do
/// nothing. Calls PrepareSnmpLibrary first. The library's initialisation
/// also sets the process's LC_CTYPE locale from the environment.
void InitialiseSnmpLibrary();

}  // namespace zv
