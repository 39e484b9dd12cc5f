// SPDX-License-Identifier: MIT
// The walk's argument parser and option handler: result codes, session
// fields, settings toggles, and option scanning that starts afresh.
#include "walk/walk_arguments.h"

#include <gtest/gtest.h>
#include <net-snmp/net-snmp-includes.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

#include "report/debug_sink.h"
#include "report/walk_globals.h"
#include "support/snmp_agents.h"
#include "walk/walk_fixture.h"
#include "walk/walk_settings.h"

namespace {

// A writable argument vector with a program-name slot in front.
class Arguments {
 public:
  explicit Arguments(std::vector<std::string> arguments) : strings_{"walk"} {
    strings_.insert(strings_.end(), arguments.begin(), arguments.end());
    for (std::string& s : strings_) pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(strings_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};

std::vector<int> handled_options;

void RecordOption(int, char* const*, int option) { handled_options.push_back(option); }

class WalkArgumentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zvtest::UsePrivateSnmpClientConfig();  // no default version or community
    handled_options.clear();
    zvtest::ResetWalkSettings();
  }
  void TearDown() override { zvtest::ResetWalkSettings(); }

  int Parse(std::vector<std::string> arguments, zv::OptionHandler handler = RecordOption) {
    arguments_ = std::make_unique<Arguments>(std::move(arguments));
    return zv::ParseWalkArguments(arguments_->argc(), arguments_->argv(), &session_, &storage_, "C:",
                                  handler);
  }

  std::unique_ptr<Arguments> arguments_;
  netsnmp_session session_{};
  zv::WalkArgumentStorage storage_{};
};

// The parse returns the index after the address. Scanning stops there:
// what follows is the root and ignored arguments, never options, and the
// vector keeps its order.
TEST_F(WalkArgumentsTest, OptionsEndAtTheAddressWhoseIndexIsReturned) {
  EXPECT_EQ(Parse({"-v", "2c", "-c", "public", "127.0.0.1:1161"}), 6);
  EXPECT_STREQ(session_.peername, "127.0.0.1:1161");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(session_.community), session_.community_len), "public");
  ASSERT_EQ(Parse({"-v", "2c", "-c", "p", "host", "-v", "1", "-Ci"}), 6);
  EXPECT_EQ(session_.version, SNMP_VERSION_2c);
  EXPECT_STREQ(arguments_->argv()[6], "-v");
  EXPECT_TRUE(handled_options.empty());
  EXPECT_EQ(Parse({"-v", "1", "-c", "x", "host", "1.3.6.1.4", "ignored"}), 6);
  EXPECT_EQ(session_.version, SNMP_VERSION_1);
  EXPECT_EQ(Parse({"-v", "3", "host", "1.3.6.1.4.1", "-Q"}), 4);
  EXPECT_EQ(Parse({"host", "-v", "2c", "-c", "p"}), 2);
  EXPECT_EQ(session_.version, SNMP_VERSION_3);
}

