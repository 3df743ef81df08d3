// Strict decoding: the message of the problem that ranks first, which the tool prints,
// and what an accepted document held that the record leaves out. That
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
// `text` in UTF-16 (unit 2) or UTF-32 (unit 4), big- or little-endian,
// with or without a byte-order mark.
std::string utf(int unit, bool big, bool mark, const std::u32string& text) {
  std::u32string units = mark ? U"\uFEFF" : U"";
  for (char32_t c : text) {
    if (unit == 2 && c > 0xFFFF) {
      units += {char32_t(0xD800 + ((c - 0x10000) >> 10)), char32_t(0xDC00 + (c & 0x3FF))};
    } else {
      units += c;
    }
  }
  std::string bytes;
  for (char32_t u : units) {
    for (int i = 0; i < unit; ++i) bytes += char(u >> (8 * (big ? unit - 1 - i : i)) & 0xFF);
  }
  return bytes;
}

TEST(JsonReader, ReportsTheFirstProblemWithWhatAndWhere) {
  const std::string rule = R"({"kind":"snippet","trigger":"t","replacement":"r","enabled":true})";
  const std::pair<std::string, std::string> rows[] = {
      // clang-format off
      {"[]", "the document must be a JSON object, found an array"},
      {R"({"version":1})", R"(missing key "dictionary")"},  // before "rules"
      {R"({"version":null,"dictionary":[],"rules":[]})", "version: missing value (null)"},
      {withVersion(R"("1")"), "version: expected an integer, found a string"},
      {withVersion("9223372036854775808"), "version: out of the signed 64-bit range"},
      {withVersion("-9223372036854775809"), "version: out of the signed 64-bit range"},
      // A version must be an exact 64-bit integer, however it is written.
      {withVersion("1.5"), "version: expected an integer, found a number with a fraction"},
      {withVersion("1e-1"), "version: expected an integer, found a number with a fraction"},
      {withVersion("1.00000000000000001"), "version: expected an integer, found a number with a"},
      {withVersion("1e-400"), "version: expected an integer, found a number with a fraction"},
      {withVersion("1e999"), "version: out of the signed 64-bit range"},
      {withVersion("9.3e18"), "version: out of the signed 64-bit range"},
      {withVersion("-92233720368547758.09e2"), "version: out of the signed 64-bit range"},
      {withVersion("1", R"(,"style":5)"), "style: expected a string or null, found a number"},
      {doc(R"(["a",null])", "[]"), "dictionary[1]: expected a string, found null"},
      {doc(R"("a")", "[]"), "dictionary: expected an array of strings, found a string"},
      {doc("[]", "{}"), "rules: expected an array of rule objects, found an object"},
      {doc("[]", "[" + rule + R"(,"x"])"), "rules[1]: expected an object, found a string"},
      {doc("[]", "[" + rule + R"(,{"kind":"snippet","trigger":"t","replacement":"r"}])"),
       R"(rules[1]: missing key "enabled")"},
      // Ranked, not in document order: the first rule with a problem, its keys in order...
      {doc("[]", "[" + rule + "," + rule + R"(,{"enabled":1,"kind":"s","trigger":"t","replacement":"r"},7])"),
       "rules[2].enabled: expected true or false, found a number"},
      {doc("[]", R"([{"enabled":1,"kind":true}])"), "rules[0].kind: expected a string, found a boolean"},
      // ...the keys in the order version, dictionary, rules, style...
      {R"({"style":5,"rules":[{"kind":[]}],"dictionary":[1],"version":"x"})",
       "version: expected an integer, found a string"},
      {R"({"style":5,"rules":[{"kind":[]}],"dictionary":[[],1],"version":1})",
       "dictionary[0]: expected a string, found an array"},
      {R"({"style":5,"rules":[{"kind":[]}],"dictionary":[],"version":1})",
       "rules[0].kind: expected a string, found an array"},
      {R"({"rules":[{"kind":1}]})", R"(missing key "version")"},
      // The first of two equal keys counts, unescaped.
      {R"({"version":"x","\u0076ersion":1,"dictionary":[],"rules":[]})",
       "version: expected an integer, found a string"},
      // ...and text that is not JSON before all of them.
      {R"({"version":"x",)", "line 1, column 16: syntax error"},
      {"[[[[", "line 1, column 5: syntax error"},
      {"{\"dictionary\":[\"a\" ,\n ],", "line 2, column 2: a comma before ']': JSON allows none"},
      {"{\"version\":1,}", "line 1, column 14: a comma before '}': JSON allows none"},
      // Other encodings are read, and their text must be valid in them.
      {utf(2, false, true, U"{\"a\":\"\U0001F600") + std::string("\x00\xD8\x22\x00", 4),
       "byte 19: not valid UTF-16LE text"},
      {utf(2, true, false, U"{}") + "x", "byte 5: not valid UTF-16BE text"},
      {utf(4, true, true, U"{\"a\":") + std::string("\x00\x11\x00\x00", 4),
       "byte 25: not valid UTF-32BE text"},
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

// What an accepted document holds: its version, its first word, and what the
// record leaves out, in file order, as "subject reason" lines.
TEST(JsonReader, ReadsAsTheApplicationDoes) {
  const std::string repeated = " repeated key; the first one is kept\n";
  const std::u32string text =
      U"{\"version\":7,\"dictionary\":[\"caf\u00E9 \u20AC\U0001F600\U0010FFFF\"],\"rules\":[]}";
  struct Row {
    std::string json;
    std::int64_t version;
    std::string word, dropped;
  };
  const Row rows[] = {
      // clang-format off
      {R"({"version":7,"language":{"a":1,"a":2},"version":"x","dictionary":[],"rules":[)"
       R"({"kind":"snippet","app_hotkey":[1],"kind":5,"trigger":"t","replacement":"r","enabled":true}]})",
       7, "", "language unknown key, not kept\nversion" + repeated + "rules[0].app_hotkey unknown "
       "key, not kept\nrules[0].kind" + repeated},
      // Nothing inside a value that is not kept is listed on its own; each occurrence is.
      {R"({"rules":[],"version":7,"dictionary":["a"],"rules":[{"x":1}],"style":null,"style":5,)"
       R"("dictionary":[],"\n":0,"\n":1})", 7, "a", "rules" + repeated + "style" + repeated +
       "dictionary" + repeated + "\n unknown key, not kept\n\n unknown key, not kept\n"},
      {withVersion("1.0"), 1, "", ""}, {withVersion("1e2"), 100, "", ""},
      {withVersion("100e-2"), 1, "", ""}, {withVersion("7.0E0"), 7, "", ""},
      {withVersion("-0.0"), 0, "", ""}, {withVersion("-9223372036854775808.0"), INT64_MIN, "", ""},
      {withVersion("922337203685477580.7e1"), INT64_MAX, "", ""}, {withVersion("9223372036854775807"), INT64_MAX, "", ""},
      // clang-format on
  };
  std::vector<Row> all(std::begin(rows), std::end(rows));
  for (int form = 0; form < 8; ++form) {  // the same text in every other encoding, marked or not
    all.push_back({utf(form & 4 ? 4 : 2, form & 1, form & 2, text), 7,
                   "caf\u00E9 \u20AC\U0001F600\U0010FFFF", ""});
  }
  for (const auto& r : all) {
    const auto result = AgentConfig::decodedWithDrops(r.json);
    ASSERT_TRUE(result.ok()) << result.error().description << " " << r.json;
    std::string lines;
    for (const auto& d : result.value().dropped) lines += d.subject + " " + d.reason + "\n";
    EXPECT_EQ(lines, r.dropped) << r.json;
    EXPECT_EQ(result.value().config.version, r.version) << r.json;
    EXPECT_EQ(result.value().config.dictionary.empty() ? "" : result.value().config.dictionary[0],
              r.word);
  }
}

}  // namespace
}  // namespace ostrel
