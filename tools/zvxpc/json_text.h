// SPDX-License-Identifier: MIT
// JSON texts of the commands' --json output.
#pragma once

#include <string>
#include <string_view>

#include "store/zvplist.h"

namespace zvxpc {

/// `text` as a JSON string: quotes, backslash and control characters
/// escaped; bytes that do not form UTF-8 characters become U+FFFD so the
/// output stays valid UTF-8.
std::string JsonString(std::string_view text);

/// The menu of one class as a JSON array, the entries the dialog shows
/// (zvplist_menu) in order: {"slot":N,"FileName":...,"ProfileName":...}.
std::string MenuJson(const ProfileList& list);

/// The three menus as one JSON object {"RGB":[...],"SIM":[...],"DST":[...]}.
std::string MenusJson(const ProfileList* const lists[3]);

}  // namespace zvxpc
