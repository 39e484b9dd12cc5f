// SPDX-License-Identifier: MIT
#include "front/system_log.h"

#include <fcntl.h>
#include <paths.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/one_line_text.h"
#include "platform/posix_io.h"

namespace zv {
namespace {

// The log file's descriptor, or -1 for the system log.
std::atomic<int> log_file_fd{-1};

constexpr std::string_view kSyslogIdentifier = "zvxpcd";

void AppendToLogFile(int fd, std::string_view line) {
  std::string whole(line);
  whole.push_back('\n');
  // O_APPEND places each single write at the end as one piece. A log line
  // that cannot be written has nowhere else to go.
  if (::write(fd, whole.data(), whole.size()) < 0) return;
}

// "NAME=VALUE", as the journal takes a field.
std::string JournalField(std::string_view name, std::string_view value) {
  std::string field(name);
  field.append("=").append(value);
  return field;
}

void SendToJournal(int priority, std::string_view message, const std::vector<LogField>& fields) {
  std::vector<std::string> items;
  items.reserve(fields.size() + 3);
  items.push_back(JournalField("MESSAGE", message));
  items.push_back(JournalField("PRIORITY", std::to_string(priority)));
  items.push_back(JournalField("SYSLOG_IDENTIFIER", kSyslogIdentifier));
  for (const LogField& field : fields) items.push_back(JournalField(field.name, field.value));
  std::vector<iovec> vectors(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    vectors[i].iov_base = items[i].data();
    vectors[i].iov_len = items[i].size();
  }
  // Without a journal the entry goes to standard error, as one line.
  if (sd_journal_sendv(vectors.data(), static_cast<int>(vectors.size())) < 0) {
    AppendToLogFile(STDERR_FILENO, "zvxpcd: " + OneLineText(message));
  }
}

// The log file's path, set at start-up before any request is served.
std::string& LogFilePath() {
  static std::string path;
  return path;
}

// True when the system log's socket is there: syslog(3) drops every line
// silently without it.
bool SystemLogReachable() {
  static const bool reachable = [] {
    struct stat status {};
    return ::stat(_PATH_LOG, &status) == 0 && S_ISSOCK(status.st_mode);
  }();
  return reachable;
}

}  // namespace

void LogErrorLine(std::string_view line) {
  // One entry is one line, whatever a walk or a client put in it.
  const std::string escaped = OneLineText(line);
  const int fd = log_file_fd.load();
  if (fd >= 0) {
    AppendToLogFile(fd, escaped);
  } else if (SystemLogReachable()) {
    ::syslog(LOG_ERR, "%s", escaped.c_str());
  } else {
    AppendToLogFile(STDERR_FILENO, "zvxpcd: " + escaped);
  }
}

std::string LogTarget() {
  if (log_file_fd.load() >= 0) return LogFilePath();
  return SystemLogReachable() ? "journal" : "stderr";
}

bool UseLogFile(const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kCreatedFileMode);
  if (fd < 0) {
    *error = ErrnoText("open", path, errno);
    return false;
  }
  LogFilePath() = path;
  const int previous = log_file_fd.exchange(fd);
  if (previous >= 0) ::close(previous);
  return true;
}

void LogDiagnosticEntry(int priority, std::string_view message, const std::vector<LogField>& fields) {
  const int fd = log_file_fd.load();
  if (fd < 0) {
    SendToJournal(priority, message, fields);
  } else {
    AppendToLogFile(fd, OneLineText(message));
  }
}

}  // namespace zv
