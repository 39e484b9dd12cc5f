// SPDX-License-Identifier: MIT
#include "client/status_text.h"

#include <algorithm>

#include "zvxpc.h"

namespace zv {
namespace {

// The field whose value runs to the end of the reply.
constexpr std::string_view kLastField = ZVXPC_STATUS_PREFERENCES_DIR;

}  // namespace

StatusLookup StatusFieldOf(std::string_view reply, std::string_view name, std::string* value) {
  if (reply.empty()) return StatusLookup::kMalformed;
  std::size_t line = 0;
  while (line < reply.size()) {
    const std::size_t line_end = std::min(reply.find('\n', line), reply.size());
    const std::size_t equals = reply.find('=', line);
    if (equals >= line_end) return StatusLookup::kMalformed;
    const std::string_view field = reply.substr(line, equals - line);
    const bool last = field == kLastField;
    if (field == name) {
      value->assign(reply.substr(equals + 1, last ? std::string_view::npos : line_end - equals - 1));
      return StatusLookup::kFound;
    }
    if (last) return StatusLookup::kAbsent;
    line = line_end + 1;
  }
  return StatusLookup::kAbsent;
}

}  // namespace zv
