// SPDX-License-Identifier: MIT
// A UDP relay that holds every datagram for a fixed delay in each
// direction: a printer on the network, as far as round-trip time goes,
// made of an agent on loopback. It binds a free port on 127.0.0.1, prints
// it on the first line of its standard output, and relays until it is
// killed.
//
//   zv_udp_delay_relay --target 127.0.0.1:PORT [--delay-us MICROSECONDS]
//                      [--drop-getbulk] [--count FILE]
//
// Each client address (host and port) gets a socket of its own towards the
// target, so that answers find their way back; datagrams keep their order,
// and the delay (default 1000 µs) is the same for all of them. With
// --drop-getbulk, SNMPv1/v2c GETBULK requests never reach the target: a
// printer deaf to GETBULK that answers GETNEXT. With --count, each request
// that reaches the target adds a line to FILE (the requests of a walk are
// its lines).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kLargestDatagram = 65536;
// Clients (one per walk, as each opens a session of its own) before the
// relay forgets the oldest ones; a benchmark run stays far below it.
constexpr std::size_t kMostClients = 4096;

struct Held {
  Clock::time_point due;
  int from_fd;          // the socket that sends it on
  sockaddr_in to;       // where it goes
  std::vector<char> data;
};

struct Relay {
  int listen_fd = -1;
  bool drop_getbulk = false;
  std::FILE* count = nullptr;  // a line per request relayed to the target
  sockaddr_in target{};
  Clock::duration delay{};
  std::map<std::pair<in_addr_t, in_port_t>, int> upstream;  // client -> its socket towards the target
  std::map<int, sockaddr_in> client_of;                     // that socket -> the client
  std::deque<Held> held;                                    // in due order: the delay is constant
};

bool ParseTarget(const std::string& text, sockaddr_in* address) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  address->sin_family = AF_INET;
  address->sin_port = htons(static_cast<uint16_t>(std::atoi(text.c_str() + colon + 1)));
  return inet_pton(AF_INET, text.substr(0, colon).c_str(), &address->sin_addr) == 1;
}

int BindLoopback() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::perror("relay: socket/bind");
    std::exit(1);
  }
  return fd;
}

int PortOf(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

void ForgetClients(Relay& relay) {
  for (const auto& [fd, client] : relay.client_of) close(fd);
  relay.upstream.clear();
  relay.client_of.clear();
  relay.held.clear();
}

int UpstreamFor(Relay& relay, const sockaddr_in& client) {
  const auto key = std::make_pair(client.sin_addr.s_addr, client.sin_port);
  const auto found = relay.upstream.find(key);
  if (found != relay.upstream.end()) return found->second;
  if (relay.upstream.size() >= kMostClients) ForgetClients(relay);
  const int fd = BindLoopback();
  relay.upstream.emplace(key, fd);
  relay.client_of.emplace(fd, client);
  return fd;
}

// Reads the BER tag and length at data[*at] and moves *at past them.
// False when the datagram ends first or the length is not one we read.
bool ReadHeader(const std::vector<char>& data, std::size_t* at, unsigned char* tag, std::size_t* length) {
  if (*at + 2 > data.size()) return false;
  *tag = static_cast<unsigned char>(data[(*at)++]);
  const auto first = static_cast<unsigned char>(data[(*at)++]);
  if (first < 0x80) {
    *length = first;
    return true;
  }
  const std::size_t bytes = first & 0x7f;
  if (bytes == 0 || bytes > 4 || *at + bytes > data.size()) return false;
  *length = 0;
  for (std::size_t i = 0; i < bytes; ++i) *length = (*length << 8) | static_cast<unsigned char>(data[(*at)++]);
  return true;
}

// True for an SNMPv1/v2c message (a sequence of version, community and
// PDU) whose PDU is a GETBULK request (context tag 5).
bool IsGetBulk(const std::vector<char>& data) {
  std::size_t at = 0, length = 0;
  unsigned char tag = 0;
  if (!ReadHeader(data, &at, &tag, &length) || tag != 0x30) return false;
  for (const unsigned char skipped : {0x02, 0x04}) {  // version, community
    if (!ReadHeader(data, &at, &tag, &length) || tag != skipped) return false;
    at += length;
  }
  return at < data.size() && static_cast<unsigned char>(data[at]) == 0xa5;
}

// Reads one datagram from `fd` and holds it for the delay.
void Receive(Relay& relay, int fd) {
  std::vector<char> data(kLargestDatagram);
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t size = recvfrom(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
  if (size < 0) return;
  data.resize(static_cast<std::size_t>(size));
  if (fd == relay.listen_fd && relay.drop_getbulk && IsGetBulk(data)) return;
  if (fd == relay.listen_fd && relay.count != nullptr) {
    std::fputs(IsGetBulk(data) ? "GETBULK\n" : "other\n", relay.count);
    std::fflush(relay.count);
  }
  Held held{Clock::now() + relay.delay, -1, {}, std::move(data)};
  if (fd == relay.listen_fd) {
    held.from_fd = UpstreamFor(relay, from);
    held.to = relay.target;
  } else {
    held.from_fd = relay.listen_fd;
    held.to = relay.client_of.at(fd);
  }
  relay.held.push_back(std::move(held));
}

void SendDue(Relay& relay) {
  const Clock::time_point now = Clock::now();
  while (!relay.held.empty() && relay.held.front().due <= now) {
    const Held& held = relay.held.front();
    sendto(held.from_fd, held.data.data(), held.data.size(), 0, reinterpret_cast<const sockaddr*>(&held.to),
           sizeof held.to);
    relay.held.pop_front();
  }
}

// How long to wait for datagrams: until the next one held is due.
timespec WaitTime(const Relay& relay) {
  if (relay.held.empty()) return timespec{1, 0};
  const auto left = std::max(Clock::duration::zero(), relay.held.front().due - Clock::now());
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

void Serve(Relay& relay) {
  std::vector<pollfd> fds;
  while (true) {
    fds.assign(1, pollfd{relay.listen_fd, POLLIN, 0});
    for (const auto& [fd, client] : relay.client_of) fds.push_back(pollfd{fd, POLLIN, 0});
    const timespec wait = WaitTime(relay);
    if (ppoll(fds.data(), fds.size(), &wait, nullptr) < 0 && errno != EINTR) {
      std::perror("relay: ppoll");
      std::exit(1);
    }
    for (const pollfd& entry : fds) {
      if ((entry.revents & POLLIN) != 0) Receive(relay, entry.fd);
    }
    SendDue(relay);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Relay relay;
  long delay_us = 1000;
  bool have_target = false;
  bool usage_error = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--drop-getbulk") {
      relay.drop_getbulk = true;
    } else if (option == "--target" && i + 1 < argc) {
      have_target = ParseTarget(argv[++i], &relay.target);
    } else if (option == "--count" && i + 1 < argc) {
      relay.count = std::fopen(argv[++i], "a");
      usage_error |= relay.count == nullptr;
    } else if (option == "--delay-us" && i + 1 < argc) {
      delay_us = std::atol(argv[++i]);
    } else {
      usage_error = true;
    }
  }
  if (usage_error || !have_target || delay_us < 0) {
    std::fprintf(stderr,
                 "usage: %s --target 127.0.0.1:PORT [--delay-us MICROSECONDS] [--drop-getbulk] [--count FILE]\n",
                 argv[0]);
    return 2;
  }
  relay.delay = std::chrono::microseconds(delay_us);
  relay.listen_fd = BindLoopback();
  std::printf("%d\n", PortOf(relay.listen_fd));
  std::fflush(stdout);
  Serve(relay);
}
