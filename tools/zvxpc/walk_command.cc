// SPDX-License-Identifier: MIT
// `zvxpc walk`: one walk request to the service through libzvxpc, as the
// explained walk (the plain walk for a service older than it). Prints the
// reply on standard output, then (unless --quiet) what the walk did to the
// menus of the user's profile list, read with libzvplist before and after
// the walk from the folder the service names in its status; explains a
// result other than iRet=0 on standard error in one line, with the
// service's reason, warns when a walk that ended 0 brought no row of the
// profile table, and turns the result into the exit code:
//   0  the reply is "iRet=0"
//   1  the reply is "iRet=N" with another N
//   2  usage error, no connection, or no proper reply
//   3  the reply is "iRet=0" but the service could not save the list
//
// The walk arguments are snmpwalk's, which begin with '-' themselves; so
// only arguments beginning with "--" are options of zvxpc walk (snmpwalk's
// long options are refused by the service anyway), wherever they stand,
// and everything else, or everything after "--", is a walk argument.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zvxpc/command_errors.h"
#include "zvxpc/command_prologue.h"
#include "zvxpc/commands.h"
#include "zvxpc/json_text.h"
#include "zvxpc/long_options.h"
#include "zvxpc/service_session.h"
#include "zvxpc/walk_summary.h"

