// SPDX-License-Identifier: MIT
#include "zvxpc/long_options.h"

namespace zvxpc {

bool IsLongOption(std::string_view argument) { return argument.size() > 2 && argument.substr(0, 2) == "--"; }

bool TakesSeparateValue(std::string_view argument) {
  return argument == "--socket" || argument == "--user" || argument == "--model" || argument == "--timeout" ||
         argument == "--preferences-dir";
}

}  // namespace zvxpc
