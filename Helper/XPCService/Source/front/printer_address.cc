// SPDX-License-Identifier: MIT
#include "front/printer_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>

namespace zv {
namespace {

constexpr std::string_view kDefaultPort = "161";

struct Transport {
  std::string_view prefix;
  bool tcp;
  bool ipv6;
};

constexpr Transport kTransports[] = {
    {"udp", false, false},    {"tcp", true, false},      {"udp6", false, true},   {"tcp6", true, true},
    {"udpv6", false, true},   {"tcpv6", true, true},     {"udpipv6", false, true}, {"tcpipv6", true, true},
};

struct Parsed {
  Transport transport{"udp", false, false};
  bool prefixed = false;
  std::string host;
  std::string port{kDefaultPort};
};

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Takes a known transport prefix off `rest`.
void TakeTransport(std::string_view* rest, Parsed* parsed) {
  const std::size_t colon = rest->find(':');
  if (colon == std::string_view::npos) return;
  for (const Transport& transport : kTransports) {
    if (SameLetters(rest->substr(0, colon), transport.prefix)) {
      parsed->transport = transport;
      parsed->prefixed = true;
      rest->remove_prefix(colon + 1);
      return;
    }
  }
}

Parsed Parse(std::string_view address) {
  Parsed parsed;
  TakeTransport(&address, &parsed);
  std::string_view host = address;
  if (!address.empty() && address.front() == '[') {
    const std::size_t close = address.find(']');
    host = address.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    if (close != std::string_view::npos && address.substr(close + 1, 1) == ":") {
      parsed.port = std::string(address.substr(close + 2));
    }
  } else if (std::count(address.begin(), address.end(), ':') == 1) {
    const std::size_t colon = address.find(':');
    host = address.substr(0, colon);
    parsed.port = std::string(address.substr(colon + 1));
  }
  parsed.host = std::string(host);
  if (parsed.port.empty()) parsed.port = std::string(kDefaultPort);
  return parsed;
}

// The first address `parsed` resolves to in `family`, as "ADDRESS PORT".
std::string Resolve(const Parsed& parsed, int family) {
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = parsed.transport.tcp ? SOCK_STREAM : SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(parsed.host.c_str(), parsed.port.c_str(), &hints, &found) != 0 || found == nullptr) return {};
  char text[INET6_ADDRSTRLEN] = {};
  char port[NI_MAXSERV] = {};
  const int status = ::getnameinfo(found->ai_addr, found->ai_addrlen, text, sizeof text, port, sizeof port,
                                   NI_NUMERICHOST | NI_NUMERICSERV);
  ::freeaddrinfo(found);
  return status == 0 ? std::string(text) + " " + port : std::string();
}

}  // namespace

std::string PrinterKey(std::string_view address) {
  const Parsed parsed = Parse(address);
  std::string resolved;
  if (!parsed.transport.ipv6) resolved = Resolve(parsed, AF_INET);
  if (resolved.empty() && (parsed.transport.ipv6 || !parsed.prefixed)) resolved = Resolve(parsed, AF_INET6);
  if (resolved.empty()) return "text " + std::string(address);
  return std::string(parsed.transport.tcp ? "tcp " : "udp ") + resolved;
}

}  // namespace zv
