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
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cerrno>
#include <cstring>

#include "platform/one_line_text.h"
#include "platform/posix_io.h"

namespace zv {
namespace {

// The log file's descriptor, or -1 for the system log.
std::atomic<int> log_file_fd{-1};

constexpr std::string_view kSyslogIdentifier = "zvxpcd";
constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

void AppendToLogFile(int fd, std::string_view line) {
  std::string whole(line);
  whole.push_back('\n');
  // O_APPEND places each single write at the end as one piece. A log line
  // that cannot be written has nowhere else to go.
  if (::write(fd, whole.data(), whole.size()) < 0) return;
}

// "2026-12-08T17:59:22.123+00:00 zvxpcd[PID]: ": when and by which process
// a line of the log file was written, as the journal keeps it beside its
// entries.
std::string LogFileStamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char date[32];
  char offset[8];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  std::strftime(offset, sizeof offset, "%z", &local);  // +hhmm
  char stamp[96];
  std::snprintf(stamp, sizeof stamp, "%s.%03lld%.3s:%.2s %.*s[%ld]: ", date, static_cast<long long>(milliseconds),
                offset, offset + 3, static_cast<int>(kSyslogIdentifier.size()), kSyslogIdentifier.data(),
                static_cast<long>(::getpid()));
  return stamp;
}

void AppendStampedToLogFile(int fd, std::string_view line) { AppendToLogFile(fd, LogFileStamp().append(line)); }

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
  (void)sd_journal_sendv(vectors.data(), static_cast<int>(vectors.size()));
}

bool IsSocket(const char* path) {
  struct stat status {};
  return ::stat(path, &status) == 0 && S_ISSOCK(status.st_mode);
}

// The log file's path, set at start-up before any request is served.
std::string& LogFilePath() {
  static std::string path;
  return path;
}

// True when the system log's socket is there: syslog(3) drops every line
// silently without it.
bool SystemLogReachable() {
  static const bool reachable = IsSocket(_PATH_LOG);
  return reachable;
}

// True when the journal's socket is there: sd_journal_sendv reports
// success without it, and the entry is lost.
bool JournalReachable() {
  static const bool reachable = IsSocket(kJournalSocket);
  return reachable;
}

}  // namespace

void LogErrorLine(std::string_view line) {
  // One entry is one line, whatever a walk or a client put in it.
  const std::string escaped = OneLineText(line);
  const int fd = log_file_fd.load();
  if (fd >= 0) {
    AppendStampedToLogFile(fd, escaped);
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
  if (fd >= 0) {
    AppendStampedToLogFile(fd, OneLineText(message));
  } else if (JournalReachable()) {
    SendToJournal(priority, message, fields);
  } else if (SystemLogReachable()) {
    ::syslog(priority, "%s", OneLineText(message).c_str());
  } else {
    AppendToLogFile(STDERR_FILENO, "zvxpcd: " + OneLineText(message));
  }
}

}  // namespace zv
