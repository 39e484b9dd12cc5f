// SPDX-License-Identifier: MIT
#include "walk/snmp_library.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <mutex>

#include "walk/walk_settings.h"

namespace zv {
namespace {

constexpr const char* kApplicationName = "snmpapp";

void SilenceLibraryLog() {
  // A handler of type "none" that takes every priority: messages are
  // dropped instead of reaching the fallback on standard error.
  netsnmp_register_loghandler(NETSNMP_LOGHANDLER_NONE, LOG_DEBUG);
}

// The library neither loads nor saves its persistent state (engine boots
// and identifiers, which a client does not need). Its initialisation still
// creates an empty "cert_indexes" directory in its persistent directory when
// that is missing; SNMP_PERSISTENT_DIR in the service's environment says
// where that directory is. NETSNMP_DS_LIB_DONT_PERSIST_STATE is not the way:
// the library then reads no configuration file at all (snmp.conf's
// defVersion, defCommunity and mibs would be ignored).
void KeepPersistentStateOut() {
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
}

}  // namespace

void PrepareSnmpLibrary() {
  static std::once_flag prepared;
  std::call_once(prepared, [] {
    SilenceLibraryLog();
    KeepPersistentStateOut();
    RegisterWalkSettings();
  });
}

void InitialiseSnmpLibrary() {
  PrepareSnmpLibrary();
  static std::once_flag initialised;
  std::call_once(initialised, [] { init_snmp(kApplicationName); });
}

}  // namespace zv
