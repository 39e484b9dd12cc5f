// SPDX-License-Identifier: MIT
// zvxpcd killed (SIGKILL) at random instants while it walks printer A and
// writes whole files for clients: afterwards every profile list parses and
// holds either its old or its new content, and once the service is back no
// temporary file is left in the folder (a kill between naming a finished
// temporary and renaming it leaves one, which the start removes).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "service_calls.h"
#include "walk_service.h"

namespace {

using zvtest::ReadFile;
using zvtest::ReadStoredProfiles;

constexpr int kKills = 50;
// The kill comes at a random instant up to this long after the first
// reply of its round, whatever the machine's speed.
constexpr int kLongestWorkBeforeKillMicroseconds = 300000;

// One call on a fresh connection; the reply text, or nullopt without one
// (the service was killed).
std::optional<std::string> CallOnce(const std::string& socket_path, const char* selector, const std::string& text) {
  const std::string outcome = zvtest::CallOnce(socket_path, selector, text);
  if (outcome.rfind("failed:", 0) == 0 || outcome.rfind("error:", 0) == 0) return std::nullopt;
  return outcome;
}

// Waits up to 30 s until `answered` counts a reply.
bool AwaitFirstReply(const std::atomic<int>& answered) {
  for (int waited_ms = 0; answered.load() == 0 && waited_ms < 30000; ++waited_ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return answered.load() > 0;
}

class KilledServiceTest : public zvtest::PrinterAWalkTest {
 protected:
  std::string WalkRequest() const {
    return zvtest::WalkRequestText("PX-100", "alice", zvtest::TableWalkArguments(printer_->address()));
  }
  std::string WriteRequest(const std::string& content) const {
    return "file://" + written_ + ":AddURL:END" + content;
  }
  std::unique_ptr<zvtest::ServiceProcess> Start() {
    auto service = std::make_unique<zvtest::ServiceProcess>(
        dir_.path(), std::vector<std::string>{"--log-file", dir_.File("walk.log"), "--preferences-dir",
                                              preferences_dir()});
    EXPECT_TRUE(service->ok()) << ServiceStderr();
    return service;
  }
  // Walks until the list stops changing: from then on, a walk of the same
  // printer rewrites the same bytes. Returns those bytes.
  std::string SteadyWalkedList(const std::string& socket_path) {
    std::string last;
    for (int walk = 0; walk < 6; ++walk) {
      EXPECT_EQ(CallOnce(socket_path, "mibwalk_XPC:reply:", WalkRequest()), "iRet=0") << ServiceStderr();
      const std::string now = ReadFile(walked_);
      if (now == last) return now;
      last = now;
    }
    ADD_FAILURE() << "the walked list never settled";
    return last;
  }

  std::string walked_, written_;
};

TEST_F(KilledServiceTest, EveryListIsWholeAndNoTemporaryRemains) {
  walked_ = CurrentPlist("alice", "PX-100");
  written_ = preferences_dir() + "written.plist";
  std::string walked_content, old_content, new_content;
  {
    auto service = Start();
    ASSERT_TRUE(service->ok());
    walked_content = SteadyWalkedList(service->socket_path());
    ASSERT_TRUE(ReadStoredProfiles(walked_).read);
    // The client's two versions: the walked list, and the same list
    // indented otherwise (the same profiles to every reader).
    old_content = walked_content;
    for (char c : walked_content) new_content += c == '\t' ? std::string("  ") : std::string(1, c);
    ASSERT_NE(old_content, new_content);
    ASSERT_EQ(CallOnce(service->socket_path(), "writeDictionaryToPlistFile_XPC:reply:", WriteRequest(new_content)),
              "TRUE");
    ASSERT_EQ(ReadStoredProfiles(written_).rgb, ReadStoredProfiles(walked_).rgb);
    ASSERT_EQ(CallOnce(service->socket_path(), "writeDictionaryToPlistFile_XPC:reply:", WriteRequest(old_content)),
              "TRUE");
    EXPECT_EQ(service->Stop(), 0);
  }
  const std::vector<std::string> entries = PreferencesEntries();
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> instant(0, kLongestWorkBeforeKillMicroseconds);
  int replies = 0, left_behind = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    auto service = Start();
    ASSERT_TRUE(service->ok());
    EXPECT_EQ(PreferencesEntries(), entries) << "after restart " << kill;
    const std::string socket_path = service->socket_path();
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::thread walker([&] {
      while (!stop) answered += CallOnce(socket_path, "mibwalk_XPC:reply:", WalkRequest()) ? 1 : 0;
    });
    std::thread writer([&] {
      for (int i = 0; !stop; ++i) {
        const std::string& content = i % 2 ? old_content : new_content;
        answered += CallOnce(socket_path, "writeDictionaryToPlistFile_XPC:reply:", WriteRequest(content)) ? 1 : 0;
      }
    });
    const bool working = AwaitFirstReply(answered);
    if (working) std::this_thread::sleep_for(std::chrono::microseconds(instant(random)));
    service->process().Signal(SIGKILL);
    service->process().Wait(10000);
    stop = true;
    walker.join();
    writer.join();
    replies += answered;
    EXPECT_TRUE(working) << "no reply before kill " << kill << ": " << ServiceStderr();

    EXPECT_EQ(ReadFile(walked_), walked_content) << "kill " << kill;
    const std::string written = ReadFile(written_);
    EXPECT_TRUE(written == old_content || written == new_content) << "kill " << kill;
    left_behind += PreferencesEntries() != entries ? 1 : 0;
  }
  auto service = Start();
  EXPECT_EQ(PreferencesEntries(), entries) << "after the last restart";
  EXPECT_EQ(service->Stop(), 0);
  std::printf("%d kills, %d replies, %d temporaries left until the restart\n", kKills, replies, left_behind);
}

}  // namespace
