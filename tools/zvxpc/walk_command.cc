// `zvxpc walk`: one walk request to the service. Composes the request text
// from the model, the user and the walk arguments, sends it, prints the
// reply and turns the walk's result into the exit code:
//   0  the reply is "iRet=0"
//   1  the reply is "iRet=N" with another N
//   2  usage error, no connection, or no proper reply
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/utf8.h"
#include "zvxpc/commands.h"
#include "zvxpc/one_request.h"

namespace zvxpc {
namespace {

constexpr int kExitWalkFailed = 1;
constexpr int kExitFailure = 2;

constexpr std::string_view kWalkOperation = "mibwalk_XPC:reply:";
constexpr std::string_view kModelMarker = ":ModelName:END";
constexpr std::string_view kUserMarker = ":USErName:END";
constexpr std::string_view kArgumentSeparator = ":arg:";
constexpr std::string_view kResultPrefix = "iRet=";
// Fills the walk's program-name slot: option scanning starts after it.
constexpr std::string_view kProgramSlot = "zvxpc";

struct WalkArguments {
  std::optional<std::string> socket_path;
  std::optional<std::string> user;
  std::optional<std::string> model;
  std::vector<std::string> walk_arguments;
};

void PrintWalkUsage(std::FILE* out) {
  std::fputs(
      "usage: zvxpc walk [--socket PATH] --user U --model M [--] ARG...\n"
      "Walks a printer through the service: ARG... are snmpwalk-style arguments\n"
      "(for instance -v 2c -c public 192.0.2.7 1.3.6.1.4.1.32473.1.1.1.1.6.13.1.1);\n"
      "the profile list of user U and model M is updated. Prints the reply\n"
      "\"iRet=N\". Exit 0 when N is 0, 1 for another N, 2 when no walk result\n"
      "could be had. The socket is --socket PATH, else $ZVXPC_SOCKET, else\n"
      "$XDG_RUNTIME_DIR/zvxpcd.sock. Walk arguments come after the options, or\n"
      "after \"--\" when one of them looks like an option of zvxpc walk.\n",
      out);
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "zvxpc walk: %s\n", message.c_str());
  PrintWalkUsage(stderr);
  return kExitFailure;
}

int Fail(const std::string& reason) {
  std::fprintf(stderr, "zvxpc walk: %s\n", reason.c_str());
  return kExitFailure;
}

// Takes the value of `--name VALUE` or `--name=VALUE` at argv[*index];
// false when argv[*index] is not that option.
bool TakeOptionValue(int argc, char** argv, int* index, std::string_view name, std::optional<std::string>* value) {
  const std::string_view argument = argv[*index];
  if (argument == name && *index + 1 < argc) {
    *value = argv[++*index];
    return true;
  }
  if (argument.size() > name.size() && argument.substr(0, name.size()) == name && argument[name.size()] == '=') {
    *value = std::string(argument.substr(name.size() + 1));
    return true;
  }
  return false;
}

// The options of zvxpc walk come first; the first other argument, or the
// one after "--", begins the walk arguments (which may begin with '-').
bool ParseWalkArguments(int argc, char** argv, WalkArguments* arguments, std::string* error) {
  int index = 0;
  for (; index < argc; ++index) {
    if (std::string_view(argv[index]) == "--") {
      ++index;
      break;
    }
    if (!TakeOptionValue(argc, argv, &index, "--socket", &arguments->socket_path) &&
        !TakeOptionValue(argc, argv, &index, "--user", &arguments->user) &&
        !TakeOptionValue(argc, argv, &index, "--model", &arguments->model)) {
      break;
    }
  }
  arguments->walk_arguments.assign(argv + index, argv + argc);
  if (!arguments->user || !arguments->model) {
    *error = "--user U and --model M are required";
    return false;
  }
  return true;
}

bool Holds(std::string_view text, std::string_view marker) { return text.find(marker) != std::string_view::npos; }

// The service cuts the request at its markers, so a name or an argument
// that holds one would be read back differently; the wire carries UTF-8.
bool CheckWalkTexts(const WalkArguments& arguments, std::string* error) {
  for (const std::string* name : {&*arguments.model, &*arguments.user}) {
    if (Holds(*name, kModelMarker) || Holds(*name, kUserMarker)) {
      *error = "a user or model name may not contain \"" + std::string(kModelMarker) + "\" or \"" +
               std::string(kUserMarker) + "\"";
      return false;
    }
  }
  for (const std::string& argument : arguments.walk_arguments) {
    if (Holds(argument, kArgumentSeparator)) {
      *error = "a walk argument may not contain \"" + std::string(kArgumentSeparator) + "\": " + argument;
      return false;
    }
  }
  std::string all = *arguments.model + *arguments.user;
  for (const std::string& argument : arguments.walk_arguments) all += argument;
  if (!zv::IsValidUtf8(all)) {
    *error = "the user name, the model name and the walk arguments must be UTF-8 text";
    return false;
  }
  return true;
}

// MODEL ":ModelName:END" USER ":USErName:END" "zvxpc:arg:" ARG ":arg:" ...
std::string ComposeWalkRequest(const WalkArguments& arguments) {
  std::string request = *arguments.model;
  request.append(kModelMarker).append(*arguments.user).append(kUserMarker);
  request.append(kProgramSlot).append(kArgumentSeparator);
  for (const std::string& argument : arguments.walk_arguments) {
    request.append(argument).append(kArgumentSeparator);
  }
  return request;
}

// The N of a reply "iRet=N" (an optional '-' and decimal digits, nothing
// else); nullopt for any other reply.
std::optional<long> WalkResultOf(std::string_view reply) {
  if (reply.substr(0, kResultPrefix.size()) != kResultPrefix) return std::nullopt;
  const std::string number(reply.substr(kResultPrefix.size()));
  const std::size_t digits_from = !number.empty() && number[0] == '-' ? 1 : 0;
  if (number.size() == digits_from || number.size() > 12) return std::nullopt;
  for (std::size_t i = digits_from; i < number.size(); ++i) {
    if (number[i] < '0' || number[i] > '9') return std::nullopt;
  }
  return std::strtol(number.c_str(), nullptr, 10);
}

int ExitCodeForReply(const std::string& reply) {
  const std::optional<long> result = WalkResultOf(reply);
  if (!result) return Fail("the service gave no walk result: \"" + reply + "\"");
  if (!PrintReplyLine(reply)) return Fail("cannot write the reply to standard output");
  return *result == 0 ? 0 : kExitWalkFailed;
}

}  // namespace

int RunWalk(int argc, char** argv) {
  if (IsHelpRequest(argc, argv)) {
    PrintWalkUsage(stdout);
    return 0;
  }
  WalkArguments arguments;
  std::string error;
  if (!ParseWalkArguments(argc, argv, &arguments, &error)) return UsageError(error);
  if (!CheckWalkTexts(arguments, &error)) return UsageError(error);
  std::string reply;
  if (!SendOneRequest(arguments.socket_path, kWalkOperation, ComposeWalkRequest(arguments), &reply, &error)) {
    return Fail(error);
  }
  return ExitCodeForReply(reply);
}

}  // namespace zvxpc
