// SPDX-License-Identifier: MIT
// The installed libzvxpc as a program outside this tree sees it, in the
// installed tree (the suite installs it once for all such tests): checks what the library
// exports, builds a C program from the installed header and library with
// `pkg-config zvxpc` and again through find_package(zvxpc), and runs it:
// it walks a printer (snmpd) through the real zvxpcd and reads a file
// operation's reply. A second program, a dialog's use of both installed
// libraries, walks on a poll loop, reads the walked list on two threads,
// saves a list larger than the socket takes behind a walk that holds the
// service, on a poll loop that goes on meanwhile, and goes on with the
// same client after the service was restarted.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "walk_service.h"

namespace {

using zvtest::CommandResult;
using zvtest::RunCommand;

constexpr const char* kClientSource = R"(/* Walks the printer at argv[2] through the service at argv[1], then asks
 * whether argv[3] exists. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zvxpc.h>

int main(int argc, char **argv) {
    const char *walk_arguments[] = {"-v", "2c", "-c", "public", NULL, "1.3.6.1.4.1.32473.1.1.1.1.6.13.1.1"};
    zvxpc_client *client;
    char *reply = NULL;
    int result = -99;
    if (argc != 4) return 2;
    client = zvxpc_connect(argv[1]);
    if (client == NULL) {
        printf("connect: %s\n", strerror(errno));
        return 1;
    }
    walk_arguments[4] = argv[2];
    printf("walk %d", zvxpc_walk(client, "carol", "PX-200", 6, walk_arguments, 30000, &result));
    printf(" result %d\n", result);
    printf("exist %d", zvxpc_call(client, ZVXPC_OP_EXIST, argv[3], 10000, &reply));
    printf(" %s\n", reply != NULL ? reply : zvxpc_error(client));
    free(reply);
    zvxpc_close(client);
    return 0;
}
)";

constexpr const char* kCMakeProject = R"(cmake_minimum_required(VERSION 3.25)
project(outside C)
find_package(zvxpc 0.2 REQUIRED)
add_executable(client client.c)
target_link_libraries(client PRIVATE zvxpc::zvxpc)
)";

CommandResult Shell(const std::string& script, const std::vector<std::string>& env = {}) {
  return RunCommand({"/bin/sh", "-c", script}, "", env);
}

class InstalledLibraryTest : public zvtest::PrinterAWalkTest {
 protected:
  void SetUp() override {
    PrinterAWalkTest::SetUp();
    const char* prefix = std::getenv("ZV_INSTALLED_PREFIX");
    ASSERT_NE(prefix, nullptr);
    prefix_ = prefix;
    zvtest::WriteFile(work_.File("client.c"), kClientSource);
    StartService();
  }

  // Runs the program at `program` and checks what it prints.
  void ExpectWalkAndReply(const std::string& program) {
    const CommandResult run = RunCommand({program, socket_path(), printer_->address(), dir_.path()}, "",
                                         {"LD_LIBRARY_PATH=" + LibDir()});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "walk 0 result 0\nexist 0 TRUE\n");
  }

  std::string LibDir() const { return prefix_ + "/" + ZV_INSTALL_LIBDIR; }

  std::string prefix_;
  zvtest::TempDir work_;
};

