// SPDX-License-Identifier: MIT
// The walk request: paths and argument vector composed from the request,
// the limits that refuse a request before any walk, and the run of one
// request (what the walk reported merged in the service, reply, log
// lines, walks of one list one at a time), with the walk's process
// replaced by a recorder that reports what a test says.
#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "front/walk_request.h"
#include "report/debug_sink.h"
#include "report/walk_limits.h"
#include "store/zvplist.h"
#include "support/scoped_variable.h"
#include "support/temp_dir.h"

// Every block this program gives back is looked at, while a test watches
// for a secret: a block that still holds it left a copy behind.
namespace {
std::atomic<const char*> g_watched_secret{nullptr};
std::atomic<int> g_blocks_left_with_secret{0};

void LookAtGivenBack(void* block) {
  const char* secret = g_watched_secret.load();
  if (block == nullptr || secret == nullptr) return;
  const std::string_view bytes(static_cast<const char*>(block), ::malloc_usable_size(block));
  if (bytes.find(secret) != std::string_view::npos) g_blocks_left_with_secret.fetch_add(1);
}
}  // namespace

// Built on malloc, so that the blocks can be looked at with
// malloc_usable_size before they go back.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  LookAtGivenBack(block);
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  LookAtGivenBack(block);
  std::free(block);
}
#pragma GCC diagnostic pop

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
    EXPECT_EQ(storage.current_path, kDir + c.stem + "-profile.plist");
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
    EXPECT_EQ(storage.argument_texts, c.argv) << c.arguments;
  }
}

// The spool path of the naming rule has the most fixed text, 21 bytes
// besides the folder and the names, and may be 255 bytes long: a folder of
// 74 bytes leaves the names 160, one of 68 leaves them 166. A request over
// the limit fills no path.
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
    EXPECT_EQ(storage.current_path.size(), ready ? 249u : 0u) << name;
  }
}

TEST(DecodeWalkRequestTest, AtMost512Arguments) {
  WalkRequestStorage full;
  ASSERT_EQ(DecodeWalkRequest(WalkText("M", "U", Repeat("a:arg:", 512)), kDir, &full), WalkDecodeStatus::kReady);
  EXPECT_EQ(full.argument_texts.size(), 512u);

  WalkRequestStorage over;
  EXPECT_EQ(DecodeWalkRequest(WalkText("M", "U", Repeat("a:arg:", 513)), kDir, &over),
            WalkDecodeStatus::kTooManyArguments);
  EXPECT_TRUE(over.argument_texts.empty());
  EXPECT_TRUE(over.current_path.empty());
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
    EXPECT_TRUE(storage.current_path.empty()) << c.name;
    EXPECT_TRUE(storage.argument_texts.empty()) << c.name;
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
    EXPECT_EQ(!storage.current_path.empty(), ready) << c.model << " / " << c.user;
    EXPECT_EQ(storage.argument_texts.size(), ready ? 1u : 0u) << c.model << " / " << c.user;
  }
}

TEST(PreferencesDirectoryTest, GetsATrailingSlash) {
  EXPECT_EQ(zv::PreferencesDirectoryFrom("/p"), "/p/");
  EXPECT_EQ(zv::PreferencesDirectoryFrom("/p/"), "/p/");
  EXPECT_EQ(zv::PreferencesDirectoryFrom("rel"), "rel/");
}

// The walk as the request handed it over, and what the walk reports back.
struct RunRecord {
  int calls = 0;
  std::vector<std::string> arguments;
  std::optional<std::string> mibs;
};
RunRecord g_record;
std::vector<std::string> g_log;
zv::WalkRun::Ending g_ending = zv::WalkRun::Ending::kEnded;
int g_result = 0;
std::string g_reason;  // a reason the walk's process notes, when not empty
bool g_mibs_not_loaded = false;
std::vector<std::pair<int, ProfileRecord>> g_rows;

