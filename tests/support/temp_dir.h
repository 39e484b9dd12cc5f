// SPDX-License-Identifier: MIT
// A temporary directory for one test, removed with everything in it.
#pragma once

#include <string>

namespace zvtest {

/// Creates a fresh directory under $TMPDIR (or /tmp) on construction and
/// removes it recursively on destruction, first reopening for their owner
/// the folders a test closed. The directory is made world-accessible
/// (0777) so that tests running code as another user can reach files
/// inside it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  /// `path()` joined with `name`.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

/// Writes `content` to `path`, replacing it. Fails the test on error.
void WriteFile(const std::string& path, const std::string& content);
/// The whole content of `path`; empty when it cannot be read.
std::string ReadFile(const std::string& path);
/// True when `path` names an existing file system object.
bool Exists(const std::string& path);

}  // namespace zvtest
