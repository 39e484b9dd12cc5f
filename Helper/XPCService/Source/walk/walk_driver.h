// The walk driver: walks one subtree of one SNMP device, spools the rows
// of its profile table and merges them into the current profile list.
#pragma once

/// Walks the device named in the snmpwalk-style argument vector (entry 0 is
/// a program-name slot; then options, the device's address, optionally the
/// root OID). Runs the spool-to-current merge exactly once on every path.
/// Returns 0 (complete), 1 (failed), 2 (error status from the device),
/// -1 (usage error) or -2 (nothing to walk). Not reentrant: callers never
/// let two walks overlap.
int mib_walk(int argc, char** argv);