ProfileRecord Row(const char* file_name, int profile_class) {
  ProfileRecord row{};
  row.IndexOnDevice = 7;
  row.Location = 4;
  row.ProfileClass = profile_class;
  std::strcpy(row.FileName, file_name);
  return row;
}

zv::WalkRun RecordingRun(const zv::WalkJob& job, const std::optional<std::string>& mibs) {
  ++g_record.calls;
  g_record.arguments = job.arguments;
  g_record.mibs = mibs;
  if (!g_reason.empty()) zv::NoteWalk(zv::WalkNote::kReason, g_reason);
  zv::WalkRun run;
  run.ending = g_ending;
  run.problem = "sent a row numbered 501";
  if (g_ending == zv::WalkRun::Ending::kEnded) {
    for (const auto& [number, row] : g_rows) run.report.spool->slots[number - 1] = row;
    run.report.rows = static_cast<int>(g_rows.size());
    run.report.spool->iNum = run.report.rows;
    run.report.end = zv::WalkEnd{g_result, run.report.spool->iNum, 0, false, g_mibs_not_loaded};
  }
  return run;
}

void RecordLog(std::string_view line) { g_log.emplace_back(line); }

class RunWalkRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_record = RunRecord();
    g_log.clear();
    g_ending = zv::WalkRun::Ending::kEnded;
    g_result = 0;
    g_reason.clear();
    g_mibs_not_loaded = false;
    g_rows = {{1, Row("A.ICC", 1)}, {2, Row("S.ICC", 3)}};
    zv::WalkEnvironment environment;
    environment.preferences_directory = dir_.path() + "/";
    environment.run = RecordingRun;
    environment.log = RecordLog;
    zv::SetWalkEnvironment(environment);
  }
  void TearDown() override { zv::SetWalkEnvironment(zv::WalkEnvironment()); }

  // Runs one request; the replies it gave.
  std::vector<std::string> Run(const std::optional<std::string>& request, bool explained = false) {
    std::vector<std::string> replies;
    const auto reply = [&replies](std::string_view text) { replies.emplace_back(text); };
    if (explained) {
      zv::RunExplainedWalkRequest(request, reply);
    } else {
      zv::RunWalkRequest(request, reply);
    }
    return replies;
  }

  // "FILENAME INMENU" of each used RGB slot of U-M's list; "unreadable"
  // when the store cannot read it.
  std::vector<std::string> RgbEntries() {
    auto lists = std::make_unique<ProfileList[]>(3);
    if (zvplist_read(dir_.File("U-M-profile.plist").c_str(), &lists[0], &lists[1], &lists[2], nullptr) != 0) {
      return {"unreadable"};
    }
    std::vector<std::string> entries;
    for (int slot = 0; slot < lists[0].iNum; ++slot) {
      entries.push_back(std::string(lists[0].slots[slot].FileName) + " " +
                        std::to_string(lists[0].slots[slot].InMenu));
    }
    return entries;
  }

  zvtest::TempDir dir_;
};

TEST_F(RunWalkRequestTest, TheServiceMergesWhatTheWalkReportedAndRepliesItsResult) {
  EXPECT_EQ(Run(WalkText("M", "U", "p:arg:-c:arg:public:arg:127.0.0.1:arg:")), std::vector<std::string>{"iRet=0"});
  EXPECT_EQ(g_record.calls, 1);
  EXPECT_EQ(g_record.arguments, (std::vector<std::string>{"p", "-c", "public", "127.0.0.1"}));
  EXPECT_EQ(RgbEntries(), std::vector<std::string>{"A.ICC 2"});
  EXPECT_EQ(g_log, std::vector<std::string>{"xpc - mibwalk_XPC - iRet=0"});
  // The explained walk says what it found.
  EXPECT_EQ(Run(WalkText("M", "U", "p:arg:127.0.0.1:arg:"), true),
            std::vector<std::string>{"iRet=0:Reason:2 rows, 3 classes:List:unchanged"});
}

