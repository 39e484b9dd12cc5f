// SPDX-License-Identifier: MIT
// The start every zvxpc subcommand shares: reading its options with
// getopt_long, where --socket, --timeout, --help, a missing value and an
// unknown option are taken the same way for all, and then answering
// --help or a usage error before the command runs.
#pragma once

#include <getopt.h>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "zvxpc/command_errors.h"
#include "zvxpc/commands.h"
#include "zvxpc/service_session.h"

namespace zvxpc {

/// What parsing a subcommand's arguments found.
enum class Parsed { kRun, kHelp, kUsageError };

/// The first getopt_long value a subcommand may give its own options;
/// the values below it are the shared options'.
constexpr int kFirstOwnOption = 258;

/// Takes one of a subcommand's own options: getopt_long's answer `c` and
/// its value (null for an option without one). False with a usage error
/// in `*error`.
using TakeOwnOption = std::function<bool(int c, const char* value, std::string* error)>;

/// A TakeOwnOption for an option without a value: sets `*flag`.
TakeOwnOption SetFlag(bool* flag);

/// Reads the options of argv[1..argc-1] (argv[0] is the subcommand's
/// name): `own` (values from kFirstOwnOption, or letters other than 'h')
/// through `take`, and --socket and --timeout into `*service`. kHelp at
/// --help or -h; kUsageError with `*error` at a missing value, an unknown
/// option, a bad --timeout or what `take` refuses; else kRun, with
/// optind at the first operand (getopt_long puts the operands last).
Parsed ParseOptions(int argc, char** argv, std::initializer_list<option> own, ServiceOptions* service,
                    const TakeOwnOption& take, std::string* error);

/// True when no operand follows the options (optind at argc); else
/// false with a usage error naming the first.
bool NoOperandLeft(int argc, char** argv, std::string* error);

/// Ends a subcommand's help: the lines of --socket, --timeout and
/// --help, a blank line, then `exit_status`.
void PrintHelpEnd(std::FILE* out, const char* exit_status);

/// Runs subcommand `command`: parses argv into a fresh Arguments with
/// `parse`; on a help request prints `print_help` to standard output
/// (kExitSuccess), on a usage error reports it (kExitFailure), else
/// returns what `run` returns for the arguments.
template <typename Arguments, typename Run>
int RunCommand(std::string_view command, int argc, char** argv,
               Parsed (*parse)(int argc, char** argv, Arguments* arguments, std::string* error),
               void (*print_help)(std::FILE* out), Run run) {
  Arguments arguments;
  std::string error;
  switch (parse(argc, argv, &arguments, &error)) {
    case Parsed::kHelp: print_help(stdout); return kExitSuccess;
    case Parsed::kUsageError: return UsageError(command, error);
    case Parsed::kRun: break;
  }
  return run(arguments);
}

}  // namespace zvxpc
