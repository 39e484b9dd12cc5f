// SPDX-License-Identifier: MIT
// Where a walk request through the real zvxpcd leaves its profile list:
// user first and model second, names unchanged (empty and UTF-8 ones too),
// and the limits that the path buffers and the argument vector set. A
// request beyond a limit is refused with iRet=-1 and writes nothing.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "walk_service.h"

namespace {

using zvtest::ReadStoredProfiles;
using zvtest::SlotSummary;
using zvtest::SnmpAgent;
using zvtest::StoredProfiles;

// Longest spool path: its buffer of 256 bytes less the terminating zero.
constexpr std::size_t kMaxSpoolPathBytes = 255;
constexpr const char* kSpoolFixedText = "--profile.spool.plist";  // two hyphens and the suffix
constexpr std::size_t kArgumentSlots = 512;

class WalkPathsTest : public zvtest::PrinterAWalkTest {
 protected:
  std::vector<std::string> TableWalk() const { return zvtest::TableWalkArguments(printer_->address()); }

  // Expects the current list of `user` and `model` to hold printer A's rows.
  void ExpectPrinterARows(const std::string& user, const std::string& model) {
    const StoredProfiles stored = ReadStoredProfiles(CurrentPlist(user, model));
    ASSERT_TRUE(stored.read) << CurrentPlist(user, model);
    EXPECT_EQ(stored.rgb, (SlotSummary{"OFFICE.ICC 4 2", "PHOTO.ICC 4 2"}));
    EXPECT_EQ(stored.sim, SlotSummary{"PROOF.ICC 5 2"});
    EXPECT_EQ(stored.dst, SlotSummary{"PROOF.ICC 5 2"});
  }

  // Bytes the user and model names may hold together under the
  // preferences directory: the spool path has the most fixed text.
  std::size_t NameBudget() const {
    return kMaxSpoolPathBytes - preferences_dir().size() - std::strlen(kSpoolFixedText);
  }
};

TEST_F(WalkPathsTest, UserFirstModelSecondAndOnlyTheCurrentListIsWritten) {
  StartService();
  ASSERT_EQ(Walk("PX-100", "alice", TableWalk()), "iRet=0") << ServiceStderr();
  ExpectPrinterARows("alice", "PX-100");
  // The walk reads and writes the current list only; the previous and the
  // spool list are not made.
  EXPECT_EQ(PreferencesEntries(), std::vector<std::string>{"alice-PX-100-profile.plist"});
  struct stat st;
  ASSERT_EQ(::stat(CurrentPlist("alice", "PX-100").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0664u);  // 0664 less the mask of 002
}

TEST_F(WalkPathsTest, EmptyAndUtf8NamesGoInUnchanged) {
  StartService();
  ASSERT_EQ(Walk("", "", TableWalk()), "iRet=0");
  ExpectPrinterARows("", "");
  EXPECT_TRUE(zvtest::Exists(preferences_dir() + "--profile.plist"));

  const std::string user = "J\xC3\xBCrgen M\xC3\xBCller";  // "Jürgen Müller"
  const std::string model = "PX \xE2\x80\x93 200";           // "PX – 200"
  ASSERT_EQ(Walk(model, user, TableWalk()), "iRet=0");
  ExpectPrinterARows(user, model);
  EXPECT_EQ(PreferencesEntries(), (std::vector<std::string>{"--profile.plist", user + "-" + model + "-profile.plist"}));
}

TEST_F(WalkPathsTest, LongestNamesThatFitAreWalkedOneByteMoreIsRefused) {
  StartService();
  const std::size_t budget = NameBudget();
  // The whole budget in the user name, then in the model name.
  const std::string long_user(budget - 1, 'u'), long_model(budget - 1, 'm');
  ASSERT_EQ(Walk("M", long_user, TableWalk()), "iRet=0");
  ExpectPrinterARows(long_user, "M");
  ASSERT_EQ(Walk(long_model, "U", TableWalk()), "iRet=0");
  ExpectPrinterARows("U", long_model);
  const std::vector<std::string> written = PreferencesEntries();
  ASSERT_EQ(written.size(), 2u);

  EXPECT_EQ(Walk("M", long_user + "u", TableWalk()), "iRet=-1");
  EXPECT_EQ(Walk(long_model + "m", "U", TableWalk()), "iRet=-1");
  EXPECT_EQ(Walk(std::string(budget / 2 + 1, 'm'), std::string(budget - budget / 2, 'u'), TableWalk()), "iRet=-1");
  EXPECT_EQ(PreferencesEntries(), written);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"xpc - mibwalk_XPC - iRet=0", "xpc - mibwalk_XPC - iRet=0",
                                                  "xpc - mibwalk_XPC - iRet=-1", "xpc - mibwalk_XPC - iRet=-1",
                                                  "xpc - mibwalk_XPC - iRet=-1"}));
}

