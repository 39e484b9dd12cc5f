// SPDX-License-Identifier: MIT
// zvxpcd-walk: the process of one walk. zvxpcd starts it for each walk
// request; it reads the job from its standard input (walk_job.h), prepares
// the Net-SNMP library, confines itself, walks and merges, and sends every
// note and then its result and state on descriptor 3. It never serves
// anything else and ends with the walk.
#include <signal.h>
#include <unistd.h>

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
  zv::WalkJob job;
  if (!ReadJob(&job)) return kExitNoJob;
  zv::SetWalkNoteSink(ForwardNote);
  zv::SetWalkLogSink(ForwardLogLine);
  // The library reads its configuration and MIBs before the confinement,
  // and the configuration's presets of the -C settings come before the
  // toggles that earlier walks left.
  zv::ApplyWalkSettings(job.state);
  zv::InitialiseSnmpLibrary();
  const zv::WalkSettingValues presets = zv::CurrentWalkSettingValues();
  zv::ApplyWalkToggles(job.state);

  bool landlock_applied = false;
  std::string error;
  if (!zv::ConfineProcess(zv::WalkConfinementPlan(job), &landlock_applied, &error)) {
    zv::NoteWalk(zv::WalkNote::kReason, "the walk's process could not be confined: " + error);
    return kExitNotConfined;
  }
  const int result = RunJob(job);
  const zv::WalkProcessState end = zv::CaptureWalkState(job.state, presets);
  (void)zv::WriteAll(zv::kWalkMessageDescriptor, zv::EncodeResultMessage(result, end));
  // Nothing is left to do: the process's memory goes with it.
  _exit(0);
}