TEST_F(WalkArgumentsTest, UsageErrors) {
  const std::string longest(zv::kMaxWalkArgumentBytes, 'h'), too_long = longest + "h";
  EXPECT_EQ(Parse({"-v", "3", longest}), 4);
  const std::vector<std::vector<std::string>> cases = {
      {},                                      // no address
      {"-v", "2c", "-c", "public"},            // no address
      {"-v", "9", "-c", "p", "host"},          // unknown version
      {"-v", "2", "-c", "p", "host"},
      {"-v", "2c", "host"},                    // no community anywhere
      {"-v", "1", "host"},
      {"-v", "3", "-r", "x", "host"},          // retries must start with a digit
      {"-v", "3", "-r", "-1", "host"},
      {"-v", "3", "-r", "99999999999", "host"},
      {"-v", "3", "-t", "abc", "host"},        // timeout: decimal seconds that wait at all
      {"-v", "3", "-t", "-2", "host"},
      {"-v", "3", "-t", "0", "host"},
      {"-v", "3", "-t", "0.0000004", "host"},  // rounds to no wait
      {"-v", "3", "-t", "1.5s", "host"},
      {"-v", "3", "-t", "1e3", "host"},
      {"-v", "3", "-t", ".", "host"},
      {"-v", "3", "-t", "9999999999", "host"},
      {"-v", "3", "-p", "161", "host"},        // no longer used
      {"-v", "3", "-T", "a=b", "host"},
      {"-v", "3", "-Q", "host"},               // unknown option
      {"-v"},                                  // missing argument
      {"-v", "3", "-Y", "defVersion 1", "host"},
      {"-v", "3", "--persistentDir=/", "host"},
      {"-v", "3", "-l", "bogus", "host"},
      {"-v", "3", "-a", "XYZ", "host"},
      {"-v", "3", "-x", "XYZ", "host"},
      {"-v", "3", "-e", "zz", "host"},
      {"-v", "3", "-e", "0x" + std::string(66, '1'), "host"},  // longer than 32 bytes
      {"-v", "3", "-Z", "1", "host"},
      {"-v", "3", "-3Q", "x", "host"},
      {"-v", "3", "-O", "!", "host"},
      {"-v", "3", too_long},                   // values and addresses past the longest
      {"-v", "2c", "-c", too_long, "host"},
      {"-v", "3", "-m", too_long, "host"},
      {"-v", "3", "-IS", too_long, "host"},
      {"-v", "3", "-3u", too_long, "host"},
      {"-v", "3", "-A", "7 bytes", "host"},    // no key is made of fewer than 8
      {"-v", "3", "-3X", "7 bytes", "host"},
      {"-v", "3", "-3m", "0x12zz", "host"},    // keys are hex of at most 64 bytes
      {"-v", "3", "-3M", "0x" + std::string(130, 'a'), "host"},
      {"-v", "3", "-3k", "0x" + std::string(130, 'a'), "host"},
      {"-v", "3", "-3K", "", "host"},
  };
  for (const auto& arguments : cases) {
    std::string text;
    for (const std::string& a : arguments) text += a + " ";
    EXPECT_EQ(Parse(arguments), zv::kParseUsageError) << text;
  }
}

// Every option that takes a value, given as the last argument without it;
// and the -O and -I letters that take the next argument when nothing
// follows them in their own.
TEST_F(WalkArgumentsTest, MissingOptionValuesAreUsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {"-Is"}, {"-IS"}, {"-Op"}, {"-Oqp"}, {"-I", "s"}, {"-O", "p"}, {"-Ihs"}, {"-3u"}, {"-3A"}, {"-3m"},
      {"-Y"}, {"-m"}, {"-M"}, {"-O"}, {"-I"}, {"-P"}, {"-D"}, {"-v"}, {"-r"}, {"-t"}, {"-c"}, {"-Z"},
      {"-e"}, {"-E"}, {"-n"}, {"-u"}, {"-l"}, {"-x"}, {"-X"}, {"-a"}, {"-A"}, {"-T"}, {"-3"}, {"-L"},
      {"-C"},
  };
  for (const auto& missing : cases) {
    std::vector<std::string> arguments = {"-v", "3"};
    arguments.insert(arguments.end(), missing.begin(), missing.end());
    EXPECT_EQ(Parse(arguments), zv::kParseUsageError) << missing.back();
  }
}

TEST_F(WalkArgumentsTest, ConfigurationHelpEndsWithNothingToWalk) {
  EXPECT_EQ(Parse({"-H"}), zv::kParseNothingToWalk);
}

// ---- SNMPv3 keys ---------------------------------------------------------------

// `length` bytes at `bytes` in hex; "(null)" for bytes that are not there.
std::string Hex(const u_char* bytes, std::size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  if (bytes == nullptr) return length == 0 ? "" : "(null)";
  std::string hex;
  for (std::size_t i = 0; i < length; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0xF];
  }
  return hex;
}

// The keys of the pass phrase "maplesyrup" (RFC 3414, A.3).
constexpr char kMapleMd5Key[] = "9faf3283884e92834ebc9847d8edd963";
constexpr char kMapleShaKey[] = "9fb5cc0381497b3793528939ff788d5d79145211";

