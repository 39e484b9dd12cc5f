// SPDX-License-Identifier: MIT
// Finding zero characters in a binary property list's string objects, and
// measuring how deep its containers nest.
//
// Layout used here: a 32-byte trailer at the end (byte 6 the size of an
// offset, byte 7 the size of an object reference, bytes 8-15 the object
// count, bytes 16-23 the top object, bytes 24-31 where the offset table
// starts, all big-endian); the offset table then gives each object's
// start. An object starts with a marker byte: high nibble 0x5 for an
// ASCII string of N bytes, 0x6 for a UTF-16 string of N units, 0xA, 0xB
// and 0xC for an array or set of N object references, 0xD for a
// dictionary of N key references followed by N value references; N is
// the low nibble, or, when that is 0xF, an integer object that follows
// (marker 0x1K, then 2^K bytes).
#include "platform/binary_plist_check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zv {
namespace {

constexpr std::size_t kTrailerSize = 32;

struct Trailer {
  uint64_t offset_size = 0;
  uint64_t reference_size = 0;
  uint64_t count = 0;  // objects the offset table holds, at most
  uint64_t top = 0;
  uint64_t table = 0;
  uint64_t end = 0;  // where the trailer starts
};

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

// Reads the trailer; false when it is unusable. The count is cut to the
// entries that the offset table has room for.
bool ReadTrailer(std::string_view data, Trailer* trailer) {
  if (data.size() < kTrailerSize + 8) return false;
  Trailer t;
  t.end = data.size() - kTrailerSize;
  if (!ReadBigEndian(data, t.end + 6, 1, &t.offset_size) || !ReadBigEndian(data, t.end + 7, 1, &t.reference_size) ||
      !ReadBigEndian(data, t.end + 8, 8, &t.count) || !ReadBigEndian(data, t.end + 16, 8, &t.top) ||
      !ReadBigEndian(data, t.end + 24, 8, &t.table)) {
    return false;
  }
  if (t.offset_size == 0 || t.offset_size > 8 || t.table > t.end) return false;
  t.count = std::min(t.count, (t.end - t.table) / t.offset_size);
  *trailer = t;
  return true;
}

// Where object `index` starts; false when the table or the offset lies
// outside the objects.
bool ObjectStart(std::string_view data, const Trailer& t, uint64_t index, uint64_t* pos) {
  if (index >= t.count) return false;
  return ReadBigEndian(data, t.table + index * t.offset_size, static_cast<unsigned>(t.offset_size), pos) &&
         *pos < t.end;
}

// A container object: where its references start and how many it holds.
struct Container {
  uint64_t references = 0;
  uint64_t count = 0;
};

// True when object `index` is an array, set or dictionary that can be
// walked; fills `*container`.
bool ReadContainer(std::string_view data, const Trailer& t, uint64_t index, Container* container) {
  uint64_t pos = 0;
  if (!ObjectStart(data, t, index, &pos)) return false;
  const unsigned kind = static_cast<unsigned char>(data[pos]) >> 4;
  if (kind != 0xA && kind != 0xB && kind != 0xC && kind != 0xD) return false;
  uint64_t length = 0;
  if (!ReadObjectLength(data, pos, &length, &container->references)) return false;
  if (t.reference_size == 0 || t.reference_size > 8 || length > data.size()) return false;
  container->count = kind == 0xD ? 2 * length : length;
  return container->references <= t.end && (t.end - container->references) / t.reference_size >= container->count;
}

// Height (containers on the longest path down, itself included) and
// expanded size of each container, filled in as the walk leaves it.
constexpr uint8_t kUnvisited = 0xFF;
constexpr uint8_t kOnPath = 0xFE;

class NestingWalk {
 public:
  NestingWalk(std::string_view data, const Trailer& t, int max_depth, uint64_t max_nodes)
      : data_(data), t_(t), max_depth_(max_depth), max_nodes_(max_nodes),
        height_(t.count, kUnvisited), nodes_(t.count, 0) {}

