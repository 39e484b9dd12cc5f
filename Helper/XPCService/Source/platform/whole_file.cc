// SPDX-License-Identifier: MIT
#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_io.h"

namespace zv {
namespace {

// Appends the rest of `fd` to `*data`; false with errno set on a failed
// read or when the whole would exceed the bound (EFBIG), also for a file
// that grows while it is read.
bool AppendBounded(int fd, std::string* data) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (data->size() + static_cast<std::size_t>(n) > kMaxWholeFileBytes) {
      errno = EFBIG;
      return false;
    }
    data->append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace

int OpenRegularFileForReading(const char* path) {
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st;
  const bool known = ::fstat(fd, &st) == 0;
  if (!known || !S_ISREG(st.st_mode)) {
    const int err = !known ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = err;
    return -1;
  }
  // Regular files never block; clear the flag so reads behave as usual.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool ReadWholeFile(const std::string& path, std::string* data, std::string* error) {
  const int fd = OpenRegularFileForReading(path.c_str());
  if (fd < 0) {
    *error = ErrnoText("open", path, errno);
    return false;
  }
  data->clear();
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0;
  if (!ok) {
    *error = ErrnoText("fstat", path, errno);
  } else if (static_cast<std::size_t>(st.st_size) > kMaxWholeFileBytes) {
    errno = EFBIG;
    *error = ErrnoText("read", path, errno);
    ok = false;
  } else {
    data->reserve(static_cast<std::size_t>(st.st_size));
    ok = AppendBounded(fd, data);
    if (!ok) *error = ErrnoText("read", path, errno);
  }
  ::close(fd);
  if (!ok) data->clear();
  return ok;
}

}  // namespace zv
