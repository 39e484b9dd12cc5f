// SPDX-License-Identifier: MIT
// Which arguments are long options of the zvxpc commands, and which of
// those take their value in the next argument: what lets options stand
// before the command and among a walk's own arguments.
#pragma once

#include <string_view>

namespace zvxpc {

/// True for a long option: "--" and a name ("--" alone ends the options).
bool IsLongOption(std::string_view argument);

/// True for a long option of a zvxpc command written without '=' whose
/// value is the next argument (--socket PATH, --timeout SECONDS, --user U,
/// --model M, --preferences-dir DIR).
bool TakesSeparateValue(std::string_view argument);

}  // namespace zvxpc
