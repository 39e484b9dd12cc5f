// SPDX-License-Identifier: MIT
#include "front/file_operations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "front/preferences_on_demand.h"
#include "platform/atomic_file.h"
#include "platform/file_url.h"
#include "platform/posix_io.h"
#include "platform/whole_file.h"
#include "store/file_admin.h"
#include "store/list_lock.h"

namespace zv {
namespace {

constexpr std::string_view kNoPath = "the request carried no path";

const char* PathOrNull(const std::optional<std::string>& path) { return path ? path->c_str() : nullptr; }

// Adds why to `*reason` (when asked for; it may already tell why the
// folder could not be made) and answers false.
bool Refuse(std::string* reason, std::string_view why) {
  if (reason != nullptr) reason->append(why);
  return false;
}

// Refuses with the failing call and the errno text it left.
bool RefuseWithErrno(std::string* reason, const char* call) {
  const int saved = errno;
  return Refuse(reason, ErrnoText(call, saved));
}

bool UrlToPath(std::string_view url, std::string* path, std::string* reason) {
  std::string error;
  if (FileUrlToPath(url, path, &error)) return true;
  return Refuse(reason, error);
}

// Creates the default preferences folder when `path` lies in it and it is
// missing. A failure only begins the reason: the operation then fails by
// itself and adds its own.
void PrepareFolder(const std::string& path, std::string* reason) {
  std::string error;
  if (!PrepareFolderFor(path, &error) && reason != nullptr) *reason = error + "; ";
}

// The earlier pieces of a piecewise write: the temporary file open for
// reading (fd -1 when it is missing) and how many of its bytes are kept.
// Closes the file when it goes.
struct EarlierPieces {
  int fd = -1;
  std::size_t kept_bytes = 0;
  EarlierPieces() = default;
  EarlierPieces(const EarlierPieces&) = delete;
  EarlierPieces& operator=(const EarlierPieces&) = delete;
  ~EarlierPieces() {
    if (fd >= 0) ::close(fd);
  }
};

// Opens the earlier pieces of the temporary file at `path`, checked
// without reading them into memory: none when it is missing, none kept
// when it is not valid UTF-8. False when it exists but cannot be read, or
// holds more than a whole-file read accepts.
bool OpenEarlierPieces(const std::string& path, EarlierPieces* earlier) {
  earlier->fd = OpenRegularFileForReading(path.c_str());
  if (earlier->fd < 0) return errno == ENOENT;
  struct stat st;
  if (::fstat(earlier->fd, &st) != 0 || static_cast<std::size_t>(st.st_size) > kMaxWholeFileBytes) return false;
  switch (CheckUtf8File(earlier->fd)) {
    case Utf8FileCheck::kValid:
      earlier->kept_bytes = static_cast<std::size_t>(st.st_size);
      return true;
    case Utf8FileCheck::kInvalid:
      return true;
    case Utf8FileCheck::kReadFailed:
      break;
  }
  return false;
}

// True when `path` is missing (it may be created) or the process may write
// it. A file the user has made read-only keeps its contents: the atomic
// replacement would otherwise rename a new file over it whenever the
// directory is writable.
bool MayReplace(const std::string& path) {
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

}  // namespace

bool TestPathWriteAccess(const std::optional<std::string>& path, std::string* reason) {
  if (!path) return Refuse(reason, kNoPath);
  PrepareFolder(*path, reason);
  // The test's refusing open leaves its errno behind.
  return TestWriteAccess(path->c_str()) || RefuseWithErrno(reason, "open");
}

void SwapPathGenerations(const SwapFields& fields) {
  SwapGenerations(fields.type, PathOrNull(fields.current), PathOrNull(fields.previous));
}

bool PathIsReadable(const std::optional<std::string>& path, std::string* reason) {
  if (!path) return Refuse(reason, kNoPath);
  // The open does not block, so that a FIFO without a writer cannot hold
  // the connection (and the service's stop) forever.
  return CanOpenForReading(path->c_str()) || RefuseWithErrno(reason, "open");
}

bool RemovePath(const std::optional<std::string>& path, std::string* reason) {
  if (!path) return Refuse(reason, kNoPath);
  std::string error;
  return RemoveListPath(path->c_str(), &error) || Refuse(reason, error);
}

bool WriteBodyToUrl(std::string_view url, std::string_view body, std::string* reason) {
  std::string path, error;
  if (!UrlToPath(url, &path, reason)) return false;
  PrepareFolder(path, reason);
  ProfileListLock lock(path, ProfileListLock::Mode::kExclusive);
  if (!ListPathUsable(path.c_str(), &error)) return Refuse(reason, error);
  if (!MayReplace(path)) return RefuseWithErrno(reason, "access");
  return ReplaceFileContents(path, body, &error) || Refuse(reason, error);
}

bool AppendBodyToTemporary(std::string_view url, std::string_view body, std::string* reason) {
  std::string path, error;
  // One copy of a URL that may be as long as a request.
  std::string temporary_url;
  temporary_url.reserve(url.size() + kTemporaryFileSuffix.size());
  temporary_url.append(url).append(kTemporaryFileSuffix);
  if (!UrlToPath(temporary_url, &path, reason)) return false;
  PrepareFolder(path, reason);
  ProfileListLock lock(path, ProfileListLock::Mode::kExclusive);
  if (!ListPathUsable(path.c_str(), &error)) return Refuse(reason, error);
  EarlierPieces earlier;
  if (!OpenEarlierPieces(path, &earlier)) return Refuse(reason, "the earlier pieces in " + path + " cannot be read");
  // The pieces never grow past what a whole-file read accepts.
  if (body.size() > kMaxWholeFileBytes - earlier.kept_bytes) {
    return Refuse(reason, "the pieces would grow " + path + " beyond " + std::to_string(kMaxWholeFileBytes) + " bytes");
  }
  return AppendToFileContents(path, earlier.fd, earlier.kept_bytes, body, &error) || Refuse(reason, error);
}

bool MoveTemporaryIntoPlace(std::string_view url, std::string* reason) {
  std::string target;
  if (!UrlToPath(url, &target, reason)) return false;
  const std::string temporary = target + std::string(kTemporaryFileSuffix);
  std::string error;
  return RenameOverListPath(temporary.c_str(), target.c_str(), &error) || Refuse(reason, error);
}

}  // namespace zv

extern "C" std::uint8_t writeDictionaryToPlistFile_XPC(const char* url, const void* data, std::size_t size) {
  if (url == nullptr || (data == nullptr && size != 0)) return 0;
  const std::string_view bytes(static_cast<const char*>(data), data == nullptr ? 0 : size);
  return zv::WriteBodyToUrl(url, bytes) ? 1 : 0;
}
