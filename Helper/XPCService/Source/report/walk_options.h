// SPDX-License-Identifier: MIT
// The walk's option letters, as its argument parser scans them and as the
// service reads the few options it keeps for itself (MIBS, the MIB folders,
// the address), without the SNMP library.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zv {

/// The library's standard option letters of the walk's arguments, in
/// getopt's form, and the walk's own (`-C`). The leading '+' stops
/// scanning at the first operand (the device's address), as POSIX scanning
/// does: options after it are not options.
inline constexpr char kWalkOptionLetters[] = "+Y:VhHm:M:O:I:P:D:dv:r:t:c:Z:e:E:n:u:l:x:X:a:A:p:T:-:3:L:";
inline constexpr char kWalkLocalOptionLetters[] = "C:";

/// Longest option value, device address or root OID text, in bytes: a
/// root of 128 sub-identifiers written out in digits fits with room to
/// spare. Longer ones are usage errors (a root: unparsable).
inline constexpr std::size_t kMaxWalkArgumentBytes = 2048;

/// What the service reads from a walk's arguments for itself.
struct WalkOptionScan {
  std::optional<std::string> mibs;  // the last -m value before the scan stopped
  std::optional<std::string> mib_folders;  // the last -M value before the scan stopped
  std::optional<std::string> address;  // the first operand, when the options before it scan cleanly
};

/// Scans `arguments` (program-name slot first) by the rules the walk's
/// parser follows: option letters as kWalkOptionLetters and
/// kWalkLocalOptionLetters give them (clustered or apart, values attached
/// or in the next argument), "--" ending the options, the first operand
/// ending them too; and the values that the parser takes from one more
/// argument: `-3` with a letter and no value, and `-O p`, `-I s` and
/// `-I S` as the last letter of their option. The scan stops at an option
/// the parser refuses (an unknown letter, a missing value, -Y, a long
/// option, -H): no address then.
WalkOptionScan ScanWalkOptions(const std::vector<std::string>& arguments);

}  // namespace zv
