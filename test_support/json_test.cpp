// The tests' JSON reader refuses what is not JSON, so that a broken line fails the tests.
#include "test_support/json.hpp"

#include <gtest/gtest.h>

#include <string>

namespace id3sniff::testing {
namespace {

TEST(ParseJson, ReadsJsonAndRefusesAnythingElse) {
  const std::optional<Json> json =
      ParseJson(R"({"path":"a\nb\u00e9\u009f","TXXX":[{"slot":1,"text":"x"}],"n":null})");
  ASSERT_TRUE(json.has_value());
  EXPECT_EQ(json->keys, (std::vector<std::string>{"path", "TXXX", "n"}));
  EXPECT_EQ(json->Find("path")->text, "a\nb\xC3\xA9\xC2\x9F");
  EXPECT_EQ(json->Find("TXXX")->items[0].Find("slot")->text, "1");
  for (const std::string bad :
       {R"({"a":1 "b":2})", R"({"a":[1,]})", R"({"TXXX":["TXXX":[]]})", R"({"a":1)", R"({"a":1}})",
        "{\"a\":\"\x1F\"}", "{\"a\":\"\x80\"}", "{\"a\":\"\xC0\xAF\"}", R"({"a":"\ud800"})",
        R"({"a":"\x"})", R"({"a":01})", R"({"a":"b)", R"({a:1})", ""}) {
    EXPECT_FALSE(ParseJson(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace id3sniff::testing
