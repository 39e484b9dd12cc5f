// SPDX-License-Identifier: MIT
// How every zvxpc command reports a usage error, a failure or a remark on
// standard error, each in one line that names the command.
#pragma once

#include <string>
#include <string_view>

#include "zvxpc/commands.h"

namespace zvxpc {

/// Writes "zvxpc COMMAND: MESSAGE" and "Try 'zvxpc COMMAND --help'." on
/// standard error (for zvxpc itself when `command` is empty): kExitFailure.
int UsageError(std::string_view command, const std::string& message);

/// Writes "zvxpc COMMAND: TEXT" on standard error, the text kept on its
/// line (control characters written as \xNN).
void Report(std::string_view command, const std::string& text);

/// The usage error of getopt_long's answer `answer` (':': the option's
/// value is missing; anything else: the option is unknown) for
/// `argument`, the argument it read last.
std::string OptionProblem(int answer, const char* argument);

/// Reports `reason` as Report does: `exit_code`.
int Fail(std::string_view command, const std::string& reason, int exit_code = kExitFailure);

}  // namespace zvxpc
