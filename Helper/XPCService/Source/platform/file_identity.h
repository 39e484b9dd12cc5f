// SPDX-License-Identifier: MIT
// Which file a path named at one moment. A name can be given to another
// file at any time (a save renames a new file over the old one), so code
// that acts on a file it looked at before checks that the name still
// leads to the same file.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>

namespace zv {

/// A file by its device and inode number.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

/// The identity of the file that `status` describes.
FileIdentity IdentityOf(const struct stat& status);

/// The identity of the file `path` names now (symbolic links followed);
/// nullopt with errno set when stat fails (ENOENT: there is none).
std::optional<FileIdentity> IdentityAt(const std::string& path);

}  // namespace zv
