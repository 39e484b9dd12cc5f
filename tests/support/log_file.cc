// SPDX-License-Identifier: MIT
#include "support/log_file.h"

#include <regex>
#include <sstream>

#include "support/temp_dir.h"

namespace zvtest {

std::vector<std::string> LogFileLines(const std::string& path) {
  static const std::regex kStamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d zvxpcd\[[1-9]\d*\]: )");
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(path));
  for (std::string line; std::getline(in, line);) lines.push_back(std::regex_replace(line, kStamp, ""));
  return lines;
}

}  // namespace zvtest
