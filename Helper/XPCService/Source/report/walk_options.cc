// SPDX-License-Identifier: MIT
#include "report/walk_options.h"

#include <cstring>
#include <string_view>

namespace zv {
namespace {

enum class Letter { kUnknown, kFlag, kTakesValue };

Letter Classify(char letter) {
  if (letter == ':' || letter == '+') return Letter::kUnknown;
  for (const char* options : {kWalkOptionLetters, kWalkLocalOptionLetters}) {
    if (const char* at = std::strchr(options, letter)) return at[1] == ':' ? Letter::kTakesValue : Letter::kFlag;
  }
  return Letter::kUnknown;
}

// Options the parser refuses outright: the scan ends there.
bool EndsTheParse(char letter) { return letter == 'Y' || letter == '-' || letter == 'H'; }

// True when the option's value makes the parser take one more argument.
bool TakesOneMore(char letter, std::string_view value) {
  if (letter == '3') {
    std::string_view rest = value.empty() ? value : value.substr(1);
    if (!rest.empty() && rest.front() == '=') rest.remove_prefix(1);
    return !value.empty() && rest.find_first_not_of(" \t\n\v\f\r") == std::string_view::npos;
  }
  const char* value_letters = letter == 'O' ? "p" : letter == 'I' ? "sS" : "";
  const std::size_t at = value.find_first_of(value_letters);
  return at != std::string_view::npos && at + 1 == value.size();
}

}  // namespace

WalkOptionScan ScanWalkOptions(const std::vector<std::string>& arguments) {
  WalkOptionScan scan;
  std::size_t index = 1;
  while (index < arguments.size()) {
    const std::string& argument = arguments[index];
    if (argument == "--") {
      ++index;
      break;
    }
    if (argument.size() < 2 || argument[0] != '-') break;
    ++index;
    for (std::size_t at = 1; at < argument.size(); ++at) {
      const char letter = argument[at];
      const Letter kind = Classify(letter);
      if (kind == Letter::kUnknown || EndsTheParse(letter)) return scan;
      if (kind == Letter::kFlag) continue;
      // A view, not a copy: the value may be a pass phrase.
      std::string_view value;
      if (at + 1 < argument.size()) {
        value = std::string_view(argument).substr(at + 1);
      } else if (index < arguments.size()) {
        value = arguments[index++];
      } else {
        return scan;  // a value is missing
      }
      if (TakesOneMore(letter, value)) {
        if (index >= arguments.size()) return scan;
        ++index;
      }
      if (letter == 'm') scan.mibs = std::string(value);
      if (letter == 'M') scan.mib_folders = std::string(value);
      break;
    }
  }
  if (index < arguments.size()) scan.address = arguments[index];
  return scan;
}

}  // namespace zv
