// SPDX-License-Identifier: MIT
// Finding zero characters in a binary property list's string objects.
//
// Layout used here: a 32-byte trailer at the end (byte 6 the size of an
// offset, bytes 8-15 the object count, bytes 24-31 where the offset table
// starts, all big-endian); the offset table then gives each object's
// start. An object starts with a marker byte: high nibble 0x5 for an
// ASCII string of N bytes, 0x6 for a UTF-16 string of N units; N is the
// low nibble, or, when that is 0xF, an integer object that follows
// (marker 0x1K, then 2^K bytes).
#include "platform/binary_plist_check.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zv {
namespace {

constexpr std::size_t kTrailerSize = 32;

// Reads `width` (1-8) big-endian bytes at `pos`; false when they do not
// lie inside `data`.
bool ReadBigEndian(std::string_view data, uint64_t pos, unsigned width, uint64_t* value) {
  if (width == 0 || width > 8 || pos > data.size() || data.size() - pos < width) return false;
  uint64_t result = 0;
  for (unsigned i = 0; i < width; ++i) result = (result << 8) | static_cast<unsigned char>(data[pos + i]);
  *value = result;
  return true;
}

// The length of the object whose marker is at `pos` and where its content
// begins.
bool ReadObjectLength(std::string_view data, uint64_t pos, uint64_t* length, uint64_t* content) {
  const unsigned nibble = static_cast<unsigned char>(data[pos]) & 0x0F;
  if (nibble != 0x0F) {
    *length = nibble;
    *content = pos + 1;
    return true;
  }
  uint64_t int_marker = 0;
  if (!ReadBigEndian(data, pos + 1, 1, &int_marker) || (int_marker & 0xF0) != 0x10) return false;
  const unsigned width = 1u << (int_marker & 0x0F);
  *content = pos + 2 + width;
  return ReadBigEndian(data, pos + 2, width, length);
}

// True when the string object at `pos` holds a zero character.
bool StringHoldsZero(std::string_view data, uint64_t pos) {
  const unsigned kind = static_cast<unsigned char>(data[pos]) >> 4;
  if (kind != 0x5 && kind != 0x6) return false;
  uint64_t length = 0, content = 0;
  if (!ReadObjectLength(data, pos, &length, &content) || content > data.size()) return false;
  const unsigned unit = kind == 0x6 ? 2 : 1;
  const uint64_t available = (data.size() - content) / unit;
  if (length > available) return false;
  for (uint64_t i = 0; i < length; ++i) {
    const char* at = data.data() + content + i * unit;
    if (at[0] == 0 && (unit == 1 || at[1] == 0)) return true;
  }
  return false;
}

}  // namespace

bool IsBinaryPropertyList(std::string_view data) { return data.substr(0, 8) == "bplist00"; }

bool BinaryPropertyListHoldsZeroCharacter(std::string_view data) {
  if (data.size() < kTrailerSize + 8) return false;
  const uint64_t trailer = data.size() - kTrailerSize;
  uint64_t offset_size = 0, count = 0, table = 0;
  if (!ReadBigEndian(data, trailer + 6, 1, &offset_size) || !ReadBigEndian(data, trailer + 8, 8, &count) ||
      !ReadBigEndian(data, trailer + 24, 8, &table)) {
    return false;
  }
  if (offset_size == 0 || offset_size > 8 || table > trailer) return false;
  const uint64_t entries = (trailer - table) / offset_size;
  if (count > entries) count = entries;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t pos = 0;
    if (!ReadBigEndian(data, table + i * offset_size, static_cast<unsigned>(offset_size), &pos)) return false;
    if (pos < trailer && StringHoldsZero(data, pos)) return true;
  }
  return false;
}

}  // namespace zv
