// SPDX-License-Identifier: MIT
#include "platform/xpc/peer_credentials.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix_io.h"

namespace zv::xpc {

bool ReadPeerCredentials(int fd, PeerCredentials* peer, std::string* error) {
  struct ucred credentials {};
  socklen_t size = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
    *error = ErrnoText("getsockopt", "SO_PEERCRED", errno);
    return false;
  }
  peer->pid = credentials.pid;
  peer->uid = credentials.uid;
  peer->gid = credentials.gid;
  return true;
}

bool PeerMayConnect(const PeerCredentials& peer) { return peer.uid == ::geteuid() || peer.uid == 0; }

}  // namespace zv::xpc
