// SPDX-License-Identifier: MIT
// `zvxpc status`: the service's status through libzvxpc, one NAME=VALUE
// line per field it gives (or, with --json, one JSON object): its
// version, how it walks (GETBULK repetitions), the walks running and
// waiting, its walk time limit, -C toggles, verbose setting, log, process
// id and uptime, the connections watching, and the folder of its profile
// lists. Exit 0, or 2 without a status (the reason on standard error).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/one_line_text.h"
#include "zvxpc/command_errors.h"
#include "zvxpc/command_prologue.h"
#include "zvxpc/commands.h"
#include "zvxpc/json_text.h"
#include "zvxpc/service_session.h"

namespace zvxpc {
namespace {

constexpr const char* kCommand = "status";

// The fields printed, in the reply's order.
constexpr const char* kFields[] = {ZVXPC_STATUS_VERSION,       ZVXPC_STATUS_BULK_REPETITIONS, ZVXPC_STATUS_WALKS_RUNNING,
                                   ZVXPC_STATUS_WALKS_WAITING, ZVXPC_STATUS_WALK_TIMEOUT,     ZVXPC_STATUS_TOGGLES,
                                   ZVXPC_STATUS_VERBOSE,       ZVXPC_STATUS_LOG,              ZVXPC_STATUS_PID,
                                   ZVXPC_STATUS_UPTIME,        ZVXPC_STATUS_WATCHES,          ZVXPC_STATUS_PREFERENCES_DIR};

struct StatusArguments {
  ServiceOptions service;
  bool json = false;
};

// The fields whose values are whole numbers, given as JSON numbers.
bool IsNumberField(std::string_view name) {
  return name == ZVXPC_STATUS_WALKS_RUNNING || name == ZVXPC_STATUS_WALKS_WAITING ||
         name == ZVXPC_STATUS_WALK_TIMEOUT || name == ZVXPC_STATUS_PID || name == ZVXPC_STATUS_UPTIME ||
         name == ZVXPC_STATUS_WATCHES;
}

Parsed ParseStatusArguments(int argc, char** argv, StatusArguments* arguments, std::string* error) {
  enum { kJson = kFirstOwnOption };
  const Parsed parsed = ParseOptions(argc, argv, {{"json", no_argument, nullptr, kJson}}, &arguments->service,
                                     SetFlag(&arguments->json), error);
  if (parsed != Parsed::kRun) return parsed;
  return NoOperandLeft(argc, argv, error) ? Parsed::kRun : Parsed::kUsageError;
}

// One field as the output gives it: NAME=VALUE, or a JSON member.
std::string FieldText(const char* name, const std::string& value, bool json) {
  if (!json) return std::string(name) + "=" + zv::OneLineText(value);
  const bool number = IsNumberField(name) && !value.empty() &&
                      value.find_first_not_of("0123456789") == std::string::npos;
  return JsonString(name) + ":" + (number ? value : JsonString(value));
}

// The fields of `reply`, each value on its line, or one JSON object.
int PrintFields(const std::string& reply, bool json) {
  std::string out = json ? "{" : "";
  for (const char* name : kFields) {
    char* value = nullptr;
    if (zvxpc_status_field(reply.c_str(), name, &value) != 0) {
      if (errno == ENOENT) continue;  // a field an older service does not give
      return Fail(kCommand, errno == EBADMSG ? "the service's reply holds no status: " + reply : "out of memory");
    }
    if (json && out.size() > 1) out += ",";
    out += FieldText(name, value, json) + (json ? "" : "\n");
    std::free(value);
  }
  std::fputs((json ? out + "}\n" : out).c_str(), stdout);
  return std::fflush(stdout) == 0 ? kExitSuccess : Fail(kCommand, "cannot write the status to standard output");
}

// Asks the service for its status and prints it.
int PrintStatus(const StatusArguments& arguments) {
  std::string error;
  zvxpc_client* client = ConnectToService(arguments.service, &error);
  if (client == nullptr) return Fail(kCommand, error);
  std::string reply;
  const bool answered = RequestStatus(client, arguments.service.timeout_ms, &reply);
  const int error_number = errno;
  const std::string failure =
      answered ? ""
      : IsUnknownOperation(client, error_number)
          ? "the service does not give its status: it is older than this client"
          : RequestFailure(client, error_number);
  zvxpc_close(client);
  return answered ? PrintFields(reply, arguments.json) : Fail(kCommand, failure);
}

}  // namespace

void PrintStatusHelp(std::FILE* out) {
  std::fputs(
      "usage: zvxpc status [--json] [OPTION]...\n"
      "Prints the status of zvxpcd, one NAME=VALUE line per field: version,\n"
      "bulk-repetitions (how it walks when a walk gives no -C r: 0 by GETNEXT),\n"
      "walks-running, walks-waiting, walk-timeout (seconds), toggles (the -C\n"
      "toggles in force), verbose (on or off), log (journal, stderr or the log\n"
      "file), pid, uptime (seconds), watches (connections watching the lists),\n"
      "and preferences-dir (the folder of its profile lists; control characters\n"
      "in it are written as \\xNN). With --json: one JSON object of the same\n"
      "fields, the numbers as numbers.\n"
      "\n"
      "Options:\n",
      out);
  std::fputs("  --json              print one JSON object\n", out);
  PrintHelpEnd(out, "Exit status: 0 with the status, 2 without it (the reason on standard error).\n");
}

int RunStatus(int argc, char** argv) {
  return RunCommand(kCommand, argc, argv, ParseStatusArguments, PrintStatusHelp, PrintStatus);
}

}  // namespace zvxpc
