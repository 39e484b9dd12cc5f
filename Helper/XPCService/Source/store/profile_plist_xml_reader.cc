// SPDX-License-Identifier: MIT
// The fast reader of the XML profile list: one walk over the parsed tree
// that checks every element against the forms libplist reads the same way
// and decodes the numbered entries on the way.
//
// Where a key appears twice in one dictionary, libplist keeps the last
// value; so does this reader, for class, field and numbered entries alike.
#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include "platform/xml_document.h"
#include "store/profile_plist_xml.h"

namespace zv {
namespace {

// Containers around a value: a value of the top dictionary sits in one,
// a value of a class dictionary in two, one of a field dictionary in
// three. A dictionary value deeper than the libplist path's nesting limit
// is left to that path, which refuses it.
constexpr int kTopValueDepth = 1;
constexpr int kClassValueDepth = 2;
constexpr int kFieldValueDepth = 3;
// Longest integer text taken here: 18 digits always fit 64 bits.
constexpr std::size_t kMaxIntegerDigits = 18;

// True when the element's name is `name`; compared in line, terminator
// included, as this runs several times for every element of the file.
template <std::size_t N>
bool Named(pugi::xml_node node, const char (&name)[N]) {
  const char* actual = node.name();
  for (std::size_t i = 0; i < N; ++i) {
    if (actual[i] != name[i]) return false;
  }
  return true;
}

// libplist finds the end of a tag, a processing instruction or the
// document type by rules of its own about quotes and brackets; the forms
// below end in the same place for both parsers.
bool HoldsNone(std::string_view text, std::string_view characters) {
  return text.find_first_of(characters) == std::string_view::npos;
}

// Attribute values of plain words ("1.0", "UTF-8").
bool PlainAttributes(pugi::xml_node node) {
  for (pugi::xml_attribute attribute = node.first_attribute(); attribute; attribute = attribute.next_attribute()) {
    if (!HoldsNone(attribute.value(), "<>&\"'/?")) return false;
  }
  return true;
}

// A comment, white space, or a processing instruction without quotes.
bool Filler(pugi::xml_node node) {
  return IsXmlFiller(node) && (node.type() != pugi::node_pi || HoldsNone(node.value(), "\"'"));
}

// The prolog's declaration and document type, in their plain forms: no
// internal subset, double quotes in pairs.
bool PlainProlog(pugi::xml_node node) {
  if (node.type() == pugi::node_declaration) return PlainAttributes(node);
  const std::string_view text = node.value();
  return HoldsNone(text, "[]'<>") && std::count(text.begin(), text.end(), '"') % 2 == 0;
}

// A plain decimal integer ("0", "-12", no sign "+", no leading zero, no
// white space); other forms libplist reads by rules of its own. The digits
// are checked and added up in one pass.
bool ParsePlainInteger(std::string_view text, int64_t* value) {
  const bool negative = !text.empty() && text[0] == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  if (digits.empty() || digits.size() > kMaxIntegerDigits || (digits[0] == '0' && text.size() > 1)) return false;
  int64_t magnitude = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
  }
  *value = negative ? -magnitude : magnitude;
  return true;
}

class Decoder {
 public:
  explicit Decoder(ProfileClasses* classes) : classes_(classes) {}

  bool DecodeDocument(const pugi::xml_document& document) {
    pugi::xml_node top;
    return FindTopDictionary(document, &top) && DecodeTopDictionary(top);
  }

 private:
  // The one element child of `parent` (others must be filler).
  static bool OnlyElement(pugi::xml_node parent, pugi::xml_node* element) {
    for (pugi::xml_node child : parent.children()) {
      const pugi::xml_node_type type = child.type();
      if (type == pugi::node_element) {
        if (*element || !PlainAttributes(child)) return false;
        *element = child;
      } else if (type == pugi::node_declaration || type == pugi::node_doctype) {
        if (!PlainProlog(child)) return false;
      } else if (!Filler(child)) {
        return false;
      }
    }
    return static_cast<bool>(*element);
  }

  static bool FindTopDictionary(const pugi::xml_document& document, pugi::xml_node* top) {
    pugi::xml_node plist;
    return OnlyElement(document, &plist) && Named(plist, "plist") && OnlyElement(plist, top) && Named(*top, "dict");
  }

  // Calls visit(key, value) for each entry of `dict` in order. False when
  // the dictionary is not a plain sequence of key and value elements, or
  // visit returns false.
  template <typename Visit>
  bool ForEachEntry(pugi::xml_node dict, Visit visit) {
    pugi::xml_node key;
    bool have_key = false;
    for (pugi::xml_node child = dict.first_child();; child = child.next_sibling()) {
      const pugi::xml_node_type type = child.type();
      if (type == pugi::node_null) break;
      if (type != pugi::node_element) {
        if (!Filler(child)) return false;
        continue;
      }
      if (!PlainAttributes(child)) return false;
      if (!have_key) {
        if (!Named(child, "key")) return false;
        key = child;
        have_key = true;
        continue;
      }
      std::string_view key_text;
      if (!XmlElementText(key, &key_scratch_, &key_text) || key_text.empty() || !visit(key_text, child)) return false;
      have_key = false;
    }
    return !have_key;
  }

  // The value of the last entry `name` of `dict`; null when there is none.
  pugi::xml_node LastValue(pugi::xml_node dict, std::string_view name) {
    pugi::xml_node found;
    pugi::xml_node key;
    for (pugi::xml_node child = dict.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      if (key) {
        std::string_view key_text;
        if (XmlElementText(key, &key_scratch_, &key_text) && key_text == name) found = child;
        key = pugi::xml_node();
      } else if (Named(child, "key")) {
        key = child;
      }
    }
    return found;
  }

