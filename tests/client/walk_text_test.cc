// SPDX-License-Identifier: MIT
// The walk request text composed from its parts, what it cannot carry, and
// the walk result (and reason) read from a reply.
#include "client/walk_text.h"
#include "zvxpc.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

TEST(WalkTextTest, ComposesModelUserProgramSlotAndArguments) {
  std::string text, error;
  ASSERT_TRUE(zv::ComposeWalkText("alice", "PX-100", {"-v", "2c", "", "192.0.2.7"}, &text, &error)) << error;
  EXPECT_EQ(text, "PX-100:ModelName:ENDalice:USErName:ENDzvxpc:arg:-v:arg:2c:arg::arg:192.0.2.7:arg:");
  ASSERT_TRUE(zv::ComposeWalkText("", "", {"h\xC3\xA9"}, &text, &error)) << error;
  EXPECT_EQ(text, ":ModelName:END:USErName:ENDzvxpc:arg:h\xC3\xA9:arg:");
}

TEST(WalkTextTest, RefusesWhatTheRequestCannotCarry) {
  struct Case {
    std::string_view user, model;
    std::vector<std::string_view> arguments;
    std::string error;
  };
  const Case cases[] = {
      {"u", "m", {}, "no walk arguments: a walk of nothing would take every listed profile out of the menu"},
      {"u:ModelName:END", "m", {"a"}, "a user or model name may not contain \":ModelName:END\" or \":USErName:END\""},
      {"u", "x:USErName:ENDy", {"a"}, "a user or model name may not contain \":ModelName:END\" or \":USErName:END\""},
      {"u", "m", {"a", "b:arg:"}, "a walk argument may not contain \":arg:\""},
      {"u\xC0\x80", "m", {"a"}, "a user or model name is not UTF-8 text"},
      {"u", "m", {"\xED\xA0\x80"}, "a walk argument is not UTF-8 text"},
  };
  for (const Case& c : cases) {
    std::string text = "untouched", error;
    EXPECT_FALSE(zv::ComposeWalkText(c.user, c.model, c.arguments, &text, &error)) << c.error;
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(text, "untouched");
  }
}

TEST(WalkTextTest, ResultOfAReply) {
  const std::pair<std::string_view, std::optional<int>> cases[] = {
      {"iRet=0", 0},           {"iRet=1", 1},         {"iRet=-2", -2},        {"iRet=2147483647", 2147483647},
      {"iRet=", std::nullopt}, {"iRet=1x", std::nullopt}, {"iRet=+1", std::nullopt}, {"iRet= 1", std::nullopt},
      {"iRet=2147483648", std::nullopt}, {"TRUE", std::nullopt},  {"iret=0", std::nullopt}, {"", std::nullopt},
  };
  for (const auto& [reply, result] : cases) EXPECT_EQ(zv::WalkResultOf(reply), result) << reply;
}

// The reason is all that follows the first marker, but for a known list
// word after the last list marker; the part before it is read as
// WalkResultOf reads a whole reply.
TEST(WalkTextTest, OutcomeOfAPlainOrExplainedReply) {
  struct Case {
    std::string_view reply;
    bool read;
    int result;
    std::optional<std::string> reason;
    std::optional<int> list = std::nullopt;
  };
  const Case cases[] = {
      {"iRet=1:Reason:the device did not answer within 1 s (3 retries)", true, 1,
       "the device did not answer within 1 s (3 retries)"},
      {"iRet=0:Reason:", true, 0, ""},
      {"iRet=0:Reason:3 rows:List:saved", true, 0, "3 rows", ZVXPC_LIST_SAVED},
      {"iRet=0:Reason:no:List:here:List:not-saved", true, 0, "no:List:here", ZVXPC_LIST_NOT_SAVED},
      {"iRet=1:Reason:cut:List:cancelled", true, 1, "cut", ZVXPC_LIST_CANCELLED},
      {"iRet=0:Reason:odd:List:lost", true, 0, "odd:List:lost"},  // no list word: all of it is the reason
      {"iRet=0:List:saved", false, 0, std::nullopt},
      {"iRet=-1:Reason:a:Reason:b", true, -1, "a:Reason:b"},
      {"iRet=2", true, 2, std::nullopt},
      {"iRet=x:Reason:why", false, 0, std::nullopt},
      {":Reason:why", false, 0, std::nullopt},
      {"iRet=1:reason:why", false, 0, std::nullopt},
      {"TRUE", false, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<zv::WalkOutcome> outcome = zv::WalkOutcomeOf(c.reply);
    ASSERT_EQ(outcome.has_value(), c.read) << c.reply;
    if (!outcome) continue;
    EXPECT_EQ(outcome->result, c.result) << c.reply;
    EXPECT_EQ(outcome->reason, c.reason) << c.reply;
    EXPECT_EQ(outcome->list, c.list) << c.reply;
  }
}

TEST(WalkTextTest, ChangeOfAWatchReply) {
  const struct {
    std::string_view reply;
    zv::WatchReply read;
    std::string kind, path;
  } cases[] = {
      {"walk:/p/u-m-profile.plist", zv::WatchReply::kChange, "walk", "/p/u-m-profile.plist"},
      {"remove:/a:b", zv::WatchReply::kChange, "remove", "/a:b"},
      {"", zv::WatchReply::kNothingYet, "", ""},
      {"moved:/p", zv::WatchReply::kMalformed, "", ""},
      {"write:", zv::WatchReply::kMalformed, "", ""},
      {"FALSE", zv::WatchReply::kMalformed, "", ""},
  };
  for (const auto& c : cases) {
    std::string kind, path;
    EXPECT_EQ(zv::ListChangeOf(c.reply, &kind, &path), c.read) << c.reply;
    EXPECT_EQ(kind, c.kind) << c.reply;
    EXPECT_EQ(path, c.path) << c.reply;
  }
}

}  // namespace