// A pass phrase becomes a key by the authentication protocol, the privacy
// key too; without -a by the library's default. Hex keys are taken as
// they are, in every -3 form; localised keys stay in the parse's storage.
TEST_F(WalkArgumentsTest, PassPhrasesAndHexKeysFillTheSessionKeys) {
  std::size_t default_length = 0;
  const oid* default_protocol = get_default_authtype(&default_length);
  const bool md5_by_default = snmp_oid_compare(default_protocol, default_length, usmHMACMD5AuthProtocol,
                                               USM_AUTH_PROTO_MD5_LEN) == 0;
  struct Case {
    std::vector<std::string> options;
    std::string auth_key, priv_key, auth_localised_key, priv_localised_key;
  };
  const Case cases[] = {
      {{"-a", "MD5", "-A", "maplesyrup"}, kMapleMd5Key, "", "", ""},
      {{"-a", "SHA", "-A", "maplesyrup", "-X", "maplesyrup"}, kMapleShaKey, kMapleShaKey, "", ""},
      {{"-3a=SHA", "-3X", "maplesyrup"}, "", kMapleShaKey, "", ""},
      {{"-A", "maplesyrup"}, md5_by_default ? kMapleMd5Key : kMapleShaKey, "", "", ""},
      {{"-3m", "0x0102030405", "-3M0A0B0C0D"}, "0102030405", "0a0b0c0d", "", ""},
      {{"-3m=0xff", "-3A", "maplesyrup", "-a", "SHA"}, kMapleShaKey, "", "", ""},  // the pass phrase wins
      {{"-3k", "0x" + std::string(128, 'e'), "-3K=0x0102"}, "", "", std::string(128, 'e'), "0102"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.front() + " " + c.options.back());
    std::vector<std::string> arguments = {"-v", "3", "-u", "alice"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    arguments.push_back("host");
    ASSERT_EQ(Parse(arguments), static_cast<int>(arguments.size()) + 1);
    EXPECT_EQ(Hex(session_.securityAuthKey, session_.securityAuthKeyLen), c.auth_key);
    EXPECT_EQ(Hex(session_.securityPrivKey, session_.securityPrivKeyLen), c.priv_key);
    EXPECT_EQ(Hex(session_.securityAuthLocalKey, session_.securityAuthLocalKeyLen), c.auth_localised_key);
    EXPECT_EQ(Hex(session_.securityPrivLocalKey, session_.securityPrivLocalKeyLen), c.priv_localised_key);
    if (!c.auth_localised_key.empty()) {
      EXPECT_EQ(session_.securityAuthLocalKey, storage_.auth_localised_key);
      EXPECT_EQ(session_.securityPrivLocalKey, storage_.priv_localised_key);
    }
  }
}

std::vector<std::string> notes_seen;

void RecordNote(zv::WalkNote, std::string_view text) { notes_seen.emplace_back(text); }

// Whatever the parse's outcome, the texts of pass phrases and keys are
// gone from the argument vector, and no diagnostic repeats them.
TEST_F(WalkArgumentsTest, PassPhrasesAndKeysLeaveTheVectorAndNoDiagnosticHoldsThem) {
  const std::string phrase = "Secret-Phrase", key = "0x5ec7e7", long_key = "0x" + std::string(130, 'b');
  struct Case { std::vector<std::string> arguments; bool parses; std::string secret; };
  const Case cases[] = {
      {{"-A", phrase, "-X", phrase, "host"}, true, phrase},
      {{"-A" + phrase, "-3X=" + phrase, "host"}, true, phrase},
      {{"-3X", phrase, "-3A", phrase, "-Q", "host"}, false, phrase},
      {{"-A", "S3cret!", "host"}, false, "S3cret!"},          // too short for a key
      {{"-3m", key, "-3M=" + key, "-3k" + key, "-3K", key, "host"}, true, key},
      {{"-3m", "0x5ec7e7zz", "host"}, false, "5ec7e7"},      // not hex
      {{"-3K", long_key, "host"}, false, std::string(130, 'b')},
      {{"-A", phrase + std::string(zv::kMaxWalkArgumentBytes, 'x'), "host"}, false, phrase},  // past the bound
      {{"-3X", phrase + std::string(zv::kMaxWalkArgumentBytes, 'x'), "host"}, false, phrase},
  };
  zv::SetWalkNoteSink(RecordNote);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    notes_seen.clear();
    std::vector<std::string> arguments = {"-v", "3", "-u", "alice"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    EXPECT_EQ(Parse(arguments), c.parses ? static_cast<int>(arguments.size()) + 1 : zv::kParseUsageError);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      // The whole argument as given, past any zero bytes written into it
      // (scanning stops at the address, so nothing was moved).
      const std::string_view given(arguments_->argv()[i + 1], arguments[i].size());
      EXPECT_EQ(given.find(c.secret), std::string_view::npos) << arguments[i];
    }
    if (!c.parses) {
      EXPECT_FALSE(notes_seen.empty());  // the failure was reported
    }
    for (const std::string& note : notes_seen) EXPECT_EQ(note.find(c.secret), std::string::npos) << note;
    EXPECT_EQ(std::string(sDEBUGmsg).find(c.secret), std::string::npos);
  }
  zv::SetWalkNoteSink(nullptr);
}

