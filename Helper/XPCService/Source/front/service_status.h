// SPDX-License-Identifier: MIT
// The service's status, as the status operation gives it to a client: its
// version, its default for walks by GETBULK, the walks running and
// waiting, its walk time limit and -C toggles, its verbose setting and
// log, its process and uptime, the connections watching the lists, and
// the folder of the profile lists.
#pragma once

#include <string>

namespace zv {

/// One "NAME=VALUE" line per field named in zvxpc.h (ZVXPC_STATUS_*), in
/// their order, the folder last and running to the end of the text.
std::string ServiceStatusText();

}  // namespace zv
