// SPDX-License-Identifier: MIT
#include "platform/file_identity.h"

namespace zv {

FileIdentity IdentityOf(const struct stat& status) { return FileIdentity{status.st_dev, status.st_ino}; }

std::optional<FileIdentity> IdentityAt(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return IdentityOf(status);
}

}  // namespace zv
