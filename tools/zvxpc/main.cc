// SPDX-License-Identifier: MIT
// zvxpc: command-line client of the zvxpcd service and viewer of profile
// property lists.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "zvxpc/command_errors.h"
#include "zvxpc/commands.h"
#include "zvxpc/long_options.h"

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
    {"status", zvxpc::RunStatus, zvxpc::PrintStatusHelp},
    {"watch", zvxpc::RunWatch, zvxpc::PrintWatchHelp},
    {"cancel", zvxpc::RunCancel, zvxpc::PrintCancelHelp},
};

void PrintHelp(std::FILE* out) {
  std::fputs(
      "usage: zvxpc [OPTION]... COMMAND [OPTION]... [ARGUMENT]...\n"
      "Client of zvxpcd, the colour profile helper service of the print dialog,\n"
      "and viewer of profile property lists.\n"
      "\n"
      "Commands:\n"
      "  walk --user U --model M [--] ARG...  walk a printer through the service\n"
      "  call OPERATION [TEXT | -]            send one request, print its reply\n"
      "  call --list                          list the service's operations\n"
      "  profiles [--json] FILE               print the lists of a profile property list\n"
      "  status [--json]                      print the service's status\n"
      "  watch [--user U --model M | --path FILE]  print changes of the lists\n"
      "  cancel --user U --model M            cancel the walks of a list\n"
      "  help [COMMAND]                       show this help, or COMMAND's\n"
      "A command's options may stand before its name, or after it among the\n"
      "arguments; '--' ends them. Every command takes --help; call, walk,\n"
      "status, watch, cancel and profiles take --socket PATH and --timeout\n"
      "SECONDS.\n"
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
      "  1  walk: another walk result; profiles: FILE is no readable profile list;\n"
      "     call: the reply is FALSE; cancel: no walk of that list\n"
      "  2  usage error, no service, or no proper reply\n"
      "  3  walk: iRet=0, but the service could not save the profile list\n",
      out);
}

const Subcommand* FindSubcommand(const char* name) {
  for (const Subcommand& subcommand : kSubcommands) {
    if (std::strcmp(subcommand.name, name) == 0) return &subcommand;
  }
  return nullptr;
}

// Edits (insertions, deletions, substitutions, swaps of neighbours) that
// turn `a` into `b`: how far a mistyped command is from a real one.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// " Did you mean 'walk'?" for a command at most two edits from a real one,
// else "".
std::string Suggestion(std::string_view command) {
  constexpr std::size_t kMaxEdits = 2;
  std::string best;
  std::size_t best_distance = kMaxEdits + 1;
  std::vector<std::string_view> names;
  for (const Subcommand& subcommand : kSubcommands) names.push_back(subcommand.name);
  names.push_back("help");
  for (const std::string_view name : names) {
    const std::size_t distance = EditDistance(command, name);
    if (distance < best_distance) {
      best = name;
      best_distance = distance;
    }
  }
  return best.empty() ? "" : " Did you mean '" + best + "'?";
}

// `zvxpc help [COMMAND]`.
int RunHelp(int argc, char** argv) {
  if (argc == 1) {
    PrintHelp(stdout);
    return zvxpc::kExitSuccess;
  }
  const Subcommand* subcommand = argc == 2 ? FindSubcommand(argv[1]) : nullptr;
  if (subcommand == nullptr) return zvxpc::UsageError("", std::string("no help for '") + argv[argc == 2 ? 1 : 2] + "'");
  subcommand->print_help(stdout);
  return zvxpc::kExitSuccess;
}

// Where the command stands in argv: after the options given before it.
int CommandIndex(int argc, char** argv) {
  int at = 1;
  while (at < argc && zvxpc::IsLongOption(argv[at])) at += zvxpc::TakesSeparateValue(argv[at]) ? 2 : 1;
  return at;
}

// Runs `subcommand` with its name first, then the options given before it,
// then the arguments after it: the command reads them all as its own.
int RunWithOptionsFirst(const Subcommand& subcommand, int argc, char** argv, int at) {
  std::vector<char*> arguments = {argv[at]};
  arguments.insert(arguments.end(), argv + 1, argv + at);
  arguments.insert(arguments.end(), argv + at + 1, argv + argc);
  const int count = static_cast<int>(arguments.size());
  arguments.push_back(nullptr);
  return subcommand.run(count, arguments.data());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return zvxpc::UsageError("", "no command given");
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintHelp(stdout);
    return zvxpc::kExitSuccess;
  }
  if (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-V") == 0) {
    std::puts("zvxpc " ZVXPC_VERSION);
    return zvxpc::kExitSuccess;
  }
  const int at = CommandIndex(argc, argv);
  if (at >= argc) return zvxpc::UsageError("", "no command given after the options");
  const char* command = argv[at];
  if (std::strcmp(command, "help") == 0) return RunHelp(argc - at, argv + at);
  if (command[0] == '-') {
    return zvxpc::UsageError("", std::string("unknown option '") + command +
                                     "': the version is -V (--version); snmpwalk's options such as -v go after "
                                     "'zvxpc walk --user U --model M'");
  }
  const Subcommand* subcommand = FindSubcommand(command);
  if (subcommand == nullptr) {
    return zvxpc::UsageError("", std::string("unknown command '") + command + "'." + Suggestion(command));
  }
  return RunWithOptionsFirst(*subcommand, argc, argv, at);
}
