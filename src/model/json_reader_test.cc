// Strict decoding: the first problem's message, which the tool prints. That
// every message is one line of UTF-8, and that what is accepted survives
// writing, is checked by fuzz/decode_fuzzer.cc over its corpus.
#include <gtest/gtest.h>

#include "ostrel/agent_config.h"

namespace ostrel {
namespace {

// A document with the three required keys, `version` as given, then `more` members.
std::string withVersion(const std::string& version, const std::string& more = "") {
  return R"({"dictionary":[],"rules":[],"version":)" + version + more + "}";
}
std::string euros(int n) { return n > 0 ? "\u20AC" + euros(n - 1) : ""; }
std::string doc(const std::string& dictionary, const std::string& rules) {
  return R"({"version":1,"dictionary":)" + dictionary + R"(,"rules":)" + rules + "}";
}

TEST(JsonReader, ReportsTheFirstProblemWithWhatAndWhere) {
  const std::string rule = R"({"kind":"snippet","trigger":"t","replacement":"r","enabled":true})";
  const std::pair<std::string, std::string> rows[] = {
      // clang-format off
      {"[]", "the document must be a JSON object, found an array"},
      {R"({"dictionary":[],"rules":[]})", R"(missing key "version")"},
      {R"({"version":1})", R"(missing key "dictionary")"},  // before "rules"
      {R"({"version":null,"dictionary":[],"rules":[]})", "version: missing value (null)"},
      {withVersion(R"("1")"), "version: expected an integer, found a string"},
      {withVersion("9223372036854775808"), "version: out of the signed 64-bit range"},
      {withVersion("-9223372036854775809"), "version: out of the signed 64-bit range"},
      {withVersion("1.0"), "version: expected an integer, found a number with a fraction"},
      {withVersion("1e999"), "version: expected an integer, found a number with a fraction"},
      {withVersion("1", R"(,"style":5)"), "style: expected a string or null, found a number"},
      {doc(R"(["a",null])", "[]"), "dictionary[1]: expected a string, found null"},
      {doc(R"("a")", "[]"), "dictionary: expected an array of strings, found a string"},
      {doc("[]", "{}"), "rules: expected an array of rule objects, found an object"},
      {doc("[]", "[" + rule + R"(,"x"])"), "rules[1]: expected an object, found a string"},
      {doc("[]", "[" + rule + R"(,{"kind":"snippet","trigger":"t","replacement":"r"}])"),
       R"(rules[1]: missing key "enabled")"},
      {doc("[]", "[" + rule + "," + rule + R"(,{"enabled":1}])"),
       "rules[2].enabled: expected true or false, found a number"},
      {doc("[]", R"([{"kind":true}])"), "rules[0].kind: expected a string, found a boolean"},
      // Document order: the bad rule comes before the bad version, the missing key and
      // the depth.
      {R"({"rules":[{"kind":[]}],"version":"x","deep":)" + std::string(600, '['),
       "rules[0].kind: expected a string, found an array"},
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
      // 512 nested arrays under an unknown key; the document's braces add one level.
      {withVersion("1", R"(,"deep":)" + std::string(512, '[') + std::string(512, ']')),
       "line 1, column 559: nesting deeper than 512 levels"},
      {"{\"x[\":" + std::string(100000, '['), "line 1, column 518: nesting deeper than 512 levels"},
      // clang-format on
  };
  for (const auto& [json, message] : rows) {
    const auto result = AgentConfig::decoded(json);
    ASSERT_FALSE(result.ok()) << json;
    EXPECT_EQ(result.error().description.substr(0, message.size()), message) << json;
  }
}

}  // namespace
}  // namespace ostrel