// A reason is the walk's process's words, which a printer's answer may
// fill: the reply keeps it on the one line of its frame.
TEST_F(RunWalkRequestTest, AReasonWithALineFeedReachesTheClientOnOneLine) {
  g_result = 1;
  g_reason = "no answer\niRet=0";
  EXPECT_EQ(Run(WalkText("M", "U", "p:arg:h:arg:"), true),
            std::vector<std::string>{"iRet=1:Reason:no answer\\x0AiRet=0:List:saved"});
}

TEST_F(RunWalkRequestTest, EachEndingOfTheWalksProcessHasItsReplyLogAndMerge) {
  using Ending = zv::WalkRun::Ending;
  const struct {
    Ending ending;
    int result;
    std::vector<std::string> replies;
    std::vector<std::string> rgb;  // after a first walk that listed A.ICC
    std::size_t log_lines;
  } cases[] = {
      {Ending::kEnded, 2, {"iRet=2"}, {}, 1},              // merged as a failed walk: state 2 leaves the menu
      {Ending::kEnded, -2, {"iRet=-2"}, {}, 1},            // signed; merged as a failed walk
      {Ending::kTimedOut, 0, {"iRet=1"}, {}, 1},           // merged as a failed walk, without rows
      {Ending::kBroken, 0, {"iRet=1"}, {"A.ICC 2"}, 2},    // not merged; one line says what was wrong
      {Ending::kDied, 0, {"iRet=1"}, {"A.ICC 2"}, 2},      // not merged; one line says how it ended
      {Ending::kAbandoned, 0, {}, {"A.ICC 2"}, 0},         // no reply, no log line
      {Ending::kCancelled, 0, {"iRet=1"}, {"A.ICC 2"}, 1},  // a client cancelled it: not merged
  };
  for (const auto& c : cases) {
    std::remove(dir_.File("U-M-profile.plist").c_str());
    g_ending = Ending::kEnded;
    g_result = 0;
    Run(WalkText("M", "U", "p:arg:h:arg:"));
    g_log.clear();
    g_ending = c.ending;
    g_result = c.result;
    EXPECT_EQ(Run(WalkText("M", "U", "p:arg:h:arg:")), c.replies) << c.result;
    EXPECT_EQ(RgbEntries(), c.rgb) << static_cast<int>(c.ending);
    EXPECT_EQ(g_log.size(), c.log_lines) << static_cast<int>(c.ending);
  }
}

TEST_F(RunWalkRequestTest, RefusedRequestsAreNotWalkedButLogged) {
  // No argument object, and a text the decoding refuses: which rule refuses
  // a text is shown where the request is decoded.
  const std::optional<std::string> refused[] = {std::nullopt, std::string("no markers")};
  for (const auto& request : refused) EXPECT_EQ(Run(request), std::vector<std::string>{"iRet=-1"});
  EXPECT_EQ(g_record.calls, 0);
  EXPECT_EQ(g_log, std::vector<std::string>(std::size(refused), "xpc - mibwalk_XPC - iRet=-1"));
  EXPECT_EQ(Run(std::string("no markers"), true),
            std::vector<std::string>{"iRet=-1:Reason:" + zv::WalkRefusalReason(WalkDecodeStatus::kNameMarkers) +
                                     ":List:untouched"});
}

