// SPDX-License-Identifier: MIT
// Where the time of one walk request goes: each step of the service's path
// timed on its own, with the service's own functions, RUNS times each,
// interleaved:
//   connect     a client connects to zvxpcd and closes (SOCKET);
//   reply       one request and its reply on an open connection (the status
//               operation: the service does next to nothing);
//   hand-over   a walk in a process started ahead that ends at its
//               argument parse ("-v 9"): taking the process, the job, the
//               report, the check;
//   set-up      the same with no process started ahead, less the hand-over:
//               starting a process and setting the SNMP library up;
//   walk        the walk of ADDRESS in its process, less the hand-over;
//   read        reading and parsing the full profile list the walk left;
//   merge       the merge of the walk's rows into it;
//   compare     serialising the merged list and comparing it with the file;
//   save        writing it anew (a temporary file, its flush, the rename and
//               the folder's flush), which a walk that changes nothing skips.
// Prints medians and minimums in milliseconds and the load average.
//
//   zv_request_breakdown RUNS SOCKET -- WALK-ARGUMENT...
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "front/walk_launcher.h"
#include "front/walk_supervisor.h"
#include "list_update/merge.h"
#include "store/profile_plist_file.h"
#include "zvxpc.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(const std::function<void()>& step) {
  const Clock::time_point start = Clock::now();
  step();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
  std::vector<double> times;
  void Add(double ms) { times.push_back(ms); }
  double Median() const {
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }
  double Minimum() const { return *std::min_element(times.begin(), times.end()); }
};

zv::WalkJob JobOf(std::vector<std::string> arguments) {
  zv::WalkJob job;
  job.arguments = {"zv_request_breakdown"};
  job.arguments.insert(job.arguments.end(), arguments.begin(), arguments.end());
  return job;
}

// Starts a walk's process ahead and gives it time to set up, as between a
// dialog's walks.
void StartAhead() {
  zv::PrepareNextWalkProcess(std::nullopt);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || std::strcmp(argv[3], "--") != 0) {
    std::fprintf(stderr, "usage: zv_request_breakdown RUNS SOCKET -- WALK-ARGUMENT...\n");
    return 2;
  }
  const int runs = std::max(1, std::atoi(argv[1]));
  const std::string socket = argv[2];
  const zv::WalkJob walk = JobOf(std::vector<std::string>(argv + 4, argv + argc));
  const zv::WalkJob parse_only = JobOf({"-v", "9", "-c", "public", "127.0.0.1:9"});
  char folder[] = "/tmp/zv_request_breakdown.XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  const std::string list = std::string(folder) + "/u-m-profile.plist";
  zv::StartWalkLauncher(ZV_WALK_PROGRAM, {});

  std::map<std::string, Figures> figures;
  zv::WalkRun last;
  for (int run = 0; run < runs; ++run) {
    figures["connect"].Add(Milliseconds([&] { zvxpc_close(zvxpc_connect(socket.c_str())); }));
    zvxpc_client* client = zvxpc_connect(socket.c_str());
    figures["reply"].Add(Milliseconds([&] {
      char* reply = nullptr;
      if (zvxpc_call(client, ZVXPC_OP_STATUS, nullptr, -1, &reply) == 0) std::free(reply);
    }));
    zvxpc_close(client);
    StartAhead();
    const double hand_over = Milliseconds([&] { zv::RunWalkInItsProcess(parse_only, {}); });
    figures["hand-over"].Add(hand_over);
    figures["set-up"].Add(Milliseconds([&] { zv::RunWalkInItsProcess(parse_only, {}); }) - hand_over);
    StartAhead();
    figures["walk"].Add(Milliseconds([&] { last = zv::RunWalkInItsProcess(walk, {}); }) - hand_over);
    if (last.ending != zv::WalkRun::Ending::kEnded) {
      std::fprintf(stderr, "the walk did not end: %s\n", last.problem.c_str());
      return 1;
    }
    // The list as the walk leaves it, then its steps one by one.
    auto lists = std::make_unique<zv::ProfileLists>();
    if (run == 0) {
      zv::MergeSpoolIntoLists(0, *last.report.spool, *lists);
      std::string error;
      zv::WriteProfileListBytes(list.c_str(), zv::ProfileListBytes(*lists), &error);
    }
    zv::ProfileListSnapshot snapshot;
    figures["read"].Add(Milliseconds([&] { zv::SnapshotProfileListFile(list.c_str(), lists.get(), &snapshot); }));
    figures["merge"].Add(Milliseconds([&] { zv::MergeSpoolIntoLists(0, *last.report.spool, *lists); }));
    std::string bytes;
    figures["compare"].Add(Milliseconds([&] {
      bytes = zv::ProfileListBytes(*lists);
      if (bytes == snapshot.bytes) bytes.swap(snapshot.bytes);
    }));
    figures["save"].Add(Milliseconds([&] {
      std::string error;
      zv::WriteProfileListBytes(list.c_str(), bytes, &error);
    }));
  }
  double load[3] = {0, 0, 0};
  (void)getloadavg(load, 3);
  std::printf("one walk request, step by step (%d runs, %d rows): milliseconds\n", runs, last.report.rows);
  for (const char* step : {"connect", "hand-over", "set-up", "walk", "read", "merge", "compare", "save", "reply"}) {
    std::printf("  %-10s median %8.3f   min %8.3f\n", step, figures[step].Median(), figures[step].Minimum());
  }
  std::printf("load average %.2f %.2f %.2f\n", load[0], load[1], load[2]);
  std::remove(list.c_str());
  ::rmdir(folder);
  return 0;
}
