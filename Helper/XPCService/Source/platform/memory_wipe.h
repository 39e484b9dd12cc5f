// SPDX-License-Identifier: MIT
// Wiping memory that held a secret (an SNMPv3 pass phrase or key) before
// it is reused or given back, so that no copy outlives its use. A
// std::string keeps short texts inside the object itself and leaves its
// old buffer behind when it grows: wipe the whole capacity, and build such
// texts at their final size.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zv {

/// Overwrites `size` bytes at `data` with zeros; never optimised away.
void WipeBytes(void* data, std::size_t size);

/// Overwrites the whole buffer of `*text` (its capacity, wherever it
/// lies) with zeros and leaves it empty.
void WipeString(std::string* text);

/// WipeString on every entry of `*texts`, then empties it.
void WipeStrings(std::vector<std::string>* texts);

/// Wipes the texts it was given (WipeStrings) when it goes out of scope.
class WipeOnExit {
 public:
  explicit WipeOnExit(std::vector<std::string>* texts) : texts_(texts) {}
  ~WipeOnExit() { WipeStrings(texts_); }
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;

 private:
  std::vector<std::string>* texts_;
};

}  // namespace zv
