// SPDX-License-Identifier: MIT
// UTF-8 checks shared by the property-list layer, the wire format and the
// spool list.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zv {

/// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates,
/// nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

/// Length of the well-formed character that starts at byte `pos` of
/// `text` (1 for ASCII, up to 4), or 0 when the bytes there do not form one
/// (a stray continuation byte, an overlong form, a surrogate, a value above
/// U+10FFFF, or a character cut off by the end of `text`).
std::size_t Utf8CharLengthAt(std::string_view text, std::size_t pos);

/// The longest prefix of `text` of at most `max_bytes` bytes that does not
/// end inside a multi-byte character of a well-formed text. Bytes that do
/// not form a character are treated as one-byte units.
std::size_t Utf8PrefixLength(std::string_view text, std::size_t max_bytes);

/// `text` with every byte that does not form a UTF-8 character replaced by
/// U+FFFD, so that it can travel where only UTF-8 may.
std::string ValidUtf8Text(std::string_view text);

}  // namespace zv
