// SPDX-License-Identifier: MIT
// `zvxpc cancel --user U --model M`: cancels the walks of that profile
// list, the one running and those waiting, through libzvxpc. Exit 0 when
// a walk was cancelled, 1 when none ran or waited, 2 when the service
// cannot be reached or gives no answer (the reason on standard error).
#include <cerrno>
#include <cstdio>
#include <string>

#include "zvxpc/command_errors.h"
#include "zvxpc/command_prologue.h"
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

Parsed ParseCancelArguments(int argc, char** argv, CancelArguments* arguments, std::string* error) {
  enum { kUser = kFirstOwnOption, kModel };
  const auto take = [arguments](int c, const char* value, std::string*) {
    (c == kUser ? arguments->user : arguments->model) = value;
    return true;
  };
  const Parsed parsed = ParseOptions(argc, argv,
                                     {{"user", required_argument, nullptr, kUser},
                                      {"model", required_argument, nullptr, kModel}},
                                     &arguments->service, take, error);
  if (parsed != Parsed::kRun) return parsed;
  if (!NoOperandLeft(argc, argv, error)) return Parsed::kUsageError;
  if (arguments->user != nullptr && arguments->model != nullptr) return Parsed::kRun;
  *error = "--user U and --model M are required";
  return Parsed::kUsageError;
}

// Asks the service to cancel the walks of the list.
int Cancel(const CancelArguments& arguments) {
  std::string error;
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
  PrintHelpEnd(out,
               "Exit status: 0 when a walk was cancelled, 1 when none ran or waited, 2 when\n"
               "the service cannot be reached or gives no answer.\n");
}

int RunCancel(int argc, char** argv) {
  return RunCommand(kCommand, argc, argv, ParseCancelArguments, PrintCancelHelp, Cancel);
}

}  // namespace zvxpc
