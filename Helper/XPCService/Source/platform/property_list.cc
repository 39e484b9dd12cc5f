// SPDX-License-Identifier: MIT
// Property-list layer over libplist: read, parse, serialise, write.
#include "platform/property_list.h"

#include "platform/utf8.h"

#include <cstdlib>
#include <limits>
#include <memory>

#include "platform/atomic_file.h"
#include "platform/binary_plist_check.h"
#include "platform/whole_file.h"
#include "platform/xml_document.h"

namespace zv {
namespace {

// Owner of the text that plist_to_xml allocates.
struct XmlText {
  char* data = nullptr;
  uint32_t length = 0;
  ~XmlText() {
    if (data != nullptr) plist_to_xml_free(data);
  }
};

bool ToXml(plist_t root, XmlText* text, std::string* error) {
  plist_to_xml(root, &text->data, &text->length);
  if (text->data == nullptr || text->length == 0) {
    *error = "plist_to_xml: no output";
    return false;
  }
  return true;
}

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// XML's line-end rule, which libplist leaves out: CR LF and a lone CR read
// as LF, so that libplist sees the text every XML reader sees.
std::string NormaliseLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out.push_back(text[i]);
    } else {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
  }
  return out;
}

}  // namespace

bool ParsePropertyList(std::string_view data, PlistPtr* root, std::string* error) {
  if (data.size() > std::numeric_limits<uint32_t>::max()) {
    *error = "plist_from_memory: data larger than 4 GiB";
    return false;
  }
  const bool binary = IsBinaryPropertyList(data);
  if (binary && BinaryPropertyListHoldsZeroCharacter(data)) {
    *error = "binary property list: a key or string holds a zero character";
    return false;
  }
  if (binary && !BinaryPropertyListNestingWithin(data, kMaxPropertyListNesting, kMaxPropertyListObjects, error)) {
    return false;
  }
  std::string normalised;
  if (!binary) {
    // XML has no zero character; libplist would keep one inside a string
    // whose length then disagrees with its text, and abort on copying it.
    if (data.find('\0') != std::string_view::npos) {
      *error = "XML property list: holds a zero byte";
      return false;
    }
    if (data.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) data.remove_prefix(kUtf8ByteOrderMark.size());
    if (data.find('\r') != std::string_view::npos) {
      normalised = NormaliseLineEnds(data);
      data = normalised;
    }
    if (!XmlContainerNestingWithin(data, kMaxPropertyListNesting, error)) return false;
  }
  plist_t parsed = nullptr;
  if (!data.empty()) plist_from_memory(data.data(), static_cast<uint32_t>(data.size()), &parsed);
  if (parsed == nullptr) {
    *error = "plist_from_memory: not a property list";
    return false;
  }
  root->reset(parsed);
  return true;
}

bool ReadPropertyListFile(const std::string& path, PlistPtr* root, std::string* error) {
  std::string data;
  if (!ReadWholeFile(path, &data, error)) return false;
  if (!ParsePropertyList(data, root, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

bool SerializeXml(plist_t root, std::string* xml, std::string* error) {
  XmlText text;
  if (!ToXml(root, &text, error)) return false;
  xml->assign(text.data, text.length);
  return true;
}

bool WritePropertyListFile(const std::string& path, plist_t root, std::string* error) {
  XmlText text;
  if (!ToXml(root, &text, error)) return false;
  return ReplaceFileContents(path, std::string_view(text.data, text.length), error);
}

plist_t NewInt32Node(int32_t value) {
  return plist_new_uint(static_cast<uint64_t>(static_cast<int64_t>(value)));
}

bool Int32FromNode(plist_t node, int32_t* value) {
  if (node == nullptr || plist_get_node_type(node) != PLIST_UINT) return false;
  uint64_t raw = 0;
  plist_get_uint_val(node, &raw);
  const auto wide = static_cast<int64_t>(raw);
  if (wide < std::numeric_limits<int32_t>::min() || wide > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  *value = static_cast<int32_t>(wide);
  return true;
}

bool StringFromNode(plist_t node, std::string_view* text) {
  if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) return false;
  uint64_t length = 0;
  const char* bytes = plist_get_string_ptr(node, &length);
  *text = bytes != nullptr ? std::string_view(bytes, static_cast<std::size_t>(length)) : std::string_view();
  return true;
}

bool IsDictionary(plist_t node) {
  return node != nullptr && plist_get_node_type(node) == PLIST_DICT;
}

void ForEachDictionaryEntry(plist_t dict, const std::function<void(std::string_view key, plist_t value)>& visit) {
  if (!IsDictionary(dict)) return;
  plist_dict_iter iter = nullptr;
  plist_dict_new_iter(dict, &iter);
  const std::unique_ptr<void, decltype(&std::free)> iter_owner(iter, &std::free);
  if (iter == nullptr) return;
  for (;;) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(dict, iter, &key, &value);
    const std::unique_ptr<char, decltype(&std::free)> key_owner(key, &std::free);
    if (value == nullptr) return;
    visit(key != nullptr ? std::string_view(key) : std::string_view(), value);
  }
}

bool IsXmlStringText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x80) {
      ++i;
      continue;
    }
    if (byte < 0x20) {
      if (byte != '\t' && byte != '\n' && byte != '\r') return false;
      ++i;
      continue;
    }
    const std::size_t length = Utf8CharLengthAt(text, i);
    if (length == 0) return false;
    // U+FFFE and U+FFFF: EF BF BE and EF BF BF.
    if (byte == 0xEF && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
        (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE) {
      return false;
    }
    i += length;
  }
  return true;
}

}  // namespace zv
