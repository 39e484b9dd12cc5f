// SPDX-License-Identifier: MIT
// Where Net-SNMP finds its configuration and MIB files, as the process of
// a walk reads them.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace zv {

/// The folders Net-SNMP reads when it is initialised in this process's
/// environment: the configuration folders ($SNMPCONFPATH, else /etc/snmp,
/// /usr/share/snmp and ~/.snmp), the persistent folder
/// ($SNMP_PERSISTENT_DIR, else /var/lib/snmp) and the MIB folders (the
/// library's MIB path, which reads $MIBDIRS).
std::vector<std::string> SnmpConfigurationFolders();

/// The latest modification time among the configuration folders, the
/// configuration files in them (snmp.conf, snmpapp.conf, snmpwalk.conf and
/// their .local.conf variants) and the MIB folders (not the persistent
/// folder, which the library itself changes); 0 when none exists.
/// A process that set the library up before that time has read files that
/// changed since.
std::time_t LatestSnmpConfigurationChange();

}  // namespace zv
