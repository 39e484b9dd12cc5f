// SPDX-License-Identifier: MIT
// The bytes of a profile list file, XML or binary: the fast XML reader and
// the libplist path side by side. Nothing may crash or abort (libplist
// asserts on some binary inputs), and wherever the fast reader decides, it
// must make of the file exactly what the libplist path makes of it. What
// the parser accepts is then walked whole, every key and string copied
// out, as a library user handed its nodes would.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "store/reader_agreement.h"

namespace {

constexpr int kMaxWalkDepth = 64;

void WalkNode(plist_t node, int depth) {
  if (depth > kMaxWalkDepth) return;
  switch (plist_get_node_type(node)) {
    case PLIST_DICT:
      zv::ForEachDictionaryEntry(node, [depth](std::string_view, plist_t value) { WalkNode(value, depth + 1); });
      break;
    case PLIST_ARRAY:
      for (uint32_t i = 0; i < plist_array_get_size(node); ++i) WalkNode(plist_array_get_item(node, i), depth + 1);
      break;
    case PLIST_STRING: {
      char* text = nullptr;
      plist_get_string_val(node, &text);
      std::free(text);
      break;
    }
    default:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const zvtest::ReaderOutcome fast = zvtest::ReadFast(bytes);
  const zvtest::ReaderOutcome reference = zvtest::ReadThroughLibplist(bytes);
  if (fast.read) {
    const std::string difference = zvtest::ClassesDifference(fast, reference);
    if (!difference.empty()) {
      std::fprintf(stderr, "readers disagree: %s\n", difference.c_str());
      std::abort();
    }
  }
  zv::PlistPtr root;
  std::string error;
  if (zv::ParsePropertyList(bytes, &root, &error)) WalkNode(root.get(), 0);
  return 0;
}
