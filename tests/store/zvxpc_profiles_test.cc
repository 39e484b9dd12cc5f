// SPDX-License-Identifier: MIT
// `zvxpc profiles [--json] FILE`, run as the built program: the JSON object
// and the table for a file the store wrote, exit 1 with a one-line
// reason for files the reader refuses, and the warnings about a list
// edited by hand.
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "platform/fixed_field.h"
#include "platform/property_list.h"
#include "plist_file_builder.h"
#include "store/zvplist.h"
#include "store_fixture.h"

namespace {

struct RunResult {
  int exit_code = -1;
  std::string out, err;
};

class ZvxpcProfilesTest : public ::testing::Test {
 protected:
  RunResult Run(const std::string& arguments) {
    const char* build = std::getenv("ZV_BUILD_DIR");
    const std::string out = paths_.dir().File("stdout"), err = paths_.dir().File("stderr");
    const std::string command = "'" + std::string(build ? build : ".") + "/tools/zvxpc' profiles " + arguments +
                                " >'" + out + "' 2>'" + err + "'";
    RunResult result;
    const int status = std::system(command.c_str());
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    result.out = zvtest::ReadFile(out);
    result.err = zvtest::ReadFile(err);
    return result;
  }
  std::string File() const { return "'" + paths_.current() + "'"; }
  void WriteSmallLists() {
    auto rgb = zvtest::NewList(), sim = zvtest::NewList(), dst = zvtest::NewList();
    ProfileRecord& r = rgb->slots[0];
    r = {7, 2, 1, {}, {}, 4, 9};
    zv::CopyToField(r.FileName, "a\"b\\c.icc");
    dst->slots[1] = {-3, 0, 0, {}, {}, 0, 0};  // not in use, but not all zero
    rgb->iNum = 1;
    ASSERT_EQ(ZVPListWriteProfile_All(rgb.get(), sim.get(), dst.get()), 0);
    // Our writer leaves out names XML cannot carry; another writer's binary
    // file may still hold control characters, which the viewer must show.
    zv::PlistPtr root;
    std::string error;
    ASSERT_TRUE(zv::ReadPropertyListFile(paths_.current(), &root, &error)) << error;
    plist_dict_set_item(zvtest::FieldDictionary(root.get(), "RGB", "ProfileName"), "ProfileName0000",
                        plist_new_string("Gl\xc3\xa4nzend\t\x01"));
    zvtest::WritePlistFile(paths_.current(), root.get(), /*binary=*/true);
  }
  zvtest::StorePathsScope paths_;
};

TEST_F(ZvxpcProfilesTest, JsonListsEverySlotThatIsNotAllZero) {
  WriteSmallLists();
  const RunResult result = Run("--json " + File());
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            "{\"RGB\":{\"iNum\":1,\"slots\":[{\"slot\":0,\"IndexOnDevice\":7,\"InMenu\":2,\"State\":\"reported\",\"ProfileClass\":1,"
            "\"FileName\":\"a\\\"b\\\\c.icc\",\"ProfileName\":\"Gl\xc3\xa4nzend\\u0009\\u0001\",\"Location\":4}]},"
            "\"SIM\":{\"iNum\":0,\"slots\":[]},"
            "\"DST\":{\"iNum\":0,\"slots\":[{\"slot\":1,\"IndexOnDevice\":-3,\"InMenu\":0,\"State\":\"empty\",\"ProfileClass\":0,"
            "\"FileName\":\"\",\"ProfileName\":\"\",\"Location\":0}]}}\n");
}

