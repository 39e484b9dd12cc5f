// SPDX-License-Identifier: MIT
// `zvxpc call`: one request to the service, its reply on standard output;
// `zvxpc call --list`: the operations the service knows.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix_io.h"
#include "zvxpc/command_errors.h"
#include "zvxpc/command_prologue.h"
#include "zvxpc/commands.h"
#include "zvxpc/service_session.h"

namespace zvxpc {
namespace {

constexpr const char* kCommand = "call";

struct CallArguments {
  ServiceOptions service;
  bool list = false;
  const char* operation = nullptr;
  const char* text = nullptr;  // null: no argument object
  bool text_from_stdin = false;
};

struct OperationMeaning {
  const char* name;
  const char* meaning;
};

constexpr OperationMeaning kOperations[] = {
    {ZVXPC_OP_IS_ADMIN, "PATH: TRUE when the file can be written or created"},
    {ZVXPC_OP_SWAP, "TYPE:ARG_iSwapType CURRENT:ARG_cFooCurrentString PREVIOUS:ARG_cFooPrevString: swap two "
                    "generations"},
    {ZVXPC_OP_EXIST, "PATH: TRUE when the file can be read"},
    {ZVXPC_OP_REMOVE, "PATH: TRUE when the file (or empty folder) was removed"},
    {ZVXPC_OP_WRITE_DICTIONARY, "URL:AddURL:ENDBODY: TRUE when BODY replaced the file"},
    {ZVXPC_OP_WRITE_DATA, "URL:AddURL:ENDPIECE: TRUE when PIECE was appended to the file's .dummy"},
    {ZVXPC_OP_WRITE_DATA_RENAME, "URL: TRUE when the file's .dummy was renamed over it"},
    {ZVXPC_OP_WALK, "MODEL:ModelName:ENDUSER:USErName:END ARG:arg:...: walk a printer (see zvxpc walk)"},
    {ZVXPC_OP_WALK_EXPLAINED, "as the walk: iRet=N:Reason:REASON:List:WORD, why the walk ended as it did and "
                              "whether the list was saved"},
    {ZVXPC_OP_STATUS, "(no text): the service's version, settings, walks and folder (see zvxpc status)"},
    {ZVXPC_OP_WALK_CANCEL, "MODEL:ModelName:ENDUSER:USErName:END: TRUE when a walk of that list was cancelled"},
    {ZVXPC_OP_WATCH, "names as for the cancel, a PATH or no text: the next change, KIND:PATH (see zvxpc watch)"},
};

void PrintOperations() {
  for (const OperationMeaning& operation : kOperations) std::printf("%-39s %s\n", operation.name, operation.meaning);
}

Parsed ParseCallArguments(int argc, char** argv, CallArguments* arguments, std::string* error) {
  enum { kList = kFirstOwnOption };
  const Parsed parsed = ParseOptions(argc, argv, {{"list", no_argument, nullptr, kList}}, &arguments->service,
                                     SetFlag(&arguments->list), error);
  if (parsed != Parsed::kRun) return parsed;
  const int operands = argc - optind;
  if (arguments->list) {
    if (operands == 0) return Parsed::kRun;
    *error = "--list takes no OPERATION";
    return Parsed::kUsageError;
  }
  if (operands < 1 || operands > 2) {
    *error = operands < 1 ? "no OPERATION given" : "more than one TEXT given";
    return Parsed::kUsageError;
  }
  arguments->operation = argv[optind];
  if (operands == 2) {
    arguments->text_from_stdin = std::strcmp(argv[optind + 1], "-") == 0;
    if (!arguments->text_from_stdin) arguments->text = argv[optind + 1];
  }
  return Parsed::kRun;
}

bool ReadStandardInput(std::string* text, std::string* error) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = zv::ErrnoText("cannot read the text from standard input", errno);
      return false;
    }
    if (n == 0) return true;
    text->append(buffer, static_cast<std::size_t>(n));
  }
}

// Sends the request; the reply on standard output.
int CallService(const CallArguments& arguments, const char* text) {
  std::string error;
  zvxpc_client* client = ConnectToService(arguments.service, &error);
  if (client == nullptr) return Fail(kCommand, error);
  char* reply = nullptr;
  const int status = zvxpc_call(client, arguments.operation, text, arguments.service.timeout_ms, &reply);
  const int error_number = errno;
  const std::string failure = status == 0 ? "" : RequestFailure(client, error_number);
  zvxpc_close(client);
  if (status != 0) return Fail(kCommand, failure);
  const bool printed = PrintReplyLine(reply);
  // A script tests the operation's word as it tests any command's outcome.
  const bool refused = std::string_view(reply) == ZVXPC_REPLY_FALSE;
  std::free(reply);
  if (!printed) return Fail(kCommand, "cannot write the reply to standard output");
  return refused ? kExitRefused : kExitSuccess;
}

// Lists the operations, or sends the request with its text.
int Call(const CallArguments& arguments) {
  if (arguments.list) {
    PrintOperations();
    return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
  }
  if (!arguments.text_from_stdin) return CallService(arguments, arguments.text);
  std::string text;
  std::string error;
  if (!ReadStandardInput(&text, &error)) return Fail(kCommand, error);
  if (zv::HoldsZeroByte(text)) return Fail(kCommand, "the text from standard input holds a zero byte");
  return CallService(arguments, text.c_str());
}

}  // namespace

void PrintCallHelp(std::FILE* out) {
  std::fputs(
      "usage: zvxpc call [OPTION]... OPERATION [TEXT | -]\n"
      "       zvxpc call --list\n"
      "Sends one request to zvxpcd and prints its reply text. Without TEXT the\n"
      "request has no argument object; with '-' the text is read from standard\n"
      "input. Put '--' before a TEXT that begins with '-'.\n"
      "\n"
      "Options:\n"
      "  --list              list the operations, one per line, with their meaning\n",
      out);
  PrintHelpEnd(out,
               "Exit status: 0 with a reply, 1 when the reply is FALSE, 2 without one (the\n"
               "reason on standard error).\n");
}

int RunCall(int argc, char** argv) {
  return RunCommand(kCommand, argc, argv, ParseCallArguments, PrintCallHelp, Call);
}

}  // namespace zvxpc
