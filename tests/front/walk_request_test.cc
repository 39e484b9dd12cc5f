// SPDX-License-Identifier: MIT
// The walk request: paths and argument vector composed from the request,
// the limits that refuse a request before any walk, and the run of one
// request (path variables, reply, log line, one walk at a time), with the
// walk itself replaced by a recorder.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "front/walk_request.h"
#include "store/zvplist.h"
#include "walk/walk_driver.h"

namespace {

using zv::DecodeWalkRequest;
using zv::WalkDecodeStatus;
using zv::WalkRequestStorage;

// A preferences folder of 74 bytes, as long as the driver's own folder.
const std::string kDir = "/" + std::string(72, 'd') + "/";

std::string Repeat(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

std::string WalkText(const std::string& model, const std::string& user, const std::string& arguments) {
  return model + ":ModelName:END" + user + ":USErName:END" + arguments;
}

bool AllNullFrom(const WalkRequestStorage& storage, std::size_t first) {
  for (std::size_t i = first; i <= zv::kWalkArgumentSlots; ++i) {
    if (storage.argv[i] != nullptr) return false;
  }
  return true;
}

// Which path holds which name is RunWalkRequestTest's; here the names go
// in byte for byte.
TEST(DecodeWalkRequestTest, NamesGoInAsTheirBytes) {
  const struct {
    std::string model, user;
    std::string stem;  // the file names less their suffix
  } cases[] = {
      {"", "", "-"},
      {"Model X", "J\xC3\xA9r\xC3\xB4me", "J\xC3\xA9r\xC3\xB4me-Model X"},
  };
  for (const auto& c : cases) {
    WalkRequestStorage storage;
    ASSERT_EQ(DecodeWalkRequest(WalkText(c.model, c.user, ""), kDir, &storage), WalkDecodeStatus::kReady) << c.stem;
    EXPECT_STREQ(storage.current_path, (kDir + c.stem + "-profile.plist").c_str());
    EXPECT_STREQ(storage.spool_path, (kDir + c.stem + "-profile.spool.plist").c_str());
  }
}

TEST(DecodeWalkRequestTest, ArgumentVectorDropsTheLastComponent) {
  const struct {
    std::string arguments;
    std::vector<std::string> argv;
  } cases[] = {
      {"zvxpc:arg:-v2c:arg::arg:127.0.0.1:arg:dropped", {"zvxpc", "-v2c", "", "127.0.0.1"}},
      {"-v2c 127.0.0.1", {}},  // no separator
  };
  for (const auto& c : cases) {
    WalkRequestStorage storage;
    ASSERT_EQ(DecodeWalkRequest(WalkText("M", "U", c.arguments), kDir, &storage), WalkDecodeStatus::kReady);
    EXPECT_EQ(std::vector<std::string>(storage.argv, storage.argv + storage.argc), c.argv) << c.arguments;
    EXPECT_TRUE(AllNullFrom(storage, c.argv.size())) << c.arguments;
  }
}

// The spool path has the most fixed text, 21 bytes besides the folder and
// the names: a folder of 74 bytes leaves the names 160, one of 68 leaves
// them 166. A request over the limit fills no path.
TEST(DecodeWalkRequestTest, NamesFillWhatTheFolderLeaves) {
  const std::string dir68 = "/" + std::string(66, 'd') + "/";
  const struct {
    const std::string& dir;
    std::size_t model, user;
    WalkDecodeStatus status;
  } cases[] = {
      {kDir, 80, 80, WalkDecodeStatus::kReady},
      {kDir, 80, 81, WalkDecodeStatus::kPathTooLong},
      {dir68, 100, 66, WalkDecodeStatus::kReady},
      {dir68, 100, 67, WalkDecodeStatus::kPathTooLong},
  };
  for (const auto& c : cases) {
    WalkRequestStorage storage;
    const std::string name = std::to_string(c.dir.size()) + "-byte folder, user of " + std::to_string(c.user);
    EXPECT_EQ(DecodeWalkRequest(WalkText(std::string(c.model, 'm'), std::string(c.user, 'u'), ""), c.dir, &storage),
              c.status) << name;
    const bool ready = c.status == WalkDecodeStatus::kReady;
    EXPECT_EQ(std::strlen(storage.spool_path), ready ? 255u : 0u) << name;
    EXPECT_EQ(std::strlen(storage.previous_path), ready ? 254u : 0u) << name;
    EXPECT_EQ(std::strlen(storage.current_path), ready ? 249u : 0u) << name;
  }
}

TEST(DecodeWalkRequestTest, AtMost512Arguments) {
  WalkRequestStorage full;
  ASSERT_EQ(DecodeWalkRequest(WalkText("M", "U", Repeat("a:arg:", 512)), kDir, &full), WalkDecodeStatus::kReady);
  EXPECT_EQ(full.argc, 512);
  EXPECT_STREQ(full.argv[511], "a");
  EXPECT_EQ(full.argv[512], nullptr);

  WalkRequestStorage over;
  EXPECT_EQ(DecodeWalkRequest(WalkText("M", "U", Repeat("a:arg:", 513)), kDir, &over),
            WalkDecodeStatus::kTooManyArguments);
  EXPECT_EQ(over.argc, 0);
  EXPECT_EQ(over.current_path[0], '\0');
}

TEST(DecodeWalkRequestTest, RefusesRequestsItCannotCut) {
  const struct {
    const char* name;
    std::optional<std::string> request;
    WalkDecodeStatus status;
  } cases[] = {
      {"no argument object", std::nullopt, WalkDecodeStatus::kNoArgumentObject},
      {"no user marker", std::string("M:ModelName:ENDa:arg:"), WalkDecodeStatus::kNameMarkers},
      {"zero byte in a name", WalkText(std::string("M\0x", 3), "U", ""), WalkDecodeStatus::kZeroByte},
      {"zero byte in an argument", WalkText("M", "U", std::string("a\0b:arg:", 8)), WalkDecodeStatus::kZeroByte},
  };
  for (const auto& c : cases) {
    WalkRequestStorage storage;
    EXPECT_EQ(DecodeWalkRequest(c.request, kDir, &storage), c.status) << c.name;
    EXPECT_EQ(storage.current_path[0], '\0') << c.name;
    EXPECT_EQ(storage.argc, 0) << c.name;
  }
}

// A name goes into a file name inside the preferences folder: one that
// would name another folder is refused like an over-long one, and names
// that merely look similar still go in.
TEST(DecodeWalkRequestTest, NamesThatLeaveTheFolderAreRefused) {
  const struct {
    std::string model;
    std::string user;
    WalkDecodeStatus status;
  } cases[] = {
      {"M", "../alice", WalkDecodeStatus::kNameLeavesFolder},
      {"a/b", "U", WalkDecodeStatus::kNameLeavesFolder},
      {"M", "/", WalkDecodeStatus::kNameLeavesFolder},
      {"M", ".", WalkDecodeStatus::kNameLeavesFolder},
      {"..", "U", WalkDecodeStatus::kNameLeavesFolder},
      {"M", "..", WalkDecodeStatus::kNameLeavesFolder},
      {"...", "U", WalkDecodeStatus::kReady},
      {"M", ".alice", WalkDecodeStatus::kReady},
      {"M.", "U..", WalkDecodeStatus::kReady},
      {"a\\b", "U", WalkDecodeStatus::kReady},
  };
  for (const auto& c : cases) {
    WalkRequestStorage storage;
    EXPECT_EQ(DecodeWalkRequest(WalkText(c.model, c.user, "a:arg:"), kDir, &storage), c.status)
        << c.model << " / " << c.user;
    const bool ready = c.status == WalkDecodeStatus::kReady;
    EXPECT_EQ(storage.current_path[0] != '\0', ready) << c.model << " / " << c.user;
    EXPECT_EQ(storage.argc, ready ? 1 : 0) << c.model << " / " << c.user;
  }
}

TEST(PreferencesDirectoryTest, GetsATrailingSlash) {
  EXPECT_EQ(zv::PreferencesDirectoryFrom("/p"), "/p/");
  EXPECT_EQ(zv::PreferencesDirectoryFrom("/p/"), "/p/");
  EXPECT_EQ(zv::PreferencesDirectoryFrom("rel"), "rel/");
}

// What the recording walk saw.
struct WalkRecord {
  int calls = 0;
  std::string current, previous, spool;
  std::vector<std::string> arguments;
  bool last_entry_null = false;
};
WalkRecord g_record;
std::vector<std::string> g_log;
int g_walk_result = 0;

int RecordingWalk(int argc, char** argv) {
  ++g_record.calls;
  g_record.current = ZV_PLIST_PROFILE_PATH ? ZV_PLIST_PROFILE_PATH : "(null)";
  g_record.previous = ZV_PLIST_PROFILE_PREV_PATH ? ZV_PLIST_PROFILE_PREV_PATH : "(null)";
  g_record.spool = ZV_PLIST_PROFILE_SPOOL_PATH ? ZV_PLIST_PROFILE_SPOOL_PATH : "(null)";
  g_record.arguments.assign(argv, argv + argc);
  g_record.last_entry_null = argv[argc] == nullptr;
  return g_walk_result;
}

void RecordLog(std::string_view line) { g_log.emplace_back(line); }

class RunWalkRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_record = WalkRecord();
    g_log.clear();
    g_walk_result = 0;
    zv::WalkEnvironment environment;
    environment.preferences_directory = "/prefs/";
    environment.walk = RecordingWalk;
    environment.log = RecordLog;
    zv::SetWalkEnvironment(environment);
  }
  void TearDown() override { zv::SetWalkEnvironment(zv::WalkEnvironment()); }

