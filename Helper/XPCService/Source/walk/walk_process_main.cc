// SPDX-License-Identifier: MIT
// zvxpcd-walk: the process of one walk. zvxpcd starts it ahead of the walk
// it will run. It confines itself to reading (walk_confinement.h), sets
// the Net-SNMP library up (configuration and MIBs, with MIBS from its
// environment) and waits for its job on standard input (walk_protocol.h).
// With the job (whose bytes it wipes once decoded) it parses the walk's
// arguments (which wipes the texts of pass phrases and keys once the keys
// are made), opens the session, wipes the pass phrases snmp.conf gave,
// confines itself further and walks; it reports every note as it comes, its
// settings once its arguments are parsed, then its spool rows and its end
// on descriptor 3. It never opens a profile list: the service checks what
// it reports, merges and saves. It ends with the walk, without one when
// its standard input closes first, and with the service (a parent that
// dies takes it along).
#include <malloc.h>
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix_io.h"
#include "platform/whole_file.h"
#include "report/debug_sink.h"
#include "report/snmp_configuration.h"
#include "report/walk_globals.h"
#include "report/walk_protocol.h"
#include "walk/bulk_requests.h"
#include "walk/mib_loading.h"
#include "walk/request_wait.h"
#include "walk/snmp_library.h"
#include "walk/walk_confinement.h"
#include "walk/walk_driver.h"
#include "walk/walk_settings.h"
#include "walk/walk_transport.h"

namespace {

// Exit codes of a process that sends no end.
constexpr int kExitUsage = 2;
constexpr int kExitNoJob = 3;
constexpr int kExitNotConfined = 4;
constexpr int kExitOrphaned = 5;

// The heap a walk uses, taken and touched while the process waits for its
// job, and kept: the walk then takes no page faults for it.
constexpr std::size_t kWarmHeapBytes = std::size_t{1} << 20;

// Bytes of stack overwritten below a caller's frame: more than the
// deepest that reading the configuration goes.
constexpr std::size_t kScrubbedStackBytes = std::size_t{256} << 10;

struct Process {
  pid_t service = 0;
  zv::WalkToggles presets;  // the -C settings as the configuration leaves them
  zv::ResourceLimits limits;
  zv::WalkFilter filter;
  bool filter_built = false;
  std::string filter_error;
};

Process& TheProcess() {
  static Process process;
  return process;
}

void Send(const std::string& message) { (void)zv::WriteAll(zv::kWalkReportDescriptor, message); }

void ForwardNote(zv::WalkNote note, std::string_view text) { Send(zv::EncodeNoteMessage(note, text)); }

void AbandonOnStop(int) { zv::AbandonWalks(); }

// SIGTERM and SIGINT abandon the walk; a service that went away leaves
// writes failing rather than ending the walk.
void HandleSignals() {
  struct sigaction action {};
  action.sa_handler = AbandonOnStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

// The service's process id from "--service-pid PID"; "--help" prints what
// this program is. Anything else is a usage error.
bool ReadCommandLine(int argc, char** argv, pid_t* service) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::puts("zvxpcd-walk runs one walk of zvxpcd, which starts it; it is not run by hand (see zvxpcd(8)).");
    std::exit(0);
  }
  if (argc != 3 || std::strcmp(argv[1], "--service-pid") != 0) return false;
  char* end = nullptr;
  const long pid = std::strtol(argv[2], &end, 10);
  if (end == argv[2] || *end != '\0' || pid <= 1) return false;
  *service = static_cast<pid_t>(pid);
  return true;
}

// Dies with the service: the kernel sends SIGKILL when the service ends.
// A service that ended before the call went unseen, so the parent is
// checked after it.
void DieWithService(pid_t service) {
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != service) ::_exit(kExitOrphaned);
}

