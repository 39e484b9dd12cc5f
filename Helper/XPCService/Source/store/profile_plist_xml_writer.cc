// SPDX-License-Identifier: MIT
// The XML profile list written straight from the three lists, byte for
// byte what libplist writes for the dictionaries of
// CreateTopLevelDictionary: the same entries in the same order (count,
// then the field dictionaries in write order, each with its 500 numbered
// entries), the same indentation and escapes. Each entry's two lines are
// composed in a stack buffer and appended to the document at once.
#include <charconv>
#include <cstring>
#include <string_view>

#include "platform/fixed_field.h"
#include "platform/property_list.h"
#include "store/profile_plist_xml.h"

namespace zv {
namespace {

constexpr std::string_view kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n"
    "<dict>\n";
constexpr std::string_view kTail = "</dict>\n</plist>\n";
// Three full lists of realistic names take 540 to 570 KB; reserved at once,
// the document is never moved while it grows.
constexpr std::size_t kExpectedSize = 640 * 1024;

// Indentation of the entries of each dictionary, one tab a level: those
// of the top dictionary, of a class dictionary and of a field dictionary
// (the numbered entries; no line is indented deeper).
constexpr int kTopEntryDepth = 1;
constexpr int kClassEntryDepth = 2;
constexpr int kEntryDepth = 3;
// The longest entity libplist writes for one character ("&amp;").
constexpr std::size_t kMaxEscapedCharBytes = 5;
// Room for the longest key line: a key name of the 32-byte key arrays (or a
// class key), four slot digits.
constexpr std::size_t kMaxKeyLineBytes = kEntryDepth + sizeof "<key>" + 32 + 4 + sizeof "</key>\n";
// Room for the longest value line: a name field's whole 32 bytes (a field
// may lack its terminator), every byte escaped; an integer line is shorter.
constexpr std::size_t kMaxValueLineBytes =
    kEntryDepth + sizeof "<string>" + kMaxEscapedCharBytes * ZV_PROFILE_NAME_SIZE + sizeof "</string>\n";
constexpr std::size_t kMaxEntryBytes = kMaxKeyLineBytes + kMaxValueLineBytes;

// The lines of one entry, composed in a stack buffer and appended to the
// document at once: one append per entry instead of one per piece, and
// none per character.
class EntryLines {
 public:
  // "<key>KEY</key>", the key escaped.
  void PutKeyLine(int depth, std::string_view key) {
    PutTabs(depth);
    Put("<key>");
    PutEscaped(key);
    Put("</key>\n");
  }

  // "<key>BASENNNN</key>": `base` and `slot` in four zero-padded digits.
  void PutNumberedKeyLine(std::string_view base, int slot) {
    PutTabs(kEntryDepth);
    Put("<key>");
    Put(base);
    end_[0] = static_cast<char>('0' + slot / 1000);
    end_[1] = static_cast<char>('0' + slot / 100 % 10);
    end_[2] = static_cast<char>('0' + slot / 10 % 10);
    end_[3] = static_cast<char>('0' + slot % 10);
    end_ += 4;
    Put("</key>\n");
  }

  void PutIntegerLine(int depth, int32_t value) {
    PutTabs(depth);
    Put("<integer>");
    end_ = std::to_chars(end_, end_ + 11, value).ptr;
    Put("</integer>\n");
  }

  void PutStringLine(int depth, std::string_view text) {
    PutTabs(depth);
    Put("<string>");
    PutEscaped(text);
    Put("</string>\n");
  }

  void AppendTo(std::string* out) const { out->append(buffer_, static_cast<std::size_t>(end_ - buffer_)); }

 private:
  void Put(std::string_view text) {
    std::memcpy(end_, text.data(), text.size());
    end_ += text.size();
  }

  void PutTabs(int depth) {
    std::memset(end_, '\t', static_cast<std::size_t>(depth));
    end_ += depth;
  }

  // `text` with the three characters libplist escapes. The bytes go one by
  // one into the stack buffer: for names of a few dozen bytes that beats a
  // copy call per run between the escapes.
  void PutEscaped(std::string_view text) {
    for (const char c : text) {
      switch (c) {
        case '&': Put("&amp;"); break;
        case '<': Put("&lt;"); break;
        case '>': Put("&gt;"); break;
        default: *end_++ = c;
      }
    }
  }

