// SPDX-License-Identifier: MIT
// Request rate of zvxpcd through its socket, beside a bare ping-pong over
// the same kind of socket with frames of the same sizes.
//
// BM_ServiceExist sends `zvPListExistProfile_XPC:reply:` requests (one
// open(2) and close(2) each in the service); BM_BarePingPong sends the same
// request bytes to a bare server process (one thread per connection, like
// the service) that answers every frame at once with a reply frame of the
// service's size ("\0TRUE"). Each benchmark thread has its own
// connection; run with 1 and 8 connections. BM_ServiceExist drives the
// service with a bare socket loop (one whole frame written, one read back),
// BM_LibraryExist with the installed C library's zvxpc_call; the
// difference is the library's own cost. BM_BareOpenClose is the bare
// server that also opens and closes the probe file per frame: the file
// work every existence test needs, so that the service's own overhead
// shows apart from it.
//
// Run: service_bench [--benchmark_repetitions=N]. The service binary is
// the one of this build.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/posix_io.h"
#include "platform/xpc/frame_io.h"
#include "platform/xpc/wire_format.h"
#include "zvxpc.h"

namespace {

constexpr const char* kOperation = ZVXPC_OP_EXIST;

std::string g_dir;
std::string g_service_socket;
std::string g_bare_socket;
std::string g_bare_open_socket;
std::string g_probe_file;

int ListenAt(const std::string& path) {
  sockaddr_un address;
  zv::MakeUnixAddress(path, &address);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0) {
    std::perror("bare server");
    std::exit(1);
  }
  return fd;
}

// The bare ping-pong: one thread per connection, each frame answered with
// a fixed reply frame.
void ServeBare(int fd, bool open_probe) {
  std::string reply;
  zv::xpc::AppendFrame(zv::xpc::EncodeReply(zv::xpc::ReplyStatus::kReply, "TRUE"), &reply);
  zv::xpc::FrameReader reader(fd);
  std::string_view payload;
  std::string error;
  while (reader.Next(&payload) == zv::xpc::FrameStatus::kFrame) {
    if (open_probe) ::close(::open(g_probe_file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!zv::xpc::WriteAllBytes(fd, reply, &error)) break;
  }
  ::close(fd);
}

[[noreturn]] void RunBareServer(int listen_fd, bool open_probe) {
  for (;;) {
    const int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) ::_exit(0);
    std::thread(ServeBare, fd, open_probe).detach();
  }
}

// The bare server runs in a process of its own, as the service does, so
// both pay the same for switching between processes.
pid_t StartBareServer(const std::string& socket, bool open_probe) {
  const int listen_fd = ListenAt(socket);
  const pid_t pid = ::fork();
  if (pid == 0) RunBareServer(listen_fd, open_probe);
  ::close(listen_fd);
  return pid;
}

// A blocking stream socket connected to `path`, or -1.
int ConnectTo(const std::string& path) {
  sockaddr_un address;
  zv::MakeUnixAddress(path, &address);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

pid_t StartService() {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execl(ZVXPCD_BINARY, ZVXPCD_BINARY, "--socket", g_service_socket.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int probe = -1;
  for (int i = 0; i < 1000 && (probe = ConnectTo(g_service_socket)) < 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (probe >= 0) ::close(probe);
  return pid;
}

// The bare socket loop: the request frame written whole, its reply read
// back and decoded.
void PingPong(benchmark::State& state, const std::string& socket) {
  const int fd = ConnectTo(socket);
  if (fd < 0) {
    state.SkipWithError(("cannot connect to " + socket).c_str());
    return;
  }
  std::string request;
  zv::xpc::AppendFrame(zv::xpc::EncodeRequest(kOperation, std::string_view(g_probe_file)), &request);
  zv::xpc::FrameReader reader(fd);
  std::string error;
  for (auto _ : state) {
    std::string_view payload, reply;
    zv::xpc::ReplyStatus status;
    if (!zv::xpc::WriteAllBytes(fd, request, &error) || reader.Next(&payload) != zv::xpc::FrameStatus::kFrame ||
        !zv::xpc::DecodeReply(payload, &status, &reply, &error) || status != zv::xpc::ReplyStatus::kReply ||
        reply != "TRUE") {
      state.SkipWithError(("unexpected reply: " + std::string(reply) + error).c_str());
      break;
    }
  }
  ::close(fd);
  state.SetItemsProcessed(state.iterations());
}

// The same requests through libzvxpc's C interface.
void LibraryPingPong(benchmark::State& state, const std::string& socket) {
  zvxpc_client* client = zvxpc_connect(socket.c_str());
  if (client == nullptr) {
    state.SkipWithError("zvxpc_connect failed");
    return;
  }
  for (auto _ : state) {
    char* reply = nullptr;
    if (zvxpc_call(client, ZVXPC_OP_EXIST, g_probe_file.c_str(), -1, &reply) != 0 ||
        std::strcmp(reply, "TRUE") != 0) {
      state.SkipWithError((std::string("unexpected reply: ") + (reply ? reply : zvxpc_error(client))).c_str());
      std::free(reply);
      break;
    }
    std::free(reply);
  }
  zvxpc_close(client);
  state.SetItemsProcessed(state.iterations());
}

void BM_ServiceExist(benchmark::State& state) { PingPong(state, g_service_socket); }
void BM_LibraryExist(benchmark::State& state) { LibraryPingPong(state, g_service_socket); }
void BM_BarePingPong(benchmark::State& state) { PingPong(state, g_bare_socket); }
void BM_BareOpenClose(benchmark::State& state) { PingPong(state, g_bare_open_socket); }

BENCHMARK(BM_BarePingPong)->Threads(1)->Threads(8)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_BareOpenClose)->Threads(1)->Threads(8)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_ServiceExist)->Threads(1)->Threads(8)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_LibraryExist)->Threads(1)->Threads(8)->UseRealTime()->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/zvxpcd-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  g_dir = pattern;
  g_service_socket = g_dir + "/service.sock";
  g_bare_socket = g_dir + "/bare.sock";
  g_bare_open_socket = g_dir + "/bare-open.sock";
  g_probe_file = g_dir + "/probe.plist";
  std::FILE* probe = std::fopen(g_probe_file.c_str(), "w");
  if (probe) std::fclose(probe);

  const pid_t bare = StartBareServer(g_bare_socket, false);
  const pid_t bare_open = StartBareServer(g_bare_open_socket, true);
  const pid_t service = StartService();

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  ::kill(service, SIGTERM);
  ::waitpid(service, nullptr, 0);
  for (const pid_t server : {bare, bare_open}) {
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
  }
  ::unlink(g_probe_file.c_str());
  ::unlink(g_bare_socket.c_str());
  ::unlink(g_bare_open_socket.c_str());
  ::rmdir(g_dir.c_str());
  return 0;
}
