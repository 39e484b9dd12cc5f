// SPDX-License-Identifier: MIT
// SNMPv3 walks with keys against snmpd on 127.0.0.1: keys made of pass
// phrases, given in hex or made of snmp.conf's pass phrases walk the
// table; a wrong pass phrase or an unknown user ends the walk with 1 and
// its reason. A test program of its own, since its snmp.conf holds SNMPv3
// defaults.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "report/debug_sink.h"
#include "report/walk_globals.h"
#include "support/snmp_agents.h"
#include "support/temp_dir.h"
#include "walk/walk_fixture.h"

namespace {

using zvtest::kSnmpV3AuthPassPhrase;
using zvtest::kSnmpV3PrivPassPhrase;
using zvtest::SnmpAgent;

const std::vector<zvtest::ProfileTableRow> kTable = {
    {1, 11, 4, "Office RGB", "OFFICE.ICC", 1, 1},
    {2, 12, 5, "Proof", "PROOF.ICC", 3, 1},
    {3, 13, 7, "Other source", "OTHER.ICC", 2, 0},
};

// User U's keys of the two pass phrases (SHA-1): the master key is SHA-1
// over the pass phrase repeated to 1 MiB, the localised key SHA-1 over the
// master key, the engine ID 80001f88047a7674657374 and the master key.
constexpr char kAuthMasterKey[] = "0x7eb61750625db225a362e68043e80c408a4a65a6";
constexpr char kPrivMasterKey[] = "0xf383ab6542aea15c425030df491e21a364b2753b";
constexpr char kAuthLocalisedKey[] = "0xc9b72e861910a31a8b46d1f10894f69b9660d647";
constexpr char kPrivLocalisedKey[] = "0x90156e9d411e725725a87fa5876bec0261c9975e";

// The pass phrases of user C, whom snmp.conf names with them: the walks
// of the other users fail should the library take these instead of theirs.
constexpr char kConfAuthPassPhrase[] = "snmp.conf pass phrase 1";
constexpr char kConfPrivPassPhrase[] = "snmp.conf pass phrase 2";

constexpr char kAuthenticationFailed[] = "authentication failed with -a SHA (check the user, the pass phrases and the protocol)";

std::vector<std::string> reasons;

void RecordReason(zv::WalkNote note, std::string_view text) {
  if (note == zv::WalkNote::kReason) reasons.emplace_back(text);
}

// User U at authPriv with `auth` and `priv` as pass phrases.
std::vector<std::string> UserU(const std::string& auth, const std::string& priv) {
  return {"-u", "U", "-l", "authPriv", "-a", "SHA", "-A", auth, "-x", "AES", "-X", priv};
}

class SnmpV3WalkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    zvtest::UsePrivateSnmpClientConfig(std::string("defSecurityName C\ndefSecurityLevel authPriv\n") +
                                       "defAuthType SHA\ndefPrivType AES\n" + "defAuthPassphrase \"" +
                                       kConfAuthPassPhrase + "\"\ndefPrivPassphrase \"" + kConfPrivPassPhrase +
                                       "\"\n");
    const std::string user_c = std::string("createUser C SHA \"") + kConfAuthPassPhrase + "\" AES \"" +
                               kConfPrivPassPhrase + "\"\nrouser C priv\n";
    std::string error;
    snmpd_ = SnmpAgent::StartSnmpd(zvtest::SnmpV3UserLines() + user_c + zvtest::ProfileTableOverrides(kTable),
                                   &error);
    ASSERT_NE(snmpd_, nullptr) << error;
  }
  static void TearDownTestSuite() { snmpd_.reset(); }

  void SetUp() override {
    ASSERT_NE(snmpd_, nullptr);
    plist_ = std::make_unique<zvtest::CurrentPlist>(dir_.File("u-m-profile.plist"));
    reasons.clear();
    zv::SetWalkNoteSink(RecordReason);
  }
  void TearDown() override { zv::SetWalkNoteSink(nullptr); }

  // An SNMPv3 walk of the profile table with `options` (at `address`,
  // else snmpd's), from a list whose merge tells the walk's result.
  int WalkTable(std::vector<std::string> options, const std::string& address = "") {
    EXPECT_TRUE(plist_->SeedMergeProbe());
    reasons.clear();
    options.insert(options.begin(), {"-v", "3"});
    options.insert(options.end(), {address.empty() ? snmpd_->address() : address, zvtest::ProfileTableOid()});
    return zvtest::Walk(options);
  }

  static std::unique_ptr<SnmpAgent> snmpd_;
  zvtest::TempDir dir_;
  std::unique_ptr<zvtest::CurrentPlist> plist_;
};

