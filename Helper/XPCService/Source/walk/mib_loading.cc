// SPDX-License-Identifier: MIT
#include "walk/mib_loading.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/parse.h>

#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>

#include "walk/snmp_library.h"

namespace zv {
namespace {

// The first error the library logs while it loads; kept by the logging
// callback, which the library calls on the loading thread.
std::string first_mib_error;

// A line that only says where the library looked does not tell what failed.
bool TellsWhatFailed(std::string_view message) { return message.rfind("MIB search path", 0) != 0; }

int KeepFirstError(int /*major*/, int /*minor*/, void* server_argument, void* /*client_argument*/) {
  const auto* message = static_cast<const snmp_log_message*>(server_argument);
  if (message == nullptr || message->msg == nullptr || message->priority > LOG_ERR) return 0;
  if (!first_mib_error.empty() || !TellsWhatFailed(message->msg)) return 0;
  first_mib_error = message->msg;
  while (!first_mib_error.empty() && (first_mib_error.back() == '\n' || first_mib_error.back() == '\r')) {
    first_mib_error.pop_back();
  }
  return 0;
}

}  // namespace

void RunWithin(std::chrono::milliseconds bound, const std::function<void()>& load,
               const std::function<void()>& overrun) {
  std::mutex mutex;
  std::condition_variable done_changed;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (!done_changed.wait_for(lock, bound, [&] { return done; })) overrun();
  });
  load();
  {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  done_changed.notify_one();
  watchdog.join();
}

std::string InitialiseSnmpLibraryWithMibs() {
  PrepareSnmpLibrary();
  // Beside the handler that silences the log: it takes the messages, and
  // the library keeps writing nothing anywhere.
  netsnmp_log_handler* handler = netsnmp_register_loghandler(NETSNMP_LOGHANDLER_CALLBACK, LOG_ERR);
  snmp_register_callback(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_LOGGING, KeepFirstError, nullptr);
  InitialiseSnmpLibrary();
  snmp_unregister_callback(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_LOGGING, KeepFirstError, nullptr, 1);
  if (handler != nullptr) netsnmp_remove_loghandler(handler);
  const int errors = get_mib_parse_error_count();
  if (errors == 0) return {};
  if (!first_mib_error.empty()) return first_mib_error;
  return std::to_string(errors) + " MIB errors";
}

}  // namespace zv
