// The service's one log channel: the system log at error priority, or a
// file named at start-up in its place.
#pragma once

#include <string>
#include <string_view>

namespace zv {

/// Writes `line` to the system log (syslog(3), LOG_ERR), or appends it
/// with a line feed to the file chosen with UseLogFile. Safe to call from
/// any thread; each line is written whole.
void LogErrorLine(std::string_view line);

/// From now on appends log lines to `path` (created with permission bits
/// 0664 less the file-creation mask) instead of the system log. False with
/// a message naming the failing call and the errno text when the file
/// cannot be opened. Call at start-up, before any request is served.
bool UseLogFile(const std::string& path, std::string* error);

}  // namespace zv