// The localised keys the session pointed to go with the parse's storage.
TEST_F(WalkArgumentsTest, LocalisedKeysAreWipedWithTheirStorage) {
  alignas(zv::WalkArgumentStorage) unsigned char memory[sizeof(zv::WalkArgumentStorage)];
  auto* storage = new (memory) zv::WalkArgumentStorage{};
  Arguments arguments({"-v", "3", "-3k", "0x" + std::string(128, 'a'), "-3K", "0x" + std::string(64, 'b'), "h"});
  ASSERT_EQ(zv::ParseWalkArguments(arguments.argc(), arguments.argv(), &session_, storage, "C:", optProc), 8);
  ASSERT_EQ(session_.securityAuthLocalKey, storage->auth_localised_key);
  storage->~WalkArgumentStorage();
  const std::string_view bytes(reinterpret_cast<const char*>(memory), sizeof memory);
  EXPECT_EQ(bytes.find('\xaa'), std::string_view::npos);
  EXPECT_EQ(bytes.find('\xbb'), std::string_view::npos);
}

TEST_F(WalkArgumentsTest, UnhandledLettersReachTheOptionHandler) {
  EXPECT_EQ(Parse({"-V", "-h", "-Cx", "-v", "3", "host"}), 7);
  EXPECT_EQ(handled_options, (std::vector<int>{'V', 'h', 'C'}));
}

TEST_F(WalkArgumentsTest, RetriesAndTimeoutsInSecondsWithAFraction) {
  ASSERT_EQ(Parse({"-v", "3", "host"}), 4);
  EXPECT_EQ(session_.retries, SNMP_DEFAULT_RETRIES);
  EXPECT_EQ(session_.timeout, SNMP_DEFAULT_TIMEOUT);
  ASSERT_EQ(Parse({"-v", "3", "-r", "0", "-t", "2", "host"}), 8);
  EXPECT_EQ(session_.retries, 0);
  EXPECT_EQ(session_.timeout, 2000000);
  for (const auto& [text, microseconds] : {std::pair{"1.9", 1900000L}, {"0.5", 500000L}, {".25", 250000L},
                                             {"3.", 3000000L}, {"0.0000006", 1L}}) {
    ASSERT_EQ(Parse({"-v", "3", "-t", text, "host"}), 6) << text;
    EXPECT_EQ(session_.timeout, microseconds) << text;
  }
}

TEST_F(WalkArgumentsTest, SecurityOptionsFillTheSession) {
  ASSERT_EQ(Parse({"-v", "3", "-u", "alice", "-l", "authPriv", "-a", "SHA", "-x", "AES", "-n", "ctx",
                   "-e", "0x8000000201", "-3E", "0102", "-Z", "3,400", "-Le", "-D", "all", "-d", "-On",
                   "host"}),
            25);
  EXPECT_STREQ(session_.securityName, "alice");
  EXPECT_EQ(session_.securityLevel, SNMP_SEC_LEVEL_AUTHPRIV);
  EXPECT_NE(session_.securityAuthProto, nullptr);
  EXPECT_NE(session_.securityPrivProto, nullptr);
  EXPECT_STREQ(session_.contextName, "ctx");
  ASSERT_EQ(session_.securityEngineIDLen, 5u);
  EXPECT_EQ(session_.securityEngineID[0], 0x80);
  ASSERT_EQ(session_.contextEngineIDLen, 2u);
  EXPECT_EQ(session_.contextEngineID[1], 0x02);
  EXPECT_EQ(session_.engineBoots, 3u);
  EXPECT_EQ(session_.engineTime, 400u);
  // The output option stays in force for the process: put it back.
  netsnmp_ds_set_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OID_OUTPUT_FORMAT, 0);
}

