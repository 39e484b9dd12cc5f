// SPDX-License-Identifier: MIT
// SNMP agents for tests: Net-SNMP's snmpd and snmpsim's snmpsimd serving a
// device's colour-profile table, and our own scripted responder, each
// started on 127.0.0.1 at a free UDP port in a private temporary directory
// and stopped when its handle goes away. Also the private client
// configuration that a test process gives the Net-SNMP library before its
// first walk.
//
// Nothing here calls the Net-SNMP library in the test process: the
// library's first use in a process fixes its set-up for good, and that
// belongs to the code under test. Readiness is checked with the snmpgetnext
// tool in a child process.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace zvtest {

/// One row of the device's profile table (columns 1 to 5 and 7; row is
/// the cell OID's last sub-identifier).
struct ProfileTableRow {
  int row;
  int index_on_device;
  int source_type;
  std::string profile_name;
  std::string file_name;
  int profile_class;
  int availability;
};

/// The table's enterprise number and column OID prefix (column follows).
constexpr int kProfileEnterprise = 32473;
/// "1.3.6.1.4.1.32473.1.1.1.1.6.13.1.1"
std::string ProfileTableOid();
/// The OID of one cell: the column OID, then `instance` and `row`.
std::string ProfileCellOid(int column, int row, int instance = 1);

/// snmpd.conf lines ("override ...") that serve `rows`.
std::string ProfileTableOverrides(const std::vector<ProfileTableRow>& rows);
/// .snmprec lines (OID|tag|value, in OID order) that serve `rows`.
std::string ProfileTableSnmprec(const std::vector<ProfileTableRow>& rows);

/// The pass phrases of the SNMPv3 users of SnmpV3UserLines.
constexpr char kSnmpV3AuthPassPhrase[] = "pass phrase 1";
constexpr char kSnmpV3PrivPassPhrase[] = "pass phrase 2";
/// snmpd.conf lines: the engine ID 0x80001f8804 "zvtest" (Net-SNMP's
/// enterprise number, then the text) and three users, all with the pass
/// phrases above and read-only access at authPriv: U (SHA, AES), M (MD5,
/// DES) and S (SHA-512, AES-256).
std::string SnmpV3UserLines();

/// A child process serving SNMP on 127.0.0.1:port(). Stopped (SIGTERM,
/// then SIGKILL if it lingers) and its directory removed on destruction.
class SnmpAgent {
 public:
  ~SnmpAgent();
  SnmpAgent(const SnmpAgent&) = delete;
  SnmpAgent& operator=(const SnmpAgent&) = delete;

  int port() const { return port_; }
  /// "127.0.0.1:<port>", the address argument of a walk.
  std::string address() const;
  /// The agent's private directory (configuration, data, log).
  const std::string& directory() const { return directory_; }
  /// The agent's log (snmpd, snmpsimd) or standard error (responder).
  std::string Log() const;

  /// snmpd with a private configuration: the agent address, read-only
  /// `community`, and `config_lines` (for instance ProfileTableOverrides).
  /// Null, with `error` set, when it cannot be started or never answers.
  static std::unique_ptr<SnmpAgent> StartSnmpd(const std::string& config_lines,
                                               std::string* error,
                                               const std::string& community = "public");

  /// snmpsimd serving `snmprec` under `community`, with `extra_options`
  /// (for instance "--v2c-arch"). Drops to nobody/nogroup when run as root.
  static std::unique_ptr<SnmpAgent> StartSnmpsim(const std::string& snmprec, std::string* error,
                                                 const std::string& community = "public",
                                                 const std::vector<std::string>& extra_options = {});

  /// A program that binds its own port and prints it as the first line of
  /// its standard output (the scripted responder), run with `arguments`.
  static std::unique_ptr<SnmpAgent> StartPortPrinter(const std::string& program,
                                                     const std::vector<std::string>& arguments,
                                                     std::string* error);

 private:
  SnmpAgent() = default;
  void Stop();

  pid_t pid_ = -1;
  int port_ = 0;
  std::string directory_;
  std::string log_path_;
};

/// A UDP port on 127.0.0.1 that was free a moment ago, or 0.
int FreeUdpPort();

/// True once an agent at 127.0.0.1:port answers a GETNEXT (SNMPv2c with
/// `community`); polls at most `tries` times with a short timeout each.
bool WaitUntilAnswering(int port, const std::string& community, int tries = 60);

/// Points this process's Net-SNMP client at a private configuration
/// directory holding snmp.conf with "mibs :", "mibdirs :" and
/// `extra_lines`, and at a private persistent directory, through
/// SNMPCONFPATH and SNMP_PERSISTENT_DIR. Call before the first walk of the
/// process; only the first call has an effect. The directories live until
/// the process ends.
void UsePrivateSnmpClientConfig(const std::string& extra_lines = "");

/// A UDP socket on 127.0.0.1 that never answers: a walk to it waits for
/// its timeout. Counts the datagrams it received.
class SilentDevice {
 public:
  SilentDevice();
  ~SilentDevice();
  SilentDevice(const SilentDevice&) = delete;
  SilentDevice& operator=(const SilentDevice&) = delete;

  /// "127.0.0.1:PORT".
  std::string address() const;
  /// Datagrams received since the last call (or since construction).
  int DatagramsReceived() const;
  /// Waits up to `timeout_ms` for a datagram: true once one has come
  /// (those waiting are then counted as received).
  bool AwaitDatagram(int timeout_ms) const;

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace zvtest