namespace zvxpc {
namespace {

constexpr const char* kCommand = "walk";

struct WalkArguments {
  ServiceOptions service;
  const char* user = nullptr;
  const char* model = nullptr;
  const char* preferences_dir = nullptr;  // null: the folder the service names
  bool quiet = false;
  bool json = false;
  std::vector<const char*> walk_arguments;
};

// Splits argv[1..] into zvxpc walk's own options (after the subcommand's
// name in `*options`) and the walk arguments. A lone -h is a help request.
void SeparateOptions(int argc, char** argv, std::vector<char*>* options, std::vector<const char*>* walk_arguments) {
  options->push_back(argv[0]);
  if (argc == 2 && std::strcmp(argv[1], "-h") == 0) {
    options->push_back(argv[1]);
    return;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--") {
      walk_arguments->insert(walk_arguments->end(), argv + i + 1, argv + argc);
      return;
    }
    if (!IsLongOption(argument)) {
      walk_arguments->push_back(argv[i]);
      continue;
    }
    options->push_back(argv[i]);
    if (TakesSeparateValue(argument) && i + 1 < argc) options->push_back(argv[++i]);
  }
}

// Takes zvxpc walk's own options from `options` (argv[0] and the
// arguments SeparateOptions picked).
Parsed ParseOwnOptions(std::vector<char*>& options, WalkArguments* arguments, std::string* error) {
  enum { kUser = kFirstOwnOption, kModel, kPreferencesDir, kQuiet, kJson };
  const auto take = [arguments](int c, const char* value, std::string*) {
    switch (c) {
      case kUser: arguments->user = value; break;
      case kModel: arguments->model = value; break;
      case kPreferencesDir: arguments->preferences_dir = value; break;
      case kQuiet: arguments->quiet = true; break;
      case kJson: arguments->json = true; break;
    }
    return true;
  };
  const int count = static_cast<int>(options.size());
  options.push_back(nullptr);
  return ParseOptions(count, options.data(),
                      {{"user", required_argument, nullptr, kUser},
                       {"model", required_argument, nullptr, kModel},
                       {"preferences-dir", required_argument, nullptr, kPreferencesDir},
                       {"quiet", no_argument, nullptr, kQuiet},
                       {"json", no_argument, nullptr, kJson}},
                      &arguments->service, take, error);
}

Parsed ParseWalkArguments(int argc, char** argv, WalkArguments* arguments, std::string* error) {
  std::vector<char*> options;
  SeparateOptions(argc, argv, &options, &arguments->walk_arguments);
  const Parsed parsed = ParseOwnOptions(options, arguments, error);
  if (parsed != Parsed::kRun) return parsed;
  if (arguments->user == nullptr || arguments->model == nullptr) {
    *error = "--user U and --model M are required";
    return Parsed::kUsageError;
  }
  if (arguments->walk_arguments.empty()) {
    *error =
        "no walk arguments (at least the printer's address): a walk of nothing would take every listed "
        "profile out of the menu";
    return Parsed::kUsageError;
  }
  return Parsed::kRun;
}

// What the service answered: the result, its reason ("" when it gave
// none) and what became of the list (nullopt when it does not say).
struct WalkReply {
  int result = 0;
  std::string reason;
  std::optional<int> list;
};

// One line on what the walk's result means for the user, when the service
// gave no reason.
const char* ExplainResult(int result) {
  switch (result) {
    case 1: return "the device did not answer, or the walk failed";
    case 2: return "the printer answered with an error";
    case -1: return "the service refused the walk arguments or the request";
    case -2: return "nothing to walk (-H)";
    default: return "a result the service does not document";
  }
}

// The exit code of a walk's reply.
int ExitCodeOf(const WalkReply& reply) {
  if (reply.result != 0) return kExitWalkFailed;
  return reply.list == ZVXPC_LIST_NOT_SAVED ? kExitNotSaved : kExitSuccess;
}

// The reply line, and for a result other than 0 why on standard error:
// the service's reason as it gives it (one line, its control characters
// already escaped), else a line of this program's own; for a list the
// service could not save, that and its reason.
int ReportResult(const WalkReply& walk) {
  const std::string reply = ZVXPC_WALK_RESULT + std::to_string(walk.result);
  if (!PrintReplyLine(reply.c_str())) return Fail(kCommand, "cannot write the reply to standard output");
  const int exit_code = ExitCodeOf(walk);
  if (exit_code == kExitNotSaved) {
    Report(kCommand, "the walk found its rows, but the service could not save the profile list: " + walk.reason);
  } else if (exit_code != kExitSuccess) {
    std::fprintf(stderr, "%s: %s\n", reply.c_str(), walk.reason.empty() ? ExplainResult(walk.result) : walk.reason.c_str());
  }
  return exit_code;
}

// True when the list holds what the walk merged (or an older service does
// not say): only then does the summary tell what the walk did.
bool ListWasMerged(const WalkReply& walk) {
  return !walk.list || walk.list == ZVXPC_LIST_SAVED || walk.list == ZVXPC_LIST_UNCHANGED;
}

// Reads the explained walk's reply into `*walk`: 0, or -1 with EBADMSG.
int ReadExplainedReply(const std::string& text, WalkReply* walk) {
  char* why = nullptr;
  if (zvxpc_walk_reason(text.c_str(), &walk->result, &why) != 0) return -1;
  if (why != nullptr) walk->reason = why;
  std::free(why);
  int list = 0;
  if (zvxpc_walk_saved(text.c_str(), &list) == 0) walk->list = list;
  return 0;
}

// Walks as the explained walk, or as the plain walk when the service is
// older than it (it refuses the operation without walking): 0 with the
// service's reply in `*walk`, or -1 with errno as the library sets it.
int Walk(zvxpc_client* client, const WalkArguments& arguments, WalkReply* walk) {
  const int argc = static_cast<int>(arguments.walk_arguments.size());
  const char* const* argv = arguments.walk_arguments.data();
  std::string text;
  int status = zvxpc_walk_explain_send(client, arguments.user, arguments.model, argc, argv);
  if (status == 0) status = AwaitReply(client, arguments.service.timeout_ms, &text);
  if (status == 0) return ReadExplainedReply(text, walk);
  if (!IsUnknownOperation(client, errno)) return -1;
  return zvxpc_walk(client, arguments.user, arguments.model, argc, argv, arguments.service.timeout_ms, &walk->result);
}

// The profile list the walk updates, in --preferences-dir or the folder
// the service names, or "" when the service would refuse the names (it
// then walks nothing and writes no list).
std::string ListPath(const WalkArguments& arguments, zvxpc_client* client) {
  std::optional<std::string> folder;
  if (arguments.preferences_dir != nullptr) {
    folder = arguments.preferences_dir;
  } else {
    folder = ServiceFolder(client, arguments.service.timeout_ms);
  }
  char* path = zvplist_path(folder ? folder->c_str() : nullptr, arguments.user, arguments.model);
  if (path == nullptr) return "";
  std::string result = path;
  std::free(path);
  return result;
}

// The list before the walk: empty when there is none yet (or it cannot be
// read, which the walk then treats the same way).
std::unique_ptr<ListSnapshot> SnapshotBefore(const std::string& path) {
  std::string ignored;
  std::unique_ptr<ListSnapshot> before = path.empty() ? nullptr : ReadSnapshot(path.c_str(), &ignored);
  return before ? std::move(before) : EmptySnapshot();
}

// After the reply line: the summary lines, and the warning about a walk
// that ended 0 without a row of the profile table.
void ReportMenus(const std::string& path, const ListSnapshot& before, int result) {
  if (path.empty()) return;
  std::string error;
  const std::unique_ptr<ListSnapshot> after = ReadSnapshot(path.c_str(), &error);
  if (!after) {
    // The walk's outcome is the service's reply; this is only the summary.
    Report(kCommand, "no summary of the menus: the profile list cannot be read here: " + error);
    return;
  }
  for (const std::string& line : SummaryLines(before, *after)) std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  if (result == 0 && NoEntryReported(*after)) {
    Report(kCommand, "warning: the device reported no row of the profile table " ZVXPC_PROFILE_TABLE_OID
                     "; the usual cause is a walk without that root OID after the printer's address");
  }
}

// The list's word as the reply gave it, as a JSON value (null: not said).
std::string ListJson(const std::optional<int>& list) {
  static constexpr const char* kWords[] = {ZVXPC_LIST_WORD_SAVED, ZVXPC_LIST_WORD_UNCHANGED,
                                           ZVXPC_LIST_WORD_NOT_SAVED, ZVXPC_LIST_WORD_UNTOUCHED,
                                           ZVXPC_LIST_WORD_CANCELLED};
  if (!list || *list < 0 || *list > ZVXPC_LIST_CANCELLED) return "null";
  return std::string("\"") + kWords[*list] + "\"";
}

// The walk as one JSON object: its result, the service's reason, whether
// the list holds what it merged ("saved", null when an older service does
// not say), what became of the list, and the menus the list now shows
// (null when it was not merged or cannot be read).
int PrintWalkJson(const WalkReply& walk, const std::string& path) {
  std::string menus = "null";
  std::string ignored;
  const std::unique_ptr<ListSnapshot> after =
      path.empty() || !ListWasMerged(walk) ? nullptr : ReadSnapshot(path.c_str(), &ignored);
  if (after) {
    const ProfileList* const lists[3] = {&after->classes[0], &after->classes[1], &after->classes[2]};
    menus = MenusJson(lists);
  }
  const std::string saved = !walk.list ? "null" : ListWasMerged(walk) ? "true" : "false";
  std::printf("{\"iRet\":%d,\"reason\":%s,\"saved\":%s,\"list\":%s,\"menus\":%s}\n", walk.result,
              JsonString(walk.reason).c_str(), saved.c_str(), ListJson(walk.list).c_str(), menus.c_str());
  if (std::fflush(stdout) != 0) return Fail(kCommand, "cannot write to standard output");
  return ExitCodeOf(walk);
}

// Walks through the service and reports the result and the menus.
int WalkAndReport(const WalkArguments& arguments) {
  std::string error;
  zvxpc_client* client = ConnectToService(arguments.service, &error);
  if (client == nullptr) return Fail(kCommand, error);
  const std::string list_path = arguments.quiet && !arguments.json ? "" : ListPath(arguments, client);
  const std::unique_ptr<ListSnapshot> before = SnapshotBefore(list_path);
  WalkReply walk;
  const int status = Walk(client, arguments, &walk);
  const int error_number = errno;
  const std::string failure = status == 0 ? "" : RequestFailure(client, error_number);
  zvxpc_close(client);
  if (status != 0) return error_number == EINVAL ? UsageError(kCommand, failure) : Fail(kCommand, failure);
  if (arguments.json) return PrintWalkJson(walk, list_path);
  const int exit_code = ReportResult(walk);
  if (ListWasMerged(walk)) ReportMenus(list_path, *before, walk.result);
  return exit_code;
}

}  // namespace