// A parse that stopped inside an option cluster must not leave the next
// parse reading the rest of that cluster from the old vector.
TEST_F(WalkArgumentsTest, ScanningStartsAfreshAtEveryCall) {
  EXPECT_EQ(Parse({"-pv", "1", "host"}), zv::kParseUsageError);
  EXPECT_EQ(Parse({"-c", "public", "-v", "2c", "host"}), 6);
  EXPECT_EQ(session_.version, SNMP_VERSION_2c);
  EXPECT_EQ(Parse({"-Cx", "-v"}), zv::kParseUsageError);
  EXPECT_EQ(Parse({"-v", "1", "-c", "c", "host"}), 6);
}

TEST_F(WalkArgumentsTest, NullEntryOrNoArgumentsAreUsageErrors) {
  netsnmp_session session{};
  char program[] = "walk";
  char* with_null[] = {program, nullptr, nullptr};
  EXPECT_EQ(zv::ParseWalkArguments(2, with_null, &session, &storage_, "C:", optProc), zv::kParseUsageError);
  EXPECT_EQ(zv::ParseWalkArguments(0, with_null, &session, &storage_, "C:", optProc), zv::kParseUsageError);
}

// ---- The root OID ------------------------------------------------------------

// The root is a plain OID whatever the lookup options say, and never a
// pattern: the library's parser falls back to a pattern search when nothing
// else reads the text, and as a pattern these take minutes and gigabytes to
// compile.
TEST_F(WalkArgumentsTest, RootParsesAsPlainOidNeverAsAPattern) {
  oid ids[MAX_OID_LEN];
  std::size_t length = 0;
  for (const bool lookup_options : {false, true}) {
    SCOPED_TRACE(lookup_options ? "regex and best-match lookup on" : "no lookup options");
    ASSERT_EQ(Parse(lookup_options ? std::vector<std::string>{"-Ib", "-IR", "-v", "3", "host"}
                                   : std::vector<std::string>{"-v", "3", "host"}),
              lookup_options ? 6 : 4);
    ASSERT_TRUE(zv::ParseWalkRoot("1.3.6.1.4.1.32473", ids, &length));
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(ids[6], 32473u);
    EXPECT_TRUE(zv::ParseWalkRoot(".iso.3.6.1", ids, &length));
    EXPECT_EQ(length, 4u);
    EXPECT_FALSE(zv::ParseWalkRoot(("S" + std::string(40, '+') + "noIAI").c_str(), ids, &length));
    EXPECT_FALSE(zv::ParseWalkRoot("sys.*", ids, &length));
  }
  ASSERT_EQ(Parse({"-Ib", "-IR", "-v", "3", "host"}), 6);  // toggled off again
}

// Quoted parts must be closed; the root holds at most MAX_OID_LEN
// sub-identifiers of 32 bits, in at most the longest argument.
TEST_F(WalkArgumentsTest, RootsWithQuotedPartsAndTheirLengthBound) {
  ASSERT_EQ(Parse({"-v", "3", "host"}), 4);
  std::string longest_oid = "1";
  for (int id = 1; id < MAX_OID_LEN; ++id) longest_oid += ".4294967295";
  ASSERT_LE(longest_oid.size(), zv::kMaxWalkArgumentBytes);
  struct Case { std::string root; bool parses; };
  const Case cases[] = {
      {"1.3.6.\"ab\"", true}, {"1.3.'a'.4", true}, {"1.3.\"a'b\"", true},
      {"1.3.6.\"ab", false}, {"\"7p", false}, {"1.3.'a", false}, {"1.3.\"a\".'", false},
      {longest_oid, true}, {"." + std::string(zv::kMaxWalkArgumentBytes, '0') + "1.3", false},
      {"1.3.6.4294967296", false},
  };
  for (const Case& c : cases) {
    oid ids[MAX_OID_LEN];
    std::size_t length = 0;
    EXPECT_EQ(zv::ParseWalkRoot(c.root.c_str(), ids, &length), c.parses) << c.root;
    if (c.root == longest_oid) {
      EXPECT_EQ(length, static_cast<std::size_t>(MAX_OID_LEN));
    }
  }
}

