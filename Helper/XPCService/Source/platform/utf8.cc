// SPDX-License-Identifier: MIT
#include "utf8.h"

namespace zv {

std::size_t Utf8CharLengthAt(std::string_view s, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) return 1;
  std::size_t len;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    len = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (pos + len > s.size()) return 0;
  if (byte(pos + 1) < lo || byte(pos + 1) > hi) return 0;
  for (std::size_t i = 2; i < len; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
  }
  return len;
}

bool IsValidUtf8(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t len = Utf8CharLengthAt(text, pos);
    if (len == 0) return false;
    pos += len;
  }
  return true;
}

std::size_t Utf8PrefixLength(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text.size();
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t len = Utf8CharLengthAt(text, pos);
    if (len == 0) len = 1;
    if (pos + len > max_bytes) break;
    pos += len;
  }
  return pos;
}

std::string ValidUtf8Text(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = Utf8CharLengthAt(text, pos);
    if (length == 0) {
      valid += "\xEF\xBF\xBD";
      ++pos;
    } else {
      valid.append(text.substr(pos, length));
      pos += length;
    }
  }
  return valid;
}

}  // namespace zv
