// SPDX-License-Identifier: MIT
// The fields of the service's status reply. Pure text processing.
//
// The reply holds one "NAME=VALUE" line per field. The folder of the
// profile lists (ZVXPC_STATUS_PREFERENCES_DIR) comes last and its value
// runs to the end of the text, line feeds and all: a folder's name may
// hold one. Fields this library does not know are passed over, so a
// service may add fields before the folder.
#pragma once

#include <string>
#include <string_view>

namespace zv {

/// What StatusFieldOf found.
enum class StatusLookup {
  kFound,      // the field is there; its value is in *value
  kAbsent,     // the reply has no field of that name
  kMalformed,  // the reply is no status reply: empty, or a line before the
               // field without '='
};

/// The value of the field `name` in the status reply `reply` into
/// `*value` (untouched unless found).
StatusLookup StatusFieldOf(std::string_view reply, std::string_view name, std::string* value);

}  // namespace zv
