#include "front/file_operations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/atomic_file.h"
#include "platform/file_url.h"
#include "platform/utf8.h"
#include "platform/whole_file.h"
#include "store/file_admin.h"

namespace zv {
namespace {

const char* PathOrNull(const std::optional<std::string>& path) { return path ? path->c_str() : nullptr; }

bool UrlToPath(std::string_view url, std::string* path) {
  std::string ignored;
  return FileUrlToPath(url, path, &ignored);
}

// The earlier pieces of the temporary file at `path`: empty when it is
// missing or not valid UTF-8. False when it exists but cannot be read.
bool ReadEarlierPieces(const std::string& path, std::string* earlier) {
  earlier->clear();
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT;
  std::string ignored;
  if (!ReadWholeFile(path, earlier, &ignored)) return false;
  if (!IsValidUtf8(*earlier)) earlier->clear();
  return true;
}

// True when `path` is missing (it may be created) or the process may write
// it. A file the user has made read-only keeps its contents: the atomic
// replacement would otherwise rename a new file over it whenever the
// directory is writable.
bool MayReplace(const std::string& path) {
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

}  // namespace

bool TestPathWriteAccess(const std::optional<std::string>& path) {
  return path && TestWriteAccess(path->c_str());
}

void SwapPathGenerations(const SwapFields& fields) {
  SwapGenerations(fields.type, PathOrNull(fields.current), PathOrNull(fields.previous));
}

bool PathIsReadable(const std::optional<std::string>& path) {
  if (!path) return false;
  // Non-blocking, so that a FIFO without a writer cannot hold the
  // connection (and the service's stop) forever.
  const int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool RemovePath(const std::optional<std::string>& path) { return path && std::remove(path->c_str()) == 0; }

bool WriteBodyToUrl(std::string_view url, std::string_view body) {
  std::string path, ignored;
  return UrlToPath(url, &path) && MayReplace(path) && ReplaceFileContents(path, body, &ignored);
}

bool AppendBodyToTemporary(std::string_view url, std::string_view body) {
  std::string path, earlier, ignored;
  if (!UrlToPath(std::string(url) + std::string(kTemporaryFileSuffix), &path)) return false;
  if (!ReadEarlierPieces(path, &earlier)) return false;
  // The pieces never grow past what a whole-file read accepts.
  if (body.size() > kMaxWholeFileBytes - earlier.size()) return false;
  earlier.append(body);
  return ReplaceFileContents(path, earlier, &ignored);
}

bool MoveTemporaryIntoPlace(std::string_view url) {
  std::string target;
  if (!UrlToPath(url, &target)) return false;
  const std::string temporary = target + std::string(kTemporaryFileSuffix);
  return ::rename(temporary.c_str(), target.c_str()) == 0;
}

}  // namespace zv

extern "C" std::uint8_t writeDictionaryToPlistFile_XPC(const char* url, const void* data, std::size_t size) {
  if (url == nullptr || (data == nullptr && size != 0)) return 0;
  const std::string_view bytes(static_cast<const char*>(data), data == nullptr ? 0 : size);
  return zv::WriteBodyToUrl(url, bytes) ? 1 : 0;
}
