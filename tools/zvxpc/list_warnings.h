// SPDX-License-Identifier: MIT
// What `zvxpc profiles` tells a person who edited a profile list by hand,
// beside the lists the store reads (whose reading it does not change):
// values of the wrong type, where an XML list stops being well-formed,
// and the unreadable lists the service kept aside.
#pragma once

#include <string>
#include <vector>

namespace zvxpc {

/// One line per numbered entry of the XML list at `path` whose value is
/// not of its field's type (a string where a whole number belongs, an
/// <integer> that is no 32-bit decimal), which the store reads as if the
/// entry were missing: "RGB: InMenu0001 holds <integer>two</integer>, not
/// a whole number; ...". None when the file is no well-formed XML.
std::vector<std::string> WrongTypeWarnings(const std::string& path);

/// For an XML file that is not well-formed: "line N: WHAT"; else "".
std::string XmlErrorLine(const std::string& path);

/// The files beside the list at `path` that the service kept aside because
/// it could not read them ("PATH.unreadable", "PATH.unreadable.1", ...).
std::vector<std::string> KeptAsideLists(const std::string& path);

}  // namespace zvxpc
