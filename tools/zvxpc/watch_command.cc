// SPDX-License-Identifier: MIT
// `zvxpc watch`: prints the changes of profile lists as the service tells
// them, one "KIND PATH" line each (walk, write, rename, swap, remove), by
// asking again after every reply on one connection: nothing is polled,
// each change comes once. Runs until interrupted, or until --count
// changes came. Exit 0 after --count changes, 2 when the service cannot be
// reached or the connection fails (the reason on standard error).
#include <getopt.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/one_line_text.h"
#include "zvxpc/command_errors.h"
#include "zvxpc/commands.h"
#include "zvxpc/service_session.h"

namespace zvxpc {
namespace {

constexpr const char* kCommand = "watch";

struct WatchArguments {
  ServiceOptions service;
  const char* user = nullptr;
  const char* model = nullptr;
  const char* path = nullptr;
  long count = -1;  // -1: for ever
};

enum class Parsed { kRun, kHelp, kUsageError };

bool ParseCount(std::string_view text, long* count, std::string* error) {
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), *count);
  if (status == std::errc() && end == text.data() + text.size() && *count >= 1) return true;
  *error = "--count takes a whole number from 1, not '" + std::string(text) + "'";
  return false;
}

// Which lists: both names, a path, or neither (every list).
bool CheckWhich(const WatchArguments& arguments, std::string* error) {
  if ((arguments.user == nullptr) != (arguments.model == nullptr)) {
    *error = "--user U and --model M go together";
    return false;
  }
  if (arguments.path != nullptr && arguments.user != nullptr) {
    *error = "give --user and --model, or --path, not both";
    return false;
  }
  return true;
}

Parsed ParseWatchArguments(int argc, char** argv, WatchArguments* arguments, std::string* error) {
  enum { kSocket = 256, kTimeout, kUser, kModel, kPath, kCount };
  static const option kOptions[] = {{"socket", required_argument, nullptr, kSocket},
                                    {"timeout", required_argument, nullptr, kTimeout},
                                    {"user", required_argument, nullptr, kUser},
                                    {"model", required_argument, nullptr, kModel},
                                    {"path", required_argument, nullptr, kPath},
                                    {"count", required_argument, nullptr, kCount},
                                    {"help", no_argument, nullptr, 'h'},
                                    {nullptr, 0, nullptr, 0}};
  optind = 0;
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":h", kOptions, nullptr)) != -1;) {
    switch (c) {
      case kSocket: arguments->service.socket_path = optarg; break;
      case kUser: arguments->user = optarg; break;
      case kModel: arguments->model = optarg; break;
      case kPath: arguments->path = optarg; break;
      case kCount:
        if (!ParseCount(optarg, &arguments->count, error)) return Parsed::kUsageError;
        break;
      case kTimeout:
        if (!ParseTimeout(optarg, &arguments->service, error)) return Parsed::kUsageError;
        break;
      case 'h': return Parsed::kHelp;
      default: *error = OptionProblem(c, argv[optind - 1]); return Parsed::kUsageError;
    }
  }
  if (optind != argc) {
    *error = std::string("no argument is taken, not '") + argv[optind] + "'";
    return Parsed::kUsageError;
  }
  return CheckWhich(*arguments, error) ? Parsed::kRun : Parsed::kUsageError;
}

int SendWatch(zvxpc_client* client, const WatchArguments& arguments) {
  if (arguments.path != nullptr) return zvxpc_watch_path_send(client, arguments.path);
  return zvxpc_watch_send(client, arguments.user, arguments.model);
}

// Prints one change; false when the reply is none.
bool PrintChange(const std::string& reply, bool* changed) {
  char* kind = nullptr;
  char* path = nullptr;
  const int status = zvxpc_watch_change(reply.c_str(), &kind, &path);
  if (status < 0) return false;
  *changed = status == 0;
  if (*changed) std::printf("%s %s\n", kind, zv::OneLineText(path).c_str());
  std::fflush(stdout);
  std::free(kind);
  std::free(path);
  return true;
}

int Watch(zvxpc_client* client, const WatchArguments& arguments) {
  for (long seen = 0; arguments.count < 0 || seen < arguments.count;) {
    std::string reply;
    if (SendWatch(client, arguments) != 0 || AwaitReply(client, arguments.service.timeout_ms, &reply) != 0) {
      const int error_number = errno;
      return error_number == EINVAL ? UsageError(kCommand, zvxpc_error(client))
                                    : Fail(kCommand, RequestFailure(client, error_number));
    }
    bool changed = false;
    if (!PrintChange(reply, &changed)) {
      return Fail(kCommand, reply == ZVXPC_REPLY_FALSE ? "the service refused to watch those names"
                                                       : "the service's reply is no change: " + reply);
    }
    if (changed) ++seen;
  }
  return kExitSuccess;
}

}  // namespace

void PrintWatchHelp(std::FILE* out) {
  std::fputs(
      "usage: zvxpc watch [OPTION]... [--user U --model M | --path FILE]\n"
      "Prints each change of the profile lists as the service makes it, one\n"
      "\"KIND PATH\" line: walk (a walk saved the list), write, rename, swap or\n"
      "remove (a client's file operation). With --user and --model: the lists of\n"
      "that user and model; with --path: that file; else every list.\n"
      "\n"
      "Options:\n"
      "  --user U            the user whose lists are watched\n"
      "  --model M           the printer model\n"
      "  --path FILE         the file watched (an absolute path)\n"
      "  --count N           end after N changes (default: run until interrupted)\n",
      out);
  std::fputs(kServiceOptionsHelp, out);
  std::fputs(
      "\nExit status: 0 after --count changes, 2 when the service cannot be reached\n"
      "or the connection fails (the reason on standard error).\n",
      out);
}

int RunWatch(int argc, char** argv) {
  WatchArguments arguments;
  std::string error;
  switch (ParseWatchArguments(argc, argv, &arguments, &error)) {
    case Parsed::kHelp: PrintWatchHelp(stdout); return kExitSuccess;
    case Parsed::kUsageError: return UsageError(kCommand, error);
    case Parsed::kRun: break;
  }
  zvxpc_client* client = ConnectToService(arguments.service, &error);
  if (client == nullptr) return Fail(kCommand, error);
  const int exit_code = Watch(client, arguments);
  zvxpc_close(client);
  return exit_code;
}

}  // namespace zvxpc
