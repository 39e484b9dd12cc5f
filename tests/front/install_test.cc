// SPDX-License-Identifier: MIT
// The service component in the installed tree (the suite installs it once
// for all such tests): zvxpcd into libexec, the systemd user units into
// lib/systemd/user, the service unit starting the installed binary inside
// the sandbox a user manager can apply.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "service_process.h"
#include "support/temp_dir.h"

namespace {

using zvtest::CommandResult;
using zvtest::RunCommand;

// Highest exposure `systemd-analyze security` may rate the service unit.
// The offline rating judges the unit as a system service run as root, so
// the capability and namespace settings that a user manager cannot apply
// without user namespaces count against it; everything else is applied.
constexpr double kMaxExposure = 4.0;

class FrontInstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* prefix = std::getenv("ZV_INSTALLED_PREFIX");
    ASSERT_NE(prefix, nullptr);
    prefix_ = prefix;
    service_unit_ = zvtest::ReadFile(ServiceUnitPath());
  }
  std::string Installed(const std::string& relative) const { return prefix_ + "/" + relative; }
  std::string ServiceUnitPath() const { return Installed("lib/systemd/user/zvxpcd.service"); }
  std::string SocketUnitPath() const { return Installed("lib/systemd/user/zvxpcd.socket"); }
  bool ServiceUnitHas(const std::string& line) const {
    return ("\n" + service_unit_).find("\n" + line) != std::string::npos;
  }
  // systemd-analyze with a runtime directory of its own (it needs one for
  // user units).
  CommandResult Analyze(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), "/usr/bin/systemd-analyze");
    return RunCommand(arguments, "", {"XDG_RUNTIME_DIR=" + runtime_dir_.path()});
  }

  std::string prefix_;
  zvtest::TempDir runtime_dir_;
  std::string service_unit_;
};

TEST_F(FrontInstallTest, InstallsTheServiceInLibexecAndItsUserUnits) {
  struct stat st;
  ASSERT_EQ(::stat(Installed("libexec/zvxpcd").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);
  // The program of the walks, beside the service that starts it. Only it
  // loads the SNMP library: the service that holds the user's files has no
  // walk of its own.
  ASSERT_EQ(::stat(Installed("libexec/zvxpcd-walk").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);
  const CommandResult service_libraries = RunCommand({"/usr/bin/ldd", Installed("libexec/zvxpcd")});
  const CommandResult walk_libraries = RunCommand({"/usr/bin/ldd", Installed("libexec/zvxpcd-walk")});
  EXPECT_EQ(service_libraries.out.find("libnetsnmp"), std::string::npos) << service_libraries.out;
  EXPECT_NE(walk_libraries.out.find("libnetsnmp"), std::string::npos) << walk_libraries.out;
  // The process that decodes a printer's packets maps no list writer.
  for (const char* library : {"libplist", "libpugixml"}) {
    EXPECT_EQ(walk_libraries.out.find(library), std::string::npos) << library << "\n" << walk_libraries.out;
  }
  EXPECT_FALSE(zvtest::Exists(Installed("bin/zvxpcd")));

  const std::string socket_unit = zvtest::ReadFile(SocketUnitPath());
  EXPECT_NE(socket_unit.find("ListenStream=%t/zvxpcd.sock"), std::string::npos) << socket_unit;
  EXPECT_NE(socket_unit.find("SocketMode=0600"), std::string::npos) << socket_unit;

  EXPECT_TRUE(ServiceUnitHas("ExecStart=" + Installed("libexec/zvxpcd") + " ")) << service_unit_;
  EXPECT_TRUE(ServiceUnitHas("Environment=SNMP_PERSISTENT_DIR=%S/zvxpcd")) << service_unit_;
  EXPECT_TRUE(ServiceUnitHas("Documentation=man:zvxpcd(8)")) << service_unit_;
  EXPECT_FALSE(std::regex_search(service_unit_, std::regex("@[A-Z_]+@"))) << service_unit_;
  // What systemd makes of the pair is InstallTest.UserUnitsStartTheInstalledService's.
}

// The walk needs UDP over IPv4 and IPv6 and the socket its local one; the
// state directory holds the SNMP library's state; the walk's process
// confines itself with Landlock and a filter of its own.
TEST_F(FrontInstallTest, SandboxKeepsWhatTheServiceNeeds) {
  for (const char* line : {"RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6", "StateDirectory=zvxpcd",
                           "NoNewPrivileges=yes", "UMask=0002",
                           "SystemCallFilter=seccomp landlock_create_ruleset landlock_add_rule "
                           "landlock_restrict_self"}) {
    EXPECT_TRUE(ServiceUnitHas(line)) << line << "\n" << service_unit_;
  }
}

// Settings a user manager refuses to start the service with where it
// cannot make a user namespace, and those that would hide from the service
// the files or the network the client means.
TEST_F(FrontInstallTest, SandboxStartsWithoutUserNamespacesAndSeesWhatTheClientSees) {
  for (const char* key :
       {"PrivateUsers=", "PrivateTmp=", "PrivateNetwork=", "ProtectHome=", "TemporaryFileSystem=",
        "BindPaths=", "BindReadOnlyPaths=", "CapabilityBoundingSet=", "AmbientCapabilities=", "DynamicUser=",
        "RootDirectory=", "RootImage=", "MountImages=", "ExtensionImages="}) {
    EXPECT_FALSE(ServiceUnitHas(key)) << key << "\n" << service_unit_;
  }
}

TEST_F(FrontInstallTest, SecurityRatingStaysWithinBound) {
  const CommandResult help = Analyze({"security", "--help"});
  if (help.out.find("--offline") == std::string::npos) GTEST_SKIP() << "systemd-analyze lacks --offline";
  const CommandResult rating = Analyze({"security", "--offline=yes", ServiceUnitPath()});
  const std::string marker = "Overall exposure level for zvxpcd.service: ";
  const std::size_t at = rating.out.find(marker);
  ASSERT_NE(at, std::string::npos) << rating.out << rating.err;
  const double exposure = std::stod(rating.out.substr(at + marker.size()));
  EXPECT_LE(exposure, kMaxExposure) << rating.out;
}

}  // namespace
