// SPDX-License-Identifier: MIT
#include "walk/walk_transport.h"

#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/snmp_transport.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/posix_io.h"

namespace zv {
namespace {

// The transport's send, on a socket connected to the printer: the address
// the library would name is the one the socket is connected to.
int SendToConnectedPeer(netsnmp_transport* transport, const void* buffer, int size, void** /*opaque*/,
                        int* /*opaque_length*/) {
  ssize_t sent;
  do {
    sent = ::send(transport->sock, buffer, static_cast<std::size_t>(size), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return static_cast<int>(sent);
}

// The printer's address of a UDP transport, as the library keeps it.
const sockaddr* RemoteAddress(const netsnmp_transport& transport, socklen_t* length) {
  if (transport.data == nullptr || transport.data_length < static_cast<int>(sizeof(netsnmp_addr_pair))) {
    return nullptr;
  }
  const auto* pair = static_cast<const netsnmp_addr_pair*>(transport.data);
  const sockaddr* address = &pair->remote_addr.sa;
  if (address->sa_family == AF_INET) {
    *length = sizeof(sockaddr_in);
  } else if (address->sa_family == AF_INET6) {
    *length = sizeof(sockaddr_in6);
  } else {
    return nullptr;
  }
  return address;
}

}  // namespace

int PinTransportToPeer(netsnmp_session* session, std::string* error) {
  netsnmp_transport* transport = snmp_sess_transport(snmp_sess_pointer(session));
  sockaddr_storage local{};
  socklen_t local_length = sizeof local;
  int type = 0;
  socklen_t type_length = sizeof type;
  if (transport == nullptr || transport->sock < 0 ||
      ::getsockname(transport->sock, reinterpret_cast<sockaddr*>(&local), &local_length) != 0 ||
      (local.ss_family != AF_INET && local.ss_family != AF_INET6) ||
      ::getsockopt(transport->sock, SOL_SOCKET, SO_TYPE, &type, &type_length) != 0 ||
      (type != SOCK_DGRAM && type != SOCK_STREAM)) {
    *error = "the walk reaches printers over UDP or TCP (IPv4 or IPv6) only";
    return -1;
  }
  if (type == SOCK_STREAM) return transport->sock;
  socklen_t length = 0;
  const sockaddr* remote = RemoteAddress(*transport, &length);
  if (remote == nullptr) {
    *error = "the printer's address is not known to the transport";
    return -1;
  }
  if (::connect(transport->sock, remote, length) != 0) {
    *error = ErrnoText("connect", errno);
    return -1;
  }
  transport->f_send = SendToConnectedPeer;
  return transport->sock;
}

}  // namespace zv