std::unique_ptr<SnmpAgent> SnmpV3WalkTest::snmpd_;

// Each walk of user U brings its own keys: a walk after another of the
// same user and device must not walk with the keys of the one before.
TEST_F(SnmpV3WalkTest, KeysFromTheArgumentsWalkTheTable) {
  const std::vector<std::vector<std::string>> cases = {
      UserU(kSnmpV3AuthPassPhrase, kSnmpV3PrivPassPhrase),
      {"-u", "M", "-l", "authPriv", "-a", "MD5", "-A", kSnmpV3AuthPassPhrase, "-x", "DES", "-X",
       kSnmpV3PrivPassPhrase},
      {"-u", "S", "-l", "authPriv", "-a", "SHA-512", "-3A", kSnmpV3AuthPassPhrase, "-x", "AES-256",
       std::string("-3X=") + kSnmpV3PrivPassPhrase},
      {"-u", "U", "-l", "authPriv", "-a", "SHA", "-x", "AES", "-3m", kAuthMasterKey, "-3M", kPrivMasterKey},
      {"-u", "U", "-l", "authPriv", "-a", "SHA", "-x", "AES", "-3k", kAuthLocalisedKey, "-3K", kPrivLocalisedKey},
  };
  for (const auto& options : cases) {
    SCOPED_TRACE(options[1] + " " + options[9]);
    EXPECT_EQ(WalkTable(options), 0);
    EXPECT_EQ(PlistForSpool.iNum, 3);
    EXPECT_EQ(plist_->MergeToldResult(), 0);
    EXPECT_TRUE(reasons.empty()) << reasons.front();
  }
}

TEST_F(SnmpV3WalkTest, SnmpConfUserAndPassPhrasesWalkTheTable) {
  EXPECT_EQ(WalkTable({}), 0);
  EXPECT_EQ(PlistForSpool.iNum, 3);
  EXPECT_EQ(plist_->MergeToldResult(), 0);
}

// The device reports a wrong authentication key and an unknown user; a
// request it cannot decrypt it drops without a word, which only a device
// that answered the engine discovery is suspected of.
TEST_F(SnmpV3WalkTest, WrongPassPhrasesAndUnknownUsersEndWithOneAndTheirReason) {
  std::vector<std::string> stranger = UserU(kSnmpV3AuthPassPhrase, kSnmpV3PrivPassPhrase);
  stranger[1] = "stranger";
  const zvtest::SilentDevice silent;
  struct Case {
    std::vector<std::string> options;
    int result;
    std::vector<std::string> reasons;
    std::string address;  // "": snmpd
  };
  const Case cases[] = {
      {UserU(kSnmpV3AuthPassPhrase, kSnmpV3PrivPassPhrase), 0, {}, ""},  // user U made with the right keys
      {UserU("wrong phrase 1", kSnmpV3PrivPassPhrase), 1, {kAuthenticationFailed}, ""},
      {stranger, 1, {kAuthenticationFailed}, ""},
      {UserU(kSnmpV3AuthPassPhrase, "wrong phrase 2"), 1,
       {"ADDRESS did not answer within 1 s (3 retries) after its SNMPv3 engine discovery (check the "
        "privacy pass phrase: a device drops what it cannot decrypt)"},
       ""},
      {UserU(kSnmpV3AuthPassPhrase, kSnmpV3PrivPassPhrase), 1,
       {"ADDRESS did not answer within 1 s (3 retries)"}, silent.address()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[1] + " " + c.options[7] + " " + c.options[11] + " " + c.address);
    EXPECT_EQ(WalkTable(c.options, c.address), c.result);
    std::vector<std::string> expected = c.reasons;
    for (std::string& reason : expected) {
      if (reason.rfind("ADDRESS", 0) == 0) reason.replace(0, 7, c.address.empty() ? snmpd_->address() : c.address);
    }
    EXPECT_EQ(reasons, expected);
    EXPECT_EQ(plist_->MergeToldResult(), c.result);
  }
}

}  // namespace
