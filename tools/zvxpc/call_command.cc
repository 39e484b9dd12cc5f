// `zvxpc call`: one request to the service, its reply on standard output.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "zvxpc/commands.h"
#include "zvxpc/one_request.h"

namespace zvxpc {
namespace {

constexpr int kExitFailure = 2;

struct CallArguments {
  std::optional<std::string> socket_path;
  std::string operation;
  std::optional<std::string> text;  // nullopt: no argument object
  bool text_from_stdin = false;
};

void PrintCallUsage(std::FILE* out) {
  std::fputs(
      "usage: zvxpc call [--socket PATH] OPERATION [TEXT | -]\n"
      "Sends one request: without TEXT no argument object, with '-' the text read\n"
      "from standard input. Prints the reply text. The socket is --socket PATH,\n"
      "else $ZVXPC_SOCKET, else $XDG_RUNTIME_DIR/zvxpcd.sock.\n",
      out);
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "zvxpc call: %s\n", message.c_str());
  PrintCallUsage(stderr);
  return kExitFailure;
}

// Options come before OPERATION; everything after it is positional, so a
// text may begin with '-'.
bool ParseCallArguments(int argc, char** argv, CallArguments* arguments, std::string* error) {
  int index = 0;
  for (; index < argc; ++index) {
    const std::string_view argument = argv[index];
    if (argument == "--") {
      ++index;
      break;
    }
    if (argument == "--socket" && index + 1 < argc) {
      arguments->socket_path = argv[++index];
    } else if (argument.substr(0, 9) == "--socket=") {
      arguments->socket_path = std::string(argument.substr(9));
    } else if (argument.size() > 1 && argument[0] == '-') {
      *error = "unknown or incomplete option '" + std::string(argument) + "'";
      return false;
    } else {
      break;
    }
  }
  if (index >= argc) {
    *error = "no OPERATION given";
    return false;
  }
  arguments->operation = argv[index++];
  if (index < argc) {
    arguments->text_from_stdin = std::strcmp(argv[index], "-") == 0;
    if (!arguments->text_from_stdin) arguments->text = argv[index];
    ++index;
  }
  if (index < argc) {
    *error = "more than one TEXT given";
    return false;
  }
  return true;
}

bool ReadStandardInput(std::string* text, std::string* error) {
  text->clear();
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = std::string("read(stdin): ") + std::strerror(errno);
      return false;
    }
    if (n == 0) return true;
    text->append(buffer, static_cast<std::size_t>(n));
  }
}

int Fail(const std::string& reason) {
  std::fprintf(stderr, "zvxpc call: %s\n", reason.c_str());
  return kExitFailure;
}

}  // namespace

int RunCall(int argc, char** argv) {
  if (IsHelpRequest(argc, argv)) {
    PrintCallUsage(stdout);
    return 0;
  }
  CallArguments arguments;
  std::string error;
  if (!ParseCallArguments(argc, argv, &arguments, &error)) return UsageError(error);
  if (arguments.text_from_stdin) {
    std::string text;
    if (!ReadStandardInput(&text, &error)) return Fail(error);
    arguments.text = std::move(text);
  }
  std::optional<std::string_view> text;
  if (arguments.text) text = *arguments.text;
  std::string reply;
  if (!SendOneRequest(arguments.socket_path, arguments.operation, text, &reply, &error)) return Fail(error);
  return PrintReplyLine(reply) ? 0 : Fail("cannot write the reply to standard output");
}

}  // namespace zvxpc