TEST_F(RunWalkRequestTest, AnMibsThatNamesNoReadableMibFileOrModuleIsAUsageErrorAndNeverReachesAWalk) {
  ASSERT_EQ(::mkdir(dir_.File("mibs").c_str(), 0700), 0);
  zvtest::ScopedVariable mib_folders("MIBDIRS", dir_.File("mibs"));
  zvtest::WriteFile(dir_.File("mibs/good.txt"), "-- a comment first\nGOOD-MIB DEFINITIONS ::= BEGIN END");
  zvtest::WriteFile(dir_.File("mibs/.hidden.txt"), "HIDDEN-MIB DEFINITIONS ::= BEGIN END");
  zvtest::WriteFile(dir_.File("outside.mib"), "X DEFINITIONS ::= BEGIN END");
  ASSERT_EQ(::symlink(dir_.File("outside.mib").c_str(), dir_.File("mibs/link.txt").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir_.File("fifo").c_str(), 0600), 0);
  const std::string long_path = "/" + std::string(200 * 1024, 'p');
  const std::string no_module = "-m: no regular file in Net-SNMP's MIB folders defines the module ";
  const struct {
    std::string mibs;
    std::string reason;
  } cases[] = {
      {dir_.File("fifo"), "-m: '" + dir_.File("fifo") + "' is not a regular file"},
      {long_path, "-m: the value is longer than 2048 bytes"},
      {dir_.File("outside.mib"),
       "-m: '" + dir_.File("outside.mib") + "' lies outside Net-SNMP's configuration and MIB folders"},
      {"GOOD-MIB:NOPE-MIB", no_module + "'NOPE-MIB'"},
      {"HIDDEN-MIB", no_module + "'HIDDEN-MIB'"},  // the library skips dot files
      {"X", no_module + "'X'"},                    // its file lies outside the MIB folders
  };
  // Merged as a failed walk: the first saves the list, the others find it so.
  const char* list = ":List:saved";
  for (const auto& c : cases) {
    EXPECT_EQ(Run(WalkText("M", "U", "p:arg:-m:arg:" + c.mibs + ":arg:h:arg:"), true),
              std::vector<std::string>{"iRet=-1:Reason:" + c.reason + list});
    list = ":List:unchanged";
    EXPECT_EQ(g_record.calls, 0);
  }
  // The next walk goes on with MIBS as it was.
  Run(WalkText("M", "U", "p:arg:h:arg:"));
  EXPECT_EQ(g_record.calls, 1);
  EXPECT_FALSE(g_record.mibs.has_value());
  // A module found passes, and holds from the next walk on, but only once
  // a walk has loaded it: a set that did not load is dropped.
  Run(WalkText("M", "U", "p:arg:-m:arg:+GOOD-MIB:arg:h:arg:"));
  EXPECT_FALSE(g_record.mibs.has_value());
  g_mibs_not_loaded = true;
  Run(WalkText("M", "U", "p:arg:h:arg:"));
  EXPECT_EQ(g_record.mibs, "+GOOD-MIB");
  g_mibs_not_loaded = false;
  Run(WalkText("M", "U", "p:arg:h:arg:"));
  EXPECT_FALSE(g_record.mibs.has_value());
  Run(WalkText("M", "U", "p:arg:-m:arg:GOOD-MIB:ALL:arg:h:arg:"));
  for (int walk = 0; walk < 2; ++walk) {
    Run(WalkText("M", "U", "p:arg:h:arg:"));
    EXPECT_EQ(g_record.mibs, "GOOD-MIB:ALL");
  }
}

// The notes a walk's process sends before its end, and its end's flag.
std::vector<std::pair<zv::WalkNote, std::string>> g_notes;
bool g_deaf_to_bulk = false;

zv::WalkRun NotingRun(const zv::WalkJob& job, const std::optional<std::string>& mibs) {
  for (const auto& [note, text] : g_notes) zv::NoteWalk(note, text);
  zv::WalkRun run = RecordingRun(job, mibs);
  run.report.end->deaf_to_bulk = g_deaf_to_bulk;
  run.report.end->variables_found = 5;
  return run;
}

