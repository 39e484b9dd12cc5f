// SPDX-License-Identifier: MIT
// Every writer of a profile list in the service and in libzvplist: each
// leaves a path that leads to anything but a regular file or a new name
// as it was, each waits for the list's lock, and a client's write that
// comes while a walk's save is under way is never lost to it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "front/file_operations.h"
#include "list_update/list_update.h"
#include "platform/fixed_field.h"
#include "store/file_admin.h"
#include "store/list_lock.h"
#include "store/profile_plist_file.h"
#include "store/zvplist.h"
#include "support/temp_dir.h"

namespace {

using zvtest::Exists;
using zvtest::ReadFile;
using zvtest::WriteFile;

// The bytes of a list whose one RGB entry is `file_name`, put there by a client.
std::string ListBytes(const char* file_name) {
  auto lists = std::make_unique<zv::ProfileLists>();
  zv::CopyToField(lists->rgb.slots[0].FileName, file_name);
  lists->rgb.slots[0].Location = 4;
  lists->rgb.slots[0].InMenu = ZV_INMENU_CLIENT;
  lists->rgb.iNum = 1;
  return zv::ProfileListBytes(*lists);
}

ino_t InodeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class ListWritersTest : public ::testing::Test {
 protected:
  std::string Url(const std::string& name) const { return "file://" + dir_.File(name); }
  zvtest::TempDir dir_;
};

// A link to a FIFO (and a FIFO among the pieces): every operation that
// would write, rename, swap or remove through it does nothing, and says why.
TEST_F(ListWritersTest, AListPathLeadingToAFifoIsLeftAsItWasByEveryOperation) {
  ASSERT_EQ(::mkfifo(dir_.File("fifo").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("fifo", dir_.File("l.plist").c_str()), 0);
  ASSERT_EQ(::symlink("fifo", dir_.File("l.plist.dummy").c_str()), 0);
  ASSERT_EQ(::symlink("fifo", dir_.File("m.plist").c_str()), 0);
  WriteFile(dir_.File("m.plist.dummy"), "pieces");
  WriteFile(dir_.File("c.plist"), "current");
  ASSERT_EQ(::mkfifo(dir_.File("p.plist.dummy").c_str(), 0600), 0);
  const std::string fifo_reason = "' leads to a FIFO, not a regular file";
  const struct {
    const char* what;
    std::function<bool(std::string*)> operation;
    std::string reason;
  } cases[] = {
      {"whole-file write", [&](std::string* r) { return zv::WriteBodyToUrl(Url("l.plist"), "new", r); },
       "'" + dir_.File("l.plist") + fifo_reason},
      {"piece", [&](std::string* r) { return zv::AppendBodyToTemporary(Url("l.plist"), "new", r); },
       "'" + dir_.File("l.plist.dummy") + fifo_reason},
      {"rename over it", [&](std::string* r) { return zv::MoveTemporaryIntoPlace(Url("m.plist"), r); },
       "'" + dir_.File("m.plist") + fifo_reason},
      {"rename of a FIFO", [&](std::string* r) { return zv::MoveTemporaryIntoPlace(Url("p.plist"), r); },
       "'" + dir_.File("p.plist.dummy") + "' is not a regular file"},
      {"removal", [&](std::string* r) { return zv::RemovePath(dir_.File("l.plist"), r); },
       "'" + dir_.File("l.plist") + fifo_reason},
      {"swap", [&](std::string*) {
         zv::SwapPathGenerations({zv::kSwapRestorePrevious, dir_.File("c.plist"), dir_.File("l.plist")});
         return false;
       }, ""},
  };
  // Every node by its inode: a FIFO moved in place of a file would block a read.
  const std::vector<std::string> names = {"fifo", "l.plist", "m.plist", "m.plist.dummy", "c.plist", "p.plist.dummy"};
  std::vector<ino_t> inodes;
  for (const std::string& name : names) inodes.push_back(InodeOf(dir_.File(name)));
  for (const auto& c : cases) {
    std::string reason;
    EXPECT_FALSE(c.operation(&reason)) << c.what;
    EXPECT_EQ(reason, c.reason) << c.what;
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(InodeOf(dir_.File(names[i])), inodes[i]) << c.what;
  }
}

// Each writer, while another holds the list's lock under another name of
// the list, waits for it, and acts once it is let go.
TEST_F(ListWritersTest, EveryWriterOfAListWaitsForItsLock) {
  const std::string list = dir_.File("u-m-profile.plist");
  const std::string other_name = dir_.File("v-m-profile.plist");
  ASSERT_EQ(::symlink("u-m-profile.plist", other_name.c_str()), 0);
  std::vector<char> path_variable(list.begin(), list.end());
  path_variable.push_back('\0');
  ZV_PLIST_PROFILE_PATH = path_variable.data();
  auto lists = std::make_unique<zv::ProfileLists>();
  const ProfileList* const l[3] = {&lists->rgb, &lists->sim, &lists->dst};
  const struct {
    const char* what;
    std::function<void()> write;
  } writers[] = {
      {"whole-file write", [&] { zv::WriteBodyToUrl("file://" + list, "new"); }},
      {"rename of the pieces", [&] { zv::MoveTemporaryIntoPlace("file://" + list); }},
      {"removal", [&] { zv::RemovePath(list); }},
      {"swap", [&] { zv::SwapPathGenerations({zv::kSwapDiscardPrevious, std::nullopt, list}); }},
      {"zvplist_write", [&] { zvplist_write(list.c_str(), l[0], l[1], l[2], nullptr); }},
      {"ZVPListWriteProfile_All", [&] { ZVPListWriteProfile_All(l[0], l[1], l[2]); }},
      {"ZVPListWriteProfile_Dict", [&] { ZVPListWriteProfile_Dict(l[0], ZV_CLASS_RGB, nullptr, nullptr, nullptr); }},
      {"ZVPListWriteProfile_All_Pap", [&] { ZVPListWriteProfile_All_Pap(l[0], l[1], l[2], l[0], l[1], l[2]); }},
  };
  for (const auto& w : writers) {
    WriteFile(list, "old");
    WriteFile(list + ".dummy", "pieces");
    auto hold = std::make_unique<zv::ProfileListLock>(other_name, zv::ProfileListLock::Mode::kExclusive);
    std::atomic<bool> done{false};
    std::thread writer([&] {
      w.write();
      done = true;
    });
    while (!done && zv::ProfileListLockWaiters(list) == 0) std::this_thread::yield();
    EXPECT_FALSE(done) << w.what;
    EXPECT_EQ(ReadFile(list), "old") << w.what;
    hold.reset();
    writer.join();
    EXPECT_FALSE(Exists(list) && ReadFile(list) == "old") << w.what << " did not write";
  }
  ZV_PLIST_PROFILE_PATH = nullptr;
}

// The walk's save is held after its read until the client's whole-file
// write waits for the list's lock (or, were the lock skipped, has landed);
// then the save goes on. The client's body is what the list holds after
// both, whether there was a list before or not.
std::promise<void>* g_read;         // kept when the save has read
std::shared_future<void> g_let_go;  // the save goes on when it is ready

void HoldSave(const char*) {
  if (g_read == nullptr) return;
  std::exchange(g_read, nullptr)->set_value();
  g_let_go.wait();
}

TEST_F(ListWritersTest, AClientWriteDuringAWalksSaveIsNeverLost) {
  const std::string list = dir_.File("u-m-profile.plist");
  auto spool = std::make_unique<ProfileList>();
  zv::CopyToField(spool->slots[0].FileName, "WALK.ICC");
  spool->iNum = 1;
  const std::string client = ListBytes("CLIENT.ICC");
  zv::SetListUpdateHook(HoldSave);
  for (const bool list_before : {true, false}) {
    SCOPED_TRACE(list_before ? "a list before" : "no list before");
    std::remove(list.c_str());
    if (list_before) WriteFile(list, ListBytes("OLD.ICC"));
    std::promise<void> read, let_go;
    g_read = &read;
    g_let_go = let_go.get_future().share();
    std::thread walk([&] { zv::UpdateProfileListFile(list.c_str(), 0, *spool); });
    read.get_future().wait();
    std::atomic<bool> done{false};
    bool written = false;
    std::thread client_write([&] {
      written = zv::WriteBodyToUrl("file://" + list, client);
      done = true;
    });
    while (!done && zv::ProfileListLockWaiters(list) == 0) std::this_thread::yield();
    let_go.set_value();
    walk.join();
    client_write.join();
    EXPECT_TRUE(written);
    EXPECT_TRUE(ReadFile(list) == client) << "the walk's save came last";
  }
  zv::SetListUpdateHook(nullptr);
}

}  // namespace
