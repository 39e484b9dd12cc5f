// SPDX-License-Identifier: MIT
// The MIB load of a walk's process: the library's start, which reads the
// MIBs that MIBS names, watched for its errors and for its time.
//
// A MIB set that fails to load, or takes too long, must fail one walk and
// not every walk after it: the process started ahead loads its MIBs before
// its job comes, notes what went wrong, and its walk ends at once with that
// reason (the service then stops handing that MIB set to later walks).
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace zv {

/// How long the MIB load of a walk's process may take. A full MIB tree
/// loads in well under a second; a load that needs this long is a module
/// the service must not keep.
inline constexpr std::chrono::seconds kMibLoadBound{10};

/// Runs `load` on the calling thread while a watchdog thread waits up to
/// `bound` for it. When `load` has not returned by then, `overrun` is
/// called on the watchdog's thread while `load` goes on (a walk's process
/// ends itself there). Returns once `load` has returned and the watchdog
/// has ended.
void RunWithin(std::chrono::milliseconds bound, const std::function<void()>& load,
               const std::function<void()>& overrun);

/// Initialises the Net-SNMP library (InitialiseSnmpLibrary), which reads
/// its configuration and loads the MIBs, and returns what the library said
/// of the MIBs: empty when every module loaded, else the first MIB error it
/// logged ("Cannot find module (X): At line 1 in (none)"), or a count of
/// errors when it logged no text. Call once, before any walk.
std::string InitialiseSnmpLibraryWithMibs();

}  // namespace zv
