// SPDX-License-Identifier: MIT
// zvxpcd's command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "front/service_options.h"
#include "front/walk_request.h"
#include "support/scoped_variable.h"

namespace {

bool Parse(std::vector<std::string> args, zv::ServiceOptions* options, std::string* error) {
  args.insert(args.begin(), "zvxpcd");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return zv::ParseServiceOptions(static_cast<int>(args.size()), argv.data(), options, error);
}

// The preferences folder of a command line without --preferences-dir
// while XDG_CONFIG_HOME is `config_home`: the folder the build fixed, if
// it fixed one.
std::string DefaultFolderUnder(const std::string& config_home) {
#ifdef ZV_PREFERENCES_DIR
  std::string fixed = ZV_PREFERENCES_DIR;
  return fixed.back() == '/' ? fixed : fixed + "/";
#else
  return config_home + "/zvxpc/";
#endif
}

TEST(ServiceOptionsTest, DefaultsAndValues) {
  zv::ServiceOptions options;
  std::string error;
  const zvtest::ScopedVariable config_home("XDG_CONFIG_HOME", "/config-of-the-test");
  ASSERT_TRUE(Parse({}, &options, &error));
  EXPECT_EQ(options.preferences_directory, DefaultFolderUnder("/config-of-the-test"));
  EXPECT_TRUE(options.preferences_directory_is_default);
  EXPECT_FALSE(options.verbose);
  EXPECT_FALSE(options.socket_path.has_value());
  EXPECT_FALSE(options.idle_exit_seconds.has_value());
  EXPECT_EQ(options.walk_timeout_seconds, 120);
  EXPECT_FALSE(options.walk_program.has_value());
  EXPECT_EQ(options.bulk_repetitions, zv::kAutoBulkRepetitions);

  ASSERT_TRUE(Parse({"--socket", "/run/s", "--preferences-dir=/prefs", "--log-file", "/l", "--idle-exit", "30",
                     "--walk-timeout=5", "--bulk-repetitions", "25", "--walk-program", "/x/walk"},
                    &options, &error))
      << error;
  EXPECT_EQ(options.socket_path, "/run/s");
  EXPECT_EQ(options.preferences_directory, "/prefs/");
  EXPECT_FALSE(options.preferences_directory_is_default);
  EXPECT_EQ(options.log_file, "/l");
  EXPECT_EQ(options.idle_exit_seconds, 30);
  EXPECT_EQ(options.walk_timeout_seconds, 5);
  EXPECT_EQ(options.walk_program, "/x/walk");
  EXPECT_EQ(options.bulk_repetitions, 25);
  ASSERT_TRUE(Parse({"--bulk-repetitions=0"}, &options, &error)) << error;
  EXPECT_EQ(options.bulk_repetitions, 0);
  ASSERT_TRUE(Parse({"--bulk-repetitions", "25", "--bulk-repetitions", "auto"}, &options, &error)) << error;
  EXPECT_EQ(options.bulk_repetitions, zv::kAutoBulkRepetitions);

  ASSERT_TRUE(Parse({"--help"}, &options, &error));
  EXPECT_TRUE(options.help);
  ASSERT_TRUE(Parse({"--verbose", "--version"}, &options, &error));
  EXPECT_TRUE(options.verbose);
  EXPECT_TRUE(options.version);
}

TEST(ServiceOptionsTest, BadArgumentsAreRefused) {
  const std::vector<std::string> bad[] = {
      {"--bogus"}, {"--socket"}, {"--socket="}, {"--idle-exit", "0"}, {"--idle-exit", "-5"},
      {"--idle-exit", "10s"}, {"--idle-exit", "86401"}, {"--preferences-dir", ""}, {"positional"},
      {"--walk-timeout"}, {"--walk-timeout", "0"}, {"--walk-timeout", "86401"}, {"--walk-timeout", "1.5"},
      {"--verbose=yes"}, {"--bulk-repetitions"}, {"--bulk-repetitions", "-1"}, {"--bulk-repetitions", "101"},
      {"--bulk-repetitions", "r25"}, {"--bulk-repetitions", "Auto"}, {"--walk-program"}, {"--walk-program="},
  };
  for (const auto& args : bad) {
    zv::ServiceOptions options;
    std::string error;
    EXPECT_FALSE(Parse(args, &options, &error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(ServiceOptionsTest, UsageNamesEveryOption) {
  const std::string usage = zv::ServiceUsage();
  for (const char* option : {"--socket", "--preferences-dir", "--log-file", "--idle-exit", "--walk-timeout",
                             "--bulk-repetitions", "--walk-program", "--verbose", "--help", "--version"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

}  // namespace