  bool Run(std::string* error) {
    if (!Enter(t_.top, error)) return false;
    while (!path_.empty()) {
      Frame& frame = path_.back();
      if (frame.next == frame.container.count) {
        if (!Leave(error)) return false;
        continue;
      }
      uint64_t child = 0;
      if (!ReadBigEndian(data_, frame.container.references + frame.next * t_.reference_size,
                         static_cast<unsigned>(t_.reference_size), &child)) {
        return true;  // damaged: libplist refuses it
      }
      ++frame.next;
      if (!Visit(child, error)) return false;
    }
    return true;
  }

 private:
  struct Frame {
    uint64_t index;
    Container container;
    uint64_t next = 0;
    uint64_t nodes = 1;
    uint8_t height = 1;
  };

  bool Enter(uint64_t index, std::string* error) {
    Container container;
    if (!ReadContainer(data_, t_, index, &container)) {
      if (!path_.empty()) path_.back().nodes += 1;
      return true;
    }
    if (static_cast<int>(path_.size()) >= max_depth_) return TooDeep(error);
    height_[index] = kOnPath;
    path_.push_back(Frame{index, container});
    return true;
  }

  // A reference from the container on top of the path to `child`.
  bool Visit(uint64_t child, std::string* error) {
    if (child >= t_.count || height_[child] == kUnvisited) return Enter(child, error);
    if (height_[child] == kOnPath) {
      *error = "binary property list: a container holds itself";
      return false;
    }
    if (path_.size() + height_[child] > static_cast<std::size_t>(max_depth_)) return TooDeep(error);
    Frame& frame = path_.back();
    frame.nodes += nodes_[child];
    frame.height = std::max<uint8_t>(frame.height, height_[child] + 1);
    return frame.nodes <= max_nodes_ || TooManyNodes(error);
  }

  bool Leave(std::string* error) {
    const Frame done = path_.back();
    path_.pop_back();
    height_[done.index] = done.height;
    nodes_[done.index] = done.nodes;
    if (path_.empty()) return true;
    Frame& parent = path_.back();
    parent.nodes += done.nodes;
    parent.height = std::max<uint8_t>(parent.height, done.height + 1);
    return parent.nodes <= max_nodes_ || TooManyNodes(error);
  }

  bool TooDeep(std::string* error) const {
    *error = "binary property list: containers nest deeper than " + std::to_string(max_depth_) + " levels";
    return false;
  }

  bool TooManyNodes(std::string* error) const {
    *error = "binary property list: its references expand to more than " + std::to_string(max_nodes_) + " objects";
    return false;
  }

  std::string_view data_;
  Trailer t_;
  int max_depth_;
  uint64_t max_nodes_;
  std::vector<uint8_t> height_;
  std::vector<uint64_t> nodes_;
  std::vector<Frame> path_;
};

}  // namespace

bool IsBinaryPropertyList(std::string_view data) { return data.substr(0, 8) == "bplist00"; }

bool BinaryPropertyListHoldsZeroCharacter(std::string_view data) {
  Trailer t;
  if (!ReadTrailer(data, &t)) return false;
  for (uint64_t i = 0; i < t.count; ++i) {
    uint64_t pos = 0;
    if (ObjectStart(data, t, i, &pos) && StringHoldsZero(data, pos)) return true;
  }
  return false;
}

bool BinaryPropertyListNestingWithin(std::string_view data, int max_depth, uint64_t max_nodes, std::string* error) {
  Trailer t;
  if (!ReadTrailer(data, &t) || t.top >= t.count) return true;
  if (t.count > max_nodes) {
    *error = "binary property list: more than " + std::to_string(max_nodes) + " objects";
    return false;
  }
  return NestingWalk(data, t, max_depth, max_nodes).Run(error);
}

}  // namespace zv
