// SPDX-License-Identifier: MIT
// The Landlock part of the confinement (confinement.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zv {

/// A Landlock ruleset over the file system, filled before it is enforced.
class LandlockRuleset {
 public:
  LandlockRuleset() = default;
  ~LandlockRuleset();
  LandlockRuleset(const LandlockRuleset&) = delete;
  LandlockRuleset& operator=(const LandlockRuleset&) = delete;

  /// Creates the ruleset with the newest file-system access rights this
  /// build knows that the kernel offers at `abi` (at least 1): every one of
  /// them is refused beneath every path no rule names. From ABI 6 on it
  /// also refuses signals to, and connections to the abstract Unix
  /// sockets of, every process outside the ruleset's domain. False with a
  /// message.
  bool Create(int abi, std::string* error);

  /// Lets the process read below each of `paths`; missing paths are left
  /// out. False with a message when a rule cannot be added.
  bool AllowReading(const std::vector<std::string>& paths, std::string* error);

  /// Enforces the ruleset on the calling process for the rest of its life
  /// (needs PR_SET_NO_NEW_PRIVS first). False with a message.
  bool Enforce(std::string* error);

 private:
  int fd_ = -1;
  uint64_t handled_ = 0;
};

}  // namespace zv