  char buffer_[kMaxEntryBytes];
  char* end_ = buffer_;
};

void AppendIndent(int depth, std::string* out) { out->append(static_cast<std::size_t>(depth), '\t'); }

void AppendKey(int depth, std::string_view key, std::string* out) {
  EntryLines lines;
  lines.PutKeyLine(depth, key);
  lines.AppendTo(out);
}

void AppendInteger(int depth, int32_t value, std::string* out) {
  EntryLines lines;
  lines.PutIntegerLine(depth, value);
  lines.AppendTo(out);
}

void AppendIntegerEntry(std::string_view base, int slot, int32_t value, std::string* out) {
  EntryLines lines;
  lines.PutNumberedKeyLine(base, slot);
  lines.PutIntegerLine(kEntryDepth, value);
  lines.AppendTo(out);
}

void AppendStringEntry(std::string_view base, int slot, std::string_view text, std::string* out) {
  EntryLines lines;
  lines.PutNumberedKeyLine(base, slot);
  lines.PutStringLine(kEntryDepth, text);
  lines.AppendTo(out);
}

// A name has an entry when it is valid UTF-8 and holds no character XML
// cannot carry (the same rule as the libplist builder's).
bool HasEntry(std::string_view name) { return IsXmlStringText(name); }

// The first slot whose name in `field` has an entry; ZV_PROFILE_SLOTS
// when none has.
int FirstNameEntry(const ProfileList& list, const NameField& field) {
  int slot = 0;
  while (slot < ZV_PROFILE_SLOTS && !HasEntry(FieldText(list.slots[slot].*field.member))) ++slot;
  return slot;
}

// Opens a field dictionary, as the value of the class entry before it.
void OpenFieldDictionary(std::string* out) {
  AppendIndent(kClassEntryDepth, out);
  out->append("<dict>\n");
}

void CloseFieldDictionary(std::string* out) {
  AppendIndent(kClassEntryDepth, out);
  out->append("</dict>\n");
}

// The dictionary of an integer field: every slot has an entry.
void AppendIntegerDictionary(const ProfileList& list, const IntegerField& field, std::string* out) {
  const std::string_view base = FieldKey(field.field);
  OpenFieldDictionary(out);
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) {
    AppendIntegerEntry(base, slot, list.slots[slot].*field.member, out);
  }
  CloseFieldDictionary(out);
}

// The dictionary of a name field: the entries of the names that have one,
// or "<dict/>" when none has.
void AppendNameDictionary(const ProfileList& list, const NameField& field, std::string* out) {
  const int first = FirstNameEntry(list, field);
  if (first == ZV_PROFILE_SLOTS) {
    AppendIndent(kClassEntryDepth, out);
    out->append("<dict/>\n");
    return;
  }
  const std::string_view base = FieldKey(field.field);
  OpenFieldDictionary(out);
  for (int slot = first; slot < ZV_PROFILE_SLOTS; ++slot) {
    const std::string_view text = FieldText(list.slots[slot].*field.member);
    if (HasEntry(text)) AppendStringEntry(base, slot, text, out);
  }
  CloseFieldDictionary(out);
}

// The class dictionary of `list`: the count, then the field dictionaries
// in write order (the integer fields, then the name fields).
void AppendClass(int32_t selector, const ProfileList& list, std::string* out) {
  AppendKey(kTopEntryDepth, ClassKey(selector), out);
  AppendIndent(kTopEntryDepth, out);
  out->append("<dict>\n");
  AppendKey(kClassEntryDepth, kCountKey, out);
  AppendInteger(kClassEntryDepth, list.iNum, out);
  for (const IntegerField& field : kIntegerFields) {
    AppendKey(kClassEntryDepth, FieldKey(field.field), out);
    AppendIntegerDictionary(list, field, out);
  }
  for (const NameField& field : kNameFields) {
    AppendKey(kClassEntryDepth, FieldKey(field.field), out);
    AppendNameDictionary(list, field, out);
  }
  AppendIndent(kTopEntryDepth, out);
  out->append("</dict>\n");
}

}  // namespace

void AppendProfileListXml(const ProfileList& rgb, const ProfileList& sim, const ProfileList& dst, std::string* out) {
  out->reserve(out->size() + kExpectedSize);
  out->append(kHead);
  AppendClass(ZV_CLASS_RGB, rgb, out);
  AppendClass(ZV_CLASS_SIM, sim, out);
  AppendClass(ZV_CLASS_DST, dst, out);
  AppendKey(kTopEntryDepth, cPlistVersionKey, out);
  AppendInteger(kTopEntryDepth, kPlistVersion, out);
  out->append(kTail);
}

}  // namespace zv
