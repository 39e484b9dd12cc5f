// SPDX-License-Identifier: MIT
#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/posix_io.h"
#include "platform/utf8.h"

namespace zv {
namespace {

// Appends the rest of `fd` to `*data`; false with errno set on a failed
// read or when the whole would exceed the bound (EFBIG), also for a file
// that grows while it is read.
bool AppendBounded(int fd, std::string* data) {
  char buffer[kFileChunkBytes];
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

// Longest possible UTF-8 character.
constexpr std::size_t kMaxCharBytes = 4;

// The length of the whole, well-formed characters at the start of
// `text`, or npos when it holds a malformed one. Unless `at_end`, up to
// three bytes at the end that do not (yet) form a character are left for
// the next chunk to complete: a character may straddle two chunks, and
// bytes that are malformed stay so whatever follows them.
std::size_t CheckedPrefix(std::string_view text, bool at_end) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t length = Utf8CharLengthAt(text, pos);
    if (length == 0) return !at_end && text.size() - pos < kMaxCharBytes ? pos : std::string_view::npos;
    pos += length;
  }
  return pos;
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

bool ReadWholeFile(const std::string& path, std::string* data, std::string* error, std::optional<FileIdentity>* opened) {
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
  } else {
    if (opened != nullptr) *opened = IdentityOf(st);
    if (static_cast<std::size_t>(st.st_size) > kMaxWholeFileBytes) errno = EFBIG;
    ok = static_cast<std::size_t>(st.st_size) <= kMaxWholeFileBytes;
    if (ok) {
      data->reserve(static_cast<std::size_t>(st.st_size));
      ok = AppendBounded(fd, data);
    }
    if (!ok) *error = ErrnoText("read", path, errno);
  }
  ::close(fd);
  if (!ok) data->clear();
  return ok;
}

Utf8FileCheck CheckUtf8File(int fd) {
  // Room for a chunk after the start of a character left over from the
  // chunk before.
  char buffer[kMaxCharBytes - 1 + kFileChunkBytes];
  std::size_t carried = 0;
  off_t offset = 0;
  for (;;) {
    const ssize_t n = ::pread(fd, buffer + carried, kFileChunkBytes, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Utf8FileCheck::kReadFailed;
    offset += n;
    const std::string_view text(buffer, carried + static_cast<std::size_t>(n));
    const std::size_t checked = CheckedPrefix(text, n == 0);
    if (checked == std::string_view::npos) return Utf8FileCheck::kInvalid;
    if (n == 0) return Utf8FileCheck::kValid;
    carried = text.size() - checked;
    std::memmove(buffer, buffer + checked, carried);
  }
}

}  // namespace zv
