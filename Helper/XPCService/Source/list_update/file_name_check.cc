// SPDX-License-Identifier: MIT
// The profile file-name check. Characters are classified by their ASCII
// codes, never through the C library's classes, so the answer does not
// depend on the process's locale.
#include "list_update/file_name_check.h"

#include <cstring>

namespace {

// Longest part before the first dot, and after it.
constexpr std::size_t kMaxStemLength = 27;
constexpr std::size_t kMaxExtensionLength = 3;
// Punctuation allowed besides letters and digits.
constexpr char kAllowedPunctuation[] = "!#$%&'()-.^_`{}~";

bool IsAsciiLetterOrDigit(int c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The length rule: 1 to 27 characters before the first dot (all of them
// when there is none) and at most 3 after it.
bool HasAcceptedLengths(const char* name) {
  const std::size_t length = std::strlen(name);
  const char* dot = std::strchr(name, '.');
  if (dot == nullptr) return length <= kMaxStemLength;
  const auto stem = static_cast<std::size_t>(dot - name);
  return stem >= 1 && stem <= kMaxStemLength && length - stem - 1 <= kMaxExtensionLength;
}

}  // namespace

uint8_t FileNameFilter(int c) {
  if (IsAsciiLetterOrDigit(c)) return 1;
  // Bytes above 0x7F arrive negative and the terminator is no name
  // character, so neither may match the punctuation table.
  if (c <= 0 || c > 0x7F) return 0;
  return std::strchr(kAllowedPunctuation, c) != nullptr ? 1 : 0;
}

uint8_t bJudgement8point3Format(const char* name) {
  if (name == nullptr || name[0] == '\0') return 0;
  if (!HasAcceptedLengths(name)) return 0;
  for (const char* p = name; *p != '\0'; ++p) {
    if (!FileNameFilter(static_cast<signed char>(*p))) return 0;
  }
  return 1;
}