TEST_F(WalkPathsTest, At512ArgumentsTheWalkRunsAt513ItIsRefused) {
  StartService();
  // Arguments after the root are ignored by the walk; they fill the vector
  // (its first entry is the program-name slot).
  std::vector<std::string> arguments = TableWalk();
  arguments.resize(kArgumentSlots - 1, "ignored");
  ASSERT_EQ(Walk("PX-100", "alice", arguments), "iRet=0");
  ExpectPrinterARows("alice", "PX-100");

  arguments.push_back("ignored");
  EXPECT_EQ(Walk("PX-100", "bob", arguments), "iRet=-1");
  EXPECT_EQ(PreferencesEntries(), std::vector<std::string>{"alice-PX-100-profile.plist"});
}

TEST_F(WalkPathsTest, RequestsThatCannotBeCutAreRefusedAndTheServiceStaysUp) {
  StartService();
  // A request without its text object, and one whose markers are swapped;
  // the other texts the decoding refuses are tested where it is done.
  const std::optional<std::string> refused[] = {
      std::nullopt,
      std::string("alice:USErName:ENDPX-100:ModelName:ENDe2e:arg:"),
  };
  for (const auto& text : refused) EXPECT_EQ(WalkText(text), "iRet=-1");
  EXPECT_TRUE(PreferencesEntries().empty());
  EXPECT_EQ(LogLines(), std::vector<std::string>(std::size(refused), "xpc - mibwalk_XPC - iRet=-1"));
  ASSERT_EQ(Walk("PX-100", "alice", TableWalk()), "iRet=0");
  ExpectPrinterARows("alice", "PX-100");
}

// Without --preferences-dir the profile lists live in $XDG_CONFIG_HOME/zvxpc/,
// which the first walk creates (with its missing parent) for the user
// alone; the path limits then follow that folder's length.
TEST_F(WalkPathsTest, DefaultFolderIsCreatedPrivateAndBoundsTheNames) {
  const std::string config = dir_.File("config");
  const std::string folder = config + "/zvxpc/";
  ASSERT_EQ(::setenv("XDG_CONFIG_HOME", config.c_str(), 1), 0);
  StartService(/*default_directory=*/true);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_FALSE(zvtest::Exists(config));  // not before it is needed

  const std::size_t budget = kMaxSpoolPathBytes - folder.size() - std::strlen(kSpoolFixedText);
  EXPECT_EQ(Walk("", std::string(budget + 1, 'u'), TableWalk()), "iRet=-1");
  EXPECT_FALSE(zvtest::Exists(config));
  ASSERT_EQ(Walk("PX-100", std::string(budget - 6, 'u'), TableWalk()), "iRet=0") << ServiceStderr();
  for (const std::string& created : {config, folder}) {
    struct stat st;
    ASSERT_EQ(::stat(created.c_str(), &st), 0) << created;
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << created;
    EXPECT_EQ(st.st_mode & 07777, 0700u) << created;
  }
  const StoredProfiles stored = ReadStoredProfiles(folder + std::string(budget - 6, 'u') + "-PX-100-profile.plist");
  EXPECT_TRUE(stored.read);
  EXPECT_EQ(stored.rgb, (SlotSummary{"OFFICE.ICC 4 2", "PHOTO.ICC 4 2"}));
}

}  // namespace
