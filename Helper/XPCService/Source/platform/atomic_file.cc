#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace zv {
namespace {

constexpr mode_t kNewFileMode = 0664;
constexpr int kTemporaryNameAttempts = 16;
constexpr std::size_t kMaxNameBytes = NAME_MAX;

std::string Failure(const char* call, const std::string& path) {
  return std::string(call) + "(" + path + "): " + std::strerror(errno);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// A name in the directory of `path` that no other writer uses at once:
// ".<file name>.<pid>.<counter>.tmp", with the file name shortened where
// the whole would exceed the longest name a directory entry may have.
std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string suffix = "." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1)) + ".tmp";
  const std::size_t room = kMaxNameBytes - 1 - suffix.size();
  if (base.size() > room) base.resize(room);
  return dir + "." + base + suffix;
}

// Creates a temporary file beside `path`; -1 with errno set when the
// directory refuses it.
int CreateTemporary(const std::string& path, std::string* temp_path) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    *temp_path = TemporaryNameFor(path);
    const int fd = ::open(temp_path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Gives the temporary file the mode (and owner, where allowed) of the file
// it replaces.
void KeepAttributes(int fd, const struct stat& old) {
  ::fchmod(fd, old.st_mode & 07777);
  if (::geteuid() == 0) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) { /* best effort */ }
  }
}

bool RewriteInPlace(const std::string& path, std::string_view data, std::string* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    *error = Failure("open", path);
    return false;
  }
  const bool ok = WriteAll(fd, data) && ::fsync(fd) == 0;
  if (!ok) *error = Failure("write", path);
  if (::close(fd) != 0 && ok) {
    *error = Failure("close", path);
    return false;
  }
  return ok;
}

bool DirectoryRefusal(int err) { return err == EACCES || err == EPERM || err == EROFS; }

}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view data, std::string* error) {
  struct stat old;
  const bool existed = ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  std::string temp;
  const int fd = CreateTemporary(path, &temp);
  if (fd < 0) {
    if (existed && DirectoryRefusal(errno) && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) {
      return RewriteInPlace(path, data, error);
    }
    *error = Failure("open", temp);
    return false;
  }
  if (existed) KeepAttributes(fd, old);
  bool ok = WriteAll(fd, data);
  if (!ok) *error = Failure("write", temp);
  if (ok && ::fsync(fd) != 0) {
    ok = false;
    *error = Failure("fsync", temp);
  }
  if (::close(fd) != 0 && ok) {
    ok = false;
    *error = Failure("close", temp);
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    *error = Failure("rename", temp);
  }
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

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
    *error = Failure("open", path);
    return false;
  }
  data->clear();
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0) data->reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = Failure("read", path);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    data->append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

}  // namespace zv
