// SPDX-License-Identifier: MIT
// The real zvxpcd set up for walk requests: a socket, a preferences
// directory and a log file of its own in a temporary directory, and the
// private Net-SNMP client configuration (no MIBs, a private persistent
// directory) in its environment. Also the printers the tests walk and a
// reader of the profile lists the walks leave behind.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service_process.h"
#include "support/snmp_agents.h"
#include "support/temp_dir.h"

namespace zvtest {

/// The profile table of printer A (served by snmpd in most tests): two
/// RGB profiles and one of class 3, source types 4 and 5.
const std::vector<ProfileTableRow>& PrinterATable();
/// The profile table of printer B: other names, the same classes.
const std::vector<ProfileTableRow>& PrinterBTable();

/// The used slots of one profile list, each as "FILENAME LOCATION INMENU"
/// (for instance "OFFICE.ICC 4 2"), in slot order.
using SlotSummary = std::vector<std::string>;

/// The three lists of one profile property list as the store reads them.
struct StoredProfiles {
  bool read = false;  // false: the store could not read the file
  SlotSummary rgb, sim, dst;
};

/// Reads the profile property list at `path` with the store.
StoredProfiles ReadStoredProfiles(const std::string& path);

/// A walk request text: MODEL ":ModelName:END" USER ":USErName:END", the
/// program-name slot, then each of `arguments` followed by ":arg:".
std::string WalkRequestText(const std::string& model, const std::string& user,
                            const std::vector<std::string>& arguments);

/// snmpwalk-style arguments for an SNMPv2c walk of the profile table at
/// `address`.
std::vector<std::string> TableWalkArguments(const std::string& address);

/// Sends one walk request on a fresh connection through libzvxpc; the
/// outcome as CallOnce gives it.
std::string SendWalkRequest(const std::string& socket_path, const std::optional<std::string>& text);

/// Fixture: zvxpcd for walks, started by StartService.
class WalkServiceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// Starts zvxpcd with --log-file, `extra` options and, unless
  /// `default_directory`, with --preferences-dir preferences_dir().
  void StartService(bool default_directory = false, const std::vector<std::string>& extra = {});

  /// One walk request on a fresh connection; the reply text.
  std::string Walk(const std::string& model, const std::string& user, const std::vector<std::string>& arguments);

  /// The preferences directory, ending in a slash.
  const std::string& preferences_dir() const { return preferences_dir_; }
  /// The current profile property list of `user` and `model`.
  std::string CurrentPlist(const std::string& user, const std::string& model) const;
  /// Names in the preferences directory, sorted.
  std::vector<std::string> PreferencesEntries() const;
  /// The lines of the service's log file.
  std::vector<std::string> LogLines() const;
  const std::string& socket_path() const { return service_->socket_path(); }
  /// The service's standard error, for failure messages.
  std::string ServiceStderr() const;

  TempDir dir_;
  std::string preferences_dir_;
  std::unique_ptr<ServiceProcess> service_;
};

/// Fixture: WalkServiceTest with printer A, served by snmpd for the whole
/// test suite. SetUp fails the test when printer A did not start.
class PrinterAWalkTest : public WalkServiceTest {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;

  static std::unique_ptr<SnmpAgent> printer_;
};

}  // namespace zvtest
