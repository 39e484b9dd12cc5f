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

// Rights and scopes of Landlock ABI 3 and 6 that older kernel headers do
// not name yet.
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif
#ifndef LANDLOCK_SCOPE_ABSTRACT_UNIX_SOCKET
#define LANDLOCK_SCOPE_ABSTRACT_UNIX_SOCKET (1ULL << 0)
#endif
#ifndef LANDLOCK_SCOPE_SIGNAL
#define LANDLOCK_SCOPE_SIGNAL (1ULL << 1)
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

// The first Landlock ABI with scopes.
constexpr int kScopesAbi = 6;

// The ruleset's attributes as the kernel reads them since ABI 6; older
// headers know only the first field. An older kernel takes the longer
// structure as long as the fields it does not know are zero.
struct RulesetAttributes {
  uint64_t handled_access_fs;
  uint64_t handled_access_net;  // left 0: the system call filter rules the network
  uint64_t scoped;
};

// Signals to, and abstract Unix sockets of, processes outside the
// ruleset's domain are refused (EPERM), the service's included.
uint64_t Scopes(int abi) {
  return abi >= kScopesAbi ? LANDLOCK_SCOPE_SIGNAL | LANDLOCK_SCOPE_ABSTRACT_UNIX_SOCKET : 0;
}

constexpr uint64_t kReadRights = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
// What a rule on a file (not a folder) may grant.
constexpr uint64_t kFileRights = LANDLOCK_ACCESS_FS_READ_FILE;

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

}  // namespace

LandlockRuleset::~LandlockRuleset() {
  if (fd_ >= 0) ::close(fd_);
}

bool LandlockRuleset::Create(int abi, std::string* error) {
  handled_ = HandledRights(abi);
  const RulesetAttributes attributes{handled_, 0, Scopes(abi)};
  fd_ = static_cast<int>(::syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0));
  if (fd_ >= 0) return true;
  *error = ErrnoText("landlock_create_ruleset", errno);
  return false;
}

// Adds a rule granting reading (cut to what the ruleset handles, and to
// what fits the kind of file) below each path; a missing path adds nothing.
bool LandlockRuleset::AllowReading(const std::vector<std::string>& paths, std::string* error) {
  for (const std::string& path : paths) {
    Fd target(::open(path.c_str(), O_PATH | O_CLOEXEC));
    if (target.get() < 0) {
      if (errno == ENOENT || errno == ENOTDIR || errno == EACCES || errno == ENAMETOOLONG || errno == ELOOP) continue;
      *error = ErrnoText("open", path, errno);
      return false;
    }
    struct stat status {};
    if (::fstat(target.get(), &status) != 0) continue;
    landlock_path_beneath_attr rule{};
    rule.allowed_access = (S_ISDIR(status.st_mode) ? kReadRights : kFileRights) & handled_;
    rule.parent_fd = target.get();
    if (::syscall(SYS_landlock_add_rule, fd_, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) != 0) {
      *error = ErrnoText("landlock_add_rule", path, errno);
      return false;
    }
  }
  return true;
}

bool LandlockRuleset::Enforce(std::string* error) {
  if (::syscall(SYS_landlock_restrict_self, fd_, 0) == 0) return true;
  *error = ErrnoText("landlock_restrict_self", errno);
  return false;
}

}  // namespace zv
