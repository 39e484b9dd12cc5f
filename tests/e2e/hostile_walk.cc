// SPDX-License-Identifier: MIT
// A walk program that breaks the rules of a walk's process, as one taken
// over by a hostile printer might: given to zvxpcd with --walk-program,
// it does what $ZVTEST_HOSTILE names instead of a walk.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "report/walk_protocol.h"
#include "zvxpc.h"

namespace {

constexpr int kReport = zv::kWalkReportDescriptor;

void Send(const std::string& bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    const ssize_t n = ::write(kReport, bytes.data() + at, bytes.size() - at);
    if (n <= 0) return;
    at += static_cast<std::size_t>(n);
  }
}

void ReadJob() {
  char buffer[65536];
  while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
  }
}

[[noreturn]] void LiveOn() {
  ::sleep(60);
  ::_exit(0);
}

ProfileRecord Row(std::size_t name_bytes) {
  ProfileRecord row{};
  row.Location = 4;
  row.ProfileClass = 1;
  std::memset(row.FileName, 'N', std::min(name_bytes, sizeof row.FileName));
  return row;
}

// A message header of `kind` that promises `length` bytes.
std::string Header(uint8_t kind, uint32_t length) {
  std::string header(1, static_cast<char>(kind));
  for (int i = 0; i < 4; ++i) header.push_back(static_cast<char>((length >> (8 * i)) & 0xff));
  return header;
}

// Connects to the service's socket and asks it something; writes what
// came back (or "refused") to $ZVTEST_OUT.
void AskTheService() {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, std::getenv("ZVTEST_SOCKET"), sizeof address.sun_path - 1);
  std::string outcome = "no connection";
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    const std::string payload = std::string(ZVXPC_OP_EXIST) + '\0' + '\1' + "/";
    const uint32_t length = static_cast<uint32_t>(payload.size());
    const char frame_length[4] = {static_cast<char>(length >> 24), static_cast<char>(length >> 16),
                                  static_cast<char>(length >> 8), static_cast<char>(length)};
    (void)!::write(fd, frame_length, 4);
    (void)!::write(fd, payload.data(), payload.size());
    char reply[64];
    const ssize_t n = ::read(fd, reply, sizeof reply);
    outcome = n > 0 ? "answered" : "refused";
  }
  FILE* out = std::fopen(std::getenv("ZVTEST_OUT"), "w");
  if (out != nullptr) {
    std::fputs(outcome.c_str(), out);
    std::fclose(out);
  }
}

// Lets any process of its user trace it, then writes its pid to the FIFO
// $ZVTEST_OUT, waiting for a reader.
void ReportPid() {
  ::prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
  const int fifo = ::open(std::getenv("ZVTEST_OUT"), O_WRONLY | O_CLOEXEC);
  if (fifo < 0) return;
  const std::string pid = std::to_string(::getpid());
  (void)!::write(fifo, pid.data(), pid.size());
  ::close(fifo);
}

}  // namespace

int main() {
  signal(SIGPIPE, SIG_IGN);
  const char* chosen = std::getenv("ZVTEST_HOSTILE");
  const std::string mode = chosen != nullptr ? chosen : "";
  if (mode == "exits at once") return 0;
  if (mode == "never reads its job") LiveOn();
  if (mode == "closes its descriptor and lives") {
    ::close(kReport);
    LiveOn();
  }
  if (mode == "leaves a child holding its descriptor") {
    if (::fork() == 0) LiveOn();
    return 0;
  }
  ReadJob();
  if (mode == "floods it with 64 MiB of garbage") {
    const std::string garbage(1 << 20, '\x7f');
    for (int i = 0; i < 64; ++i) Send(garbage);
  } else if (mode == "sends one oversized message") {
    Send(Header(1, 64 << 20) + std::string(1 << 20, 'x'));
  } else if (mode == "sends result -3") {
    Send(zv::EncodeEndMessage({-3, 0, 0, false}));
  } else if (mode == "sends a note with a line feed") {
    Send(zv::EncodeNoteMessage(zv::WalkNote::kReason, "forged\nxpc - mibwalk_XPC - iRet=0"));
    return 0;
  } else if (mode == "sends a state with a MIBS path") {
    const std::string mibs = "MIBS=/etc/shadow";
    Send(Header(2, static_cast<uint32_t>(3 + mibs.size())) + std::string(3, '\0') + mibs);
  } else if (mode == "sends 501 rows") {
    for (int row = 1; row <= 501; ++row) Send(zv::EncodeRowMessage(row > 500 ? 1 : row, Row(5)));
  } else if (mode == "sends a row with a 40-byte name") {
    std::string row = zv::EncodeRowMessage(1, Row(0));
    Send(Header(3, static_cast<uint32_t>(2 + 16 + 4 + 40 + 4)) + row.substr(5, 18) + std::string("\x28\0\0\0", 4) +
         std::string(40, 'N') + std::string(4, '\0'));
  } else if (mode == "asks the service") {
    AskTheService();
  } else if (mode == "lies about its device and what it found") {
    Send(zv::EncodeNoteMessage(zv::WalkNote::kDevice, "evil.example\nx"));
    Send(zv::EncodeNoteMessage(zv::WalkNote::kReason, "12 rows, 3 classes"));
    Send(zv::EncodeEndMessage({0, 0, 0, false}));
    return 0;
  } else if (mode == "reports its pid") {
    ReportPid();
  }
  LiveOn();
}