TEST_F(WalkArgumentsTest, RootTakesThePrefixAndSuffixOptions) {
  ASSERT_EQ(Parse({"-IS", "1.3.6", "-Is", "9", "-v", "3", "host"}), 8);
  oid ids[MAX_OID_LEN];
  std::size_t length = 0;
  ASSERT_TRUE(zv::ParseWalkRoot(".1.4", ids, &length));
  const std::vector<oid> expected = {1, 3, 6, 1, 4, 9};
  EXPECT_EQ(std::vector<oid>(ids, ids + length), expected);
  netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OIDPREFIX, nullptr);
  netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OIDSUFFIX, nullptr);
}

// ---- The option handler ------------------------------------------------------

// The -C letters toggle settings that persist across parses; "-C r" holds
// for the walk being parsed only: it is read, not toggled. Letters of no
// setting change none.
TEST_F(WalkArgumentsTest, CLettersToggleTheirSettingsAndCrAsksThisWalkForRepetitions) {
  struct Case {
    std::vector<std::string> options;
    int repetitions;
    bool include_requested, print_statistics, dont_check_ordering;
    const char* message = nullptr;  // the debug message, when one is due
  };
  const Case cases[] = {
      {{"-Ci", "-Cpc"}, 0, true, true, true},
      {{"-Cii"}, 0, false, false, false},
      {{"-Cxi"}, 0, true, false, false, "Unknown flag passed to -C: x\n"},
      {{"-V", "-h"}, 0, false, false, false},
      {{"-Cr25"}, 25, false, false, false},
      {{"-Cr"}, zv::kBulkRepetitionsWithoutNumber, false, false, false},
      {{"-Cri"}, zv::kBulkRepetitionsWithoutNumber, true, false, false},
      {{"-Ci5r7i"}, 7, false, false, false},  // the digits belong to r only; "5" is an unknown letter
      {{"-Cr25", "-Cr3"}, 3, false, false, false},
      {{"-Crr"}, zv::kBulkRepetitionsWithoutNumber, false, false, false},
      {{"-Cr100"}, 100, false, false, false},
      {{"-Cr101"}, zv::kMaxBulkRepetitions, false, false, false, "-C r: repetitions from 1 to 100; using 100"},
      {{"-Cr99999999999999999999999"}, zv::kMaxBulkRepetitions, false, false, false},
      {{"-Cr0"}, 1, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.front());
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.end(), {"-v", "3", "host"});
    ASSERT_EQ(Parse(arguments, optProc), static_cast<int>(arguments.size()) + 1);
    EXPECT_EQ(storage_.bulk_repetitions, c.repetitions);
    EXPECT_EQ(zv::WalkSettingOn(zv::WalkSetting::kIncludeRequested), c.include_requested);
    EXPECT_EQ(zv::WalkSettingOn(zv::WalkSetting::kPrintStatistics), c.print_statistics);
    EXPECT_EQ(zv::WalkSettingOn(zv::WalkSetting::kDontCheckOrdering), c.dont_check_ordering);
    if (c.message != nullptr) {
      EXPECT_STREQ(sDEBUGmsg, c.message);
    }
    zvtest::ResetWalkSettings();
  }
  // A setting stays for the next parse; its letter again turns it off.
  ASSERT_EQ(Parse({"-Ci", "-Cc", "-v", "3", "host"}, optProc), 6);
  ASSERT_EQ(Parse({"-Cc", "-v", "3", "host"}, optProc), 5);
  EXPECT_FALSE(zv::WalkSettingOn(zv::WalkSetting::kDontCheckOrdering));
  EXPECT_TRUE(zv::WalkSettingOn(zv::WalkSetting::kIncludeRequested));
}

}  // namespace
