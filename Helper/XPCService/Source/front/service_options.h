// SPDX-License-Identifier: MIT
// The command line of zvxpcd.
#pragma once

#include <optional>
#include <string>

#include "report/walk_limits.h"

namespace zv {

/// Longest idle period --idle-exit accepts (one day).
constexpr int kMaxIdleExitSeconds = 86400;

/// Longest wall-clock time --walk-timeout accepts for one walk (one day).
constexpr int kMaxWalkTimeoutSeconds = 86400;

/// Settings taken from zvxpcd's command line.
struct ServiceOptions {
  std::optional<std::string> socket_path;  // --socket PATH
  std::string preferences_directory;       // --preferences-dir DIR (with a trailing slash)
  bool preferences_directory_is_default = true;  // no --preferences-dir: created when first needed
  std::optional<std::string> log_file;     // --log-file PATH
  std::optional<int> idle_exit_seconds;    // --idle-exit SECONDS
  int walk_timeout_seconds = kDefaultWalkTimeLimitSeconds;  // --walk-timeout SECONDS
  std::optional<std::string> walk_program;  // --walk-program PATH
  int bulk_repetitions = kAutoBulkRepetitions;  // --bulk-repetitions auto|N (0: walks without -C r use GETNEXT)
  bool verbose = false;                    // --verbose
  bool help = false;                       // --help
  bool version = false;                    // --version
};

/// Parses zvxpcd's arguments (argv[0] is the program). Options take their
/// value as the next argument or after '='. False with a one-line message
/// for an unknown option, a missing or empty value, an idle period that is
/// not a whole number of seconds from 1 to kMaxIdleExitSeconds, a walk
/// timeout not from 1 to kMaxWalkTimeoutSeconds, or bulk repetitions
/// neither "auto" (kAutoBulkRepetitions) nor a whole number from 0 to
/// kMaxBulkRepetitions. Without --preferences-dir
/// the folder is DefaultPreferencesDirectory().
bool ParseServiceOptions(int argc, char** argv, ServiceOptions* options, std::string* error);

/// The text of a bulk-repetitions setting, as --bulk-repetitions takes it.
std::string BulkRepetitionsText(int repetitions);

/// The text `zvxpcd --help` prints.
std::string ServiceUsage();

/// The line `zvxpcd --version` prints: "zvxpcd VERSION\n".
std::string ServiceVersion();

}  // namespace zv