// Takes out of MIBS every entry naming a file that is not a regular file
// this process may read (confined to reading, it cannot read one outside
// its folders); a FIFO or a device would hold the library's start for
// good. The service adopts only entries that pass the same test.
void KeepReadableMibFiles() {
  const char* mibs = std::getenv("MIBS");
  if (mibs == nullptr) return;
  std::string kept;
  std::string_view rest = mibs;
  while (true) {
    const std::size_t colon = rest.find(':');
    const std::string entry(rest.substr(0, colon));
    bool keep = true;
    if (entry.find('/') != std::string::npos) {
      const int fd = zv::OpenRegularFileForReading(entry.c_str());
      keep = fd >= 0;
      if (fd >= 0) ::close(fd);
      if (!keep) zv::NoteWalk(zv::WalkNote::kDetail, zv::ErrnoText("MIBS entry " + entry + " left out", errno));
    }
    if (keep) kept += (kept.empty() ? "" : ":") + entry;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  ::setenv("MIBS", kept.c_str(), 1);
}

// Overwrites the stack below the caller's frame, where the calls before
// it left what they read (the configuration's text, with any pass phrase
// in it) in memory that no variable owns any more.
__attribute__((noinline)) void ScrubStack() {
  char area[kScrubbedStackBytes];
  explicit_bzero(area, sizeof area);
}

void WarmHeap() {
  mallopt(M_MMAP_THRESHOLD, static_cast<int>(2 * kWarmHeapBytes));
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(4 * kWarmHeapBytes));
  auto* block = static_cast<volatile char*>(std::malloc(kWarmHeapBytes));
  if (block == nullptr) return;
  for (std::size_t at = 0; at < kWarmHeapBytes; at += 4096) block[at] = 0;
  std::free(const_cast<char*>(block));
}

zv::WalkToggles CurrentToggles() {
  return {zv::WalkSettingOn(zv::WalkSetting::kIncludeRequested), zv::WalkSettingOn(zv::WalkSetting::kPrintStatistics),
          zv::WalkSettingOn(zv::WalkSetting::kDontCheckOrdering)};
}

// Which settings are flipped from what the configuration presets.
zv::WalkToggles ToggledFrom(const zv::WalkToggles& presets) {
  const zv::WalkToggles now = CurrentToggles();
  return {now.include_requested != presets.include_requested, now.print_statistics != presets.print_statistics,
          now.dont_check_ordering != presets.dont_check_ordering};
}

void ToggleWhen(bool toggled, zv::WalkSetting setting) {
  if (toggled) zv::ToggleWalkSetting(setting);
}

// The walk state the service handed over, applied to this process.
void ApplyState(const zv::WalkProcessState& state) {
  zv::SetWalkTimeLimit(state.time_limit_seconds);
  zv::SetWalkRequestLimit(static_cast<long>(state.request_limit));
  zv::SetDefaultBulkRepetitions(state.bulk_repetitions);
  numprinted = state.variables_found < 0 ? 0 : state.variables_found;
  ToggleWhen(state.toggled.include_requested, zv::WalkSetting::kIncludeRequested);
  ToggleWhen(state.toggled.print_statistics, zv::WalkSetting::kPrintStatistics);
  ToggleWhen(state.toggled.dont_check_ordering, zv::WalkSetting::kDontCheckOrdering);
}

// Reads standard input to its end into `buffer` of `size` bytes, `*used`
// of them. False on a read error, or when the input does not fit.
bool ReadToEnd(char* buffer, std::size_t size, std::size_t* used) {
  *used = 0;
  while (*used < size) {
    const ssize_t count = ::read(STDIN_FILENO, buffer + *used, size - *used);
    if (count == 0) return true;
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    *used += static_cast<std::size_t>(count);
  }
  return false;
}

// The job, decoded. A job holds pass phrases: it is read into one buffer
// as large as a job may be, copied through no other, and wiped once
// decoded. malloc maps a buffer that large apart, so only the pages the job
// fills are ever touched, and they go back to the kernel with it.
bool ReadJob(zv::WalkJob* job) {
  const std::size_t size = zv::kMaxWalkJobBytes + 1;
  const std::unique_ptr<char[]> buffer(new char[size]);
  std::size_t used = 0;
  const bool decoded =
      ReadToEnd(buffer.get(), size, &used) && zv::DecodeWalkJob(std::string_view(buffer.get(), used), job);
  explicit_bzero(buffer.get(), used);
  return decoded;
}

// The pass phrases and keys that snmp.conf gave (defPassphrase,
// defAuthPassphrase, defAuthMasterKey and their like): the library has made
// the session's keys of them once the session is open, and this process
// opens no other.
void WipeConfiguredSecrets() {
  for (const int which : {NETSNMP_DS_LIB_PASSPHRASE, NETSNMP_DS_LIB_AUTHPASSPHRASE, NETSNMP_DS_LIB_PRIVPASSPHRASE,
                          NETSNMP_DS_LIB_AUTHMASTERKEY, NETSNMP_DS_LIB_PRIVMASTERKEY, NETSNMP_DS_LIB_AUTHLOCALIZEDKEY,
                          NETSNMP_DS_LIB_PRIVLOCALIZEDKEY}) {
    char* text = netsnmp_ds_get_string(NETSNMP_DS_LIBRARY_ID, which);
    if (text != nullptr) explicit_bzero(text, std::strlen(text));
  }
}

// The walk's stages: its settings once parsed, its confinement once the
// session is open.
void ReportSettings() { Send(zv::EncodeSettingsMessage(ToggledFrom(TheProcess().presets))); }

