// SPDX-License-Identifier: MIT
// XML layer over pugixml: in-place parsing and leaf-element text.
#include "platform/xml_document.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace zv {
namespace {

// Whitespace-only text is kept, so that a leaf element's text is exactly
// what stands between its tags; text outside the root element is kept
// too (as a fragment), so that a caller sees it rather than pugixml
// dropping it.
constexpr unsigned kParseOptions = pugi::parse_cdata | pugi::parse_eol | pugi::parse_comments | pugi::parse_pi |
                                   pugi::parse_declaration | pugi::parse_doctype | pugi::parse_ws_pcdata_single |
                                   pugi::parse_fragment;

// The length of the predefined entity reference at the start of `text`
// (which begins with "&"), and the character it stands for in `*decoded`;
// 0 for any other reference.
std::size_t PredefinedEntityAt(std::string_view text, char* decoded) {
  const auto match = [&](std::string_view reference, char character) -> std::size_t {
    if (!text.starts_with(reference)) return 0;
    *decoded = character;
    return reference.size();
  };
  switch (text.size() > 1 ? text[1] : '\0') {
    case 'a': return text.size() > 2 && text[2] == 'm' ? match("&amp;", '&') : match("&apos;", '\'');
    case 'l': return match("&lt;", '<');
    case 'g': return match("&gt;", '>');
    case 'q': return match("&quot;", '"');
    default: return 0;
  }
}

// Decodes the predefined entities of `raw` into `*out`, copying the text
// between them in runs; false at any other reference or a lone ampersand.
bool DecodeEntities(std::string_view raw, std::string* out) {
  out->clear();
  std::size_t pos = 0;
  for (std::size_t amp = raw.find('&'); amp != std::string_view::npos; amp = raw.find('&', pos)) {
    char decoded = 0;
    const std::size_t length = PredefinedEntityAt(raw.substr(amp), &decoded);
    if (length == 0) return false;
    out->append(raw.data() + pos, amp - pos).push_back(decoded);
    pos = amp + length;
  }
  out->append(raw.data() + pos, raw.size() - pos);
  return true;
}

bool IsContainerName(std::string_view name) {
  return name.starts_with("array") || name.starts_with("dict");
}

// Comments and CDATA sections: neither pugixml nor libplist reads their
// text as elements.
struct TextSection {
  std::string_view opening;
  std::string_view closing;
};
constexpr TextSection kTextSections[] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}};

// The length of the text section that `tag` opens, closing included; 0
// when it opens none. npos when it is never closed: then no later section
// is either, and the rest of the text counts as it stands.
std::size_t TextSectionLength(std::string_view tag) {
  for (const TextSection& section : kTextSections) {
    if (!tag.starts_with(section.opening)) continue;
    const std::size_t end = tag.find(section.closing, section.opening.size());
    return end == std::string_view::npos ? end : end + section.closing.size();
  }
  return 0;
}

// Tags that may open a container, counted as text: every "<array" and
// "<dict" outside comments and CDATA sections, wherever it stands.
std::size_t ContainerTagsInText(std::string_view data) {
  std::size_t count = 0;
  bool sections_close = true;
  for (std::size_t pos = data.find('<'); pos != std::string_view::npos;) {
    const std::string_view tag = data.substr(pos);
    const std::size_t section = sections_close ? TextSectionLength(tag) : 0;
    if (section == std::string_view::npos) sections_close = false;
    const bool counted = section == 0 || section == std::string_view::npos;
    if (counted && IsContainerName(tag.substr(1, 5))) ++count;
    pos = data.find('<', pos + (counted ? 1 : section));
  }
  return count;
}

// The deepest nesting of container elements in the tree, and how many
// there are; walks the tree without recursion.
void MeasureContainers(const pugi::xml_document& document, int* deepest, std::size_t* containers) {
  int depth = 0;
  pugi::xml_node node = document.first_child();
  while (node) {
    const bool container = node.type() == pugi::node_element && IsContainerName(node.name());
    if (container) {
      *deepest = std::max(*deepest, ++depth);
      ++*containers;
    }
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    if (container) --depth;
    while (node && !node.next_sibling()) {
      node = node.parent();
      if (node && node.type() == pugi::node_element && IsContainerName(node.name())) --depth;
    }
    if (node) node = node.next_sibling();
  }
}

}  // namespace

bool XmlContainerNestingWithin(std::string_view data, int max_depth, std::string* error) {
  const std::size_t tags = ContainerTagsInText(data);
  if (tags <= static_cast<std::size_t>(max_depth)) return true;
  std::string copy(data);
  pugi::xml_document document;
  if (!ParseXmlDocument(&copy, &document, error)) return false;
  int deepest = 0;
  std::size_t containers = 0;
  MeasureContainers(document, &deepest, &containers);
  if (containers != tags) {
    *error = "XML property list: container tags outside the element tree";
    return false;
  }
  if (deepest > max_depth) {
    *error = "XML property list: containers nest deeper than " + std::to_string(max_depth) + " levels";
    return false;
  }
  return true;
}

bool ParseXmlDocument(std::string* data, pugi::xml_document* document, std::string* error) {
  const pugi::xml_parse_result result =
      document->load_buffer_inplace(data->data(), data->size(), kParseOptions, pugi::encoding_utf8);
  if (!result) {
    *error = std::string("XML parse: ") + result.description() + " at offset " + std::to_string(result.offset);
    return false;
  }
  return true;
}

bool XmlElementText(pugi::xml_node element, std::string* scratch, std::string_view* text) {
  const pugi::xml_node piece = element.first_child();
  const pugi::xml_node_type type = piece.type();
  if (type == pugi::node_null) {
    *text = std::string_view("", 0);  // empty, but pointing somewhere
    return true;
  }
  if ((type != pugi::node_pcdata && type != pugi::node_cdata) || piece.next_sibling()) return false;
  const std::string_view raw = piece.value();
  if (type == pugi::node_cdata || raw.find('&') == std::string_view::npos) {
    *text = raw;
    return true;
  }
  if (!DecodeEntities(raw, scratch)) return false;
  *text = *scratch;
  return true;
}

bool IsXmlFiller(pugi::xml_node node) {
  switch (node.type()) {
    case pugi::node_comment:
    case pugi::node_pi:
      return true;
    case pugi::node_pcdata:
      return std::strspn(node.value(), " \t\r\n") == std::strlen(node.value());
    default:
      return false;
  }
}

}  // namespace zv