TEST_F(ZvxpcProfilesTest, JsonOfAFullFileIsOneValidObject) {
  auto full = zvtest::PackedList(500, -100);
  ASSERT_EQ(ZVPListWriteProfile_All(full.get(), full.get(), full.get()), 0);
  const std::string out = paths_.dir().File("stdout");
  const char* build = std::getenv("ZV_BUILD_DIR");
  const std::string command = "'" + std::string(build ? build : ".") + "/tools/zvxpc' profiles --json " + File() +
                              " | python3 -c 'import json,sys; d=json.load(sys.stdin); "
                              "assert list(d)==[\"RGB\",\"SIM\",\"DST\"]; "
                              "assert all(len(d[c][\"slots\"])==500 and d[c][\"iNum\"]==500 for c in d); "
                              "assert d[\"SIM\"][\"slots\"][0][\"IndexOnDevice\"]==-100'";
  EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST_F(ZvxpcProfilesTest, JsonFlagMayFollowTheFile) {
  WriteSmallLists();
  const RunResult after = Run(File() + " --json");
  const RunResult before = Run("--json -- " + File());
  EXPECT_EQ(after.exit_code, 0) << after.err;
  EXPECT_EQ(after.out, before.out);
  EXPECT_EQ(after.out.substr(0, 8), "{\"RGB\":{");
}

TEST_F(ZvxpcProfilesTest, TableShowsEachClassUnderItsOwnHeading) {
  WriteSmallLists();
  const RunResult result = Run(File());
  EXPECT_EQ(result.exit_code, 0) << result.err;
  const std::size_t rgb = result.out.find("RGB  (iNum 1)"), sim = result.out.find("SIM  (iNum 0)"),
                    dst = result.out.find("DST  (iNum 0)");
  ASSERT_NE(rgb, std::string::npos) << result.out;
  ASSERT_NE(sim, std::string::npos) << result.out;
  ASSERT_NE(dst, std::string::npos) << result.out;
  EXPECT_LT(rgb, sim);
  EXPECT_LT(sim, dst);
  EXPECT_NE(result.out.find("a\"b\\\\c.icc"), std::string::npos);  // a backslash doubled
  EXPECT_NE(result.out.find("Gl\xc3\xa4nzend\\x09\\x01"), std::string::npos);  // control bytes made visible
}

// Which file gives which reason is the reader's test; the command passes a
// reason on as one line, in either format, with nothing on its output.
TEST_F(ZvxpcProfilesTest, RefusedFileGivesExitOneAndAOneLineReason) {
  zvtest::WriteFile(paths_.current(), "not a plist");
  for (const char* json : {"", "--json "}) {
    const RunResult result = Run(json + File());
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("not a property list"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
  }
}

TEST_F(ZvxpcProfilesTest, BadArgumentsAreUsageErrors) {
  for (const char* arguments : {"", "--json", "--bogus x", "a b", "-- a b"}) {
    const RunResult result = Run(arguments);
    EXPECT_EQ(result.exit_code, 2) << arguments;
    EXPECT_NE(result.err.find("Try 'zvxpc profiles --help'."), std::string::npos) << arguments;
  }
}

// A list edited by hand: a value of the wrong type is read as before and
// named on standard error, exit 0; a broken file gets its line; a list
// the service kept aside is named.
TEST_F(ZvxpcProfilesTest, HandEditedListsGetWarnings) {
  const auto list = [](const std::string& in_menu_value, const std::string& end) {
    std::string classes;
    for (const char* name : {"RGB", "SIM", "DST"}) {
      classes += std::string("<key>") + name + "</key><dict><key>iNum</key><integer>1</integer>";
      for (const char* field : {"IndexOnDevice", "ProfileClass", "Location", "FileName", "ProfileName"}) {
        classes += std::string("<key>") + field + "</key><dict/>";
      }
      classes += "<key>InMenu</key><dict>\n<key>InMenu0001</key>" + in_menu_value + "</dict></dict>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + classes + end;
  };
  const struct {
    std::string text;
    int exit_code;
    std::string err;  // what standard error holds
  } cases[] = {
      {list("<integer>two</integer>", "</dict>\n</plist>\n"), 0,
       "zvxpc profiles: warning: RGB: InMenu0001 holds <integer>two</integer>, not a whole number; it is read as "
       "if it were missing\n"},
      {list("<integer>2</integer>", "</plist>\n"), 1, "(line 10: Start-end tags mismatch)"},
  };
  for (const auto& c : cases) {
    zvtest::WriteFile(paths_.current(), c.text);
    const RunResult result = Run(File());
    EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
    EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
  }
  zvtest::WriteFile(paths_.current() + ".unreadable", "kept");
  EXPECT_NE(Run(File()).err.find("kept it aside as " + paths_.current() + ".unreadable"), std::string::npos);
}

}  // namespace
