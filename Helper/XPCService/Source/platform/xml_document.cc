// SPDX-License-Identifier: MIT
// XML layer over pugixml: in-place parsing and leaf-element text.
#include "platform/xml_document.h"

#include <cstring>

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

}  // namespace

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
