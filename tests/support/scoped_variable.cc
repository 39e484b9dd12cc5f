// SPDX-License-Identifier: MIT
#include "support/scoped_variable.h"

#include <cstdlib>

namespace zvtest {
namespace {

void Put(const char* name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

}  // namespace

ScopedVariable::ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  Put(name, value);
}

ScopedVariable::~ScopedVariable() { Put(name_, old_); }

}  // namespace zvtest
