// SPDX-License-Identifier: MIT
// The service's log file as tests read it: each line without the time and
// process stamp the service puts in front of it.
#pragma once

#include <string>
#include <vector>

namespace zvtest {

/// The lines of the log file at `path`, each without its leading
/// "YYYY-MM-DDTHH:MM:SS.mmm+hh:mm zvxpcd[PID]: " stamp. A line without a
/// well-formed stamp is kept whole, so that a comparison shows it.
std::vector<std::string> LogFileLines(const std::string& path);

}  // namespace zvtest
