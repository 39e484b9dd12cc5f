// SPDX-License-Identifier: MIT
#include "zvxpc/json_text.h"

#include <cstdio>

#include "platform/fixed_field.h"
#include "platform/utf8.h"

namespace zvxpc {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c >= 0x80) {
      const std::size_t length = zv::Utf8CharLengthAt(text, pos);
      out += length > 0 ? text.substr(pos, length) : std::string_view("\\ufffd");
      pos += length > 0 ? length : 1;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
    ++pos;
  }
  return out + "\"";
}

std::string MenuJson(const ProfileList& list) {
  int slots[ZV_PROFILE_SLOTS];
  const int shown = zvplist_menu(&list, slots, ZV_PROFILE_SLOTS);
  std::string out = "[";
  for (int i = 0; i < shown; ++i) {
    const ProfileRecord& slot = list.slots[slots[i]];
    out += std::string(i == 0 ? "" : ",") + "{\"slot\":" + std::to_string(slots[i]) +
           ",\"FileName\":" + JsonString(zv::FieldText(slot.FileName)) +
           ",\"ProfileName\":" + JsonString(zv::FieldText(slot.ProfileName)) + "}";
  }
  return out + "]";
}

std::string MenusJson(const ProfileList* const lists[3]) {
  static constexpr const char* kClassNames[3] = {"RGB", "SIM", "DST"};
  std::string out = "{";
  for (int c = 0; c < 3; ++c) out += std::string(c == 0 ? "" : ",") + "\"" + kClassNames[c] + "\":" + MenuJson(*lists[c]);
  return out + "}";
}

}  // namespace zvxpc
