// SPDX-License-Identifier: MIT
#include "zvxpc/command_errors.h"

#include <cstdio>

#include "platform/one_line_text.h"

namespace zvxpc {
namespace {

// "zvxpc" or "zvxpc COMMAND".
std::string Program(std::string_view command) {
  return command.empty() ? "zvxpc" : "zvxpc " + std::string(command);
}

}  // namespace

int UsageError(std::string_view command, const std::string& message) {
  const std::string program = Program(command);
  std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program.c_str(), zv::OneLineText(message).c_str(),
               program.c_str());
  return kExitFailure;
}

void Report(std::string_view command, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", Program(command).c_str(), zv::OneLineText(text).c_str());
}

std::string OptionProblem(int answer, const char* argument) {
  return answer == ':' ? std::string("option '") + argument + "' needs a value"
                       : std::string("unknown option '") + argument + "'";
}

int Fail(std::string_view command, const std::string& reason, int exit_code) {
  Report(command, reason);
  return exit_code;
}

}  // namespace zvxpc
