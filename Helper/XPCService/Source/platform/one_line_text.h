// SPDX-License-Identifier: MIT
// Text made fit for one line of a log file or a terminal, whatever bytes
// it came with: what the service's log file and the command-line client
// print of names, paths and reasons that others chose.
#pragma once

#include <string>
#include <string_view>

namespace zv {

/// `text` with every control character (below 0x20, and 0x7F) written as
/// \xNN (two upper-case hex digits) and every backslash doubled, so that it
/// stays on one line and reads back unambiguously. Other bytes, UTF-8 among
/// them, are kept as they are.
std::string OneLineText(std::string_view text);

}  // namespace zv
