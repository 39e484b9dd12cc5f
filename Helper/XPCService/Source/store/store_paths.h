// SPDX-License-Identifier: MIT
// The store's copy of a path variable: a 255-byte buffer, so a path may
// hold at most 254 bytes.
#pragma once

#include <cstring>

#include "store/zvplist.h"

namespace zv {

/// A path copied out of one of the process-wide path variables.
class StorePath {
 public:
  /// Copies `source` into the buffer. False, leaving the path empty, when
  /// `source` is null or longer than 254 bytes: the store then refuses to
  /// work rather than touch a different, cut-off path.
  bool Load(const char* source) {
    std::memset(buffer_, 0, sizeof buffer_);
    if (source == nullptr) return false;
    const std::size_t length = ::strnlen(source, sizeof buffer_);
    if (length >= sizeof buffer_) return false;
    std::memcpy(buffer_, source, length);
    return true;
  }

  const char* c_str() const { return buffer_; }
  bool empty() const { return buffer_[0] == '\0'; }

 private:
  char buffer_[ZV_PLIST_PATH_BUFFER_SIZE];
};

}  // namespace zv
