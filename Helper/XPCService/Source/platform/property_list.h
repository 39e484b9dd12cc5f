// SPDX-License-Identifier: MIT
// Property-list layer over libplist: an owner for plist_t values, reading
// and parsing a file (XML or binary), serialising as XML and writing a
// file's whole content atomically, and the 32-bit integer and UTF-8 string
// values that the profile property list is made of.
#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zv {

/// Sole owner of one libplist value (a node that has no parent). Frees it
/// with plist_free on destruction. Move-only.
class PlistPtr {
 public:
  PlistPtr() = default;
  /// Takes ownership of `node` (may be null).
  explicit PlistPtr(plist_t node) : node_(node) {}
  ~PlistPtr() { reset(); }
  PlistPtr(PlistPtr&& other) noexcept : node_(other.release()) {}
  PlistPtr& operator=(PlistPtr&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  PlistPtr(const PlistPtr&) = delete;
  PlistPtr& operator=(const PlistPtr&) = delete;

  plist_t get() const { return node_; }
  explicit operator bool() const { return node_ != nullptr; }
  /// Gives up ownership: the caller now owns the node.
  plist_t release() {
    plist_t node = node_;
    node_ = nullptr;
    return node;
  }
  /// Frees the owned node and takes `node` instead.
  void reset(plist_t node = nullptr) {
    if (node_ != nullptr) plist_free(node_);
    node_ = node;
  }

 private:
  plist_t node_ = nullptr;
};

/// Deepest nesting of containers (dictionaries, arrays) that
/// ParsePropertyList hands to libplist, whose reader and whose free recurse
/// once per level. A profile list nests three deep.
inline constexpr int kMaxPropertyListNesting = 32;
/// Most objects a binary property list may hold, or expand to through
/// shared references, before libplist reads it.
inline constexpr uint64_t kMaxPropertyListObjects = 1000000;

/// Parses `data` as a property list, detecting XML or binary form from its
/// first bytes. XML is read as every XML reader reads it: a UTF-8
/// byte-order mark is skipped and line ends are normalised to LF. False
/// with a message in `*error` when it is not one (or is larger than
/// libplist takes, 4 GiB), for XML holding a zero byte and for a binary
/// list whose key or string holds a zero character (libplist aborts on
/// those), and for containers nested deeper than kMaxPropertyListNesting
/// (binary lists also for more than kMaxPropertyListObjects objects);
/// `*root` is then left untouched.
bool ParsePropertyList(std::string_view data, PlistPtr* root, std::string* error);

/// Reads the whole file `path` and parses it as ParsePropertyList does.
/// False with a message naming the failing call when the file cannot be
/// read or holds no property list; `*root` is then left untouched.
bool ReadPropertyListFile(const std::string& path, PlistPtr* root, std::string* error);

/// Serialises `root` as an XML property list (UTF-8) into `*xml`. False
/// with a message when libplist produced nothing.
bool SerializeXml(plist_t root, std::string* xml, std::string* error);

/// Serialises `root` as XML and replaces the whole content of `path` with
/// it atomically (see ReplaceFileContents: temporary file beside it,
/// fsync, rename; an existing file keeps its permission bits, a new one
/// gets 0664 less the file-creation mask; in-place rewrite when only the
/// directory refuses). False with a message when nothing was stored.
bool WritePropertyListFile(const std::string& path, plist_t root, std::string* error);

/// A new integer node holding `value`. libplist keeps every integer as 64
/// bits; a negative value is stored as its two's complement and written
/// back as a negative decimal.
plist_t NewInt32Node(int32_t value);

/// When `node` is an integer whose value fits a signed 32-bit integer,
/// stores it in `*value` and returns true. Returns false, leaving `*value`
/// untouched, for a null node, another type or a value out of range.
bool Int32FromNode(plist_t node, int32_t* value);

/// True when `text` can stand in an XML property list as a string: it is
/// valid UTF-8 and holds none of the characters XML 1.0 forbids (the
/// control characters other than tab, line feed and carriage return, and
/// U+FFFE, U+FFFF). libplist writes such characters unescaped, and other
/// readers then reject the whole file.
bool IsXmlStringText(std::string_view text);

/// When `node` is a string, returns its UTF-8 bytes (valid as long as the
/// node is) and true; false for a null node or another type.
bool StringFromNode(plist_t node, std::string_view* text);

/// True when `node` is a dictionary.
bool IsDictionary(plist_t node);

/// Calls `visit` with the key and the value of each entry of the
/// dictionary `dict`, in libplist's order; the key is valid during the
/// call only (a key libplist could not give reads as ""). Nothing for a
/// node that is no dictionary.
void ForEachDictionaryEntry(plist_t dict, const std::function<void(std::string_view key, plist_t value)>& visit);

}  // namespace zv
