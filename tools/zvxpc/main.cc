// zvxpc: command-line client of the zvxpcd service and viewer of profile
// property lists.
#include <cstdio>
#include <cstring>

#include "zvxpc/commands.h"

namespace {

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage: zvxpc profiles [--json] FILE\n"
      "       zvxpc call [--socket PATH] OPERATION [TEXT | -]\n"
      "       zvxpc walk [--socket PATH] --user U --model M [--] ARG...\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "profiles") == 0) return zvxpc::RunProfiles(argc - 2, argv + 2);
  if (std::strcmp(command, "call") == 0) return zvxpc::RunCall(argc - 2, argv + 2);
  if (std::strcmp(command, "walk") == 0) return zvxpc::RunWalk(argc - 2, argv + 2);
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
    PrintUsage(stdout);
    return 0;
  }
  std::fprintf(stderr, "zvxpc: unknown subcommand '%s'\n", command);
  PrintUsage(stderr);
  return 2;
}
