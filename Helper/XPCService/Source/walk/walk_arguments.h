// SPDX-License-Identifier: MIT
// The walk's argument parser: reads an snmpwalk-style argument vector into
// a Net-SNMP session, built on the library's own pieces.
//
// It differs from the library's own parser where the service
// needs it to: option scanning starts afresh at every call; nothing is
// printed (diagnostics, beginning "[SNMP] ", go to the debug sink, and none
// repeats a pass phrase or key); `-V` and `-h` reach the option handler
// instead of ending the parse; `-t` takes decimal seconds alone (no
// trailing text, and none that waits less than a microsecond); options
// that would change the library's configuration or make it write files
// (`-Y`, long options, `-T`) are usage errors, and the log and debug
// options (`-L`, `-D`, `-d`) are accepted and have no effect, since the
// service has no log output. `-M` is accepted and left alone here: the
// library reads its MIB folders when it starts, so the service starts the
// walk's process with MIBDIRS set from it.
//
// SNMPv3 keys are made as the library's parser makes them: a pass phrase
// (`-A`, `-X`, `-3A`, `-3X`) becomes a key (Ku) by the session's
// authentication protocol (`-a`, else snmp.conf's defAuthType, else the
// library's default), a master key (`-3m`, `-3M`) is taken as it is and a
// localised key (`-3k`, `-3K`) is taken for the device alone, all in hex.
// What no option gives, the library takes from snmp.conf (defSecurityName,
// defAuthPassphrase, defPrivPassphrase and their like) when the session
// opens. The argument texts of pass phrases and keys are overwritten with
// zero bytes before the parse returns.
#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

#include <cstddef>

#include "report/walk_options.h"

namespace zv {

/// Results of ParseWalkArguments besides an index into argv.
constexpr int kParseUsageError = -1;
constexpr int kParseNothingToWalk = -2;

/// Longest SNMPv3 engine identifier, in bytes.
constexpr std::size_t kEngineIdSize = 32;

/// Longest localised key (`-3k`, `-3K`), in bytes: the longest digest of
/// the library's authentication protocols (SHA-512). Longer ones are usage
/// errors.
constexpr std::size_t kLocalisedKeySize = 64;

/// Called with every option letter that the parser does not handle itself
/// (the letters of `local_options`, `-V` and `-h`); the option's argument,
/// if it takes one, is in `optarg`.
using OptionHandler = void (*)(int argc, char* const* argv, int option);

/// What the parse keeps for this walk besides the session: the engine
/// identifiers and localised keys given in hex, which the session points
/// into (so it must outlive the session), and the walk's own "-C r", which
/// holds for this walk only. The localised keys are overwritten with zero
/// bytes when it goes.
struct WalkArgumentStorage {
  ~WalkArgumentStorage();

  u_char security_engine_id[kEngineIdSize];
  u_char context_engine_id[kEngineIdSize];
  u_char auth_localised_key[kLocalisedKeySize];
  u_char priv_localised_key[kLocalisedKeySize];
  int bulk_repetitions;  // GETBULK repetitions asked by "-C r" (1 to 100); 0 when not asked
};

/// Parses options up to the first operand, which is the device's address,
/// and leaves the root OID for the caller. Initialises `session` (library
/// defaults; retries and timeout stay at the library's "not given" markers
/// unless `-r`/`-t` set them) and fills it, SNMPv3 keys included; its peer
/// name, community, security names and localised keys point into `argv`,
/// `storage` or the library's default store, so all three must outlive the
/// session. Overwrites with zero bytes the text of every pass phrase and
/// key it scanned in `argv`, whatever the result. Forgets the SNMPv3 users
/// that the library made from earlier walks' sessions, whose keys it would
/// otherwise keep using for the same user and device. Sets
/// `storage->bulk_repetitions` from the last "-C r" that `handler`
/// (optProc) met, 0 without one. Initialises the library on the first call
/// in the process, after the options are scanned. Returns the index in argv
/// of the first argument after the address; kParseUsageError for a usage
/// error (unknown option, missing or over-long argument, bad value, a pass
/// phrase no key can be made of (shorter than 8 bytes), a key that is not
/// hex or too long, no address, SNMPv1/v2c without any community, `argc`
/// below 1 or a null entry); kParseNothingToWalk for `-H`. Not reentrant
/// (option scanning is process-wide).
int ParseWalkArguments(int argc, char** argv, netsnmp_session* session,
                       WalkArgumentStorage* storage, const char* local_options,
                       OptionHandler handler);

/// Parses the root OID `text` into `ids` and sets `*length` to the number
/// of sub-identifiers, as snmp_parse_oid does but never treating the text
/// as a pattern, whatever -I options asked for. False (reported with
/// snmp_perror) when it does not parse, is longer than
/// kMaxWalkArgumentBytes, or holds a sub-identifier beyond 32 bits. Needs
/// the library initialised (ParseWalkArguments does that).
bool ParseWalkRoot(const char* text, oid (&ids)[MAX_OID_LEN], std::size_t* length);

}  // namespace zv

/// The walk's option handler. For `C`, each letter of the option's
/// argument toggles a walk setting: `c` "dontCheckOrdering", `p`
/// "printStatistics", `i` "includeRequested"; `r`, with the digits that
/// follow it, asks the walk being parsed for GETBULK with that many
/// repetitions (no digits: kBulkRepetitionsWithoutNumber; a number outside
/// 1 to kMaxBulkRepetitions is brought to the nearer end and reported in
/// `sDEBUGmsg`), for this walk only, the last `r` winning; any other letter
/// formats "Unknown flag passed to -C: %c\n" into `sDEBUGmsg` and scanning
/// goes on. Every other option letter is ignored.
void optProc(int argc, char* const* argv, int opt);