  // Runs one request; the replies it gave.
  std::vector<std::string> Run(const std::optional<std::string>& request) {
    std::vector<std::string> replies;
    zv::RunWalkRequest(request, [&replies](std::string_view text) { replies.emplace_back(text); });
    return replies;
  }
};

TEST_F(RunWalkRequestTest, WalksWithThePathsSetAndRepliesTheResult) {
  g_walk_result = 2;
  EXPECT_EQ(Run(WalkText("M", "U", "p:arg:-c:arg:public:arg:127.0.0.1:arg:")), std::vector<std::string>{"iRet=2"});
  EXPECT_EQ(g_record.calls, 1);
  EXPECT_EQ(g_record.current, "/prefs/U-M-profile.plist");
  EXPECT_EQ(g_record.previous, "/prefs/U-M-profile.prev.plist");
  EXPECT_EQ(g_record.spool, "/prefs/U-M-profile.spool.plist");
  EXPECT_EQ(g_record.arguments, (std::vector<std::string>{"p", "-c", "public", "127.0.0.1"}));
  EXPECT_TRUE(g_record.last_entry_null);
  EXPECT_EQ(g_log, std::vector<std::string>{"xpc - mibwalk_XPC - iRet=2"});
  // The buffers ended with the request; nothing points at them any more.
  EXPECT_EQ(ZV_PLIST_PROFILE_PATH, nullptr);
  EXPECT_EQ(ZV_PLIST_PROFILE_PREV_PATH, nullptr);
  EXPECT_EQ(ZV_PLIST_PROFILE_SPOOL_PATH, nullptr);
}

