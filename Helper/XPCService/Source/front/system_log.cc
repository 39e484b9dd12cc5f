#include "front/system_log.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace zv {
namespace {

// The log file's descriptor, or -1 for the system log.
std::atomic<int> log_file_fd{-1};

}  // namespace

void LogErrorLine(std::string_view line) {
  const int fd = log_file_fd.load();
  if (fd < 0) {
    ::syslog(LOG_ERR, "%.*s", static_cast<int>(line.size()), line.data());
    return;
  }
  std::string whole(line);
  whole.push_back('\n');
  // O_APPEND places each single write at the end as one piece.
  (void)::write(fd, whole.data(), whole.size());
}

bool UseLogFile(const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0664);
  if (fd < 0) {
    *error = "open(" + path + "): " + std::strerror(errno);
    return false;
  }
  const int previous = log_file_fd.exchange(fd);
  if (previous >= 0) ::close(previous);
  return true;
}

}  // namespace zv
