// SPDX-License-Identifier: MIT
#include "zvxpc/command_prologue.h"

#include <vector>

namespace zvxpc {
namespace {

// The help lines of the options every subcommand shares.
constexpr const char* kSharedOptionsHelp =
    "  --socket PATH       the service's socket (default: $ZVXPC_SOCKET, else\n"
    "                      $XDG_RUNTIME_DIR/zvxpcd.sock)\n"
    "  --timeout SECONDS   give up when the reply takes longer (default: wait)\n"
    "  -h, --help          show this help\n";

enum SharedOption { kSocket = 256, kTimeout };
static_assert(kTimeout < kFirstOwnOption);

// The subcommand's own options, then the shared ones, then the end mark.
std::vector<option> OptionTable(std::initializer_list<option> own) {
  std::vector<option> table(own);
  table.push_back({"socket", required_argument, nullptr, kSocket});
  table.push_back({"timeout", required_argument, nullptr, kTimeout});
  table.push_back({"help", no_argument, nullptr, 'h'});
  table.push_back({nullptr, 0, nullptr, 0});
  return table;
}

}  // namespace

TakeOwnOption SetFlag(bool* flag) {
  return [flag](int, const char*, std::string*) {
    *flag = true;
    return true;
  };
}

Parsed ParseOptions(int argc, char** argv, std::initializer_list<option> own, ServiceOptions* service,
                    const TakeOwnOption& take, std::string* error) {
  const std::vector<option> options = OptionTable(own);
  optind = 0;
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":h", options.data(), nullptr)) != -1;) {
    switch (c) {
      case kSocket: service->socket_path = optarg; break;
      case kTimeout:
        if (!ParseTimeout(optarg, service, error)) return Parsed::kUsageError;
        break;
      case 'h': return Parsed::kHelp;
      case ':':
      case '?': *error = OptionProblem(c, argv[optind - 1]); return Parsed::kUsageError;
      default:
        if (!take(c, optarg, error)) return Parsed::kUsageError;
    }
  }
  return Parsed::kRun;
}

bool NoOperandLeft(int argc, char** argv, std::string* error) {
  if (optind == argc) return true;
  *error = std::string("no argument is taken, not '") + argv[optind] + "'";
  return false;
}

void PrintHelpEnd(std::FILE* out, const char* exit_status) {
  std::fputs(kSharedOptionsHelp, out);
  std::fputc('\n', out);
  std::fputs(exit_status, out);
}

}  // namespace zvxpc