TEST_F(RunWalkRequestTest, NegativeResultsAreAnsweredSigned) {
  g_walk_result = -2;
  EXPECT_EQ(Run(WalkText("M", "U", "")), std::vector<std::string>{"iRet=-2"});
  EXPECT_EQ(g_record.arguments.size(), 0u);
  EXPECT_EQ(g_log, std::vector<std::string>{"xpc - mibwalk_XPC - iRet=-2"});
}

TEST_F(RunWalkRequestTest, AbandonedWalkGetsNoReplyAndNoLogLine) {
  g_walk_result = zv::kWalkAbandoned;
  EXPECT_TRUE(Run(WalkText("M", "U", "p:arg:127.0.0.1:arg:")).empty());
  EXPECT_EQ(g_record.calls, 1);
  EXPECT_TRUE(g_log.empty());
}

TEST_F(RunWalkRequestTest, RefusedRequestsAreNotWalkedButLogged) {
  // No argument object, and a text the decoding refuses: which rule refuses
  // a text is shown where the request is decoded.
  const std::optional<std::string> refused[] = {std::nullopt, std::string("no markers")};
  for (const auto& request : refused) EXPECT_EQ(Run(request), std::vector<std::string>{"iRet=-1"});
  EXPECT_EQ(g_record.calls, 0);
  EXPECT_EQ(g_log, std::vector<std::string>(std::size(refused), "xpc - mibwalk_XPC - iRet=-1"));
}

std::atomic<int> g_walks_inside{0};
std::atomic<int> g_overlaps{0};

int SlowWalk(int, char**) {
  if (g_walks_inside.fetch_add(1) != 0) g_overlaps.fetch_add(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  g_walks_inside.fetch_sub(1);
  return 0;
}

TEST_F(RunWalkRequestTest, WalksNeverOverlap) {
  zv::WalkEnvironment environment;
  environment.walk = SlowWalk;
  environment.log = [](std::string_view) {};
  zv::SetWalkEnvironment(environment);
  std::vector<std::thread> threads;
  std::atomic<int> replies{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&replies] {
      for (int i = 0; i < 5; ++i) {
        zv::RunWalkRequest(WalkText("M", "U", ""), [&replies](std::string_view text) {
          if (text == "iRet=0") replies.fetch_add(1);
        });
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(replies.load(), 20);
  EXPECT_EQ(g_overlaps.load(), 0);
}

}  // namespace
