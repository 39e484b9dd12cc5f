// SPDX-License-Identifier: MIT
// Which printer a walk reaches, as the service tells printers apart: by
// the transport address its walk's address resolves to, not by the text.
// "udp:127.0.0.1:161", "127.0.0.1:161" and "127.0.0.1" are one printer.
#pragma once

#include <string>
#include <string_view>

namespace zv {

/// The printer that a walk's address (Net-SNMP's form: an optional
/// transport prefix, "udp", "tcp", "udp6", "tcp6" and their "v6"/"ipv6"
/// spellings, then a host, an "[IPv6]" or a bare IPv6 address, then an
/// optional ":port", 161 by default) reaches, as "udp 192.0.2.7 161": the
/// transport, the first address the host resolves to (IPv4 first unless
/// the prefix asks for IPv6, as Net-SNMP does) and the port. An address
/// that does not resolve is its own printer: "text " and the text.
std::string PrinterKey(std::string_view address);

}  // namespace zv
