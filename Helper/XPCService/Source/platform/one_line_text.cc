// SPDX-License-Identifier: MIT
#include "platform/one_line_text.h"

#include <cstdio>

namespace zv {

std::string OneLineText(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      line += escape;
    } else if (c == '\\') {
      line += "\\\\";
    } else {
      line.push_back(c);
    }
  }
  return line;
}

}  // namespace zv