bool ConfineForRequests(netsnmp_session* session) {
  WipeConfiguredSecrets();
  Process& process = TheProcess();
  std::string error;
  const int transport = zv::PinTransportToPeer(session, &error);
  if (transport < 0) {
    zv::NoteWalk(zv::WalkNote::kReason, error);
    return false;
  }
  if (!process.filter_built) error = process.filter_error;
  if (!process.filter_built ||
      !zv::ConfineWalkRequests(transport, zv::kWalkReportDescriptor, process.limits, process.filter, &error)) {
    zv::NoteWalk(zv::WalkNote::kReason, "the walk's process could not be confined: " + error);
    return false;
  }
  return true;
}

std::string MibsText() {
  const char* mibs = std::getenv("MIBS");
  return mibs != nullptr ? mibs : "";
}

// A walk whose MIB set did not load ends at once, failed, with why; the
// service then keeps that set from later walks.
[[noreturn]] void EndJobUnwalked(const zv::WalkJob& job, const std::string& why) {
  zv::NoteWalk(zv::WalkNote::kReason, why);
  zv::WalkEnd end;
  end.variables_found = job.state.variables_found;
  end.mibs_not_loaded = true;
  Send(zv::EncodeEndMessage(end));
  ::_exit(0);
}

// On the watchdog's thread, while the load goes on: the job this process
// was started for fails now rather than after the walk's whole time limit.
void EndJobOnSlowMibs() {
  zv::WalkJob job;
  if (!ReadJob(&job)) ::_exit(kExitNoJob);
  EndJobUnwalked(job, "the MIBs (MIBS=" + MibsText() + ") did not finish loading within " +
                          std::to_string(zv::kMibLoadBound.count()) + " s");
}

int RunJob(zv::WalkJob& job) {
  std::vector<char*> argv;
  for (std::string& argument : job.arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  zv::WalkStages stages;
  stages.arguments_parsed = ReportSettings;
  stages.session_opened = ConfineForRequests;
  zv::SetWalkStages(stages);
  return mib_walk(static_cast<int>(job.arguments.size()), argv.data());
}

}  // namespace

// Under AddressSanitizer, whose allocator ignores mallopt, freed blocks are
// overwritten all the same (see WipeFreedBlocks).
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() { return "max_free_fill_size=1048576:free_fill_byte=0"; }
#endif

// Every block freed from now on is overwritten: the library copies the pass
// phrases of snmp.conf as it reads it and frees some of those copies, which
// would otherwise stay in memory for the walk's life.
void WipeFreedBlocks() { mallopt(M_PERTURB, 0x5a); }

int main(int argc, char** argv) {
  WipeFreedBlocks();
  Process& process = TheProcess();
  if (!ReadCommandLine(argc, argv, &process.service)) {
    std::fputs("usage: zvxpcd-walk --service-pid PID (zvxpcd starts it; see zvxpcd(8))\n", stderr);
    return kExitUsage;
  }
  DieWithService(process.service);
  HandleSignals();
  zv::SetWalkNoteSink(ForwardNote);
  // Everything the library reads from files, it reads confined to reading.
  std::string error;
  if (!zv::ConfineWalkReading(zv::WalkReadablePaths(), &error)) {
    zv::NoteWalk(zv::WalkNote::kReason, "the walk's process could not be confined: " + error);
    ::_exit(kExitNotConfined);
  }
  KeepReadableMibFiles();
  std::string mib_problem;
  zv::RunWithin(zv::kMibLoadBound, [&] { mib_problem = zv::InitialiseSnmpLibraryWithMibs(); }, EndJobOnSlowMibs);
  ScrubStack();
  WarmHeap();
  process.presets = CurrentToggles();
  process.filter_built = process.filter.Build(&process.filter_error);
  zv::WalkJob job;
  // No job: the service went away or discarded this process.
  if (!ReadJob(&job)) ::_exit(kExitNoJob);
  if (job.mibs_on_trial && !mib_problem.empty()) {
    EndJobUnwalked(job, "the MIBs of -m '" + MibsText() + "' did not load: " + mib_problem);
  }
  ApplyState(job.state);
  zv::SetDeviceDeafToGetBulk(job.device_deaf_to_bulk);
  zv::SetRememberedBulkRepetitions(job.start_repetitions);
  process.limits = zv::WalkResourceLimits(job.state.time_limit_seconds);
  const int result = RunJob(job);
  if (result == zv::kWalkAbandoned) ::_exit(0);
  Send(zv::EncodeWalkOutcome(result));
  ::_exit(0);
}