TEST_F(InstalledLibraryTest, ExportsOnlyItsInterface) {
  const CommandResult symbols =
      Shell("nm -D --defined-only " + LibDir() + "/libzvxpc.so.1 | awk '{print $3}' | LC_ALL=C sort");
  ASSERT_EQ(symbols.exit_code, 0) << symbols.err;
  EXPECT_EQ(symbols.out,
            "ZVXPC_1\nZVXPC_1.1\nZVXPC_1.2\nZVXPC_1.3\nzvxpc_call@@ZVXPC_1\nzvxpc_close@@ZVXPC_1\n"
            "zvxpc_connect@@ZVXPC_1\nzvxpc_error@@ZVXPC_1\nzvxpc_events@@ZVXPC_1.1\nzvxpc_fd@@ZVXPC_1\n"
            "zvxpc_flush@@ZVXPC_1.1\nzvxpc_preferences_dir@@ZVXPC_1\nzvxpc_receive@@ZVXPC_1\nzvxpc_send@@ZVXPC_1\n"
            "zvxpc_status_field@@ZVXPC_1.2\nzvxpc_walk@@ZVXPC_1\nzvxpc_walk_cancel@@ZVXPC_1.3\n"
            "zvxpc_walk_explain@@ZVXPC_1.2\nzvxpc_walk_explain_send@@ZVXPC_1.2\nzvxpc_walk_reason@@ZVXPC_1.2\n"
            "zvxpc_walk_result@@ZVXPC_1.1\nzvxpc_walk_saved@@ZVXPC_1.3\nzvxpc_walk_send@@ZVXPC_1.1\n"
            "zvxpc_watch_change@@ZVXPC_1.3\nzvxpc_watch_path_send@@ZVXPC_1.3\nzvxpc_watch_send@@ZVXPC_1.3\n");
  // The header is C++ as well.
  const CommandResult as_cxx =
      Shell("echo '#include <zvxpc.h>' | c++ -std=c++17 -Wall -Wextra -Werror -fsyntax-only -x c++ -I" +
            prefix_ + "/include -");
  EXPECT_EQ(as_cxx.exit_code, 0) << as_cxx.err;
}

TEST_F(InstalledLibraryTest, CProgramBuiltWithPkgConfig) {
  const CommandResult build =
      Shell("cd " + work_.path() + " && cc -std=c99 -Wall -Wextra -Wpedantic -Werror -o client client.c " +
                "$(pkg-config --cflags --libs zvxpc)",
            {"PKG_CONFIG_PATH=" + LibDir() + "/pkgconfig"});
  ASSERT_EQ(build.exit_code, 0) << build.out << build.err;
  ExpectWalkAndReply(work_.File("client"));
}

TEST_F(InstalledLibraryTest, CProgramBuiltWithFindPackage) {
  zvtest::WriteFile(work_.File("CMakeLists.txt"), kCMakeProject);
  const CommandResult build = Shell(std::string(ZV_CMAKE_COMMAND) + " -S " + work_.path() + " -B " +
                                    work_.File("build") + " -DCMAKE_PREFIX_PATH=" + prefix_ + " >/dev/null && " +
                                    ZV_CMAKE_COMMAND + " --build " + work_.File("build"));
  ASSERT_EQ(build.exit_code, 0) << build.out << build.err;
  ExpectWalkAndReply(work_.File("build/client"));
}

// Waits up to a minute for `path` to exist.
bool WaitForFile(const std::string& path) {
  for (int tries = 0; tries < 1200; ++tries) {
    if (::access(path.c_str(), F_OK) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

TEST_F(InstalledLibraryTest, DialogProgramWalksReadsSavesWithoutWaitingAndOutlivesARestart) {
  const std::string program = work_.File("dialog");
  const CommandResult build = Shell("cc -std=c99 -pthread -Wall -Wextra -Wpedantic -Werror -o " + program + " " +
                                        ZV_DIALOG_CLIENT_SOURCE + " $(pkg-config --cflags --libs zvxpc zvplist)",
                                    {"PKG_CONFIG_PATH=" + LibDir() + "/pkgconfig"});
  ASSERT_EQ(build.exit_code, 0) << build.out << build.err;

  const std::string walked = work_.File("walked"), restarted = work_.File("restarted");
  const zvtest::SilentDevice silent;
  CommandResult run;
  std::thread dialog([&] {
    run = RunCommand(
        {program, socket_path(), printer_->address(), preferences_dir(), walked, restarted, silent.address()}, "",
        {"LD_LIBRARY_PATH=" + LibDir()});
  });
  const bool walk_done = WaitForFile(walked);
  if (walk_done) {
    EXPECT_EQ(service_->Stop(), std::optional<int>(0));
    StartService();
  }
  zvtest::WriteFile(restarted, "");
  dialog.join();
  ASSERT_TRUE(walk_done) << run.out << run.err;
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out,
            "walk 0\n"
            "thread 0 read 0 RGB 2 OFFICE.ICC SIM 1 PROOF.ICC\n"
            "thread 1 read 0 RGB 2 OFFICE.ICC SIM 1 PROOF.ICC\n"
            "save behind a walk: sent 0, non-blocking yes, flush left some on a tick yes, walk iRet=1, save TRUE, "
            "file 6291456 bytes\n"
            "after restart 0 TRUE\n");
}

}  // namespace
