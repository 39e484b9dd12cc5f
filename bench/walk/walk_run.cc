// SPDX-License-Identifier: MIT
// Runs the walk driver with the given walk arguments, a number of times in
// one process, and reports the result and the time per walk.
//
//   zv_walk_run [--repeat N] [--plist PATH] [--bulk-repetitions auto|N] -- ARGUMENT...
//
// ARGUMENT... is the walk's argument vector after its program-name slot.
// With --plist the merge reads and writes PATH as the current profile
// plist; without it the merge has no plist to read or write.
// --bulk-repetitions sets the default of walks without "-C r", as
// zvxpcd's option does (default here 0: GETNEXT).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "list_update/list_update.h"
#include "report/walk_globals.h"
#include "store/zvplist.h"
#include "walk/walk_driver.h"
#include "walk/walk_settings.h"

namespace {

struct Options {
  int repeat = 1;
  std::string plist;
  std::vector<std::string> walk_arguments;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  int i = 1;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      options->repeat = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--plist") == 0 && i + 1 < argc) {
      options->plist = argv[++i];
    } else if (std::strcmp(argv[i], "--bulk-repetitions") == 0 && i + 1 < argc) {
      ++i;
      zv::SetDefaultBulkRepetitions(std::strcmp(argv[i], "auto") == 0 ? zv::kAutoBulkRepetitions
                                                                      : std::atoi(argv[i]));
    } else {
      return false;
    }
  }
  if (i == argc) return false;
  options->walk_arguments.push_back("zv_walk_run");
  for (++i; i < argc; ++i) options->walk_arguments.push_back(argv[i]);
  return true;
}

// One walk on a fresh, writable copy of the arguments (the parser permutes
// them), then the merge of its spool, as the service runs it. Returns the
// walk's result.
int WalkOnce(const std::vector<std::string>& arguments) {
  std::vector<std::string> copies = arguments;
  std::vector<char*> argv;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int result = mib_walk(static_cast<int>(copies.size()), argv.data());
  (void)zv::UpdateProfileListFile(ZV_PLIST_PROFILE_PATH, result, PlistForSpool);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr, "usage: %s [--repeat N] [--plist PATH] [--bulk-repetitions auto|N] -- ARGUMENT...\n",
                 argv[0]);
    return 2;
  }
  std::vector<char> path(options.plist.begin(), options.plist.end());
  path.push_back('\0');
  if (!options.plist.empty()) ZV_PLIST_PROFILE_PATH = path.data();

  std::vector<double> seconds;
  int result = 0;
  for (int run = 0; run < options.repeat; ++run) {
    const auto start = std::chrono::steady_clock::now();
    result = WalkOnce(options.walk_arguments);
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  // The first walk also initialises the library; the others show the walk.
  const double first = seconds.front();
  std::sort(seconds.begin(), seconds.end());
  std::printf("result %d walks %d first_s %.6f median_s %.6f min_s %.6f\n", result, options.repeat,
              first, seconds[seconds.size() / 2], seconds.front());
  return result == 0 ? 0 : 1;
}
