// SPDX-License-Identifier: MIT
// The options the service reads from a walk's arguments itself (MIBS, the
// address) are the ones the walk's own parser reads, for every form the
// options may take.
#include <gtest/gtest.h>
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <optional>
#include <string>
#include <vector>

#include "report/walk_options.h"
#include "support/snmp_agents.h"
#include "walk/walk_arguments.h"

namespace {

TEST(WalkOptionScanTest, TheServiceReadsTheAddressAndMibsAsTheParserDoes) {
  zvtest::UsePrivateSnmpClientConfig("defVersion 2c\ndefCommunity public\n");
  const struct {
    std::vector<std::string> arguments;
    std::optional<std::string> mibs;
    std::optional<std::string> address;
  } cases[] = {
      {{"-v", "2c", "-c", "public", "host", "1.3.6"}, std::nullopt, "host"},
      {{"-mIF-MIB", "host"}, "IF-MIB", "host"},
      {{"-m", "A", "-m", "B:/x/y.mib", "host"}, "B:/x/y.mib", "host"},
      {{"-dm", "IF-MIB", "host"}, "IF-MIB", "host"},
      {{"-Cim", "host"}, std::nullopt, "host"},             // -C takes "im"
      {{"-3u", "-m", "host2"}, std::nullopt, "host2"},      // -3u's value is "-m"... taken from the next argument
      {{"-Op", "-m", "x", "host"}, std::nullopt, "x"},      // -Op takes one more argument: "-m"
      {{"-Ih", "host"}, std::nullopt, "host"},
      {{"--", "-host"}, std::nullopt, "-host"},
      {{"host", "-m", "X"}, std::nullopt, "host"},          // options end at the address
      {{"-Y", "x", "host"}, std::nullopt, std::nullopt},     // refused: the scan stops
      {{"-m"}, std::nullopt, std::nullopt},                  // a value missing
  };
  for (const auto& c : cases) {
    std::vector<std::string> with_slot = {"walk"};
    with_slot.insert(with_slot.end(), c.arguments.begin(), c.arguments.end());
    const zv::WalkOptionScan scan = zv::ScanWalkOptions(with_slot);
    EXPECT_EQ(scan.mibs, c.mibs) << with_slot[1];
    EXPECT_EQ(scan.address, c.address) << with_slot[1];
    // The parser agrees on the address wherever it accepts the options.
    std::vector<char*> argv;
    for (std::string& argument : with_slot) argv.push_back(argument.data());
    argv.push_back(nullptr);
    netsnmp_session session;
    zv::WalkArgumentStorage storage{};
    const int parsed = zv::ParseWalkArguments(static_cast<int>(with_slot.size()), argv.data(), &session, &storage,
                                              zv::kWalkLocalOptionLetters, nullptr);
    if (parsed >= 0) {
      ASSERT_TRUE(scan.address.has_value()) << with_slot[1];
      EXPECT_EQ(std::string(session.peername), *scan.address) << with_slot[1];
    }
  }
}

}  // namespace
