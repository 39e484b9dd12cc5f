// SPDX-License-Identifier: MIT
// XML layer over pugixml for the property-list readers: parsing a UTF-8
// document in place and taking the text of a leaf element as a
// property-list reader sees it.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace zv {

/// Parses the UTF-8 XML text in `*data` into `*document`, in place: the
/// document points into `*data`, which must outlive it and must not change.
/// Line ends are normalised (CR LF and lone CR read as LF); comments,
/// processing instructions, the declaration and the document type are kept
/// as nodes, and so is text outside the root element; entity references are left
/// undecoded for XmlElementText. False with a message in `*error` when the
/// text is not well-formed XML.
bool ParseXmlDocument(std::string* data, pugi::xml_document* document, std::string* error);

/// The text of a leaf element holding at most one text or CDATA node: the
/// five predefined entities (&amp; &lt; &gt; &quot; &apos;) decoded, CDATA
/// taken as it stands. `*text` points into the document or into
/// `*scratch`. False for an element with any other content (child
/// elements, comments, several text pieces) or another reference (numeric
/// character references included), which the caller leaves to a
/// general reader.
bool XmlElementText(pugi::xml_node element, std::string* scratch, std::string_view* text);

/// libplist reads an XML list's containers (`array` and `dict` elements) by
/// recursion: 300,000 nested arrays overflow its stack. True when the
/// container tags of `data` (UTF-8 XML text) nest at most `max_depth`
/// deep; false with the reason in `*error` otherwise. A text holding no
/// more container tags than `max_depth` passes without being parsed;
/// another is parsed with pugixml, which nests without recursion, and
/// must be well-formed, with every container tag an element of the tree
/// (none hidden in a comment, a processing instruction or the document
/// type, where another parser might see it otherwise).
bool XmlContainerNestingWithin(std::string_view data, int max_depth, std::string* error);

/// True when `node` is a text node of white space only (or a comment or
/// processing instruction), which a container element may hold between
/// its child elements.
bool IsXmlFiller(pugi::xml_node node);

}  // namespace zv
