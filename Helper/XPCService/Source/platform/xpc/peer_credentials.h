// SPDX-License-Identifier: MIT
// Who is on the other end of a local socket connection.
#pragma once

#include <sys/types.h>

#include <string>

namespace zv::xpc {

/// The process credentials the kernel recorded for a connection's peer.
struct PeerCredentials {
  pid_t pid = 0;
  uid_t uid = 0;
  gid_t gid = 0;
};

/// Reads the peer credentials of the connected socket `fd` (SO_PEERCRED).
/// False with a message naming the failing call and the errno text.
bool ReadPeerCredentials(int fd, PeerCredentials* peer, std::string* error);

/// True when the peer may use the service: it runs as the service's own
/// effective user, or as root.
bool PeerMayConnect(const PeerCredentials& peer);

}  // namespace zv::xpc
