// SPDX-License-Identifier: MIT
// The service's one log channel: the system log at error priority, or a
// file named at start-up in its place. Diagnostic entries (--verbose) take
// the same way: structured entries in the journal, or one line each in the
// file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// OneLineText, which every line of the log is escaped with, for the
// callers that write text of their own into one line.
#include "platform/one_line_text.h"

namespace zv {

/// Writes `line`, its control characters escaped (OneLineText), to the
/// system log (syslog(3), LOG_ERR), or appends it with a line feed to the
/// file chosen with UseLogFile, after an ISO 8601 time and "zvxpcd[PID]: "
/// ("2026-12-08T17:59:22.123+00:00 zvxpcd[812]: iRet=0"); without a system
/// log socket (no journal, no syslog daemon), to standard error. Safe to
/// call from any thread; each line is written whole.
void LogErrorLine(std::string_view line);

/// From now on appends log lines to `path` (created with permission bits
/// 0664 less the file-creation mask) instead of the system log. False with
/// a message naming the failing call and the errno text when the file
/// cannot be opened. Call at start-up, before any request is served.
bool UseLogFile(const std::string& path, std::string* error);

/// Where log lines go now: the log file's path, "journal" (the system
/// log) or "stderr" (no system log socket).
std::string LogTarget();

/// One field of a diagnostic entry: its journal name (for instance
/// "ZVXPC_USER") and its value (any bytes).
struct LogField {
  std::string_view name;
  std::string_view value;
};

/// Writes one diagnostic entry. Without a log file: a journal entry
/// (sd_journal_sendv) with MESSAGE=`message`, PRIORITY=`priority`,
/// SYSLOG_IDENTIFIER=zvxpcd and `fields`; without a journal socket, a
/// line to the system log at `priority`; without that either, one line on
/// standard error. With a log file: `message` as one line of the file,
/// stamped as LogErrorLine stamps its lines. Control characters are
/// written as \xNN so that the entry stays on its line. Safe to call from
/// any thread.
void LogDiagnosticEntry(int priority, std::string_view message, const std::vector<LogField>& fields);

}  // namespace zv
