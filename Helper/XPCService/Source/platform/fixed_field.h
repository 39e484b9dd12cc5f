// SPDX-License-Identifier: MIT
// Copying texts into the fixed-size character fields of the system's
// records (names of 32 bytes, paths of 255 or 256 bytes).
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace zv {

/// Copies at most `size - 1` bytes of `text` into `field`, cut at the first
/// zero byte of `text`, and fills the rest of the field with zero bytes, so
/// the field is always terminated and its tail is always zero. Never writes
/// past `size` bytes. Returns false when the text (up to its first zero
/// byte) did not fit whole.
inline bool CopyToField(char* field, std::size_t size, std::string_view text) {
  if (size == 0) return text.empty();
  const std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  const bool fits = text.size() < size;
  const std::size_t n = fits ? text.size() : size - 1;
  if (n > 0) std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, size - n);
  return fits;
}

/// The text of a fixed field: its bytes up to the first zero byte, or all
/// `size` bytes when it holds none.
inline std::string_view FieldText(const char* field, std::size_t size) {
  const void* zero = std::memchr(field, 0, size);
  return {field, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field) : size};
}

template <std::size_t N>
bool CopyToField(char (&field)[N], std::string_view text) {
  return CopyToField(field, N, text);
}

template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return FieldText(field, N);
}

}  // namespace zv
