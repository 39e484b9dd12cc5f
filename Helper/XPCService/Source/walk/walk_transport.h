// SPDX-License-Identifier: MIT
// The session's transport, pinned to the printer before the walk's first
// request: a walk reaches its printer and nothing else.
#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

#include <string>

namespace zv {

/// For the open `session`: checks that its transport is a UDP or TCP
/// socket over IPv4 or IPv6 (a walk reaches printers by nothing else), and
/// pins it to the printer's address: a UDP socket is connected to it and
/// the transport sends without naming an address from then on (a TCP
/// socket is connected already). So the system call filter can refuse
/// every send that names an address. Returns the socket's descriptor, or
/// -1 with the reason in `*error`.
int PinTransportToPeer(netsnmp_session* session, std::string* error);

}  // namespace zv
