// `cmake --install` of the front: zvxpcd into bin, the systemd user units
// into lib/systemd/user, the service unit starting the installed binary.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "service_process.h"
#include "support/temp_dir.h"

namespace {

TEST(InstallTest, InstallsTheServiceAndItsUserUnits) {
  zvtest::TempDir prefix;
  const zvtest::CommandResult install = zvtest::RunCommand(
      {ZV_CMAKE_COMMAND, "-DCMAKE_INSTALL_PREFIX=" + prefix.path(), "-P", ZV_FRONT_INSTALL_SCRIPT});
  ASSERT_EQ(install.exit_code, 0) << install.out << install.err;

  struct stat st;
  ASSERT_EQ(::stat(prefix.File("bin/zvxpcd").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);

  const std::string socket_unit = zvtest::ReadFile(prefix.File("lib/systemd/user/zvxpcd.socket"));
  EXPECT_NE(socket_unit.find("ListenStream=%t/zvxpcd.sock"), std::string::npos) << socket_unit;
  EXPECT_NE(socket_unit.find("SocketMode=0600"), std::string::npos) << socket_unit;

  const std::string service_unit = zvtest::ReadFile(prefix.File("lib/systemd/user/zvxpcd.service"));
  EXPECT_NE(service_unit.find("ExecStart=" + prefix.File("bin/zvxpcd") + " "), std::string::npos) << service_unit;
  EXPECT_NE(service_unit.find("Environment=SNMP_PERSISTENT_DIR=%S/zvxpcd"), std::string::npos) << service_unit;
  EXPECT_EQ(service_unit.find('@'), std::string::npos) << service_unit;

  // systemd itself finds nothing wrong with the pair.
  zvtest::TempDir runtime_dir;
  const zvtest::CommandResult verify = zvtest::RunCommand(
      {"/usr/bin/systemd-analyze", "verify", "--user", prefix.File("lib/systemd/user/zvxpcd.socket"),
       prefix.File("lib/systemd/user/zvxpcd.service")},
      "", {"XDG_RUNTIME_DIR=" + runtime_dir.path()});
  EXPECT_EQ(verify.exit_code, 0) << verify.out << verify.err;
}

}  // namespace
