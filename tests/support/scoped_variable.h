// SPDX-License-Identifier: MIT
// Setting an environment variable for one test and putting it back.
#pragma once

#include <optional>
#include <string>

namespace zvtest {

/// Sets the environment variable `name` to `value`, or removes it when
/// `value` holds none, for the life of the object; then restores the value
/// it had before (or its absence).
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::optional<std::string>& value);
  ~ScopedVariable();
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace zvtest
