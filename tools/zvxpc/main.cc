// SPDX-License-Identifier: MIT
// zvxpc: command-line client of the zvxpcd service and viewer of profile
// property lists.
#include <cstdio>
#include <cstring>
#include <string>

#include "zvxpc/commands.h"

namespace {

struct Subcommand {
  const char* name;
  int (*run)(int argc, char** argv);
  void (*print_help)(std::FILE* out);
};

constexpr Subcommand kSubcommands[] = {
    {"walk", zvxpc::RunWalk, zvxpc::PrintWalkHelp},
    {"call", zvxpc::RunCall, zvxpc::PrintCallHelp},
    {"profiles", zvxpc::RunProfiles, zvxpc::PrintProfilesHelp},
};

void PrintHelp(std::FILE* out) {
  std::fputs(
      "usage: zvxpc COMMAND [OPTION]... [ARGUMENT]...\n"
      "Client of zvxpcd, the colour profile helper service of the print dialog,\n"
      "and viewer of profile property lists.\n"
      "\n"
      "Commands:\n"
      "  walk --user U --model M [--] ARG...  walk a printer through the service\n"
      "  call OPERATION [TEXT | -]            send one request, print its reply\n"
      "  call --list                          list the service's operations\n"
      "  profiles [--json] FILE               print the lists of a profile property list\n"
      "  help [COMMAND]                       show this help, or COMMAND's\n"
      "Options may stand before or after the arguments; '--' ends them. Every\n"
      "command takes --help; call and walk take --socket PATH and --timeout SECONDS.\n"
      "\n"
      "Options:\n"
      "  -h, --help      show this help\n"
      "  -V, --version   show the version\n"
      "\n"
      "Environment:\n"
      "  ZVXPC_SOCKET     the service's socket when --socket is not given\n"
      "  XDG_RUNTIME_DIR  else the socket is $XDG_RUNTIME_DIR/zvxpcd.sock\n"
      "\n"
      "Exit status:\n"
      "  0  success (walk: the reply is iRet=0)\n"
      "  1  walk: another walk result; profiles: FILE is no readable profile list\n"
      "  2  usage error, no service, or no proper reply\n",
      out);
}

const Subcommand* FindSubcommand(const char* name) {
  for (const Subcommand& subcommand : kSubcommands) {
    if (std::strcmp(subcommand.name, name) == 0) return &subcommand;
  }
  return nullptr;
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "zvxpc: %s\nTry 'zvxpc --help'.\n", message.c_str());
  return zvxpc::kExitFailure;
}

// `zvxpc help [COMMAND]`.
int RunHelp(int argc, char** argv) {
  if (argc == 1) {
    PrintHelp(stdout);
    return zvxpc::kExitSuccess;
  }
  const Subcommand* subcommand = argc == 2 ? FindSubcommand(argv[1]) : nullptr;
  if (subcommand == nullptr) return UsageError(std::string("no help for '") + argv[argc == 2 ? 1 : 2] + "'");
  subcommand->print_help(stdout);
  return zvxpc::kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return UsageError("no command given");
  const char* command = argv[1];
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
    PrintHelp(stdout);
    return zvxpc::kExitSuccess;
  }
  if (std::strcmp(command, "--version") == 0 || std::strcmp(command, "-V") == 0) {
    std::puts("zvxpc " ZVXPC_VERSION);
    return zvxpc::kExitSuccess;
  }
  if (std::strcmp(command, "help") == 0) return RunHelp(argc - 1, argv + 1);
  const Subcommand* subcommand = FindSubcommand(command);
  if (subcommand == nullptr) return UsageError(std::string("unknown command '") + command + "'");
  return subcommand->run(argc - 1, argv + 1);
}
