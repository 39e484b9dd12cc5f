// SPDX-License-Identifier: MIT
// Connecting a stream socket to the service's socket path.
#pragma once

#include <string>

namespace zv {

/// A close-on-exec stream socket connected to `socket_path`, made
/// non-blocking once connected (the connect itself waits as a blocking one
/// does). -1 with errno set (ENAMETOOLONG for a path that does not fit a
/// socket address, EINVAL for an empty one) and a message naming the
/// failing call in `*error`.
int ConnectUnixSocket(const std::string& socket_path, std::string* error);

}  // namespace zv
