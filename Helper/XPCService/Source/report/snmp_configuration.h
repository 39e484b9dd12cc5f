// SPDX-License-Identifier: MIT
// Where Net-SNMP finds its configuration and MIB files, as the process of
// a walk reads them when it starts, and a fingerprint of them by which
// the service knows that a walk's process started ahead has read nothing
// that changed since.
//
// Worked out from the environment and the library's compiled-in defaults
// (net-snmp-config.h) alone: the service never loads the library.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zv {

/// The configuration folders: the entries of $SNMPCONFPATH, else
/// /etc/snmp, /usr/share/snmp, the library's own folder and ~/.snmp.
std::vector<std::string> SnmpConfigurationSearchPath();

/// Everything Net-SNMP may read when it is initialised: the configuration
/// folders, the persistent folder ($SNMP_PERSISTENT_DIR, else
/// /var/lib/snmp), the MIB folders ($MIBDIRS, which extends the default
/// when it begins with '+'; without it, the default as the `mibdirs` lines
/// of snmp.conf and snmp.local.conf leave it) and what the configuration
/// files include (SnmpIncludedPaths). With `mib_directories` (a MIBDIRS
/// value, as WalkMibDirectories makes one), its folders stand for the MIB
/// folders.
std::vector<std::string> SnmpConfigurationFolders(const std::optional<std::string>& mib_directories = std::nullopt);

/// The MIBDIRS value that gives a walk the MIB folders of its `-M option`,
/// as Net-SNMP's tools read -M: a leading '+' adds the folders after those
/// in force ($MIBDIRS, else the `mibdirs` lines, else the compiled-in
/// default), a leading '-' puts them before, and any other value replaces
/// them.
std::string WalkMibDirectories(const std::string& option);

/// The files and folders that the configuration files include, through
/// includeFile (relative to the including file's folder), includeDir and
/// includeSearch (looked up in the configuration folders), followed
/// through included files too, at most 8 deep.
std::vector<std::string> SnmpIncludedPaths();

/// What the library reads at its start, as device, inode, size,
/// modification and change time of each configuration folder, each
/// configuration file the library looks for in them (present or not),
/// each included file and folder, each MIB folder, and each file that
/// `mibs` (MIBS) names by path. Two equal fingerprints taken at two times
/// mean that none of these changed in between: a file written in place,
/// or copied over with its old time kept (cp -p), still changes its change
/// time. A MIB file changed in place in a MIB folder is not seen.
std::string SnmpConfigurationFingerprint(const std::optional<std::string>& mibs);

/// The entries of a MIBS value that name files (those holding a '/'), in
/// order.
std::vector<std::string> MibFilesNamedIn(const std::string& mibs);

/// The entries of a MIBS value that name modules (those without a '/'),
/// in order, the library's "ALL" left out.
std::vector<std::string> MibModulesNamedIn(const std::string& mibs);

/// True when `mibs`, a walk's `-m` value, may become MIBS: at most
/// kMaxWalkArgumentBytes long, every file it names a regular file that
/// can be opened for reading, within one of SnmpConfigurationFolders (the
/// only folders a walk's process may read MIBs from), and every module it
/// names defined (its first word, then DEFINITIONS) by such a file found
/// in a MIB folder; "ALL" (every module) passes. The MIB folders are those
/// of `mib_directories` when given (the walk's own -M), else those in
/// force. Otherwise false with the reason in `*problem` (": '/dev/stdin'
/// is not a regular file").
bool MibsValueUsable(const std::string& mibs, const std::optional<std::string>& mib_directories,
                     std::string* problem);

}  // namespace zv
