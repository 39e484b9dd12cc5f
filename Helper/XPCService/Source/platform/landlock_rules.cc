// SPDX-License-Identifier: MIT
#include "platform/landlock_rules.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/posix_io.h"

// Rights of Landlock ABI 3 that older kernel headers do not name yet.
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif

namespace zv {
namespace {

// ABI 1 handles bits 0 to 12; 2 adds REFER, 3 adds TRUNCATE. Newer ABIs
// add rights over devices and networks that the filter covers already.
uint64_t HandledRights(int abi) {
  uint64_t rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;
  if (abi >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
  if (abi >= 3) rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
  return rights;
}

constexpr uint64_t kReadRights = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
constexpr uint64_t kWriteRights = kReadRights | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_MAKE_REG |
                                  LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_REFER |
                                  LANDLOCK_ACCESS_FS_TRUNCATE;
// What a rule on a file (not a folder) may grant.
constexpr uint64_t kFileRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE |
                                 LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_TRUNCATE;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Adds a rule granting `rights` (cut to what the ruleset handles and to
// what fits the kind of file) below `path`; a missing path adds nothing.
bool AddRule(int ruleset, const std::string& path, uint64_t rights, uint64_t handled, std::string* error) {
  Fd target(::open(path.c_str(), O_PATH | O_CLOEXEC));
  if (target.get() < 0) return errno == ENOENT || errno == ENOTDIR || errno == EACCES;
  struct stat status {};
  if (::fstat(target.get(), &status) != 0) return true;
  if (!S_ISDIR(status.st_mode)) rights &= kFileRights;
  landlock_path_beneath_attr rule{};
  rule.allowed_access = rights & handled;
  rule.parent_fd = target.get();
  if (::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0) return true;
  *error = ErrnoText("landlock_add_rule", path, errno);
  return false;
}

}  // namespace

bool RestrictFileAccess(int abi, const std::vector<std::string>& writable, const std::vector<std::string>& readable,
                        std::string* error) {
  const uint64_t handled = HandledRights(abi);
  landlock_ruleset_attr attributes{};
  attributes.handled_access_fs = handled;
  Fd ruleset(static_cast<int>(::syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0)));
  if (ruleset.get() < 0) {
    *error = ErrnoText("landlock_create_ruleset", errno);
    return false;
  }
  for (const std::string& path : writable) {
    if (!AddRule(ruleset.get(), path, kWriteRights, handled, error)) return false;
  }
  for (const std::string& path : readable) {
    if (!AddRule(ruleset.get(), path, kReadRights, handled, error)) return false;
  }
  if (::syscall(SYS_landlock_restrict_self, ruleset.get(), 0) != 0) {
    *error = ErrnoText("landlock_restrict_self", errno);
    return false;
  }
  return true;
}

}  // namespace zv
