// SPDX-License-Identifier: MIT
// Connecting a stream socket to the service's socket path: at once and
// waiting, for a new client, or without ever waiting, for the reconnection
// an event loop's send makes.
#pragma once

#include <string>

namespace zv {

/// A close-on-exec stream socket connected to `socket_path`, made
/// non-blocking once connected (the connect itself waits as a blocking one
/// does). -1 with errno set (ENAMETOOLONG for a path that does not fit a
/// socket address, EINVAL for an empty one) and a message naming the
/// failing call in `*error`.
int ConnectUnixSocket(const std::string& socket_path, std::string* error);

/// A close-on-exec, non-blocking stream socket, not yet connected. -1 with
/// errno set and a message in `*error`.
int NewUnixStreamSocket(std::string* error);

/// How far ConnectWithoutWaiting got.
enum class ConnectProgress {
  kConnected,  // the socket is connected
  kWaiting,    // not yet: the service's queue of new connections is full
               // (a local socket's EAGAIN) or the connect is in progress;
               // call again later
  kFailed,     // errno and the message tell why; the socket is unusable
};

/// Starts, or tries once more, to connect the non-blocking socket `fd` to
/// `socket_path` without waiting. A local socket tells no one when a full
/// queue of new connections gets room: it polls writable at once, and only
/// a new try tells whether it is connected.
ConnectProgress ConnectWithoutWaiting(int fd, const std::string& socket_path, std::string* error);

}  // namespace zv
