// SPDX-License-Identifier: MIT
// `zvxpc cancel --user U --model M`: cancels the walks of that profile
// list, the one running and those waiting, through libzvxpc. Exit 0 when
// a walk was cancelled, 1 when none ran or waited, 2 when the service
// cannot be reached or gives no answer (the reason on standard error).
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "zvxpc/command_errors.h"
#include "zvxpc/commands.h"
#include "zvxpc/service_session.h"

namespace zvxpc {
namespace {

constexpr const char* kCommand = "cancel";

struct CancelArguments {
  ServiceOptions service;
  const char* user = nullptr;
  const char* model = nullptr;
};

enum class Parsed { kRun, kHelp, kUsageError };

Parsed ParseCancelArguments(int argc, char** argv, CancelArguments* arguments, std::string* error) {
  enum { kSocket = 256, kTimeout, kUser, kModel };
  static const option kOptions[] = {{"socket", required_argument, nullptr, kSocket},
                                    {"timeout", required_argument, nullptr, kTimeout},
                                    {"user", required_argument, nullptr, kUser},
                                    {"model", required_argument, nullptr, kModel},
                                    {"help", no_argument, nullptr, 'h'},
                                    {nullptr, 0, nullptr, 0}};
  optind = 0;
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":h", kOptions, nullptr)) != -1;) {
    switch (c) {
      case kSocket: arguments->service.socket_path = optarg; break;
      case kUser: arguments->user = optarg; break;
      case kModel: arguments->model = optarg; break;
      case kTimeout:
        if (!ParseTimeout(optarg, &arguments->service, error)) return Parsed::kUsageError;
        break;
      case 'h': return Parsed::kHelp;
      default: *error = OptionProblem(c, argv[optind - 1]); return Parsed::kUsageError;
    }
  }
  if (optind != argc) {
    *error = std::string("no argument is taken, not '") + argv[optind] + "'";
    return Parsed::kUsageError;
  }
  if (arguments->user != nullptr && arguments->model != nullptr) return Parsed::kRun;
  *error = "--user U and --model M are required";
  return Parsed::kUsageError;
}

}  // namespace

void PrintCancelHelp(std::FILE* out) {
  std::fputs(
      "usage: zvxpc cancel [OPTION]... --user U --model M\n"
      "Cancels the walks of the profile list of user U and model M: the walk\n"
      "running is ended and merges nothing, the walks waiting end when their\n"
      "turn comes without walking; each replies to its client iRet=1, its list\n"
      "\"cancelled\".\n"
      "\n"
      "Options:\n"
      "  --user U            the user of the list\n"
      "  --model M           the printer model\n",
      out);
  std::fputs(kServiceOptionsHelp, out);
  std::fputs(
      "\nExit status: 0 when a walk was cancelled, 1 when none ran or waited, 2 when\n"
      "the service cannot be reached or gives no answer.\n",
      out);
}

int RunCancel(int argc, char** argv) {
  CancelArguments arguments;
  std::string error;
  switch (ParseCancelArguments(argc, argv, &arguments, &error)) {
    case Parsed::kHelp: PrintCancelHelp(stdout); return kExitSuccess;
    case Parsed::kUsageError: return UsageError(kCommand, error);
    case Parsed::kRun: break;
  }
  zvxpc_client* client = ConnectToService(arguments.service, &error);
  if (client == nullptr) return Fail(kCommand, error);
  const int status = zvxpc_walk_cancel(client, arguments.user, arguments.model, arguments.service.timeout_ms);
  const int error_number = errno;
  const std::string failure = status == 0 ? "" : RequestFailure(client, error_number);
  zvxpc_close(client);
  if (status == 0) return kExitSuccess;
  if (error_number == ESRCH) return Fail(kCommand, "no walk of that list runs or waits", kExitNoWalk);
  return error_number == EINVAL ? UsageError(kCommand, failure) : Fail(kCommand, failure);
}

}  // namespace zvxpc
