// SPDX-License-Identifier: MIT
// The processor time of waiting for a device that never answers: a walk
// by the walk driver (mib_walk, with its default 3 retries of 0.25 s)
// against the anchor, Net-SNMP's own synchronous wait (snmp_synch_response)
// for one GETNEXT on a session with the same retries and timeout. Each
// waits about one second per run, interleaved RUNS times (default 10), on
// a UDP socket of this process on 127.0.0.1 that nobody reads. Prints the
// medians and minimums of the waiting thread's processor time and of the
// wall time, the ratio of the processor-time medians, and the load average.
//
//   zv_silent_wait_cpu [RUNS]
#include <arpa/inet.h>
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "walk/walk_driver.h"

namespace {

constexpr const char* kRoot = "1.3.6.1.4.1.32473.1.1.1.1.6.13.1.1";
constexpr int kRetries = 3;
constexpr long kTimeoutMicroseconds = 250000;

// Processor time and wall time of one wait, in milliseconds.
struct Cost {
  double cpu_ms;
  double wall_ms;
};

double Milliseconds(clockid_t clock) {
  timespec now{};
  ::clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

template <typename Wait>
Cost Measure(Wait wait) {
  const double cpu = Milliseconds(CLOCK_THREAD_CPUTIME_ID), wall = Milliseconds(CLOCK_MONOTONIC);
  wait();
  return {Milliseconds(CLOCK_THREAD_CPUTIME_ID) - cpu, Milliseconds(CLOCK_MONOTONIC) - wall};
}

// A bound UDP socket on 127.0.0.1 that is never read; "127.0.0.1:PORT",
// or "" when it cannot be made.
std::string SilentAddress() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return "";
  }
  return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

// One walk of the silent device; its result (1 when it timed out).
int WalkDriverWait(const std::string& peer) {
  std::vector<std::string> arguments = {"zv_silent_wait_cpu", "-v", "2c", "-c", "public", peer, kRoot};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return mib_walk(static_cast<int>(arguments.size()), argv.data());
}

// One GETNEXT through the library's synchronous call on a session like
// the walk's; its status (STAT_TIMEOUT when it timed out).
int LibraryWait(const std::string& peer) {
  netsnmp_session settings;
  snmp_sess_init(&settings);
  std::string community = "public", name = peer;
  settings.version = SNMP_VERSION_2c;
  settings.community = reinterpret_cast<u_char*>(community.data());
  settings.community_len = community.size();
  settings.peername = name.data();
  settings.retries = kRetries;
  settings.timeout = kTimeoutMicroseconds;
  netsnmp_session* session = snmp_open(&settings);
  if (session == nullptr) return STAT_ERROR;
  oid root[MAX_OID_LEN];
  size_t length = MAX_OID_LEN;
  netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GETNEXT);
  if (read_objid(kRoot, root, &length) != 0) snmp_add_null_var(request, root, length);
  netsnmp_pdu* response = nullptr;
  const int status = snmp_synch_response(session, request, &response);
  if (response != nullptr) snmp_free_pdu(response);
  snmp_close(session);
  return status;
}

void Report(const char* what, std::vector<Cost> costs) {
  const auto middle = costs.size() / 2;
  std::vector<double> cpu, wall;
  for (const Cost& cost : costs) {
    cpu.push_back(cost.cpu_ms);
    wall.push_back(cost.wall_ms);
  }
  std::sort(cpu.begin(), cpu.end());
  std::sort(wall.begin(), wall.end());
  std::printf("%-34s cpu median %7.3f ms  min %7.3f ms   wall median %7.1f ms  min %7.1f ms\n", what,
              cpu[middle], cpu.front(), wall[middle], wall.front());
}

double MedianCpu(std::vector<Cost> costs) {
  std::sort(costs.begin(), costs.end(), [](const Cost& a, const Cost& b) { return a.cpu_ms < b.cpu_ms; });
  return costs[costs.size() / 2].cpu_ms;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const std::string peer = SilentAddress();
  if (peer.empty()) {
    std::perror("silent UDP socket");
    return 1;
  }
  // One of each first: the library's set-up belongs to neither figure.
  int results[2] = {WalkDriverWait(peer), LibraryWait(peer)};
  std::vector<Cost> walk, anchor;
  for (int run = 0; run < runs; ++run) {
    walk.push_back(Measure([&] { results[0] = WalkDriverWait(peer); }));
    anchor.push_back(Measure([&] { results[1] = LibraryWait(peer); }));
  }
  double load[3] = {0, 0, 0};
  (void)getloadavg(load, 3);
  std::printf("silent device %s, %d retries of %ld ms, %d runs each, interleaved\n", peer.c_str(), kRetries,
              kTimeoutMicroseconds / 1000, runs);
  Report("walk driver (mib_walk)", walk);
  Report("anchor: snmp_synch_response", anchor);
  std::printf("processor time, ratio of medians (walk / anchor): %.2f\n", MedianCpu(walk) / MedianCpu(anchor));
  std::printf("load average %.2f %.2f %.2f\n", load[0], load[1], load[2]);
  // Both must have waited out their retries, or the figures compare nothing.
  return results[0] == 1 && results[1] == STAT_TIMEOUT ? 0 : 1;
}
