// SPDX-License-Identifier: MIT
#include "front/service_options.h"

#include <charconv>
#include <string_view>

#include "front/walk_request.h"
#include "platform/preferences_folder.h"

namespace zv {
namespace {

// A whole number of `what` from `min` to `max` for option `name`.
bool ParseWholeNumber(std::string_view name, std::string_view what, std::string_view text, int min, int max,
                      int* number, std::string* error) {
  int value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    *error = std::string(name) + " needs a whole number of " + std::string(what) + " from " + std::to_string(min) +
             " to " + std::to_string(max) + ", not '" + std::string(text) + "'";
    return false;
  }
  *number = value;
  return true;
}

// A whole number of seconds from 1 to `max` for option `name`.
bool ParseSeconds(std::string_view name, std::string_view text, int max, int* seconds, std::string* error) {
  return ParseWholeNumber(name, "seconds", text, 1, max, seconds, error);
}

// Takes the value of option `name` at argv[*index] ("--name VALUE" or
// "--name=VALUE"); false with a message when it is missing or empty.
bool TakeValue(std::string_view name, int argc, char** argv, int* index, std::string* value,
               std::string* error) {
  const std::string_view argument = argv[*index];
  if (argument.size() > name.size() && argument[name.size()] == '=') {
    *value = std::string(argument.substr(name.size() + 1));
  } else if (*index + 1 < argc) {
    *value = argv[++*index];
  } else {
    *error = std::string(name) + " needs a value";
    return false;
  }
  if (value->empty()) {
    *error = std::string(name) + " needs a non-empty value";
    return false;
  }
  return true;
}

bool IsOption(std::string_view argument, std::string_view name) {
  return argument == name || (argument.size() > name.size() && argument.substr(0, name.size()) == name &&
                              argument[name.size()] == '=');
}

// Applies one option at argv[*index]; false with a message when it is bad.
bool ApplyOption(int argc, char** argv, int* index, ServiceOptions* options, std::string* error) {
  const std::string_view argument = argv[*index];
  std::string value;
  if (argument == "--help" || argument == "-h") {
    options->help = true;
    return true;
  }
  if (argument == "--version") {
    options->version = true;
    return true;
  }
  if (argument == "--verbose") {
    options->verbose = true;
    return true;
  }
  if (IsOption(argument, "--socket")) {
    if (!TakeValue("--socket", argc, argv, index, &value, error)) return false;
    options->socket_path = value;
    return true;
  }
  if (IsOption(argument, "--preferences-dir")) {
    if (!TakeValue("--preferences-dir", argc, argv, index, &value, error)) return false;
    options->preferences_directory = PreferencesDirectoryFrom(value);
    options->preferences_directory_is_default = false;
    return true;
  }
  if (IsOption(argument, "--log-file")) {
    if (!TakeValue("--log-file", argc, argv, index, &value, error)) return false;
    options->log_file = value;
    return true;
  }
  if (IsOption(argument, "--idle-exit")) {
    int seconds = 0;
    if (!TakeValue("--idle-exit", argc, argv, index, &value, error) ||
        !ParseSeconds("--idle-exit", value, kMaxIdleExitSeconds, &seconds, error)) {
      return false;
    }
    options->idle_exit_seconds = seconds;
    return true;
  }
  if (IsOption(argument, "--walk-timeout")) {
    return TakeValue("--walk-timeout", argc, argv, index, &value, error) &&
           ParseSeconds("--walk-timeout", value, kMaxWalkTimeoutSeconds, &options->walk_timeout_seconds, error);
  }
  if (IsOption(argument, "--bulk-repetitions")) {
    if (!TakeValue("--bulk-repetitions", argc, argv, index, &value, error)) return false;
    if (value == "auto") {
      options->bulk_repetitions = kAutoBulkRepetitions;
      return true;
    }
    if (ParseWholeNumber("--bulk-repetitions", "repetitions", value, 0, kMaxBulkRepetitions,
                         &options->bulk_repetitions, error)) {
      return true;
    }
    *error = "--bulk-repetitions needs 'auto' or a whole number of repetitions from 0 to " +
             std::to_string(kMaxBulkRepetitions) + ", not '" + value + "'";
    return false;
  }
  if (IsOption(argument, "--walk-program")) {
    if (!TakeValue("--walk-program", argc, argv, index, &value, error)) return false;
    options->walk_program = value;
    return true;
  }
  *error = "unknown argument '" + std::string(argument) + "'";
  return false;
}

}  // namespace

bool ParseServiceOptions(int argc, char** argv, ServiceOptions* options, std::string* error) {
  *options = ServiceOptions();
  options->preferences_directory = DefaultPreferencesDirectory();
  for (int index = 1; index < argc; ++index) {
    if (!ApplyOption(argc, argv, &index, options, error)) return false;
  }
  return true;
}

std::string BulkRepetitionsText(int repetitions) {
  return repetitions == kAutoBulkRepetitions ? "auto" : std::to_string(repetitions);
}

std::string ServiceUsage() {
  return "usage: zvxpcd [--socket PATH] [--preferences-dir DIR] [--log-file PATH] [--idle-exit SECONDS]\n"
         "              [--walk-timeout SECONDS] [--bulk-repetitions auto|N] [--walk-program PATH]\n"
         "              [--verbose]\n"
         "       zvxpcd --help | --version\n"
         "\n"
         "Profile helper service of the colour inkjet print dialog. Serves its clients\n"
         "on a local socket: the one systemd hands over (socket activation), or else\n"
         "one it binds itself. Only processes of the same user (and root) may connect.\n"
         "SIGTERM or SIGINT: finish the requests in progress, then exit 0.\n"
         "\n"
         "  --socket PATH           bind the socket at PATH when systemd hands over none\n"
         "                          (default: $XDG_RUNTIME_DIR/zvxpcd.sock)\n"
         "  --preferences-dir DIR   directory of the profile property lists that walk\n"
         "                          requests update (default: $XDG_CONFIG_HOME/zvxpc/,\n"
         "                          else ~/.config/zvxpc/, created with mode 0700 when\n"
         "                          first needed; now " + DefaultPreferencesDirectory() + ")\n"
         "  --log-file PATH         append the walk log lines to PATH instead of the\n"
         "                          system log\n"
         "  --idle-exit SECONDS     exit after SECONDS without any open connection, as a\n"
         "                          socket-activated service that systemd starts again\n"
         "                          on the next connection\n"
         "  --walk-timeout SECONDS  end a walk that is still running after SECONDS as a\n"
         "                          timed-out request (default 120)\n"
         "  --bulk-repetitions auto|N\n"
         "                          how walks whose arguments give no -C r ask: auto\n"
         "                          (default) by GETBULK, for as many variables per\n"
         "                          request as the printer's answers hold; N from 1 to\n"
         "                          100 by GETBULK for N; 0 by GETNEXT. SNMPv1 walks,\n"
         "                          and printers deaf to GETBULK, use GETNEXT\n"
         "  --walk-program PATH     run each walk in a process of PATH (default: the\n"
         "                          zvxpcd-walk beside zvxpcd)\n"
         "  --verbose               also log, per walk, user, model, device, result and\n"
         "                          reason, and why a file operation answered FALSE\n"
         "                          (journal entries, or lines of the --log-file)\n"
         "  --help                  print this text and exit\n"
         "  --version               print the version and exit\n";
}

std::string ServiceVersion() { return std::string("zvxpcd ") + ZVXPC_VERSION + "\n"; }

}  // namespace zv
