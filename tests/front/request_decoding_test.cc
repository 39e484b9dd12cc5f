// SPDX-License-Identifier: MIT
// Cutting request texts into their fields: the swap fields and the
// integer reading of the swap type, path requests, the URL/body split of
// the write requests and the walk request's names and arguments.
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "front/request_decoding.h"

namespace {

using zv::DecodeSwapRequest;
using zv::SwapFields;

TEST(ReadIntValueTest, ReadsLikeTheOtherPlatformsTextObjects) {
  const struct {
    std::string text;
    std::int32_t value;
  } cases[] = {
      {"2", 2},
      {" 2", 2},
      {"\t\n\v\f\r 7", 7},
      {"2a", 2},
      {"+5", 5},
      {"-1", -1},
      {"-0", 0},
      {"", 0},
      {"NULL", 0},
      {"abc", 0},
      {"- 2", 0},
      {"+-2", 0},
      {"a2", 0},
      {"007", 7},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"99999999999999999999999", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-2147483649", INT32_MIN},
      {"-99999999999999999999999", INT32_MIN},
      {"3 4", 3},
  };
  for (const auto& c : cases) EXPECT_EQ(zv::ReadIntValue(c.text), c.value) << "text '" << c.text << "'";
}

struct SwapCase {
  const char* name;
  std::optional<std::string> request;
  std::int32_t type;
  std::optional<std::string> current;
  std::optional<std::string> previous;
};

TEST(DecodeSwapRequestTest, CutsTheThreeFieldsInOrder) {
  const std::string nul_path("a\0b", 3);
  const SwapCase cases[] = {
      {"well formed", "2:ARG_iSwapType/c:ARG_cFooCurrentString/p:ARG_cFooPrevString", 2, "/c", "/p"},
      {"text after the last marker is ignored", "1:ARG_iSwapTypec:ARG_cFooCurrentStringp:ARG_cFooPrevStringtail",
       1, "c", "p"},
      {"no argument object", std::nullopt, 0, std::nullopt, std::nullopt},
      {"no marker at all", "2/c/p", 0, std::nullopt, std::nullopt},
      {"type NULL", "NULL:ARG_iSwapTypec:ARG_cFooCurrentStringp:ARG_cFooPrevString", 0, "c", "p"},
      {"empty type", ":ARG_iSwapTypec:ARG_cFooCurrentStringp:ARG_cFooPrevString", 0, "c", "p"},
      {"type not a number", "x:ARG_iSwapType", 0, std::nullopt, std::nullopt},
      {"blank then 2", " 2:ARG_iSwapType", 2, std::nullopt, std::nullopt},
      {"2 then a letter", "2x:ARG_iSwapType", 2, std::nullopt, std::nullopt},
      {"empty current is not absent", "0:ARG_iSwapType:ARG_cFooCurrentString:ARG_cFooPrevString", 0, "", ""},
      {"NULL current is absent", "0:ARG_iSwapTypeNULL:ARG_cFooCurrentStringp:ARG_cFooPrevString", 0,
       std::nullopt, "p"},
      {"NULL previous is absent", "0:ARG_iSwapTypec:ARG_cFooCurrentStringNULL:ARG_cFooPrevString", 0, "c",
       std::nullopt},
      {"NULL only as the whole field", "0:ARG_iSwapTypeNULLx:ARG_cFooCurrentString", 0, "NULLx", std::nullopt},
      {"previous marker missing", "2:ARG_iSwapTypec:ARG_cFooCurrentString", 2, "c", std::nullopt},
      {"type marker missing: later fields absent", "c:ARG_cFooCurrentStringp:ARG_cFooPrevString", 0,
       std::nullopt, std::nullopt},
      {"current marker missing: previous absent", "2:ARG_iSwapTypep:ARG_cFooPrevString", 2, std::nullopt,
       std::nullopt},
      {"current before type", "c:ARG_cFooCurrentString2:ARG_iSwapTypep:ARG_cFooPrevString", 0, std::nullopt,
       std::nullopt},
      {"previous before current", "2:ARG_iSwapTypep:ARG_cFooPrevStringc:ARG_cFooCurrentString", 2, "p:ARG_cFooPrevStringc",
       std::nullopt},
      {"first occurrence counts", "2:ARG_iSwapTypec:ARG_cFooCurrentStringp:ARG_cFooPrevStringq:ARG_cFooPrevString",
       2, "c", "p"},
      {"zero byte makes a path absent", "2:ARG_iSwapType" + nul_path + ":ARG_cFooCurrentStringp:ARG_cFooPrevString",
       2, std::nullopt, "p"},
      {"markers are case-sensitive", "2:arg_iswaptype", 0, std::nullopt, std::nullopt},
  };
  for (const SwapCase& c : cases) {
    const SwapFields fields = DecodeSwapRequest(c.request);
    EXPECT_EQ(fields.type, c.type) << c.name;
    EXPECT_EQ(fields.current, c.current) << c.name;
    EXPECT_EQ(fields.previous, c.previous) << c.name;
  }
}

TEST(DecodePathRequestTest, WholeTextUnchangedOrAbsent) {
  EXPECT_EQ(zv::DecodePathRequest(std::string(" /a b/c\n")), " /a b/c\n");
  EXPECT_EQ(zv::DecodePathRequest(std::string("")), "");
  EXPECT_EQ(zv::DecodePathRequest(std::nullopt), std::nullopt);
  EXPECT_EQ(zv::DecodePathRequest(std::string("/tmp/a\0/etc", 11)), std::nullopt);
}

TEST(SplitUrlAndBodyTest, SplitsAtTheFirstMarker) {
  zv::UrlAndBody fields;
  const std::optional<std::string> twice = "file:///a:AddURL:ENDbody:AddURL:ENDmore";
  ASSERT_TRUE(zv::SplitUrlAndBody(twice, &fields));
  EXPECT_EQ(fields.url, "file:///a");
  EXPECT_EQ(fields.body, "body:AddURL:ENDmore");

  const std::optional<std::string> marker_only = ":AddURL:END";
  ASSERT_TRUE(zv::SplitUrlAndBody(marker_only, &fields));
  EXPECT_EQ(fields.url, "");
  EXPECT_EQ(fields.body, "");

  EXPECT_FALSE(zv::SplitUrlAndBody(std::string("file:///a body"), &fields));
  EXPECT_FALSE(zv::SplitUrlAndBody(std::string("file:///a:AddURL:EN"), &fields));
  EXPECT_FALSE(zv::SplitUrlAndBody(std::nullopt, &fields));
}

// The model marker comes first and the user marker after it; the first of
// each counts, and the rest of the text is the argument text.
TEST(DecodeWalkFieldsTest, CutsNamesAndArgumentText) {
  const struct {
    const char* name;
    std::string text;
    std::optional<zv::WalkFields> fields;  // nullopt: refused
  } cases[] = {
      {"names and arguments", "M:ModelName:ENDU:USErName:ENDa:arg:b:arg:", zv::WalkFields{"M", "U", "a:arg:b:arg:"}},
      {"empty fields", ":ModelName:END:USErName:END", zv::WalkFields{"", "", ""}},
      {"a second user marker is argument text", "M:ModelName:ENDU:USErName:ENDx:USErName:END",
       zv::WalkFields{"M", "U", "x:USErName:END"}},
      {"no user marker", "M:ModelName:END", std::nullopt},
      {"no model marker", "U:USErName:END", std::nullopt},
      {"markers swapped", "U:USErName:ENDM:ModelName:END", std::nullopt},
      {"empty text", "", std::nullopt},
      {"markers are case-sensitive", "M:modelname:endU:USErName:END", std::nullopt},
  };
  for (const auto& c : cases) {
    zv::WalkFields fields;
    ASSERT_EQ(zv::DecodeWalkFields(c.text, &fields), c.fields.has_value()) << c.name;
    if (!c.fields) continue;
    EXPECT_EQ(fields.model, c.fields->model) << c.name;
    EXPECT_EQ(fields.user, c.fields->user) << c.name;
    EXPECT_EQ(fields.arguments, c.fields->arguments) << c.name;
  }
}

TEST(SplitWalkArgumentsTest, DropsTheLastComponent) {
  const struct {
    std::string text;
    std::vector<std::string_view> arguments;
  } cases[] = {
      {"", {}},
      {"no separator", {}},
      {"zvxpcd:arg:", {"zvxpcd"}},
      {"p:arg:-v1:arg:127.0.0.1:arg:", {"p", "-v1", "127.0.0.1"}},
      {"p:arg:x:arg:dropped", {"p", "x"}},
      {"p:arg::arg:", {"p", ""}},
      {":arg::arg::arg:", {"", "", ""}},
      {"a:arg:b:ar", {"a"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string_view> arguments;
    EXPECT_TRUE(zv::SplitWalkArguments(c.text, 512, &arguments));
    EXPECT_EQ(arguments, c.arguments) << "text '" << c.text << "'";
  }
}

TEST(SplitWalkArgumentsTest, RefusesMoreThanTheLimit) {
  std::string text;
  for (int i = 0; i < 3; ++i) text += "a:arg:";
  std::vector<std::string_view> arguments;
  EXPECT_TRUE(zv::SplitWalkArguments(text, 3, &arguments));
  EXPECT_EQ(arguments.size(), 3u);
  EXPECT_FALSE(zv::SplitWalkArguments(text + "b:arg:", 3, &arguments));
  EXPECT_TRUE(arguments.empty());
  // A trailing component without separator is dropped, so it does not count.
  EXPECT_TRUE(zv::SplitWalkArguments(text + "tail", 3, &arguments));
}

}  // namespace
