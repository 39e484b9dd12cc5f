// SPDX-License-Identifier: MIT
// The fingerprint of what Net-SNMP reads when a walk's process starts: any
// change to a configuration file, to what it includes, or to a file MIBS
// names changes it, also when the file keeps its old time.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "report/snmp_configuration.h"
#include "support/scoped_variable.h"
#include "support/temp_dir.h"

namespace {

// Writes `text` to `path` and gives it back a time an hour old, as cp -p
// would keep it.
void WriteWithOldTime(const std::string& path, const std::string& text) {
  zvtest::WriteFile(path, text);
  const timespec an_hour_ago[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), an_hour_ago, 0), 0);
}

TEST(SnmpConfigurationFingerprintTest, EveryFileTheLibraryReadsCountsWhateverItsTime) {
  zvtest::TempDir dir;
  for (const char* folder : {"conf", "conf/more", "mibs"}) ASSERT_EQ(::mkdir(dir.File(folder).c_str(), 0700), 0);
  zvtest::ScopedVariable configuration("SNMPCONFPATH", dir.File("conf"));
  zvtest::ScopedVariable mib_folders("MIBDIRS", dir.File("mibs"));
  WriteWithOldTime(dir.File("conf/snmp.conf"), "includeFile inc.conf\nincludeDir " + dir.File("conf/more") + "\n");
  WriteWithOldTime(dir.File("conf/inc.conf"), "defVersion 2c\n");
  WriteWithOldTime(dir.File("mibs/X.mib"), "X");
  const std::string mibs = "IF-MIB:" + dir.File("mibs/X.mib");
  const struct {
    const char* what;
    std::function<void()> change;
    bool seen;
  } cases[] = {
      {"nothing", [] {}, false},
      {"snmp.conf, same size, old time", [&] {
         WriteWithOldTime(dir.File("conf/snmp.conf"), "includeFile inc.conf\nincludeDir " + dir.File("conf/more") +
                                                         "\r");
       }, true},
      {"an included file", [&] { WriteWithOldTime(dir.File("conf/inc.conf"), "defVersion 1\n"); }, true},
      {"a file in an included folder", [&] { zvtest::WriteFile(dir.File("conf/more/x.conf"), ""); }, true},
      {"a file MIBS names", [&] { WriteWithOldTime(dir.File("mibs/X.mib"), "Y"); }, true},
      {"snmp.local.conf appears", [&] { zvtest::WriteFile(dir.File("conf/snmp.local.conf"), ""); }, true},
  };
  for (const auto& c : cases) {
    const std::string before = zv::SnmpConfigurationFingerprint(mibs);
    c.change();
    EXPECT_EQ(zv::SnmpConfigurationFingerprint(mibs) != before, c.seen) << c.what;
  }
}

bool Holds(const std::vector<std::string>& folders, const std::string& folder) {
  return std::find(folders.begin(), folders.end(), folder) != folders.end();
}

// snmp.conf's mibdirs names MIB folders as MIBDIRS does, which wins over
// it: both the walk's read rules and the -m check follow.
TEST(SnmpConfigurationFoldersTest, MibdirsOfSnmpConfCountUnlessMibdirsIsSet) {
  zvtest::TempDir dir;
  for (const char* folder : {"conf", "a", "b", "c"}) ASSERT_EQ(::mkdir(dir.File(folder).c_str(), 0700), 0);
  zvtest::ScopedVariable configuration("SNMPCONFPATH", dir.File("conf"));
  zvtest::WriteFile(dir.File("conf/snmp.conf"), "mibs :\nmibdirs " + dir.File("a") + "\n");
  zvtest::WriteFile(dir.File("conf/snmp.local.conf"), "  MIBDIRS +" + dir.File("b") + "\n");
  zvtest::WriteFile(dir.File("b/only-b.txt"), "ONLY-B-MIB DEFINITIONS ::= BEGIN END\n");
  std::string problem;
  {
    zvtest::ScopedVariable unset("MIBDIRS", std::nullopt);
    const std::vector<std::string> folders = zv::SnmpConfigurationFolders();
    EXPECT_TRUE(Holds(folders, dir.File("a")) && Holds(folders, dir.File("b")));
    EXPECT_FALSE(Holds(folders, "/usr/share/snmp/mibs"));  // replaced, then added to
    EXPECT_TRUE(zv::MibsValueUsable("ONLY-B-MIB", std::nullopt, &problem)) << problem;
  }
  zvtest::ScopedVariable set("MIBDIRS", dir.File("c"));
  EXPECT_FALSE(Holds(zv::SnmpConfigurationFolders(), dir.File("b")));
  EXPECT_FALSE(zv::MibsValueUsable("ONLY-B-MIB", std::nullopt, &problem));
}

// A walk's -M: '+' adds after the folders in force, '-' before them, and
// anything else replaces them.
TEST(SnmpConfigurationFoldersTest, AWalksMibFoldersOptionAddsToOrReplacesThoseInForce) {
  zvtest::ScopedVariable in_force("MIBDIRS", "/in/force");
  const struct {
    const char* option;
    const char* mib_directories;
  } cases[] = {{"+/mine", "/in/force:/mine"}, {"-/mine", "/mine:/in/force"}, {"/mine", "/mine"}};
  for (const auto& c : cases) EXPECT_EQ(zv::WalkMibDirectories(c.option), c.mib_directories) << c.option;
}

}  // namespace
