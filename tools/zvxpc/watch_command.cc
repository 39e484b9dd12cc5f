// SPDX-License-Identifier: MIT
// `zvxpc watch`: prints the changes of profile lists as the service tells
// them, one "KIND PATH" line each (walk, write, rename, swap, remove), by
// asking again after every reply on one connection: nothing is polled,
// each change comes once. Runs until interrupted, or until --count
// changes came. Exit 0 after --count changes, 2 when the service cannot be
// reached or the connection fails (the reason on standard error).
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/one_line_text.h"
#include "zvxpc/command_errors.h"
#include "zvxpc/command_prologue.h"
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
  enum { kUser = kFirstOwnOption, kModel, kPath, kCount };
  const auto take = [arguments](int c, const char* value, std::string* problem) {
    switch (c) {
      case kUser: arguments->user = value; return true;
      case kModel: arguments->model = value; return true;
      case kPath: arguments->path = value; return true;
      default: return ParseCount(value, &arguments->count, problem);
    }
  };
  const Parsed parsed = ParseOptions(argc, argv,
                                     {{"user", required_argument, nullptr, kUser},
                                      {"model", required_argument, nullptr, kModel},
                                      {"path", required_argument, nullptr, kPath},
                                      {"count", required_argument, nullptr, kCount}},
                                     &arguments->service, take, error);
  if (parsed != Parsed::kRun) return parsed;
  return NoOperandLeft(argc, argv, error) && CheckWhich(*arguments, error) ? Parsed::kRun : Parsed::kUsageError;
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

// Watches on a connection of its own.
int ConnectAndWatch(const WatchArguments& arguments) {
  std::string error;
  zvxpc_client* client = ConnectToService(arguments.service, &error);
  if (client == nullptr) return Fail(kCommand, error);
  const int exit_code = Watch(client, arguments);
  zvxpc_close(client);
  return exit_code;
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
  PrintHelpEnd(out,
               "Exit status: 0 after --count changes, 2 when the service cannot be reached\n"
               "or the connection fails (the reason on standard error).\n");
}

int RunWatch(int argc, char** argv) {
  return RunCommand(kCommand, argc, argv, ParseWatchArguments, PrintWatchHelp, ConnectAndWatch);
}

}  // namespace zvxpc
