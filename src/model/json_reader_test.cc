// Strict decoding: the message of the problem that ranks first, which the tool prints,
// and what an accepted document held that the record leaves out. That
// every message is one line of UTF-8, and that what is accepted survives
// writing, is checked by fuzz/decode_fuzzer.cc over its corpus.
#include <gtest/gtest.h>

#include <string>

#include "ostrel/agent_config.h"

namespace ostrel {
namespace {

// A document with the three required keys, `version` as given, then `more` members.
std::string withVersion(const std::string& version, const std::string& more = "") {
  return R"({"dictionary":[],"rules":[],"version":)" + version + more + "}";
}
std::string euros(int n) {
  std::string s;
  while (n-- > 0) s += "\u20AC";
  return s;
}
std::string withRules(const std::string& rules) {
  return R"({"version":1,"dictionary":[],"rules":[)" + rules + "]}";
}
// `levels` nested arrays under an unknown key; the document's braces add one level.
std::string nested(int levels) {
  return withVersion("1", R"(,"deep":)" + std::string(levels, '[') + std::string(levels, ']'));
}

TEST(JsonReader, ReportsTheFirstProblemWithWhatAndWhere) {
  const std::string rule = R"({"kind":"snippet","trigger":"t","replacement":"r","enabled":true})";
  const std::string fraction = "version: expected an integer, found a number with a fraction";
  const std::string outOfRange = "version: out of the signed 64-bit range";
  const std::pair<std::string, std::string> rows[] = {
      // clang-format off
      {"[]", "the document must be a JSON object, found an array"},
      {R"({"version":1})", R"(missing key "dictionary")"},  // before "rules"
      {R"({"version":null,"dictionary":[],"rules":[]})", "version: missing value (null)"},
      {withVersion(R"("1")"), "version: expected an integer, found a string"},
      {withVersion("9223372036854775808"), outOfRange},
      {withVersion("-9223372036854775809"), outOfRange},
      {withVersion("1.0"), fraction},
      {withVersion("1e999"), fraction},
      {withVersion("1", R"(,"style":5)"), "style: expected a string or null, found a number"},
      {R"({"version":1,"dictionary":["a",null],"rules":[]})",
       "dictionary[1]: expected a string, found null"},
      {R"({"version":1,"dictionary":"a","rules":[]})",
       "dictionary: expected an array of strings, found a string"},
      {R"({"version":1,"dictionary":[],"rules":{}})",
       "rules: expected an array of rule objects, found an object"},
      {withRules(rule + R"(,"x")"), "rules[1]: expected an object, found a string"},
      {withRules(rule + R"(,{"kind":"snippet","trigger":"t","replacement":"r"})"),
       R"(rules[1]: missing key "enabled")"},
      // Ranked, not in document order: the first rule with a problem, its keys in order...
      {withRules(rule + "," + rule + R"(,{"enabled":1,"kind":"s","trigger":"t","replacement":"r"},7)"),
       "rules[2].enabled: expected true or false, found a number"},
      {withRules(R"({"enabled":1,"kind":true})"), "rules[0].kind: expected a string, found a boolean"},
      // ...the keys in the order version, dictionary, rules, style...
      {R"({"style":5,"rules":[{"kind":[]}],"dictionary":[1],"version":"x"})",
       "version: expected an integer, found a string"},
      {R"({"style":5,"rules":[{"kind":[]}],"dictionary":[[],1],"version":1})",
       "dictionary[0]: expected a string, found an array"},
      {R"({"style":5,"rules":[{"kind":[]}],"dictionary":[],"version":1})",
       "rules[0].kind: expected a string, found an array"},
      {R"({"rules":[{"kind":1}]})", R"(missing key "version")"},
      {R"({"version":1,"version":"x","dictionary":[],"rules":[]})", "version: expected an integer"},
      // ...and text that is not JSON before all of them.
      {R"({"version":"x",)", "line 1, column 16: syntax error"},
      {"[[[[", "line 1, column 5: syntax error"},
      {R"({"rules":[{"kind":[]}],"version":"x","deep":)" + std::string(600, '['),
       "line 1, column 556: nesting deeper than 512 levels"},
      // Syntax: positions are 1-based lines and columns counted in characters.
      {"", "line 1, column 1: syntax error while parsing value - unexpected end of input"},
      {"{\n  \"dictionary\" : [\"\xC3\xA9\", x]", "line 2, column 24: syntax error"},
      {" \xEF\xBB\xBF" + withVersion("4"), "line 1, column 2: syntax error"},  // BOM not first
      // A long bad string is echoed shortened to whole characters, as valid UTF-8, on one line.
      {"{\"dictionary\":\n[\"" + euros(1700) + "\xE2\x80\xA8\xFF\"]}",
       "line 2, column 1704: syntax error while parsing value - invalid string: ill-formed UTF-8 "
       "byte; last read: '..." + euros(18) + "<U+2028>\uFFFD'"},
      {"{\"x\":\"\xC2\x85\x7F\"x}", "line 1, column 10: syntax error while parsing object - "
       "invalid literal; last read: '\"<U+0085><U+007F>\"x'"},
      {withVersion("1") + std::string("\0x", 2), "line 1, column 41: unexpected NUL byte"},
      {std::string("{\"version\":\0}", 13), "line 1, column 12: unexpected NUL byte"},
      // Too large for any number type: the parser cannot go on, even under an unknown key.
      {R"({"x":1e999})", "line 1, column 10: number overflow parsing '1e999'"},
      {nested(512), "line 1, column 559: nesting deeper than 512 levels"},
      {"{\"x[\":" + std::string(100000, '['), "line 1, column 518: nesting deeper than 512 levels"},
      // clang-format on
  };
  for (const auto& [json, message] : rows) {
    const auto result = AgentConfig::decoded(json);
    ASSERT_FALSE(result.ok()) << json;
    EXPECT_EQ(result.error().description.substr(0, message.size()), message) << json;
  }
}

// What the record leaves out, in file order, as "subject reason" lines.
TEST(JsonReader, ListsUnknownKeysAndEarlierValuesOfRepeatedOnes) {
  const std::pair<std::string, std::string> rows[] = {
      // clang-format off
      {R"({"version":"x","language":{"a":1,"a":2},"version":7,"dictionary":[],"rules":[)"
       R"({"kind":5,"app_hotkey":[1],"kind":"snippet","trigger":"t","replacement":"r","enabled":true}]})",
       "version repeated key; the last one is kept\nlanguage unknown key, not kept\n"
       "rules[0].kind repeated key; the last one is kept\nrules[0].app_hotkey unknown key, not kept\n"},
      // Inside a dropped value nothing is listed on its own.
      {R"({"rules":[{"x":1}],"version":7,"dictionary":[],"rules":[],"style":5,"style":null,"\n":0})",
       "rules repeated key; the last one is kept\nstyle repeated key; the last one is kept\n"
       "<U+000A> unknown key, not kept\n"},
      // clang-format on
  };
  for (const auto& [json, dropped] : rows) {
    const auto result = AgentConfig::decodedWithDrops(json);
    ASSERT_TRUE(result.ok()) << result.error().description;
    std::string lines;
    for (const auto& d : result.value().dropped) lines += d.subject + " " + d.reason + "\n";
    EXPECT_EQ(lines, dropped) << json;
    EXPECT_EQ(result.value().config.version, 7);
  }
}

}  // namespace
}  // namespace ostrel
