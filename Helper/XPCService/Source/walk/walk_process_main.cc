// SPDX-License-Identifier: MIT
// zvxpcd-walk: the process of one walk. zvxpcd starts it ahead of the walk
// it will run: it sets the Net-SNMP library up (configuration and MIBs,
// with MIBS from its environment) and then waits for its job on standard
// input (walk_job.h). With the job it confines itself, walks and merges,
// and sends every note and logged line and then its result and state on
// descriptor 3. It never serves anything else and ends with the walk, or
// without one when its standard input closes first.
#include <signal.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/confinement.h"
#include "platform/posix_io.h"
#include "store/zvplist.h"
#include "walk/debug_sink.h"
#include "walk/merge.h"
#include "walk/snmp_library.h"
#include "walk/spool_list.h"
#include "walk/walk_confinement.h"
#include "walk/walk_driver.h"
#include "walk/walk_job.h"
#include "walk/walk_process_state.h"

namespace {

// Exit codes of a process that sends no result.
constexpr int kExitNoJob = 2;
constexpr int kExitNotConfined = 3;
// A job is far smaller (512 arguments of at most a few kilobytes).
constexpr std::size_t kMaxJobBytes = std::size_t{32} << 20;

// The heap a walk and its merge use (about 3 MiB for a full list), taken
// and touched while the process waits for its job, and kept: the walk then
// takes no page faults for it.
constexpr std::size_t kWarmHeapBytes = std::size_t{4} << 20;

void WarmHeap() {
  mallopt(M_MMAP_THRESHOLD, static_cast<int>(2 * kWarmHeapBytes));
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(4 * kWarmHeapBytes));
  auto* block = static_cast<volatile char*>(std::malloc(kWarmHeapBytes));
  if (block == nullptr) return;
  for (std::size_t at = 0; at < kWarmHeapBytes; at += 4096) block[at] = 0;
  std::free(const_cast<char*>(block));
}

void ForwardNote(zv::WalkNote note, std::string_view text) {
  (void)zv::WriteAll(zv::kWalkMessageDescriptor, zv::EncodeNoteMessage(note, text));
}

void ForwardLogLine(std::string_view line) {
  (void)zv::WriteAll(zv::kWalkMessageDescriptor, zv::EncodeLogLineMessage(line));
}

void AbandonOnStop(int) { zv::AbandonWalks(); }

// SIGTERM and SIGINT abandon the walk (it ends without the merge); a
// service that went away leaves writes failing rather than ending the walk.
void HandleSignals() {
  struct sigaction action {};
  action.sa_handler = AbandonOnStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // A list write past the file-size limit fails (EFBIG) instead of ending
  // the process: the old list stays.
  signal(SIGXFSZ, SIG_IGN);
}

bool ReadJob(zv::WalkJob* job) {
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.append(buffer, static_cast<std::size_t>(count));
    if (bytes.size() > kMaxJobBytes) return false;
  }
  return zv::DecodeWalkJob(bytes, job);
}

int RunJob(zv::WalkJob& job) {
  ZV_PLIST_PROFILE_PATH = job.current_path.data();
  ZV_PLIST_PROFILE_PREV_PATH = job.previous_path.data();
  ZV_PLIST_PROFILE_SPOOL_PATH = job.spool_path.data();
  if (job.kind == zv::WalkJobKind::kMergeFailed) {
    vSpoolPlist(nullptr, 0, nullptr, 1);
    vRestructPlistSpool2Current(1);
    return 1;
  }
  std::vector<char*> argv;
  for (std::string& argument : job.arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return mib_walk(static_cast<int>(job.arguments.size()), argv.data());
}

}  // namespace

int main() {
  HandleSignals();
  zv::SetWalkNoteSink(ForwardNote);
  zv::SetWalkLogSink(ForwardLogLine);
  // The library reads its configuration and MIBs before the job comes (so
  // that the walk does not wait for it) and before the confinement; the
  // configuration's presets of the -C settings come before the toggles
  // that earlier walks left.
  zv::InitialiseSnmpLibrary();
  WarmHeap();
  const zv::WalkSettingValues presets = zv::CurrentWalkSettingValues();
  // What does not depend on the job is prepared before it, too.
  zv::ProcessConfinement confinement;
  std::string error;
  const bool prepared = confinement.Prepare(zv::WalkReadablePaths(), &error);
  zv::WalkJob job;
  // No job: the service went away or discarded this process. Its memory
  // goes with it.
  if (!ReadJob(&job)) _exit(kExitNoJob);
  zv::ApplyWalkSettings(job.state);
  zv::ApplyWalkToggles(job.state);

  bool landlock_applied = false;
  if (!prepared || !confinement.Apply(zv::WalkConfinementPlan(job), &landlock_applied, &error)) {
    zv::NoteWalk(zv::WalkNote::kReason, "the walk's process could not be confined: " + error);
    _exit(kExitNotConfined);
  }
  const int result = RunJob(job);
  const zv::WalkProcessState end = zv::CaptureWalkState(job.state, presets);
  (void)zv::WriteAll(zv::kWalkMessageDescriptor, zv::EncodeResultMessage(result, end));
  // Nothing is left to do: the process's memory goes with it.
  _exit(0);
}
