// `cmake --install` of the whole build into a temporary prefix: the
// service, the client, the store library with its header and pkg-config
// file, and the systemd user units naming the installed service. The
// installed programs run from there.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "service_process.h"
#include "support/temp_dir.h"

namespace {

using zvtest::CommandResult;
using zvtest::ReadFile;
using zvtest::RunCommand;

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR) != 0;
}

// The one file named `name` under `root`, or "" when there is none.
std::string FindFile(const std::string& root, const std::string& name) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.path().filename() == name) return entry.path().string();
  }
  return "";
}

std::string Trimmed(const std::string& text) {
  const std::size_t end = text.find_last_not_of(" \n");
  return end == std::string::npos ? "" : text.substr(0, end + 1);
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error);
}

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* build_dir = std::getenv("ZV_BUILD_DIR");
    ASSERT_NE(build_dir, nullptr);
    const CommandResult install =
        RunCommand({ZV_CMAKE_COMMAND, "--install", build_dir, "--prefix", prefix_.path()});
    ASSERT_EQ(install.exit_code, 0) << install.out << install.err;
  }
  std::string Installed(const std::string& relative) const { return prefix_.File(relative); }

  zvtest::TempDir prefix_;
};

TEST_F(InstallTest, ProgramsLibraryHeaderAndPkgConfigFile) {
  EXPECT_TRUE(IsExecutableFile(Installed("bin/zvxpcd")));
  EXPECT_TRUE(IsExecutableFile(Installed("bin/zvxpc")));
  EXPECT_TRUE(zvtest::Exists(Installed("include/zvplist.h")));
  const std::string library = FindFile(prefix_.path(), "libzvplist.so.1");
  EXPECT_FALSE(library.empty());
  const std::string pc_file = FindFile(prefix_.path(), "zvplist.pc");
  ASSERT_FALSE(pc_file.empty());

  // The pkg-config file leads to the installed header and library.
  const std::string pc_dir = std::filesystem::path(pc_file).parent_path().string();
  const auto pkg_config = [&pc_dir](const std::string& query) {
    return RunCommand({"/usr/bin/pkg-config", query, "zvplist"}, "", {"PKG_CONFIG_PATH=" + pc_dir});
  };
  const CommandResult include_dir = pkg_config("--variable=includedir");
  const CommandResult lib_dir = pkg_config("--variable=libdir");
  const CommandResult libs = pkg_config("--libs");
  ASSERT_EQ(include_dir.exit_code, 0) << include_dir.err;
  ASSERT_EQ(lib_dir.exit_code, 0) << lib_dir.err;
  EXPECT_TRUE(SameFile(Trimmed(include_dir.out) + "/zvplist.h", Installed("include/zvplist.h")));
  EXPECT_TRUE(SameFile(Trimmed(lib_dir.out) + "/libzvplist.so.1", library));
  EXPECT_NE(libs.out.find("-lzvplist"), std::string::npos) << libs.out;
}

TEST_F(InstallTest, UserUnitsStartTheInstalledService) {
  const std::string socket_unit = ReadFile(Installed("lib/systemd/user/zvxpcd.socket"));
  EXPECT_NE(socket_unit.find("ListenStream=%t/zvxpcd.sock"), std::string::npos) << socket_unit;
  const std::string service_unit = ReadFile(Installed("lib/systemd/user/zvxpcd.service"));
  EXPECT_NE(service_unit.find("ExecStart=" + Installed("bin/zvxpcd") + " "), std::string::npos) << service_unit;
  EXPECT_NE(service_unit.find("--idle-exit"), std::string::npos) << service_unit;
  EXPECT_NE(service_unit.find("Environment=SNMP_PERSISTENT_DIR="), std::string::npos) << service_unit;
  EXPECT_EQ(service_unit.find('@'), std::string::npos) << service_unit;

  // systemd itself finds nothing wrong with the units, and the program
  // they start exists.
  zvtest::TempDir runtime_dir;
  const CommandResult verify =
      RunCommand({"/usr/bin/systemd-analyze", "verify", "--user", Installed("lib/systemd/user/zvxpcd.socket"),
                  Installed("lib/systemd/user/zvxpcd.service")},
                 "", {"XDG_RUNTIME_DIR=" + runtime_dir.path()});
  EXPECT_EQ(verify.exit_code, 0) << verify.out << verify.err;
}

TEST_F(InstallTest, InstalledProgramsRun) {
  const CommandResult service_help = RunCommand({Installed("bin/zvxpcd"), "--help"});
  EXPECT_EQ(service_help.exit_code, 0) << service_help.err;
  EXPECT_NE(service_help.out.find("--preferences-dir"), std::string::npos) << service_help.out;
  const CommandResult client_help = RunCommand({Installed("bin/zvxpc"), "walk", "--help"});
  EXPECT_EQ(client_help.exit_code, 0) << client_help.err;
  EXPECT_NE(client_help.out.find("--user U --model M"), std::string::npos) << client_help.out;
}

}  // namespace
