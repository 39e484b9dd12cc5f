// SPDX-License-Identifier: MIT
// File URLs parsed with uriparser: the local file that a "file" URL names.
#pragma once

#include <climits>
#include <cstddef>
#include <string>
#include <string_view>

namespace zv {

/// Longest URL text FileUrlToPath parses: the longest form of a path the
/// system opens (PATH_MAX less its terminator, every byte escaped as three
/// characters) after "file://localhost". A longer text names no file that
/// could be opened, and parsing it would cost memory in proportion to its
/// path segments.
inline constexpr std::size_t kMaxFileUrlBytes = sizeof "file://localhost" - 1 + 3 * (PATH_MAX - 1);

/// The local path that the "file" URL `url` names. Accepted forms, scheme
/// and host compared without regard to case:
///   file:///absolute/path
///   file://localhost/absolute/path
///   file:/absolute/path
/// The path's percent-escapes are decoded ("%20" is a blank; "+" stays a
/// plus sign). Anything else is not a file URL and gives false with a
/// message in `*error`: another scheme, another host, user information or
/// a port, a relative or missing path, a query or a fragment (which would
/// make the URL name a file other than its text suggests), text that does
/// not parse as a URL, an escape that decodes to a zero byte, and a text
/// longer than kMaxFileUrlBytes (refused before it is parsed).
bool FileUrlToPath(std::string_view url, std::string* path, std::string* error);

}  // namespace zv
