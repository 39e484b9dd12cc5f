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

// The character a predefined entity stands for; 0 for any other reference.
char PredefinedEntity(std::string_view name) {
  if (name == "amp") return '&';
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "quot") return '"';
  if (name == "apos") return '\'';
  return 0;
}

// Decodes the predefined entities of `raw` into `*out`; false at any other
// reference or a lone ampersand.
bool DecodeEntities(std::string_view raw, std::string* out) {
  out->clear();
  std::size_t pos = 0;
  while (pos < raw.size()) {
    const std::size_t amp = raw.find('&', pos);
    out->append(raw.substr(pos, amp == std::string_view::npos ? std::string_view::npos : amp - pos));
    if (amp == std::string_view::npos) break;
    const std::size_t semicolon = raw.find(';', amp);
    if (semicolon == std::string_view::npos) return false;
    const char decoded = PredefinedEntity(raw.substr(amp + 1, semicolon - amp - 1));
    if (decoded == 0) return false;
    out->push_back(decoded);
    pos = semicolon + 1;
  }
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
  if (!piece) {
    *text = std::string_view("", 0);  // empty, but pointing somewhere
    return true;
  }
  if (piece.next_sibling()) return false;
  const pugi::xml_node_type type = piece.type();
  if (type != pugi::node_pcdata && type != pugi::node_cdata) return false;
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
