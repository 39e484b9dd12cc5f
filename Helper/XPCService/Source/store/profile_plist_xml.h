// SPDX-License-Identifier: MIT
// The profile property list in XML without a property-list library in
// between: the fast reader decodes the XML tree straight into the class
// entries, and the writer writes the file's bytes straight from the three
// lists, exactly as libplist's XML writer lays out the same dictionaries
// (tab indentation, "&", "<" and ">" escaped, "<dict/>" when empty).
#pragma once

#include <string>

#include "store/profile_plist_private.h"

namespace zv {

/// Decodes the XML profile list in `*xml` (parsed in place: the text is
/// changed) into `*classes`: the numbered entries of each class whose
/// class and field dictionaries are there, and a reason in
/// classes->problem for each class that is not. Returns false, with
/// `*classes` in no defined state, when the text is not well-formed XML or
/// uses a form on which libplist may read it differently (numeric
/// character references, an entry value other than a dictionary, string
/// or plain decimal integer, mixed text, a bare dictionary without
/// "plist", nesting deeper than 32): the caller then reads it through
/// libplist, so that both readers always agree.
bool DecodeXmlProfileList(std::string* xml, ProfileClasses* classes);

/// Appends to `*out` the whole XML profile list of the three lists: the
/// bytes libplist's writer produces for CreateTopLevelDictionary of them.
void AppendProfileListXml(const ProfileList& rgb, const ProfileList& sim, const ProfileList& dst, std::string* out);

}  // namespace zv
