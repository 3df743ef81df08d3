// Strict decoding: what is accepted, and the first problem's message. That
// every message is one line of valid UTF-8, whatever the input, is checked by
// fuzz/decode_fuzzer.cc.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "ostrel/agent_config.h"

namespace ostrel {
namespace {

// A document with the three required keys, `version` as given, then `more` members.
std::string withVersion(const std::string& version, const std::string& more = "") {
  return R"({"dictionary":[],"rules":[],"version":)" + version + more + "}";
}

// A document with the three required keys and the rules given.
std::string withRules(const std::string& rules) {
  return R"({"version":1,"dictionary":[],"rules":[)" + rules + "]}";
}

// `levels` nested arrays under an unknown key; the document's braces add one level.
std::string nested(int levels) {
  return withVersion("1", R"(,"deep":)" + std::string(levels, '[') + std::string(levels, ']'));
}

TEST(JsonReader, DecodesWhatTheFormatAllows) {
  const std::int64_t min = std::numeric_limits<std::int64_t>::min();
  const std::int64_t max = std::numeric_limits<std::int64_t>::max();
  const struct {
    std::string json;
    AgentConfig expected;
  } cases[] = {
      {withVersion(std::to_string(min)), AgentConfig(min, {}, {}, std::nullopt)},
      {withVersion(std::to_string(max)), AgentConfig(max, {}, {}, std::nullopt)},
      {withVersion("1", R"(,"style":null)"), AgentConfig(1, {}, {}, std::nullopt)},
      {withVersion("1", R"(,"style":" a\u0000 ")"),
       AgentConfig(1, {}, {}, std::string(" a\0 ", 4))},
      // Unknown keys are skipped at any depth, also when they look like known ones.
      {R"({"x":{"version":"no","a":[1,{"rules":null}]},"version":3,"dictionary":["w"],)"
       R"("rules":[{"kind":"snippet","extra":{"kind":5,"enabled":"no"},"trigger":"t",)"
       R"("replacement":"r","enabled":false,"more":[[],-1e99]}],"zzz":"q"})",
       AgentConfig(3, {"w"}, {AgentConfig::Rule("snippet", "t", "r", false)}, std::nullopt)},
      // Of duplicate keys the last one wins.
      {R"({"version":1,"version":2,"dictionary":["a"],"dictionary":["b"],"rules":[],)"
       R"("style":"s","style":null})",
       AgentConfig(2, {"b"}, {}, std::nullopt)},
      {"\xEF\xBB\xBF" + withVersion("4"), AgentConfig(4, {}, {}, std::nullopt)},
      {nested(511), AgentConfig(1, {}, {}, std::nullopt)},  // 512 levels with the braces
  };
  for (const auto& c : cases) {
    auto result = AgentConfig::decoded(c.json);
    ASSERT_TRUE(result.ok()) << c.json << "\n" << result.error().description;
    EXPECT_EQ(result.value(), c.expected) << c.json;
  }
}

TEST(JsonReader, ReportsTheFirstProblemWithWhatAndWhere) {
  const std::string rule = R"({"kind":"snippet","trigger":"t","replacement":"r","enabled":true})";
  const std::string fraction =
      "version: expected an integer, found a number with a fraction or exponent";
  const std::string outOfRange = "version: out of the signed 64-bit range";
  const struct {
    std::string json;
    std::string message;  // a part of the error text
  } cases[] = {
      {"[]", "the document must be a JSON object, found an array"},
      {R"({"dictionary":[],"rules":[]})", R"(missing key "version")"},
      {R"({"version":1})", R"(missing key "dictionary")"},  // before "rules"
      {R"({"version":1,"dictionary":[]})", R"(missing key "rules")"},
      {R"({"version":null,"dictionary":[],"rules":[]})", "version: missing value (null)"},
      {withVersion(R"("1")"), "version: expected an integer, found a string"},
      {withVersion("9223372036854775808"), outOfRange},
      {withVersion("-9223372036854775809"), outOfRange},
      {withVersion("1.0"), fraction},
      {withVersion("1e999"), fraction},
      {withVersion("1", R"(,"style":5)"), "style: expected a string or null, found a number"},
      {R"({"version":1,"dictionary":["a","b",null],"rules":[]})",
       "dictionary[2]: expected a string, found null"},
      {R"({"version":1,"dictionary":"a","rules":[]})", "dictionary: expected an array"},
      {R"({"version":1,"dictionary":[],"rules":{}})", "rules: expected an array"},
      {withRules(rule + R"(,"x")"), "rules[1]: expected an object, found a string"},
      {withRules(R"({"kind":"snippet","trigger":"t","replacement":"r"})"),
       R"(rules[0]: missing key "enabled")"},
      {withRules(rule + "," + rule + "," + rule + R"(,{"enabled":1})"),
       "rules[3].enabled: expected true or false, found a number"},
      {withRules(R"({"kind":true})"), "rules[0].kind: expected a string, found a boolean"},
      // Document order: the bad rule comes before the bad version and the missing key.
      {R"({"rules":[{"kind":[]}],"version":"x"})",
       "rules[0].kind: expected a string, found an array"},
      // Syntax: positions are 1-based lines and columns counted in characters.
      {"", "line 1, column 1: syntax error while parsing value - unexpected end of input"},
      {withVersion("1") + " x", "line 1, column 42: syntax error"},
      {"{\n  \"dictionary\" : [\"\xC3\xA9\", x]", "line 2, column 24: syntax error"},
      {"{/* no comments */}", "line 1, column 2: syntax error"},
      {" \xEF\xBB\xBF" + withVersion("4"), "line 1, column 2: syntax error"},  // BOM not first
      {"{\"dictionary\":[\"a\nb\"]}", "line 1, column 18: syntax error"},
      // A long bad string is echoed shortened, as valid UTF-8, on one line.
      {"{\"dictionary\":\n[\"" + std::string(5000, 'a') + "\xE2\x80\xA8\xFF\"]}",
       "line 2, column 5004: syntax error while parsing value - invalid string: ill-formed UTF-8 "
       "byte; last read: '..." +
           std::string(56, 'a') + "<U+2028>\uFFFD'"},
      {withVersion("1") + std::string("\0x", 2), "line 1, column 41: unexpected NUL byte"},
      {std::string("{\"version\":\0}", 13), "line 1, column 12: unexpected NUL byte"},
      // Too large for any number type: the parser cannot go on, even under an unknown key.
      {R"({"x":1e999})", "number overflow parsing '1e999'"},
      {nested(512), "line 1, column 559: nesting deeper than 512 levels"},
      {"{\"x\":" + std::string(100000, '['), "line 1, column 517: nesting deeper than 512 levels"},
  };
  for (const auto& c : cases) {
    auto result = AgentConfig::decoded(c.json);
    ASSERT_FALSE(result.ok()) << c.json;
    const std::string& error = result.error().description;
    EXPECT_THAT(error, ::testing::HasSubstr(c.message)) << c.json;
    EXPECT_LT(error.size(), 300u) << error;
  }
}

}  // namespace
}  // namespace ostrel
