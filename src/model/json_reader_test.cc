// Strict decoding: what is accepted, and the first problem's message.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "ostrel/agent_config.h"
#include "ostrel/text.h"

namespace ostrel {
namespace {

using ::testing::HasSubstr;

AgentConfig decodedOrFail(const std::string& json) {
  auto result = AgentConfig::decoded(json);
  EXPECT_TRUE(result.ok()) << result.error().description;
  return result.ok() ? std::move(result).value() : AgentConfig(0, {}, {}, std::nullopt);
}

// A document with the three required keys, `version` as given.
std::string withVersion(const std::string& version) {
  return R"({"dictionary":[],"rules":[],"version":)" + version + "}";
}

// A document with the three required keys and the rules given.
std::string withRules(const std::string& rules) {
  return R"({"version":1,"dictionary":[],"rules":[)" + rules + "]}";
}

TEST(JsonReader, ReportsTheFirstProblemWithWhatAndWhere) {
  struct Case {
    std::string json;
    std::string message;  // a part of the error text
  };
  const std::string rule = R"("kind":"snippet","trigger":"t","replacement":"r")";
  const Case cases[] = {
      {"", "line 1, column 1: syntax error while parsing value - unexpected end of input"},
      {"[]", "the document must be a JSON object, found an array"},
      {"null", "the document must be a JSON object, found null"},
      {R"({"dictionary":[],"rules":[]})", R"(missing key "version")"},
      {R"({"version":1,"rules":[]})", R"(missing key "dictionary")"},
      {R"({"version":1,"dictionary":[]})", R"(missing key "rules")"},
      {R"({"version":null,"dictionary":[],"rules":[]})", "version: missing value (null)"},
      {withVersion(R"("1")"), "version: expected an integer, found a string"},
      {R"({"version":1,"dictionary":["a","b",null],"rules":[]})",
       "dictionary[2]: expected a string, found null"},
      {R"({"version":1,"dictionary":"a","rules":[]})", "dictionary: expected an array"},
      {R"({"version":1,"dictionary":[],"rules":{}})", "rules: expected an array"},
      {withRules("{" + rule + R"(,"enabled":true},"x")"),
       "rules[1]: expected an object, found a string"},
      {withRules("{" + rule + "}"), R"(rules[0]: missing key "enabled")"},
      {withRules(R"({"enabled":true,"kind":"snippet","replacement":"r"})"),
       R"(rules[0]: missing key "trigger")"},
      {withRules("{" + rule + R"(,"enabled":false},{)" + rule + R"(,"enabled":1})"),
       "rules[1].enabled: expected true or false, found a number"},
      {withRules(R"({"kind":true})"), "rules[0].kind: expected a string, found a boolean"},
      {withRules(R"({"trigger":null})"), "rules[0].trigger: missing value (null)"},
      {R"({"version":1,"dictionary":[],"rules":[],"style":5})",
       "style: expected a string or null, found a number"},
      // Document order: the bad rule comes before the bad version and the missing key.
      {R"({"rules":[{"kind":[]}],"version":"x"})",
       "rules[0].kind: expected a string, found an array"},
      // Syntax: positions are 1-based lines and columns counted in characters.
      {withVersion("1") + " x",
       "line 1, column 42: syntax error while parsing value - invalid literal"},
      {"{\n  \"dictionary\" : [\"\xC3\xA9\", x]", "line 2, column 24: syntax error"},
      {"{\"version\":1,}", "line 1, column 14: syntax error while parsing object key"},
      {"{/* no comments */}", "line 1, column 2: syntax error"},
      {"{\"dictionary\":[\"a\nb\"]}",
       "line 1, column 18: syntax error while parsing value - invalid string: control character "
       "U+000A (LF)"},
      {"{\"dictionary\":[\"ab\xFF\"]}",
       "line 1, column 19: syntax error while parsing value - invalid string: ill-formed UTF-8 "
       "byte"},
      {R"({"dictionary":["\uD800"]})",
       "surrogate U+D800..U+DBFF must be followed by U+DC00..U+DFFF"},
      {R"({"dictionary":["\uDC00x"]})", "surrogate U+DC00..U+DFFF must follow U+D800..U+DBFF"},
      {withVersion("1") + std::string("\0x", 2), "line 1, column 41: unexpected NUL byte"},
      {std::string("{\"version\":\0}", 13), "line 1, column 12: unexpected NUL byte"},
      // Too large for any number type: the parser cannot go on, even under an unknown key.
      {R"({"x":1e999})", "number overflow parsing '1e999'"},
  };
  for (const Case& c : cases) {
    auto result = AgentConfig::decoded(c.json);
    ASSERT_FALSE(result.ok()) << c.json;
    const std::string& error = result.error().description;
    EXPECT_THAT(error, HasSubstr(c.message)) << c.json;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

TEST(JsonReader, KeepsEchoedInputShortValidAndOnOneLine) {
  const std::string longBadString =
      "{\"dictionary\":\n[\"" + std::string(5000, 'a') + "\xE2\x80\xA8\xFF\"]}";
  auto result = AgentConfig::decoded(longBadString);
  ASSERT_FALSE(result.ok());
  const std::string& error = result.error().description;
  EXPECT_LT(error.size(), 300u) << error;
  EXPECT_TRUE(text::isValidUtf8(error)) << error;
  EXPECT_THAT(error, HasSubstr("aaa<U+2028>"));
  EXPECT_THAT(error, HasSubstr("line 2, column 5004: "));
}

TEST(JsonReader, AcceptsVersionsThatAreExactSigned64BitIntegers) {
  const std::int64_t accepted[] = {7, 0, -1, std::numeric_limits<std::int64_t>::min(),
                                   std::numeric_limits<std::int64_t>::max()};
  for (std::int64_t version : accepted) {
    EXPECT_EQ(decodedOrFail(withVersion(std::to_string(version))).version, version);
  }
  struct Case {
    const char* version;
    const char* message;
  };
  const Case rejected[] = {
      {"9223372036854775808", "version: out of the signed 64-bit range"},
      {"18446744073709551616", "version: out of the signed 64-bit range"},
      {"-9223372036854775809", "version: out of the signed 64-bit range"},
      {"1.5", "version: expected an integer, found a number with a fraction or exponent"},
      {"1.0", "version: expected an integer, found a number with a fraction or exponent"},
      {"1e2", "version: expected an integer, found a number with a fraction or exponent"},
      {"1e999", "version: expected an integer, found a number with a fraction or exponent"},
  };
  for (const Case& c : rejected) {
    auto result = AgentConfig::decoded(withVersion(c.version));
    ASSERT_FALSE(result.ok()) << c.version;
    EXPECT_EQ(result.error().description, c.message);
  }
}

TEST(JsonReader, SkipsUnknownKeysAtAnyDepth) {
  const AgentConfig config = decodedOrFail(
      R"({"x":{"version":"no","a":[1,{"rules":null}]},"version":3,"dictionary":["w"],)"
      R"("rules":[{"kind":"snippet","extra":{"kind":5,"enabled":"no"},"trigger":"t",)"
      R"("replacement":"r","enabled":false,"more":[[],-1e99]}],"zzz":"q"})");
  EXPECT_EQ(config,
            AgentConfig(3, {"w"}, {AgentConfig::Rule("snippet", "t", "r", false)}, std::nullopt));
}

TEST(JsonReader, TakesTheLastOfDuplicateKeys) {
  const AgentConfig config =
      decodedOrFail(R"({"version":1,"version":2,"dictionary":["a"],"dictionary":["b"],"rules":[],)"
                    R"("style":"s","style":null})");
  EXPECT_EQ(config, AgentConfig(2, {"b"}, {}, std::nullopt));
}

TEST(JsonReader, ReadsStyleAsAbsentOnlyWhenNullOrMissing) {
  EXPECT_EQ(decodedOrFail(withVersion("1")).style, std::nullopt);
  EXPECT_EQ(decodedOrFail(R"({"dictionary":[],"rules":[],"version":1,"style":null})").style,
            std::nullopt);
  EXPECT_EQ(decodedOrFail(R"({"dictionary":[],"rules":[],"version":1,"style":""})").style, "");
  EXPECT_EQ(decodedOrFail(R"({"dictionary":[],"rules":[],"version":1,"style":" a\u0000 "})").style,
            std::string(" a\0 ", 4));
}

// A byte order mark before the document is skipped; inside, it is a syntax error.
TEST(JsonReader, AcceptsAByteOrderMarkOnlyAtTheStart) {
  EXPECT_EQ(decodedOrFail("\xEF\xBB\xBF" + withVersion("4")).version, 4);
  EXPECT_FALSE(AgentConfig::decoded(" \xEF\xBB\xBF" + withVersion("4")).ok());
}

TEST(JsonReader, RefusesNestingDeeperThan512Levels) {
  const auto nested = [](int levels) {
    return R"({"dictionary":[],"rules":[],"version":1,"deep":)" + std::string(levels, '[') +
           std::string(levels, ']') + "}";
  };
  EXPECT_TRUE(AgentConfig::decoded(nested(511)).ok());  // 512 with the document's braces
  auto tooDeep = AgentConfig::decoded(nested(512));
  ASSERT_FALSE(tooDeep.ok());
  EXPECT_EQ(tooDeep.error().description, "line 1, column 559: nesting deeper than 512 levels");

  auto unclosed = AgentConfig::decoded("{\"x\":" + std::string(100000, '['));
  ASSERT_FALSE(unclosed.ok());
  EXPECT_THAT(unclosed.error().description, HasSubstr("nesting deeper than 512 levels"));
}

TEST(JsonReader, RoundTripsALargeDictionary) {
  AgentConfig config(1, {}, {AgentConfig::Rule("transform", "a/b", "\"c\"\t", true)}, "x");
  for (int i = 0; i < 10000; ++i) {
    config.dictionary.push_back("w\xC3\xB6rd " + std::to_string(i));
  }
  auto json = config.encoded();
  ASSERT_TRUE(json.ok()) << json.error().description;
  const AgentConfig back = decodedOrFail(json.value());
  EXPECT_EQ(back, config);
  ASSERT_EQ(back.dictionary.size(), 10000u);
  EXPECT_EQ(back.dictionary[9999], "w\xC3\xB6rd 9999");
}

}  // namespace
}  // namespace ostrel
