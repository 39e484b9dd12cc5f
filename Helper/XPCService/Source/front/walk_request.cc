// SPDX-License-Identifier: MIT
#include "front/walk_request.h"

#include <cstring>
#include <mutex>

#include "front/preferences_on_demand.h"
#include "front/request_decoding.h"
#include "front/system_log.h"
#include "front/verbose_log.h"
#include "front/walk_admission.h"
#include "front/walk_process.h"
#include "platform/fixed_field.h"
#include "platform/posix_io.h"
#include "walk/debug_sink.h"
#include "walk/walk_driver.h"
#include "zvxpc.h"

namespace zv {
namespace {

// The environment, guarded; and the walks replaced by a function of the
// process (tests): they share the path variables, so one runs at a time.
std::mutex& EnvironmentMutex() {
  static std::mutex mutex;
  return mutex;
}

std::mutex& InProcessWalkMutex() {
  static std::mutex mutex;
  return mutex;
}

WalkEnvironment& Environment() {
  static WalkEnvironment environment;
  return environment;
}

// Composes DIRECTORY USER "-" MODEL SUFFIX into `buffer`; false when it
// would be longer than `max_bytes`.
bool ComposePath(char (&buffer)[kWalkPathBufferSize], std::size_t max_bytes, std::string_view directory,
                 const WalkFields& names, std::string_view suffix) {
  const std::string path = ProfileListPath(directory, names.user, names.model, suffix);
  if (path.size() > max_bytes) return false;
  return CopyToField(buffer, path);
}

bool ComposePaths(std::string_view directory, const WalkFields& names, WalkRequestStorage* storage) {
  const bool fit =
      ComposePath(storage->current_path, kMaxStorePathBytes, directory, names, kCurrentProfileSuffix) &&
      ComposePath(storage->previous_path, kMaxStorePathBytes, directory, names, kPreviousProfileSuffix) &&
      ComposePath(storage->spool_path, kMaxSpoolPathBytes, directory, names, kSpoolProfileSuffix);
  if (!fit) {
    std::memset(storage->current_path, 0, kWalkPathBufferSize);
    std::memset(storage->previous_path, 0, kWalkPathBufferSize);
    std::memset(storage->spool_path, 0, kWalkPathBufferSize);
  }
  return fit;
}

void FillArgumentVector(const std::vector<std::string_view>& arguments, WalkRequestStorage* storage) {
  storage->argument_texts.assign(arguments.begin(), arguments.end());
  for (std::size_t i = 0; i < storage->argument_texts.size(); ++i) {
    storage->argv[i] = storage->argument_texts[i].data();
  }
  storage->argc = static_cast<int>(arguments.size());
}

int WalkInThisProcess(WalkRequestStorage* storage, int (*walk)(int, char**)) {
  std::lock_guard<std::mutex> lock(InProcessWalkMutex());
  ZV_PLIST_PROFILE_PATH = storage->current_path;
  ZV_PLIST_PROFILE_PREV_PATH = storage->previous_path;
  ZV_PLIST_PROFILE_SPOOL_PATH = storage->spool_path;
  const int result = walk(storage->argc, storage->argv);
  ZV_PLIST_PROFILE_PATH = nullptr;
  ZV_PLIST_PROFILE_PREV_PATH = nullptr;
  ZV_PLIST_PROFILE_SPOOL_PATH = nullptr;
  return result;
}

// The walk in a confined process of its own; `*process_end` tells how
// that process ended when it sent no result.
int WalkInOwnProcess(const WalkRequestStorage& storage, std::string* process_end) {
  WalkJob job;
  job.current_path = storage.current_path;
  job.previous_path = storage.previous_path;
  job.spool_path = storage.spool_path;
  job.arguments = storage.argument_texts;
  WalkProcessOutcome outcome = RunWalkProcess(std::move(job));
  *process_end = std::move(outcome.process_end);
  return outcome.result;
}

// Waits for the walk's turn, prepares the folder and walks.
int AdmitAndWalk(const WalkEnvironment& environment, WalkRequestStorage* storage, std::string* folder_error,
                 std::string* process_end) {
  WalkAdmission admission(storage->current_path);
  if (!admission.admitted()) return kWalkAbandoned;
  const bool folder_ready = PrepareFolderFor(storage->current_path, folder_error);
  const int result = environment.walk ? WalkInThisProcess(storage, environment.walk)
                                      : WalkInOwnProcess(*storage, process_end);
  if (!folder_ready) *folder_error = "the preferences folder could not be created: " + *folder_error;
  return result;
}

// Where the walk log lines go: the environment's log, else the system log.
WalkLogSink LogChannel(const WalkEnvironment& environment) {
  return environment.log ? environment.log : LogErrorLine;
}

// The verbose entry of one walk request: the names as the request gave
// them (`names`, as its decoding found them), and the reason from the
// refusal, the folder or the walk's notes.
void LogWalkOutcome(const WalkFields& names, WalkDecodeStatus status, int result, const std::string& folder_error) {
  WalkNotes notes = TakeWalkNotes();
  std::string reason;
  if (status != WalkDecodeStatus::kReady) {
    reason = WalkRefusalReason(status);
  } else {
    if (!folder_error.empty()) {
      notes.list_problem = notes.list_problem.empty() ? folder_error : folder_error + "; " + notes.list_problem;
    }
    reason = WalkReasonText(result, notes);
  }
  WalkEntry entry;
  entry.user = names.user;
  entry.model = names.model;
  entry.device = notes.device;
  entry.result = result;
  entry.reason = reason;
  entry.failed = result != 0 || !notes.reasons.empty() || !notes.list_problem.empty();
  LogWalkEntry(entry);
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

WalkRequestStorage::WalkRequestStorage() {
  std::memset(current_path, 0, sizeof current_path);
  std::memset(previous_path, 0, sizeof previous_path);
  std::memset(spool_path, 0, sizeof spool_path);
  std::memset(argv, 0, sizeof argv);
}

WalkDecodeStatus DecodeWalkRequest(const std::optional<std::string>& request,
                                   std::string_view preferences_directory, WalkRequestStorage* storage) {
  if (!request) return WalkDecodeStatus::kNoArgumentObject;
  if (!DecodeWalkFields(*request, &storage->names)) return WalkDecodeStatus::kNameMarkers;
  const WalkFields& fields = storage->names;
  if (HoldsZeroByte(fields.model) || HoldsZeroByte(fields.user)) return WalkDecodeStatus::kZeroByte;
  if (NameLeavesFolder(fields.model) || NameLeavesFolder(fields.user)) return WalkDecodeStatus::kNameLeavesFolder;
  std::vector<std::string_view> arguments;
  if (!SplitWalkArguments(fields.arguments, kWalkArgumentSlots, &arguments)) {
    return WalkDecodeStatus::kTooManyArguments;
  }
  for (const std::string_view argument : arguments) {
    if (HoldsZeroByte(argument)) return WalkDecodeStatus::kZeroByte;
  }
  if (!ComposePaths(preferences_directory, fields, storage)) return WalkDecodeStatus::kPathTooLong;
  FillArgumentVector(arguments, storage);
  return WalkDecodeStatus::kReady;
}

void SetWalkEnvironment(WalkEnvironment environment) {
  std::lock_guard<std::mutex> lock(EnvironmentMutex());
  Environment() = std::move(environment);
}

void StopWalks() {
  StopAdmittingWalks();
  StopWalkProcesses();
  AbandonWalks();
}

void RunWalkRequest(const std::optional<std::string>& request, const xpc::Reply& reply) {
  WalkEnvironment environment;
  {
    std::lock_guard<std::mutex> lock(EnvironmentMutex());
    environment = Environment();
  }
  // Lines a walk logs whatever the verbose setting (walk processes send
  // theirs, walk_process.h) take the channel of the iRet lines.
  const WalkLogSink log = LogChannel(environment);
  SetWalkLogSink(log);
  const bool verbose = VerboseLogOn();
  if (verbose) BeginWalkNotes();
  WalkRequestStorage storage;
  int result = kWalkRequestRefused;
  const WalkDecodeStatus status = DecodeWalkRequest(request, environment.preferences_directory, &storage);
  std::string folder_error;
  std::string process_end;
  if (status == WalkDecodeStatus::kReady) result = AdmitAndWalk(environment, &storage, &folder_error, &process_end);
  // The service is stopping: the connection layer tells the client so.
  if (result == kWalkAbandoned) return;
  const std::string reply_text = ZVXPC_WALK_RESULT + std::to_string(result);
  reply(reply_text);
  log("xpc - mibwalk_XPC - " + reply_text);
  if (!process_end.empty()) log("xpc - mibwalk_XPC - the walk's process " + process_end);
  if (verbose) LogWalkOutcome(storage.names, status, result, folder_error);
}

}  // namespace zv