  // Checks a value that is not decoded, `depth` containers deep: a string,
  // a plain integer or a dictionary of such values.
  bool CheckValue(pugi::xml_node value, int depth) {
    std::string_view text;
    if (Named(value, "string")) return XmlElementText(value, &text_scratch_, &text);
    if (Named(value, "integer")) {
      int64_t ignored = 0;
      return XmlElementText(value, &text_scratch_, &text) && ParsePlainInteger(text, &ignored);
    }
    if (!Named(value, "dict") || depth >= kMaxPropertyListNesting) return false;
    return ForEachEntry(value, [&](std::string_view, pugi::xml_node inner) { return CheckValue(inner, depth + 1); });
  }

  // An integer value in the 32-bit range, `depth` containers deep; false
  // (with *ok) when it is another value that is still well-formed.
  bool Int32Value(pugi::xml_node value, int depth, int32_t* result, bool* ok) {
    std::string_view text;
    int64_t wide = 0;
    if (!Named(value, "integer")) {
      *ok = CheckValue(value, depth);
      return false;
    }
    *ok = XmlElementText(value, &text_scratch_, &text) && ParsePlainInteger(text, &wide);
    if (!*ok || wide < std::numeric_limits<int32_t>::min() || wide > std::numeric_limits<int32_t>::max()) return false;
    *result = static_cast<int32_t>(wide);
    return true;
  }

  // One numbered entry of `field` into its slot: the name field `name`,
  // or when that is null the integer field `integer`. A value of another
  // type takes the field away again, as libplist's replacement of a
  // repeated key would.
  bool DecodeSlotValue(pugi::xml_node value, SlotField field, const NameField* name, const IntegerField* integer,
                       SlotEntries* slot) {
    bool ok = true;
    std::string_view text;
    int32_t number = 0;
    if (name != nullptr && Named(value, "string")) {
      if (!XmlElementText(value, &text_scratch_, &text)) return false;
      StoreSlotText(*name, text, slot);
    } else if (name == nullptr && Int32Value(value, kFieldValueDepth, &number, &ok)) {
      StoreSlotInt(*integer, number, slot);
    } else {
      if (name != nullptr) ok = CheckValue(value, kFieldValueDepth);
      slot->present &= static_cast<uint8_t>(~FieldBit(field));
    }
    return ok;
  }

  bool DecodeFieldDictionary(pugi::xml_node dict, SlotField field, ClassEntries* entries) {
    const NameField* const name = FindNameField(field);
    const IntegerField* const integer = FindIntegerField(field);
    return ForEachEntry(dict, [&](std::string_view key, pugi::xml_node value) {
      const int slot = SlotNumberOfKey(key, field);
      if (slot < 0) return CheckValue(value, kFieldValueDepth);
      return DecodeSlotValue(value, field, name, integer, &entries->slots[slot]);
    });
  }

  // Decodes the class dictionary of `selector`; a missing field
  // dictionary is recorded as the class's problem.
  bool DecodeClass(pugi::xml_node class_dict, int32_t selector) {
    ClassEntries* entries = &classes_->of[selector];
    pugi::xml_node chosen[kSlotFieldCount];
    for (int f = 0; f < kSlotFieldCount; ++f) {
      const char* name = FieldKey(static_cast<SlotField>(f));
      chosen[f] = LastValue(class_dict, name);
      if (!chosen[f] || !Named(chosen[f], "dict")) {
        if (classes_->problem[selector].empty()) classes_->problem[selector] = MissingDictionaryReason(selector, name);
      }
    }
    const pugi::xml_node count = LastValue(class_dict, kCountKey);
    return ForEachEntry(class_dict, [&](std::string_view, pugi::xml_node value) {
      if (value == count) {
        bool ok = true;
        entries->has_count = Int32Value(value, kClassValueDepth, &entries->count, &ok);
        return ok;
      }
      for (int f = 0; f < kSlotFieldCount; ++f) {
        if (value == chosen[f] && Named(value, "dict")) {
          return DecodeFieldDictionary(value, static_cast<SlotField>(f), entries);
        }
      }
      return CheckValue(value, kClassValueDepth);
    });
  }

  bool DecodeTopDictionary(pugi::xml_node top) {
    pugi::xml_node chosen[kProfileClassCount];
    for (int32_t c = 0; c < kProfileClassCount; ++c) {
      chosen[c] = LastValue(top, ClassKey(c));
      if (!chosen[c] || !Named(chosen[c], "dict")) classes_->problem[c] = MissingDictionaryReason(c, nullptr);
    }
    return ForEachEntry(top, [&](std::string_view, pugi::xml_node value) {
      for (int32_t c = 0; c < kProfileClassCount; ++c) {
        if (value == chosen[c] && Named(value, "dict")) return DecodeClass(value, c);
      }
      return CheckValue(value, kTopValueDepth);
    });
  }

  ProfileClasses* classes_;
  std::string key_scratch_;
  std::string text_scratch_;
};

}  // namespace

bool DecodeXmlProfileList(std::string* xml, ProfileClasses* classes) {
  if (std::memchr(xml->data(), 0, xml->size()) != nullptr) return false;
  pugi::xml_document document;
  std::string ignored_error;
  if (!ParseXmlDocument(xml, &document, &ignored_error)) return false;
  return Decoder(classes).DecodeDocument(document);
}

}  // namespace zv