TEST_F(RunWalkRequestTest, TheServiceTellsWhatItKnowsAndTheWalksNotesOnlyWhyItFailed) {
  using zv::WalkNote;
  zv::WalkEnvironment environment;
  environment.preferences_directory = dir_.path() + "/";
  environment.run = NotingRun;
  environment.log = RecordLog;
  zv::SetWalkEnvironment(environment);
  const std::string many(3000, 'r');
  const struct {
    int result;
    bool deaf_to_bulk;
    std::vector<std::pair<WalkNote, std::string>> notes;
    std::string reason;
    std::string list;  // what became of the list, as the reply says
  } cases[] = {
      // What a completed walk found and the counter are the service's.
      {0, false, {{WalkNote::kReason, "12 rows, 3 classes"}, {WalkNote::kCount, "999"}},
       "2 rows, 3 classes; variables found: 5", "saved"},
      {0, true, {{WalkNote::kReason, "a fallback it made up"}},
       std::string("2 rows, 3 classes; ") + zv::kDeafToGetBulkReason, "unchanged"},
      // Of a completed walk's notes, only the service's own text stays.
      {0, false, {{WalkNote::kReason, zv::KnownDeafnessReason()}},
       "2 rows, 3 classes; " + zv::KnownDeafnessReason(), "unchanged"},
      {1, false, {{WalkNote::kReason, "unknown host h"}}, "unknown host h", "saved"},
      // Many notes make no longer reason than its bound.
      {1, false, {{WalkNote::kReason, many}, {WalkNote::kReason, many}},
       many + "; " + many.substr(0, zv::kMaxWalkReasonBytes - many.size() - 2), "saved"},
  };
  for (const auto& c : cases) {
    g_result = c.result;
    g_deaf_to_bulk = c.deaf_to_bulk;
    g_notes = c.notes;
    EXPECT_EQ(Run(WalkText("M", "U", "p:arg:h:arg:"), true),
              std::vector<std::string>{"iRet=" + std::to_string(c.result) + ":Reason:" + c.reason + ":List:" + c.list});
  }
}

// The walk takes the arguments; nothing the request leaves behind holds
// its pass phrase.
TEST_F(RunWalkRequestTest, NoBlockGivenBackHoldsAPassPhrase) {
  const std::string secret = "a pass phrase longer than a small-string buffer";
  zv::WalkEnvironment environment;
  environment.preferences_directory = dir_.path() + "/";
  environment.run = [](const zv::WalkJob& job, const std::optional<std::string>&) {
    zv::WalkRun run;
    run.ending = zv::WalkRun::Ending::kEnded;
    run.report.end = zv::WalkEnd{job.arguments.size() == 8 ? 0 : 1, 0, 0, false};
    return run;
  };
  environment.log = RecordLog;
  zv::SetWalkEnvironment(environment);
  const std::optional<std::string> request =
      WalkText("M", "U", "p:arg:-v:arg:3:arg:-A:arg:" + secret + ":arg:-X:arg:" + secret + ":arg:h:arg:");
  g_watched_secret = secret.c_str();
  const std::vector<std::string> replies = Run(request);
  g_watched_secret = nullptr;
  EXPECT_EQ(replies, std::vector<std::string>{"iRet=0"});
  EXPECT_EQ(g_blocks_left_with_secret.load(), 0);
}

std::atomic<int> g_walks_inside{0};
std::atomic<int> g_overlaps{0};

zv::WalkRun SlowRun(const zv::WalkJob&, const std::optional<std::string>&) {
  if (g_walks_inside.fetch_add(1) != 0) g_overlaps.fetch_add(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  g_walks_inside.fetch_sub(1);
  zv::WalkRun run;
  run.ending = zv::WalkRun::Ending::kEnded;
  run.report.end = zv::WalkEnd{0, 0, 0, false};
  return run;
}

TEST_F(RunWalkRequestTest, WalksOfOneListNeverOverlapWhateverItsName) {
  // V's list is a link to U's: one list under two names.
  ASSERT_EQ(::symlink("U-M-profile.plist", dir_.File("V-M-profile.plist").c_str()), 0);
  zv::WalkEnvironment environment;
  environment.preferences_directory = dir_.path() + "/";
  environment.run = SlowRun;
  environment.log = [](std::string_view) {};
  zv::SetWalkEnvironment(environment);
  std::vector<std::thread> threads;
  std::atomic<int> replies{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&replies, t] {
      for (int i = 0; i < 5; ++i) {
        zv::RunWalkRequest(WalkText("M", t % 2 == 0 ? "U" : "V", "p:arg:h:arg:"),
                           [&replies](std::string_view text) {
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
