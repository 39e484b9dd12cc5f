// SPDX-License-Identifier: MIT
// `zvxpc walk`: one walk request to the service through libzvxpc. Prints
// the reply on standard output, then (unless --quiet) what the walk did to
// the menus of the user's profile list, read with libzvplist before and
// after the walk; explains a result other than iRet=0 on standard error in
// one line, warns when a walk that ended 0 brought no row of the profile
// table, and turns the result into the exit code:
//   0  the reply is "iRet=0"
//   1  the reply is "iRet=N" with another N
//   2  usage error, no connection, or no proper reply
//
// The walk arguments are snmpwalk's, which begin with '-' themselves; so
// only arguments beginning with "--" are options of zvxpc walk (snmpwalk's
// long options are refused by the service anyway), wherever they stand,
// and everything else, or everything after "--", is a walk argument.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zvxpc/commands.h"
#include "zvxpc/service_session.h"
#include "zvxpc/walk_summary.h"

namespace zvxpc {
namespace {

struct WalkArguments {
  ServiceOptions service;
  const char* user = nullptr;
  const char* model = nullptr;
  const char* preferences_dir = nullptr;  // null: the service's default folder
  bool quiet = false;
  std::vector<const char*> walk_arguments;
};

enum class Parsed { kRun, kHelp, kUsageError };

int UsageError(const std::string& message) {
  std::fprintf(stderr, "zvxpc walk: %s\nTry 'zvxpc walk --help'.\n", message.c_str());
  return kExitFailure;
}

int Fail(const std::string& reason) {
  std::fprintf(stderr, "zvxpc walk: %s\n", reason.c_str());
  return kExitFailure;
}

bool IsLongOption(std::string_view argument) { return argument.size() > 2 && argument.substr(0, 2) == "--"; }

// Long options taking a value in the next argument when written without '='.
bool TakesSeparateValue(std::string_view argument) {
  return argument == "--socket" || argument == "--user" || argument == "--model" || argument == "--timeout" ||
         argument == "--preferences-dir";
}

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

Parsed ParseOptions(std::vector<char*>& options, WalkArguments* arguments, std::string* error) {
  enum { kSocket = 256, kTimeout, kUser, kModel, kPreferencesDir, kQuiet };
  static const option kOptions[] = {{"socket", required_argument, nullptr, kSocket},
                                    {"timeout", required_argument, nullptr, kTimeout},
                                    {"user", required_argument, nullptr, kUser},
                                    {"model", required_argument, nullptr, kModel},
                                    {"preferences-dir", required_argument, nullptr, kPreferencesDir},
                                    {"quiet", no_argument, nullptr, kQuiet},
                                    {"help", no_argument, nullptr, 'h'},
                                    {nullptr, 0, nullptr, 0}};
  const int count = static_cast<int>(options.size());
  options.push_back(nullptr);
  optind = 0;
  opterr = 0;
  for (int c; (c = getopt_long(count, options.data(), ":h", kOptions, nullptr)) != -1;) {
    switch (c) {
      case kSocket: arguments->service.socket_path = optarg; break;
      case kUser: arguments->user = optarg; break;
      case kModel: arguments->model = optarg; break;
      case kPreferencesDir: arguments->preferences_dir = optarg; break;
      case kQuiet: arguments->quiet = true; break;
      case kTimeout:
        if (!ParseTimeout(optarg, &arguments->service, error)) return Parsed::kUsageError;
        break;
      case 'h': return Parsed::kHelp;
      case ':': *error = std::string("option '") + options[optind - 1] + "' needs a value"; return Parsed::kUsageError;
      default: *error = std::string("unknown option '") + options[optind - 1] + "'"; return Parsed::kUsageError;
    }
  }
  return Parsed::kRun;
}

Parsed ParseWalkArguments(int argc, char** argv, WalkArguments* arguments, std::string* error) {
  std::vector<char*> options;
  SeparateOptions(argc, argv, &options, &arguments->walk_arguments);
  const Parsed parsed = ParseOptions(options, arguments, error);
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

// One line on what the walk's result means for the user.
const char* ExplainResult(int result) {
  switch (result) {
    case 1: return "the device did not answer, or the walk failed";
    case 2: return "the printer answered with an error";
    case -1: return "the service refused the walk arguments or the request";
    case -2: return "nothing to walk (-H)";
    default: return "a result the service does not document";
  }
}

int ReportResult(int result) {
  const std::string reply = ZVXPC_WALK_RESULT + std::to_string(result);
  if (!PrintReplyLine(reply.c_str())) return Fail("cannot write the reply to standard output");
  if (result == 0) return kExitSuccess;
  std::fprintf(stderr, "%s: %s\n", reply.c_str(), ExplainResult(result));
  return kExitWalkFailed;
}

// The profile list the walk updates, or "" when the service would refuse
// the names (it then walks nothing and writes no list).
std::string ListPath(const WalkArguments& arguments) {
  char* path = zvplist_path(arguments.preferences_dir, arguments.user, arguments.model);
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
    std::fprintf(stderr, "zvxpc walk: the profile list cannot be read: %s\n", error.c_str());
    return;
  }
  for (const std::string& line : SummaryLines(before, *after)) std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  if (result == 0 && NoEntryReported(*after)) {
    std::fprintf(stderr,
                 "zvxpc walk: warning: the device reported no row of the profile table " ZVXPC_PROFILE_TABLE_OID
                 "; the usual cause is a walk without that root OID after the printer's address\n");
  }
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
      "class (RGB, SIM, DST) how many profiles are in the menu and which entered\n"
      "or left it; a result other than iRet=0 is explained on standard error.\n"
      "Only arguments beginning with '--' are options of zvxpc walk; everything\n"
      "after '--' is a walk argument. With -Cr25 (as for snmpbulkwalk) the\n"
      "service walks by GETBULK, 25 variables per request.\n"
      "\n"
      "Options:\n"
      "  --user U            the user whose profile list is updated\n"
      "  --model M           the printer model\n"
      "  --quiet             print the reply line only\n"
      "  --preferences-dir DIR\n"
      "                      the folder of the service's profile lists (default:\n"
      "                      the service's default folder)\n",
      out);
  std::fputs(kServiceOptionsHelp, out);
  std::fputs(
      "\nExit status: 0 for iRet=0, 1 for another result, 2 when no walk result\n"
      "could be had (usage error, no service, no proper reply).\n",
      out);
}

int RunWalk(int argc, char** argv) {
  WalkArguments arguments;
  std::string error;
  switch (ParseWalkArguments(argc, argv, &arguments, &error)) {
    case Parsed::kHelp: PrintWalkHelp(stdout); return kExitSuccess;
    case Parsed::kUsageError: return UsageError(error);
    case Parsed::kRun: break;
  }
  zvxpc_client* client = ConnectToService(arguments.service, &error);
  if (client == nullptr) return Fail(error);
  const std::string list_path = arguments.quiet ? "" : ListPath(arguments);
  const std::unique_ptr<ListSnapshot> before = SnapshotBefore(list_path);
  int result = 0;
  const int status = zvxpc_walk(client, arguments.user, arguments.model,
                                static_cast<int>(arguments.walk_arguments.size()), arguments.walk_arguments.data(),
                                arguments.service.timeout_ms, &result);
  const int error_number = errno;
  const std::string failure = status == 0 ? "" : RequestFailure(client, error_number);
  zvxpc_close(client);
  if (status != 0) return error_number == EINVAL ? UsageError(failure) : Fail(failure);
  const int exit_code = ReportResult(result);
  if (exit_code != kExitFailure) ReportMenus(list_path, *before, result);
  return exit_code;
}

}  // namespace zvxpc