void PrintWalkHelp(std::FILE* out) {
  std::fputs(
      "usage: zvxpc walk [OPTION]... --user U --model M [--] ARG...\n"
      "Walks a printer through zvxpcd and updates the profile list of user U and\n"
      "model M. ARG... are snmpwalk's arguments, at least the printer's address:\n"
      "  zvxpc walk --user alice --model PX-100 -v 2c -c public 192.0.2.7 \\\n"
      "      " ZVXPC_PROFILE_TABLE_OID "\n"
      "The last argument is the root OID of the printer's profile table; without\n"
      "it the walk finds no profile. Prints the reply \"iRet=N\", then for each\n"
      "class (RGB, SIM, DST) how many profiles are in the menu (InMenu 2, 4 or 5)\n"
      "and which entered or left it; a result other than iRet=0 is explained on\n"
      "standard error with the service's reason. A walk given up (--timeout)\n"
      "goes on in the service, which may still change the menu.\n"
      "Only arguments beginning with '--' are options of zvxpc walk; everything\n"
      "after '--' is a walk argument. With -Cr25 (as for snmpbulkwalk) the\n"
      "service walks by GETBULK with 25 variables per request, instead of its\n"
      "own default.\n"
      "\n"
      "Options:\n"
      "  --user U            the user whose profile list is updated\n"
      "  --model M           the printer model\n"
      "  --quiet             print the reply line only\n"
      "  --json              print one JSON object: iRet, reason, saved (the list\n"
      "                      holds what the walk merged), list (saved, unchanged,\n"
      "                      not-saved, untouched or cancelled) and menus (each\n"
      "                      class's menu after the walk)\n"
      "  --preferences-dir DIR\n"
      "                      the folder of the service's profile lists (default:\n"
      "                      the folder the service names in its status)\n",
      out);
  PrintHelpEnd(out,
               "Exit status: 0 for iRet=0, 1 for another result, 2 when no walk result\n"
               "could be had (usage error, no service, no proper reply), 3 for iRet=0 when\n"
               "the service could not save the profile list (its reason on standard error).\n");
}

int RunWalk(int argc, char** argv) {
  return RunCommand(kCommand, argc, argv, ParseWalkArguments, PrintWalkHelp, WalkAndReport);
}

}  // namespace zvxpc
