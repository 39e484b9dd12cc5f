// SPDX-License-Identifier: MIT
// The start cost of a walk's process: the same walk and merge run in this
// process (the anchor: how the service walked before each walk had a
// process of its own) and as the service runs them (the walk in a
// confined process of its own, its rows checked and merged in the
// service), interleaved, RUNS times each. Optional walk arguments (after "--", the
// program-name slot excluded) choose the walk; by default a walk that sends
// nothing ("-v 9": a usage error) but still merges, so that the difference
// is the process alone: start, loading, library set-up, confinement, pipe.
// Walks come PAUSE milliseconds apart (default 100), as walks of a print
// dialog do, so that the process of the next walk is ready, as the service
// starts it ahead; with a pause of 0 that start is in the figures too.
// Prints medians and minimums in milliseconds and the load average.
//
//   zv_walk_process_start [RUNS [PAUSE]] [-- ARGUMENT...]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "front/walk_launcher.h"
#include "front/walk_supervisor.h"
#include "list_update/list_update.h"
#include "report/walk_globals.h"
#include "store/zvplist.h"
#include "walk/walk_driver.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The service's way: the walk in its process, the merge here.
int WalkInItsProcess(const zv::WalkJob& job) {
  const zv::WalkRun run = zv::RunWalkInItsProcess(job, {});
  zv::PrepareNextWalkProcess(std::nullopt);
  if (run.ending != zv::WalkRun::Ending::kEnded) return 1;
  (void)zv::UpdateProfileListFile(ZV_PLIST_PROFILE_PATH, run.report.end->result,
                                  *run.report.spool);
  return run.report.end->result;
}

int WalkHere(const zv::WalkJob& job) {
  std::vector<std::string> copies = job.arguments;
  std::vector<char*> argv;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int result = mib_walk(static_cast<int>(copies.size()), argv.data());
  (void)zv::UpdateProfileListFile(ZV_PLIST_PROFILE_PATH, result, PlistForSpool);
  return result;
}

void Report(const char* what, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  std::printf("%-28s median %7.3f ms   min %7.3f ms\n", what, times[times.size() / 2], times.front());
}

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 50;
  int pause_ms = 100;
  int at = 1;
  if (at < argc && std::strcmp(argv[at], "--") != 0) runs = std::max(1, std::atoi(argv[at++]));
  if (at < argc && std::strcmp(argv[at], "--") != 0) pause_ms = std::max(0, std::atoi(argv[at++]));
  zv::WalkJob job;
  job.arguments = {"zv_walk_process_start"};
  if (at < argc && std::strcmp(argv[at], "--") == 0) {
    for (++at; at < argc; ++at) job.arguments.emplace_back(argv[at]);
  } else {
    job.arguments.insert(job.arguments.end(), {"-v", "9", "-c", "public", "127.0.0.1:9"});
  }
  char folder[] = "/tmp/zv_walk_process_start.XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  const std::string list = std::string(folder) + "/u-m-profile.plist";
  std::vector<char> path(list.begin(), list.end());
  path.push_back('\0');
  ZV_PLIST_PROFILE_PATH = path.data();
  zv::StartWalkLauncher(ZV_WALK_PROGRAM, {});

  // One of each first: the library's set-up in this process, the page cache.
  (void)WalkHere(job);
  (void)WalkInItsProcess(job);
  std::vector<double> here, own;
  int results[2] = {0, 0};
  const auto pause = std::chrono::milliseconds(pause_ms);
  for (int run = 0; run < runs; ++run) {
    std::this_thread::sleep_for(pause);
    Clock::time_point start = Clock::now();
    results[0] = WalkHere(job);
    here.push_back(MillisecondsSince(start));
    std::this_thread::sleep_for(pause);
    start = Clock::now();
    results[1] = WalkInItsProcess(job);
    own.push_back(MillisecondsSince(start));
  }
  double load[3] = {0, 0, 0};
  (void)getloadavg(load, 3);
  std::printf("walk results %d (this process) and %d (own process), %d runs each, interleaved, %d ms apart\n",
              results[0], results[1], runs, pause_ms);
  Report("walk in this process", here);
  Report("walk in its own process", own);
  std::printf("start cost per walk (difference of medians): %.3f ms\n", Median(own) - Median(here));
  std::printf("load average %.2f %.2f %.2f\n", load[0], load[1], load[2]);
  std::remove(list.c_str());
  ::rmdir(folder);
  return results[0] == results[1] ? 0 : 1;
}
