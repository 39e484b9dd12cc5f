// SPDX-License-Identifier: MIT
#include "front/walk_request.h"

#include <algorithm>
#include <mutex>

#include "front/list_changes.h"
#include "front/preferences_on_demand.h"
#include "front/printer_address.h"
#include "front/request_decoding.h"
#include "front/service_walk_state.h"
#include "front/system_log.h"
#include "front/verbose_log.h"
#include "front/walk_admission.h"
#include "front/walk_cancel.h"
#include "front/walk_launcher.h"
#include "list_update/list_update.h"
#include "platform/fixed_field.h"
#include "platform/memory_wipe.h"
#include "platform/posix_io.h"
#include "platform/utf8.h"
#include "report/debug_sink.h"
#include "report/snmp_configuration.h"
#include "report/walk_limits.h"
#include "report/walk_options.h"
#include "store/list_lock.h"
#include "zvxpc.h"

namespace zv {
namespace {

// The environment, guarded.
std::mutex& EnvironmentMutex() {
  static std::mutex mutex;
  return mutex;
}

WalkEnvironment& Environment() {
  static WalkEnvironment environment;
  return environment;
}

// The walk in a confined process of its own; the next walk's process is
// started ahead once it has ended.
WalkRun RunInOwnProcess(const WalkJob& job, const WalkLibrarySetup& setup) {
  WalkRun run = RunWalkInItsProcess(job, setup);
  PrepareNextWalkProcess(SharedMibs());
  return run;
}

// What one walk request came to, beside its result: what the service
// knows itself, never what the walk's process says of it.
struct WalkOutcome {
  int result = kWalkRequestRefused;
  std::string process_line;  // logged when the walk's process misbehaved
  std::string device;        // the address the request names, as decoded
  std::string found;         // what a walk that completed found
  bool deaf_to_bulk = false;  // its end says the device left GETBULK unanswered
  std::optional<int32_t> variables_found;  // the counter its end gave
  const char* list = ZVXPC_LIST_WORD_UNTOUCHED;  // what became of the profile list
};

// The word of the explained walk's reply for what an update did.
const char* ListWordOf(ListUpdateOutcome update) {
  switch (update) {
    case ListUpdateOutcome::kWritten:
    case ListUpdateOutcome::kWrittenUnflushed: return ZVXPC_LIST_WORD_SAVED;
    case ListUpdateOutcome::kUnchanged: return ZVXPC_LIST_WORD_UNCHANGED;
    case ListUpdateOutcome::kNotWritten: break;
  }
  return ZVXPC_LIST_WORD_NOT_SAVED;
}

// Brings the list up to date and tells watchers when its file changed.
const char* UpdateList(const char* path, int walk_result, const ProfileList& spool) {
  const char* word = ListWordOf(UpdateProfileListFile(path, walk_result, spool));
  if (word == std::string_view(ZVXPC_LIST_WORD_SAVED)) NoteListChanged(ListChange::kWalk, path);
  return word;
}

// "N rows, M classes": the spool rows a walk brought, and the classes its
// rows go to (class 1 and 2: RGB; class 3: SIM and DST).
std::string FoundText(const WalkReport& report) {
  if (report.rows == 0) return "no row of the profile table (is its OID the last walk argument?)";
  bool rgb = false;
  bool sim_and_dst = false;
  for (const ProfileRecord& row : report.spool->slots) {
    rgb |= row.ProfileClass == 1 || row.ProfileClass == 2;
    sim_and_dst |= row.ProfileClass == 3;
  }
  const int classes = (rgb ? 1 : 0) + (sim_and_dst ? 2 : 0);
  return std::to_string(report.rows) + (report.rows == 1 ? " row, " : " rows, ") + std::to_string(classes) +
         (classes == 1 ? " class" : " classes");
}

const char* MergeFailedWalk(const char* path) {
  static const ProfileList kNoRows{};
  return UpdateList(path, 1, kNoRows);
}

// What the run of one walk leaves: the shared state it changed, the list
// brought up to date (or, where the walk cannot say which profiles are
// gone, left alone), and the result.
void TakeRun(const WalkRun& run, const WalkStart& start, const std::optional<std::string>& printer, const char* path,
             WalkOutcome* outcome) {
  if (run.report.toggled) TakeWalkToggles(start.state.toggled, *run.report.toggled);
  // Only a walk that ended with its MIBs loaded keeps an -m's MIBS.
  if (start.mibs_on_trial && start.mibs) {
    SettleMibs(*start.mibs, run.ending == WalkRun::Ending::kEnded && !run.report.end->mibs_not_loaded);
  }
  outcome->result = 1;
  switch (run.ending) {
    case WalkRun::Ending::kEnded: {
      const WalkEnd& end = *run.report.end;
      TakeVariablesFound(start.state.variables_found, end.variables_found);
      if (printer) TakePrinterWalk(*printer, end);
      outcome->result = end.result;
      // Any result but 0 merges as a failed walk, a usage error too.
      outcome->list = UpdateList(path, end.result, *run.report.spool);
      outcome->found = FoundText(run.report);
      outcome->deaf_to_bulk = end.deaf_to_bulk;
      outcome->variables_found = end.variables_found;
      return;
    }
    case WalkRun::Ending::kTimedOut:
      NoteWalk(WalkNote::kReason, "the walk outlasted its time limit of " +
                                      std::to_string(start.state.time_limit_seconds) + " s; its process was ended");
      outcome->list = MergeFailedWalk(path);
      return;
    case WalkRun::Ending::kCancelled:
      NoteWalk(WalkNote::kReason, "the walk was cancelled; its process was ended and the profile list was not changed");
      outcome->list = ZVXPC_LIST_WORD_CANCELLED;
      return;
    case WalkRun::Ending::kBroken:
      outcome->process_line = "the walk's process " + run.problem + "; it was killed and the profile list was not changed";
      break;
    case WalkRun::Ending::kDied:
      outcome->process_line = "the walk's process " + run.problem;
      break;
    case WalkRun::Ending::kNotStarted:
      outcome->process_line = "the walk's process could not be started: " + run.problem;
      break;
    case WalkRun::Ending::kAbandoned: outcome->result = kWalkAbandoned; return;
  }
  NoteWalk(WalkNote::kReason, outcome->process_line +
                                  (run.ending == WalkRun::Ending::kBroken ? "" : "; the profile list was not changed"));
}

// Runs the walk of a decoded request, once it is its turn.
void WalkDecoded(const WalkEnvironment& environment, WalkRequestStorage* storage, WalkOutcome* outcome) {
  // The arguments may hold pass phrases: wiped once the walk has taken them.
  const WipeOnExit wipe_arguments(&storage->argument_texts);
  const std::string list_name = ProfileListLockName(storage->current_path);
  const WalkCancelScope cancel_scope(list_name);
  WalkAdmission admission(list_name);
  if (!admission.admitted()) {
    outcome->result = kWalkAbandoned;
    return;
  }
  std::string folder_error;
  if (!PrepareFolderFor(storage->current_path, &folder_error)) {
    NoteWalk(WalkNote::kList, "the preferences folder could not be created: " + folder_error);
  }
  const WalkOptionScan scan = ScanWalkOptions(storage->argument_texts);
  outcome->device = scan.address.value_or("");
  // -M sets the MIB folders of this walk alone, its -m check included.
  const std::optional<std::string> mib_directories =
      scan.mib_folders ? std::optional<std::string>(WalkMibDirectories(*scan.mib_folders)) : std::nullopt;
  std::string mibs_problem;
  const bool mibs_usable = !scan.mibs || MibsValueUsable(*scan.mibs, mib_directories, &mibs_problem);
  const std::optional<std::string> printer =
      scan.address ? std::optional<std::string>(PrinterKey(*scan.address)) : std::nullopt;
  const WalkStart start = BeginSharedWalk(printer, mibs_usable ? scan.mibs : std::nullopt);
  if (!mibs_usable) {
    // A usage error of the walk: nothing is sent, and the merge sees a
    // failed walk, as for any other.
    NoteWalk(WalkNote::kReason, "-m" + mibs_problem);
    outcome->result = kWalkUsageError;
    outcome->list = MergeFailedWalk(storage->current_path.c_str());
    return;
  }
  WalkJob job;
  const WipeOnExit wipe_job(&job.arguments);
  job.arguments = storage->argument_texts;
  job.state = start.state;
  job.device_deaf_to_bulk = start.device_deaf_to_bulk;
  job.mibs_on_trial = start.mibs_on_trial;
  job.start_repetitions = start.start_repetitions;
  WalkRun run;
  if (cancel_scope.cancelled()) {
    run.ending = WalkRun::Ending::kCancelled;  // cancelled while it waited for its turn
  } else {
    run = environment.run ? environment.run(job, start.mibs)
                          : RunInOwnProcess(job, WalkLibrarySetup{start.mibs, mib_directories});
  }
  TakeRun(run, start, printer, storage->current_path.c_str(), outcome);
}

// Where the walk log lines go: the environment's log, else the system log.
WalkLogSink LogChannel(const WalkEnvironment& environment) {
  return environment.log ? environment.log : LogErrorLine;
}

// The notes a walk request tells of, with what the service knows itself
// in place of what the walk's process said of it: the device, what a
// completed walk found and met, and the counter. The walk's own reasons
// tell only why a walk failed.
void TakeServiceFacts(const WalkOutcome& outcome, WalkNotes* notes) {
  notes->device = outcome.device;
  notes->found = outcome.found;
  if (!notes->count.empty()) {
    notes->count = outcome.variables_found ? std::to_string(*outcome.variables_found) : "";
  }
  if (outcome.result != 0) return;
  // Of a completed walk's notes only the service's own words stay.
  const bool went_by_getnext = std::find(notes->reasons.begin(), notes->reasons.end(), KnownDeafnessReason()) !=
                               notes->reasons.end();
  notes->reasons.clear();
  if (went_by_getnext) notes->reasons.push_back(KnownDeafnessReason());
  if (outcome.deaf_to_bulk) notes->reasons.emplace_back(kDeafToGetBulkReason);
}

// The reason of one walk request: the refusal, or the walk's notes, cut
// to kMaxWalkReasonBytes.
std::string ReasonOf(WalkDecodeStatus status, WalkNotes* notes, const WalkOutcome& outcome) {
  if (status != WalkDecodeStatus::kReady) return WalkRefusalReason(status);
  TakeServiceFacts(outcome, notes);
  std::string reason = WalkReasonText(outcome.result, *notes);
  reason.resize(Utf8PrefixLength(reason, kMaxWalkReasonBytes));
  return reason;
}

// The verbose entry of one walk request: the names as the request gave
// them (`names`, as its decoding found them) and the reason.
void LogWalkOutcome(const WalkFields& names, const WalkNotes& notes, int result, const std::string& reason) {
  WalkEntry entry;
  entry.user = names.user;
  entry.model = names.model;
  entry.device = notes.device;
  entry.result = result;
  entry.reason = reason;
  entry.failed = result != 0 || !notes.reasons.empty() || !notes.list_problem.empty();
  LogWalkEntry(entry);
}

void RunWalkRequestWith(const std::optional<std::string>& request, const xpc::Reply& reply, bool explained) {
  WalkEnvironment environment;
  {
    std::lock_guard<std::mutex> lock(EnvironmentMutex());
    environment = Environment();
  }
  // Lines the merge logs whatever the verbose setting (a list kept aside)
  // take the channel of the iRet lines.
  const WalkLogSink log = LogChannel(environment);
  SetWalkLogSink(log);
  CollectWalkNotes();
  BeginWalkNotes();
  WalkRequestStorage storage;
  WalkOutcome outcome;
  const WalkDecodeStatus status = DecodeWalkRequest(request, environment.preferences_directory, &storage);
  if (status == WalkDecodeStatus::kReady) WalkDecoded(environment, &storage, &outcome);
  // The service is stopping: the connection layer tells the client so.
  if (outcome.result == kWalkAbandoned) return;
  WalkNotes notes = TakeWalkNotes();
  const std::string reason = ReasonOf(status, &notes, outcome);
  const std::string result_text = ZVXPC_WALK_RESULT + std::to_string(outcome.result);
  reply(explained ? result_text + ZVXPC_REASON_MARKER + ValidUtf8Text(OneLineText(reason)) + ZVXPC_LIST_MARKER +
                        outcome.list
                  : result_text);
  log("xpc - mibwalk_XPC - " + result_text);
  if (!outcome.process_line.empty()) log("xpc - mibwalk_XPC - " + outcome.process_line);
  if (VerboseLogOn()) LogWalkOutcome(storage.names, notes, outcome.result, reason);
}

}  // namespace

std::string WalkRefusalReason(WalkDecodeStatus status) {
  switch (status) {
    case WalkDecodeStatus::kReady: return "";
    case WalkDecodeStatus::kNoArgumentObject: return "refused request: it carried no text";
    case WalkDecodeStatus::kNameMarkers:
      return "refused request: the markers :ModelName:END and :USErName:END are missing or out of order";
    case WalkDecodeStatus::kZeroByte: return "refused request: a name or an argument holds a zero byte";
    case WalkDecodeStatus::kPathTooLong:
      return "refused request: the user and model names make a profile path too long (at most " +
             std::to_string(kMaxSpoolPathBytes) + " bytes)";
    case WalkDecodeStatus::kTooManyArguments:
      return "refused request: more than " + std::to_string(kWalkArgumentSlots) + " walk arguments";
    case WalkDecodeStatus::kNameLeavesFolder:
      return "refused request: a user or model name holds '/' or is '.' or '..', which would leave the "
             "preferences folder";
  }
  return "refused request";
}

std::string PreferencesDirectoryFrom(std::string_view directory) {
  std::string result(directory);
  if (result.empty() || result.back() != '/') result.push_back('/');
  return result;
}

WalkDecodeStatus DecodeWalkRequest(const std::optional<std::string>& request,
                                   std::string_view preferences_directory, WalkRequestStorage* storage) {
  if (!request) return WalkDecodeStatus::kNoArgumentObject;
  if (!DecodeWalkFields(*request, &storage->names)) return WalkDecodeStatus::kNameMarkers;
  const WalkFields& fields = storage->names;
  if (HoldsZeroByte(fields.model) || HoldsZeroByte(fields.user)) return WalkDecodeStatus::kZeroByte;
  std::string path;
  switch (ComposeCurrentProfileListPath(preferences_directory, fields.user, fields.model, &path)) {
    case ProfileListPathStatus::kComposed: break;
    case ProfileListPathStatus::kNameLeavesFolder: return WalkDecodeStatus::kNameLeavesFolder;
    case ProfileListPathStatus::kTooLong: return WalkDecodeStatus::kPathTooLong;
  }
  std::vector<std::string_view> arguments;
  if (!SplitWalkArguments(fields.arguments, kWalkArgumentSlots, &arguments)) {
    return WalkDecodeStatus::kTooManyArguments;
  }
  for (const std::string_view argument : arguments) {
    if (HoldsZeroByte(argument)) return WalkDecodeStatus::kZeroByte;
  }
  storage->current_path = std::move(path);
  storage->argument_texts.assign(arguments.begin(), arguments.end());
  return WalkDecodeStatus::kReady;
}

void SetWalkEnvironment(WalkEnvironment environment) {
  std::lock_guard<std::mutex> lock(EnvironmentMutex());
  Environment() = std::move(environment);
}

void StopWalks() {
  StopAdmittingWalks();
  StopWalkProcesses();
}

void RunWalkRequest(const std::optional<std::string>& request, const xpc::Reply& reply) {
  RunWalkRequestWith(request, reply, false);
}

void RunExplainedWalkRequest(const std::optional<std::string>& request, const xpc::Reply& reply) {
  RunWalkRequestWith(request, reply, true);
}

std::string WalkPreferencesDirectory() {
  std::lock_guard<std::mutex> lock(EnvironmentMutex());
  return Environment().preferences_directory;
}

int WalksRunning() { return CountWalks().running; }

int WalksWaiting() { return CountWalks().waiting; }

}  // namespace zv
